#include "app/helpwindow.h"

#include "app/browser.h"
#include "app/linklabel.h"
#include "app/messageboxes.h"
#include "sources/serviceaddresses.h"

#include <QLabel>

namespace Quorvane {

namespace {

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent, BrowserOpener openInBrowser)
    : QDialog(parent)
    , m_openInBrowser(openInBrowser ? std::move(openInBrowser)
                                    : BrowserOpener(&Quorvane::openInBrowser))
    , m_lblHelp(nullptr)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(ProgramCaption) + QStringLiteral(" Online Help"));
    setFixedSize(420, 190);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);

    auto *title = new QLabel(QStringLiteral("Quorvane Help"), this);
    title->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = font();
    titleFont.setPointSize(24);
    titleFont.setBold(true);
    title->setFont(titleFont);
    setTextColour(title, QColor(255, 255, 0));
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(0, 16, width(), 48);

    auto *note = new QLabel(
        QStringLiteral("You must be connected to the Internet to view the online help files."),
        this);
    note->setObjectName(QStringLiteral("Label2"));
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    setTextColour(note, Qt::white);
    note->setGeometry(24, 72, width() - 48, 40);

    m_lblHelp =
        new LinkLabel(QStringLiteral("Open Online Help"), {QColor(0, 0, 255), true}, true, this);
    m_lblHelp->setObjectName(QStringLiteral("lblHelp"));
    QFont linkFont = font();
    linkFont.setPointSize(18);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    m_lblHelp->setFont(linkFont);
    m_lblHelp->adjustSize();
    m_lblHelp->move((width() - m_lblHelp->width()) / 2, 124);
    connect(m_lblHelp, &LinkLabel::activated, this, &HelpWindow::lblHelpClick);
}

void HelpWindow::lblHelpClick()
{
    m_openInBrowser(productWebPage());
    close();
}

} // namespace Quorvane

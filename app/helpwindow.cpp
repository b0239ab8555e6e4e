#include "app/helpwindow.h"

#include "app/linklabel.h"
#include "app/programidentity.h"
#include "sources/serviceaddresses.h"

#include <QLabel>

namespace Quorvane {

HelpWindow::HelpWindow(QWidget *parent, BrowserOpener openInBrowser)
    : QDialog(parent)
    , m_openInBrowser(browserOpenerOrDefault(std::move(openInBrowser)))
    , m_helpLink(nullptr)
{
    setUpSmallWindow(*this, QStringLiteral("frmHelp"),
                     QString::fromLatin1(ProgramCaption) + QStringLiteral(" Online Help"),
                     {420, 190});

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

    m_helpLink =
        new LinkLabel(QStringLiteral("Open Online Help"), {QColor(0, 0, 255), true}, true, this);
    m_helpLink->setObjectName(QStringLiteral("lblHelp"));
    QFont linkFont = font();
    linkFont.setPointSize(18);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    m_helpLink->setFont(linkFont);
    m_helpLink->adjustSize();
    m_helpLink->move((width() - m_helpLink->width()) / 2, 124);
    connect(m_helpLink, &LinkLabel::activated, this, &HelpWindow::onHelpLinkClicked);
}

void HelpWindow::onHelpLinkClicked()
{
    m_openInBrowser(productWebPage());
    close();
}

} // namespace Quorvane

#include "app/aboutwindow.h"

#include "app/linklabel.h"
#include "app/programidentity.h"
#include "core/commandline.h"
#include "sources/serviceaddresses.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace Quorvane {

namespace {

QLabel *whiteLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    setTextColour(label, Qt::white);
    label->adjustSize();
    return label;
}

QWidget *line(const QString &name, const QColor &colour, int x1, int y, int x2, QWidget *parent)
{
    auto *separator = new QWidget(parent);
    separator->setObjectName(name);
    QPalette p = separator->palette();
    p.setColor(QPalette::Window, colour);
    separator->setPalette(p);
    separator->setAutoFillBackground(true);
    separator->setGeometry(x1, y, x2 - x1, 1);
    return separator;
}

void centre(QWidget *widget, int windowWidth)
{
    widget->move((windowWidth - widget->width()) / 2, widget->y());
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent, BrowserOpener openInBrowser)
    : QDialog(parent)
    , m_openInBrowser(browserOpenerOrDefault(std::move(openInBrowser)))
    , m_webPageLink(nullptr)
{
    const int w = 420;
    setUpSmallWindow(*this, QStringLiteral("frmAbout"),
                     QStringLiteral("About ") + QString::fromLatin1(ProgramCaption), {w, 280});

    auto *picMark = new QLabel(this);
    picMark->setObjectName(QStringLiteral("picMark"));
    picMark->setPixmap(programMark());
    picMark->setGeometry(0, 16, 64, 64);

    QLabel *version = whiteLabel(QStringLiteral("lblSoftwareVersion"),
                                 QStringLiteral("Quorvane ") + programVersion(), this);
    QFont big = font();
    big.setPointSize(14);
    big.setBold(true);
    version->setFont(big);
    version->adjustSize();
    version->move(0, 92);

    QLabel *author =
        whiteLabel(QStringLiteral("lblSoftwareAuther"), QString::fromLatin1(CopyrightLine), this);
    author->move(0, 124);

    line(QStringLiteral("linGrey"), QColor(128, 128, 128), 24, 152, w - 24, this);

    QLabel *note =
        whiteLabel(QStringLiteral("lblNote"), QStringLiteral("You can visit web page : "), this);
    m_webPageLink = new LinkLabel(productWebPage(), {QColor(0, 255, 255), false}, false, this);
    m_webPageLink->setObjectName(QStringLiteral("lblWebPage"));
    m_webPageLink->adjustSize();
    connect(m_webPageLink, &LinkLabel::activated, this, &AboutWindow::onWebPageClicked);

    line(QStringLiteral("linWhite"), Qt::white, 24, 196, w - 24, this);

    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(0, 214, 81, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    // Centred as the window loads; the note and the address as one run with a gap between.
    for (QWidget *widget : {static_cast<QWidget *>(picMark), static_cast<QWidget *>(version),
                            static_cast<QWidget *>(author), static_cast<QWidget *>(ok)})
        centre(widget, w);
    const int gap = 16;
    const int noteLeft = (w - note->width() - m_webPageLink->width() - gap) / 2;
    note->move(noteLeft, 166);
    m_webPageLink->move(noteLeft + note->width() + gap, 166);
}

void AboutWindow::onWebPageClicked()
{
    m_openInBrowser(productWebPage());
}

} // namespace Quorvane

#include "app/aboutwindow.h"

#include "app/browser.h"
#include "app/linklabel.h"
#include "app/messageboxes.h"
#include "core/commandline.h"
#include "sources/serviceaddresses.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

// Resources of a static library are registered by name, outside any namespace.
static void initProgramResources()
{
    Q_INIT_RESOURCE(quorvane);
}

namespace Quorvane {

namespace {

void ensureResources()
{
    static const bool done = (initProgramResources(), true);
    Q_UNUSED(done);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

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

QIcon programIcon()
{
    ensureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/quorvane/quorvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap programMark()
{
    ensureResources();
    return QPixmap(QStringLiteral(":/quorvane/quorvane-64.png"));
}

AboutWindow::AboutWindow(QWidget *parent, BrowserOpener openInBrowser)
    : QDialog(parent)
    , m_openInBrowser(openInBrowser ? std::move(openInBrowser)
                                    : BrowserOpener(&Quorvane::openInBrowser))
    , m_lblWebPage(nullptr)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(ProgramCaption));
    const int w = 420;
    setFixedSize(w, 280);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);

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
    m_lblWebPage = new LinkLabel(productWebPage(), {QColor(0, 255, 255), false}, false, this);
    m_lblWebPage->setObjectName(QStringLiteral("lblWebPage"));
    m_lblWebPage->adjustSize();
    connect(m_lblWebPage, &LinkLabel::activated, this, &AboutWindow::lblWebPageClick);

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
    const int noteLeft = (w - note->width() - m_lblWebPage->width() - gap) / 2;
    note->move(noteLeft, 166);
    m_lblWebPage->move(noteLeft + note->width() + gap, 166);
}

void AboutWindow::lblWebPageClick()
{
    m_openInBrowser(productWebPage());
}

} // namespace Quorvane

#include "app/smallwindow.h"

#include "app/browser.h"

#include <QDialog>

namespace Quorvane {

BrowserOpener browserOpenerOrDefault(BrowserOpener opener)
{
    return opener ? std::move(opener) : BrowserOpener(&openInBrowser);
}

void setUpSmallWindow(QDialog &window, const QString &objectName, const QString &caption,
                      QSize size)
{
    window.setObjectName(objectName);
    window.setAttribute(Qt::WA_DeleteOnClose);
    window.setWindowTitle(caption);
    window.setFixedSize(size);
    QPalette black = window.palette();
    black.setColor(QPalette::Window, Qt::black);
    window.setPalette(black);
    window.setAutoFillBackground(true);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

} // namespace Quorvane

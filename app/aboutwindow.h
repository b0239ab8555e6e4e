#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>

#include <functional>

namespace Quorvane {

class LinkLabel;

// The program's icon and its mark as shown in the about window.
QIcon programIcon();
QPixmap programMark();

// The maker's line in the about window.
inline constexpr char CopyrightLine[] = "Copyright (c) 2026 Quorvane developers";

// The about window: mark, version, copyright and a link to the product's web page that
// leaves the window open.
class AboutWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    using BrowserOpener = std::function<void(const QString &)>;

    explicit AboutWindow(QWidget *parent = nullptr, BrowserOpener openInBrowser = {});

private:
    void lblWebPageClick();

    BrowserOpener m_openInBrowser;
    LinkLabel *m_lblWebPage;
};

} // namespace Quorvane

#pragma once

#include "app/smallwindow.h"

#include <QDialog>

namespace Quorvane {

class LinkLabel;

// The about window: mark, version, copyright and a link to the product's web page that
// leaves the window open.
class AboutWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    explicit AboutWindow(QWidget *parent = nullptr, BrowserOpener openInBrowser = {});

private:
    void onWebPageClicked();

    BrowserOpener m_openInBrowser;
    LinkLabel *m_webPageLink;
};

} // namespace Quorvane

#pragma once

#include "app/smallwindow.h"

#include <QDialog>

namespace Quorvane {

class LinkLabel;

// The help window: a title, a note, and a link that opens the product's web page in the
// browser and closes the window.
class HelpWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    // openInBrowser defaults to the desktop browser (openInBrowser); tests pass their own.
    explicit HelpWindow(QWidget *parent = nullptr, BrowserOpener openInBrowser = {});

private:
    void onHelpLinkClicked();

    BrowserOpener m_openInBrowser;
    LinkLabel *m_helpLink;
};

} // namespace Quorvane

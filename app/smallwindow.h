#pragma once

#include <QColor>
#include <QSize>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace Quorvane {

// Opens an address in the browser; the help and about windows' links call it.
using BrowserOpener = std::function<void(const QString &)>;

// The given opener, or openInBrowser when none is given (tests pass their own).
BrowserOpener browserOpenerOrDefault(BrowserOpener opener);

// What the help, about and settings windows share: their control name, a caption, a fixed
// size, a black background, and gone once closed, so each opening starts from its resting look.
void setUpSmallWindow(QDialog &window, const QString &objectName, const QString &caption,
                      QSize size);

// The colour of a label's text (or a frame's caption).
void setTextColour(QWidget *widget, const QColor &colour);

} // namespace Quorvane

#pragma once

#include <QString>
#include <QStringList>

namespace Quorvane {

// The keyword box's rules, without the widgets: the main window applies their outcome to the
// box and to its Delete, Delete All, Export and Suggest buttons.

// What the keyword box shows when the main window loads and after a Delete: every entry in
// history order, the newest as the text, and the four buttons on; all off for an empty history.
struct KeywordBoxFill
{
    QStringList items;
    QString text;
    bool buttonsEnabled = false;
};
KeywordBoxFill fillKeywordBox(const QStringList &history);

struct ButtonStates
{
    bool deleteOne = false;
    bool deleteAll = false;
    bool exportReport = false;
    bool suggest = false;

    friend bool operator==(const ButtonStates &, const ButtonStates &) = default;
};

// The states of Delete, Delete All, Export and Suggest for the box's text. The text matches when
// an entry equals it ignoring letter case. Where the text does not match, Suggest is on only
// while the run-start timer is not armed.
ButtonStates buttonStateRule(const QStringList &history, const QString &boxText,
                             bool keywordTimerArmed);

} // namespace Quorvane

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Quorvane {

// The history's own rules, without the keyword box: the window applies the outcome to its
// widgets and saves through SettingsStore::saveHistory when the history changed.

// historyCount() is a signed 16-bit number, so the history holds at most this many entries.
inline constexpr qsizetype MaxHistoryEntries = 32767;

// A keyword added to the history: one equal (case-sensitive) to an entry changes nothing; one equal
// to an entry ignoring letter case replaces it, at index 0; any other goes in at index 0. A
// full history refuses a new keyword rather than overflow its count.
// Returns true when the history changed and must be saved.
bool addKeywordToHistory(QStringList &history, const QString &newKeyword);

// The entry a Delete of the box's text removes: the first equal to it, or else the first equal
// to it ignoring letter case (the button is offered for either).
std::optional<qsizetype> historyEntryToDelete(const QStringList &history, const QString &boxText);
// Removes that entry and returns it, so the caller deletes that keyword's report file.
std::optional<QString> deleteKeywordFromHistory(QStringList &history, const QString &boxText);
// Empties the history and returns the removed entries in history order (their reports go too).
QStringList deleteAllFromHistory(QStringList &history);

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

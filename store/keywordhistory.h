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

// Two programs change one stored history: `base` is what this program last read or wrote,
// `ours` its history now, `theirs` what the store holds now. Entries the other program removed
// go, entries it added come in after this program's own new ones (unless one equal ignoring
// letter case is there), and the rest keeps this program's order.
QStringList mergeHistory(const QStringList &base, const QStringList &ours,
                         const QStringList &theirs);

} // namespace Quorvane

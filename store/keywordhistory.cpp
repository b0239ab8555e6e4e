#include "store/keywordhistory.h"

#include <algorithm>
#include <utility>

namespace Quorvane {

bool addKeywordToHistory(QStringList &history, const QString &newKeyword)
{
    if (history.contains(newKeyword, Qt::CaseSensitive))
        return false;
    // Spellings that differ only in letter case share one report file, so they are one entry:
    // the newer spelling takes the older one's place at the top.
    const auto older = std::find_if(history.begin(), history.end(), [&](const QString &entry) {
        return entry.compare(newKeyword, Qt::CaseInsensitive) == 0;
    });
    if (older != history.end())
        history.erase(older);
    else if (history.size() >= MaxHistoryEntries)
        return false;
    history.prepend(newKeyword);
    return true;
}

std::optional<qsizetype> historyEntryToDelete(const QStringList &history, const QString &boxText)
{
    qsizetype index = history.indexOf(boxText);
    if (index < 0) {
        for (qsizetype i = 0; i < history.size() && index < 0; ++i) {
            if (history.at(i).compare(boxText, Qt::CaseInsensitive) == 0)
                index = i;
        }
    }
    if (index < 0)
        return std::nullopt;
    return index;
}

std::optional<QString> deleteKeywordFromHistory(QStringList &history, const QString &boxText)
{
    const std::optional<qsizetype> index = historyEntryToDelete(history, boxText);
    if (!index)
        return std::nullopt;
    return history.takeAt(*index);
}

QStringList deleteAllFromHistory(QStringList &history)
{
    return std::exchange(history, {});
}

QStringList mergeHistory(const QStringList &base, const QStringList &ours,
                         const QStringList &theirs)
{
    QStringList merged;
    for (const QString &entry : ours) {
        // Gone from the store since this program read it: the other program deleted it.
        if (!base.contains(entry) || theirs.contains(entry))
            merged.append(entry);
    }
    // This program's own additions were put first.
    qsizetype ownNew = 0;
    while (ownNew < merged.size() && !base.contains(merged.at(ownNew)))
        ++ownNew;
    for (const QString &entry : theirs) {
        if (base.contains(entry) || merged.contains(entry, Qt::CaseInsensitive))
            continue;
        merged.insert(ownNew++, entry);
    }
    if (merged.size() > MaxHistoryEntries)
        merged.resize(MaxHistoryEntries);
    return merged;
}

} // namespace Quorvane

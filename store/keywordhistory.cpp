#include "keywordhistory.h"

#include <utility>

namespace Quorvane {

bool AddKeywordToHistory(QStringList &history, const QString &NewKeyword)
{
    if (history.contains(NewKeyword, Qt::CaseSensitive))
        return false;
    if (history.size() >= MaxHistoryEntries)
        return false;
    history.prepend(NewKeyword);
    return true;
}

std::optional<qsizetype> HistoryEntryToDelete(const QStringList &history, const QString &boxText)
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

std::optional<QString> DeleteKeywordFromHistory(QStringList &history, const QString &boxText)
{
    const std::optional<qsizetype> index = HistoryEntryToDelete(history, boxText);
    if (!index)
        return std::nullopt;
    return history.takeAt(*index);
}

QStringList DeleteAllFromHistory(QStringList &history)
{
    return std::exchange(history, {});
}

KeywordBoxFill FillKeywordBox(const QStringList &history)
{
    if (history.isEmpty())
        return {};
    return {history, history.first(), true};
}

ButtonStates ButtonStateRule(const QStringList &history, const QString &boxText,
                             bool keywordTimerArmed)
{
    const bool idleOn = !keywordTimerArmed;
    if (boxText.isEmpty())
        return {false, !history.isEmpty(), false, false};
    if (history.contains(boxText, Qt::CaseInsensitive))
        return {true, true, true, true};
    return {false, !history.isEmpty(), false, idleOn};
}

} // namespace Quorvane

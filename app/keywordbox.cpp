#include "app/keywordbox.h"

namespace Quorvane {

KeywordBoxFill fillKeywordBox(const QStringList &history)
{
    if (history.isEmpty())
        return {};
    return {history, history.first(), true};
}

ButtonStates buttonStateRule(const QStringList &history, const QString &boxText,
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

#include "sources/source.h"

namespace Quorvane {

QString reportSubfolder(const SuggestionSource &suggestions, const CountSource &counts)
{
    const QString suggestionsId = suggestions.id();
    const QString countsId = counts.id();
    if (suggestionsId == QLatin1String("classic") && countsId == QLatin1String("classic"))
        return {};
    return suggestionsId + QLatin1Char('+') + countsId;
}

} // namespace Quorvane

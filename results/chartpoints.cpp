#include "results/chartpoints.h"

#include "results/numbers.h"

namespace Quorvane {

ChartPoints chartPoints(const ResultList &list, const QLocale &locale)
{
    ChartPoints chart;
    for (int row = 0; row < list.listRowCount(); ++row) {
        const ListRow &cells = list.rows.at(row);
        const std::optional<double> searches =
            localeNumber(cells[ColumnSearches].trimmed(), locale);
        const std::optional<double> popularity =
            localeNumber(cells[ColumnPopularity].trimmed(), locale);
        if (!searches || !popularity || *searches <= 0 || *popularity <= 0) {
            ++chart.leftOut;
            continue;
        }
        chart.points << ChartPoint {
            row,         cells[ColumnSuggestions],         *searches,
            *popularity, cells[ColumnPopularityPerSearch], !cells[ColumnAd].trimmed().isEmpty()};
    }
    return chart;
}

} // namespace Quorvane

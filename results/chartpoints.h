#pragma once

#include "results/resultlist.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace Quorvane {

// One phrase of the list as a point of the searches-against-popularity chart.
struct ChartPoint
{
    int row = 0; // in display order
    QString phrase;
    double searches = 0;
    double popularity = 0;
    QString popularityPerSearch; // as the list shows it
    bool hasAds = false;

    bool operator==(const ChartPoint &other) const = default;
};

struct ChartPoints
{
    QList<ChartPoint> points;
    // Rows left out: no count, or a zero that a logarithmic axis cannot place.
    int leftOut = 0;

    bool operator==(const ChartPoints &other) const = default;
};

// The rows of the list that have both a monthly search count and a result count above zero,
// read by the locale's rules as the list shows them.
ChartPoints chartPoints(const ResultList &list, const QLocale &locale = QLocale());

} // namespace Quorvane

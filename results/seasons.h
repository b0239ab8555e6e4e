#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace Quorvane {

class ReportFolder;

// One month of a phrase's searches, as a source that knows them month by month gives them.
struct MonthlySearches
{
    int year = 0;
    int month = 0; // 1 to 12
    qint64 searches = 0;

    bool operator==(const MonthlySearches &other) const = default;
};

// Each phrase's monthly searches, oldest month first, at most the latest 12 months.
using Seasons = QHash<QString, QList<MonthlySearches>>;

inline constexpr int SeasonMonths = 12;

// The seasons file beside a report: golf_clubs.kwd -> golf_clubs.months.json. The report file
// itself keeps its fixed columns; the months live only here.
QString seasonsPath(const QString &reportPath);

// The months as the file stores them: per phrase, sorted oldest first, duplicates of a month
// dropped (the last given wins), months outside 1..12 and negative counts dropped, only the
// latest 12 kept. Phrases left without a month are dropped.
Seasons normalizedSeasons(const Seasons &seasons);

// What the seasons file holds: JSON with the months of every phrase and the SHA-1 of the report
// they belong to, so that a seasons file left beside a later report of another run is not shown
// with it.
QByteArray seasonsFileBytes(const Seasons &seasons, const QByteArray &reportBytes);

// After a run's report has been written: writes the seasons of its phrases beside it,
// atomically. With no months at all, removes an earlier seasons file instead (a source without
// monthly figures shows none). False, with the reason in *error, when the file could not be
// written or the report could not be read.
bool writeSeasons(const QString &reportPath, const Seasons &seasons, QString *error = nullptr);
// The same for the keyword's current report in the folder.
bool writeSeasons(const ReportFolder &folder, const QString &keyword, const Seasons &seasons,
                  QString *error = nullptr);

// The seasons kept beside the report; none when there is no seasons file, when it cannot be
// read, or when it belongs to other report bytes.
Seasons readSeasons(const QString &reportPath);

} // namespace Quorvane

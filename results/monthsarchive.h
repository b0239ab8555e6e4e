#pragma once

#include "results/reportfile.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Quorvane {

// Earlier months' reports are kept under "months/YYYY-MM/<report name>" inside the report folder,
// named by the month the report was written (its modification time), bytes unchanged. The
// current report stays where it always was; the kept months only ever grow by a run replacing
// an earlier month's report, and shrink only when the user removes a keyword's kept months.

// "2026-11"
QString monthKey(int year, int month);
QString monthKey(const QDate &date);
// "2026-11" as a year and a month; nothing for any other text.
std::optional<QDate> parseMonthKey(const QString &key);

// The folder of kept months: "months" inside the report folder.
QString monthsFolderPath(const ReportFolder &folder);

// Called by writeReport before it replaces `reportPath`. When that file was written in an
// earlier month than the folder's clock says it is now, its bytes (and its seasons file, when
// that belongs to it) are copied atomically to the months folder first; the caller's atomic
// replacement then puts the new report in place. A crash between the two steps leaves the
// earlier report both in place and kept, never neither. True when nothing needed keeping or it
// was kept; false, with the reason in *error, when it could not be kept (the caller then leaves
// the earlier report alone). A month already kept with other bytes (possible only after the
// clock was changed) takes the report being replaced: one report per month is kept.
bool keepEarlierMonth(const ReportFolder &folder, const QString &reportPath,
                      QString *error = nullptr);

// For tests only: run after an earlier month has been kept and before the new report is
// written, to stand for a crash between the two steps. Empty to remove.
void setAfterKeepingHook(std::function<void()> hook);

// One month's report of a keyword: a kept month or the current report.
struct ReportMonth
{
    QDate month; // the first day of the month
    QString filePath;
    bool current = false;

    QString key() const { return monthKey(month); }
    bool operator==(const ReportMonth &other) const = default;
};

// Every month's report of the keyword, oldest first: the kept months, then the current report
// (when there is one). A kept month of the same month as the current report comes before it.
QList<ReportMonth> reportMonths(const ReportFolder &folder, const QString &keyword);

// The kept files of a keyword (reports and their seasons files) under the months folder; what
// removeKeptMonths would delete.
QStringList keptMonthFiles(const ReportFolder &folder, const QString &keyword);
// Deletes them, and month folders left empty. The number of files deleted.
int removeKeptMonths(const ReportFolder &folder, const QString &keyword);

} // namespace Quorvane

#pragma once

#include "results/monthsarchive.h"
#include "results/reportfile.h"
#include "results/seasons.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace Quorvane {

// What became of a phrase between two months' reports.
enum class PhraseChange {
    Same, // in both, every figure as it was
    Changed, // in both, searches or result count differ (a count shown in one month only counts)
    New, // only in the later report
    Gone, // only in the earlier report
};

// "", "changed", "new", "gone": the mark column's text in the window and in every format.
QString phraseChangeText(PhraseChange change);

// One phrase of two months' reports. A figure is missing when the phrase is not in that
// month's report or its cell is empty there (no result count found for it that month).
struct ComparedPhrase
{
    QString phrase;
    std::optional<qint64> searchesThen;
    std::optional<qint64> searchesNow;
    std::optional<qint64> resultsThen;
    std::optional<qint64> resultsNow;
    std::optional<double> perSearchThen;
    std::optional<double> perSearchNow;
    PhraseChange change = PhraseChange::Same;
    // The later month's monthly searches of the phrase, or the earlier month's when the later
    // report has none; empty when neither source gave months.
    QList<MonthlySearches> seasons;

    // Now minus then; missing when either is.
    std::optional<qint64> searchesChange() const;
    std::optional<qint64> resultsChange() const;
};

struct MonthComparison
{
    QString keyword;
    QString fromMonth; // "2026-11"
    QString toMonth;
    // The later report's phrases in its order, then the gone ones in the earlier report's order.
    QList<ComparedPhrase> phrases;

    // The months of the phrases' seasons, oldest first, at most the latest 12: the extra
    // columns of the CSV. Empty when no phrase has any.
    QList<QDate> seasonMonths() const;
};

// Matches the two reports' phrases by their text (a phrase listed twice is matched occurrence
// by occurrence) and compares their figures, read by the locale's rules as the reports hold
// them.
MonthComparison compareReports(const StoredReport &then, const StoredReport &now,
                               const Seasons &seasonsThen = {}, const Seasons &seasonsNow = {},
                               const QLocale &locale = QLocale());

// Reads two months' reports (with their seasons files) and compares them. Nothing, with the
// reason in *error, when either cannot be read.
std::optional<MonthComparison> compareMonthReports(const QString &keyword, const ReportMonth &from,
                                                   const ReportMonth &to, QString *error = nullptr,
                                                   const QLocale &locale = QLocale());

// The comparison the command line asks for: `from` and `to` are "YYYY-MM" or empty. An empty
// `to` is the latest month (the current report); an empty `from` the month before `to`.
// Nothing, with the reason in *error, when the keyword has fewer than two months or a month
// asked for has no report.
std::optional<MonthComparison> compareKeywordMonths(const ReportFolder &folder,
                                                    const QString &keyword, const QString &from,
                                                    const QString &to, QString *error = nullptr,
                                                    const QLocale &locale = QLocale());

// The columns of a comparison, in every format's order; the season months follow them in CSV
// and JSON.
enum CompareColumn : int {
    CompareColumnPhrase = 0,
    CompareColumnSearchesThen,
    CompareColumnSearchesNow,
    CompareColumnSearchesChange,
    CompareColumnResultsThen,
    CompareColumnResultsNow,
    CompareColumnResultsChange,
    CompareColumnPerSearchThen,
    CompareColumnPerSearchNow,
    CompareColumnMark,
};
inline constexpr int CompareColumnCount = 10;

// "Searches 2026-11", "Results change", "Popularity/Search 2026-12", "Mark", ...
QString compareColumnCaption(const MonthComparison &comparison, int column);
// A cell as the window shows it: counts as the result list shows them (1,234), changes with
// their sign (+1,234, -56, 0), an empty cell for a missing figure.
QString compareCell(const ComparedPhrase &phrase, int column, const QLocale &locale = QLocale());
// A cell for arithmetic: plain digits, a minus sign where negative, empty when missing.
QString comparePlainCell(const ComparedPhrase &phrase, int column);

// `rows` are indexes of comparison.phrases in display order.
// Tab-separated with a header line, cells as shown, "\n" after each line: for the clipboard.
QString comparisonTsv(const MonthComparison &comparison, const QList<int> &rows,
                      const QLocale &locale = QLocale());
// RFC 4180 with plain figures, CR LF line ends; the season months as extra columns at the end
// when any phrase has them (a phrase without that month leaves the cell empty).
QString comparisonCsv(const MonthComparison &comparison, const QList<int> &rows);

// The text formats of `quorvane-cli compare`.
enum class CompareFormat { Table, Tsv, Csv, Json };
// "table", "tsv", "csv", "json"; nothing for any other text.
std::optional<CompareFormat> compareFormatFromName(const QString &name);
// Every phrase in the comparison's order. Table: columns aligned for a terminal, "-" for a
// missing figure, counts as shown. Tsv: as comparisonTsv. Csv: as comparisonCsv. Json: one
// object with the keyword, both months and per phrase its figures (null where missing), its
// mark and, when present, its "monthly_searches".
QString formatComparison(const MonthComparison &comparison, CompareFormat format,
                         const QLocale &locale = QLocale());

// One month's figures of a keyword for the chart.
struct PhraseFigures
{
    std::optional<qint64> searches;
    std::optional<qint64> results;
};
struct MonthFigures
{
    QDate month;
    bool current = false;
    qint64 totalSearches = 0; // over the report's phrases
    QHash<QString, PhraseFigures> phrases;
};
// Every readable month of the list, in its order; unreadable reports are left out.
QList<MonthFigures> monthFigures(const QList<ReportMonth> &months,
                                 const QLocale &locale = QLocale());

} // namespace Quorvane

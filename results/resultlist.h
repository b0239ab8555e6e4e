#pragma once

#include "results/suggestiontable.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace Quorvane {

enum ListColumn : int {
    ColumnId = 0,
    ColumnSuggestions,
    ColumnSearches,
    ColumnPercent,
    ColumnSum,
    ColumnPopularity,
    ColumnPopularityPerSearch,
    ColumnAd,
};
inline constexpr int ListColumnCount = 8;

// Initial widths in twips (15 per pixel at 96 dpi) and which columns are right-aligned.
inline constexpr std::array<int, ListColumnCount> ListColumnWidthsTwips {882,  5768, 2469, 1587,
                                                                         1587, 3175, 3175, 882};
inline constexpr std::array<bool, ListColumnCount> ListColumnRightAligned {
    false, false, true, true, true, true, true, true};

// Widths of the report file's fixed fields; the "Ad" field runs to the end of the line.
inline constexpr std::array<int, ListColumnCount - 1> ReportFieldWidths {5, 65, 13, 8, 8, 13, 18};

// A phrase longer than this is cut, in the list, in the report and in the table.
inline constexpr int MaxPhraseLength = 65;

// "ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity", "Popularity/Search", "Ad".
QString listColumnCaption(int column);

// One row of the result list: the eight cell texts, indexed by ListColumn.
struct ListRow
{
    std::array<QString, ListColumnCount> cells;

    QString &operator[](int column) { return cells[std::size_t(column)]; }
    const QString &operator[](int column) const { return cells[std::size_t(column)]; }
    bool operator==(const ListRow &other) const = default;
};

// Builds the search engine address of a phrase; the phrase is passed as the list shows it
// (spaces included), the builder encodes it, spaces as "+". The program passes queryAddress.
using QueryAddressBuilder = std::function<QString(const QString &phrase)>;

// What the result list shows. The widget mirrors it; all rules work on this.
struct ResultList
{
    QList<ListRow> rows;
    // Caption of column 1: "Suggestions" until results are shown, then the summary caption.
    QString suggestionsCaption = listColumnCaption(ColumnSuggestions);
    // One address per row in display order; filled by the run, loadReport and
    // refreshListFigures.
    QStringList queryAddresses;
    // Set by the caller once a finished run or a loaded report is shown.
    bool resultsShown = false;
    // True while the rows are ordered by "Popularity/Search".
    bool popularitySorted = false;

    int listRowCount() const { return int(rows.size()); }
    // What the history deletions do to the list: no rows, caption back, nothing shown.
    void clearResults();
};

// The run's total of monthly searches. A Searches text that is not a number counts as 0.
qint64 totalSearches(const SuggestionTable &table, const QLocale &locale = QLocale());

// The row rule for table entry `index` (row number index + 1). Adds the entry's share to
// runningPercent and cuts an overlong Keyword in the table as well. A total of 0 gives
// 0.0% shares; 0 searches gives an empty "Popularity/Search". Every cell but "Ad" fits its
// report field: a count too wide with separators is given without them.
ListRow makeListRow(SuggestionTable &table, int index, qint64 totalSearches, double &runningPercent,
                    const QLocale &locale = QLocale());

// The row rule over entries 0 .. suggestionCount - 1.
QList<ListRow> makeListRows(SuggestionTable &table, qint64 totalSearches,
                            const QLocale &locale = QLocale());

// Caption of column 1 after a run:
// Keyword "golf" searches 12,345 (top 42 only)
QString summaryCaption(const QString &seedKeyword, qint64 totalSearches, int suggestionCount,
                       const QLocale &locale = QLocale());

// The "Popularity/Search" text as the sort compares it: its value in format "000000000".
QString paddedForSort(const QString &popularityPerSearch, const QLocale &locale = QLocale());

// Orders the rows by ascending "Popularity/Search" (stable among equal values), leaving the
// cells as they were. The caller then calls refreshListFigures.
void sortByPopularityPerSearch(ResultList &list, const QLocale &locale = QLocale());

// After a reorder: "Sum" rebuilt from the shown percentages in display order,
// "Popularity/Search" back in its normal format (also from padded texts), queryAddresses
// rebuilt in display order. "ID" keeps each row's number.
void refreshListFigures(ResultList &list, const QueryAddressBuilder &queryAddress,
                        const QLocale &locale = QLocale());

} // namespace Quorvane

#include "results/resultlist.h"

#include "results/numbers.h"
#include "results/plaintext.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {

namespace {

// Cuts to at most `length` characters without splitting a surrogate pair.
QString cutText(const QString &text, int length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = length;
    if (cut > 0 && text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut);
}

double searchesValue(const QString &searches, const QLocale &locale)
{
    return localeNumber(searches, locale).value_or(0.0);
}

// A count wider than its report field keeps its value by dropping the separators; anything
// else too wide is cut, so that the fixed fields never shift.
QString fitField(const QString &text, int width, const QLocale &locale)
{
    if (text.size() <= width)
        return text;
    if (const auto value = localeNumber(text, locale)) {
        const QString plain = formatWhole(*value);
        if (plain.size() <= width)
            return plain;
    }
    return cutText(text, width);
}

QString countCell(const QString &text, const QLocale &locale)
{
    const auto value = localeNumber(text, locale);
    return value && *value > 999 ? formatThousands(*value, locale) : text;
}

QString ratioCell(const QString &searchesCell, const QString &popularityCell, const QLocale &locale)
{
    const double searches = valueThroughWholeFormat(searchesCell, locale);
    if (searches == 0)
        return QString(); // no ratio without searches; sorts as 0
    const double ratio = valueThroughWholeFormat(popularityCell, locale) / searches;
    return std::trunc(ratio) > 999 ? formatThousands(ratio, locale) : formatWhole(ratio);
}

double percentValue(QString text, const QLocale &locale)
{
    text.remove(u'%');
    // Read with the locale's decimal mark: "12,5" under de_DE is 12.5, not 12.
    return localeNumber(text, locale).value_or(leadingNumber(text));
}

} // namespace

QString listColumnCaption(int column)
{
    static const std::array<QString, ListColumnCount> captions {QStringLiteral("ID"),
                                                                QStringLiteral("Suggestions"),
                                                                QStringLiteral("Searches/mo."),
                                                                QStringLiteral("Percent"),
                                                                QStringLiteral("Sum"),
                                                                QStringLiteral("Popularity"),
                                                                QStringLiteral("Popularity/Search"),
                                                                QStringLiteral("Ad")};
    return column >= 0 && column < ListColumnCount ? captions[std::size_t(column)] : QString();
}

void ResultList::clearResults()
{
    rows.clear();
    suggestionsCaption = listColumnCaption(ColumnSuggestions);
    resultsShown = false;
}

qint64 totalSearches(const SuggestionTable &table, const QLocale &locale)
{
    const int count = std::clamp(int(table.suggestionCount), 0, MaxSuggestions);
    double total = 0;
    for (int i = 0; i < count; ++i)
        total += searchesValue(table.entries[std::size_t(i)].searches, locale);
    // Absurd counts (an exponent in a cell) must not overflow the conversion.
    constexpr double limit = 4e18;
    if (std::isnan(total))
        return 0;
    return qint64(std::clamp(roundHalfAwayFromZero(total), -limit, limit));
}

ListRow makeListRow(SuggestionTable &table, int index, qint64 totalSearches, double &runningPercent,
                    const QLocale &locale)
{
    Q_ASSERT(index >= 0 && index < MaxSuggestions);
    Suggestion &entry = table.entries[std::size_t(index)];
    const double share = totalSearches == 0
        ? 0.0
        : searchesValue(entry.searches, locale) / double(totalSearches) * 100.0;
    runningPercent += share;

    entry.keyword = cutText(entry.keyword, MaxPhraseLength);

    ListRow row;
    row[ColumnId] = QString::number(index + 1);
    row[ColumnSuggestions] = singleLine(entry.keyword);
    row[ColumnSearches] = singleLine(countCell(entry.searches, locale));
    row[ColumnPercent] = formatOneDecimal(share, locale) + u'%';
    row[ColumnSum] = formatOneDecimal(runningPercent, locale) + u'%';
    row[ColumnPopularity] = singleLine(countCell(entry.results, locale));
    for (int column = 0; column < ColumnPopularityPerSearch; ++column)
        row[column] = fitField(row[column], ReportFieldWidths[std::size_t(column)], locale);
    row[ColumnPopularityPerSearch] =
        fitField(ratioCell(row[ColumnSearches], row[ColumnPopularity], locale),
                 ReportFieldWidths[ColumnPopularityPerSearch], locale);
    row[ColumnAd] = entry.hasAds ? QStringLiteral("Y") : QString();
    return row;
}

QList<ListRow> makeListRows(SuggestionTable &table, qint64 totalSearches, const QLocale &locale)
{
    const int count = std::clamp(int(table.suggestionCount), 0, MaxSuggestions);
    QList<ListRow> rows;
    rows.reserve(count);
    double runningPercent = 0;
    for (int i = 0; i < count; ++i)
        rows.append(makeListRow(table, i, totalSearches, runningPercent, locale));
    return rows;
}

QString summaryCaption(const QString &seedKeyword, qint64 totalSearches, int suggestionCount,
                       const QLocale &locale)
{
    return QStringLiteral("Keyword \"%1\" searches %2 (top %3 only)")
        .arg(seedKeyword, formatCount(double(totalSearches), locale),
             QString::number(suggestionCount));
}

QString paddedForSort(const QString &popularityPerSearch, const QLocale &locale)
{
    return formatNineDigits(valueThroughWholeFormat(popularityPerSearch, locale));
}

void sortByPopularityPerSearch(ResultList &list, const QLocale &locale)
{
    QList<std::pair<QString, ListRow>> keyed;
    keyed.reserve(list.rows.size());
    for (const ListRow &row : std::as_const(list.rows))
        keyed.append({paddedForSort(row[ColumnPopularityPerSearch], locale), row});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        list.rows[i] = keyed[i].second;
}

void refreshListFigures(ResultList &list, const QueryAddressBuilder &queryAddress,
                        const QLocale &locale)
{
    list.queryAddresses.clear();
    for (qsizetype n = 0; n < list.rows.size(); ++n) {
        ListRow &row = list.rows[n];
        if (n == 0) {
            row[ColumnSum] = row[ColumnPercent];
        } else {
            const double sum = percentValue(row[ColumnPercent], locale)
                + percentValue(list.rows[n - 1][ColumnSum], locale);
            row[ColumnSum] = formatOneDecimal(sum, locale) + u'%';
        }

        QString &ratio = row[ColumnPopularityPerSearch];
        if (valueThroughWholeFormat(row[ColumnSearches], locale) == 0)
            ratio.clear();
        else
            ratio = formatCount(valueThroughWholeFormat(ratio, locale), locale);

        const QString &phrase = row[ColumnSuggestions];
        list.queryAddresses.append(queryAddress ? queryAddress(phrase) : phrase);
    }
}

} // namespace Quorvane

#include "resultlist.h"

#include "numbers.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {

namespace {

// Cuts to at most `length` characters without splitting a surrogate pair.
QString CutText(const QString &text, int length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = length;
    if (cut > 0 && text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut);
}

// A line break inside a cell would split its report line; it shows as a space instead.
QString SingleLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

double SearchesValue(const QString &searches, const QLocale &locale)
{
    return LocaleNumber(searches, locale).value_or(0.0);
}

// A count wider than its report field keeps its value by dropping the separators; anything
// else too wide is cut, so that the fixed fields never shift.
QString FitField(const QString &text, int width, const QLocale &locale)
{
    if (text.size() <= width)
        return text;
    if (const auto value = LocaleNumber(text, locale)) {
        const QString plain = FormatWhole(*value);
        if (plain.size() <= width)
            return plain;
    }
    return CutText(text, width);
}

QString CountCell(const QString &text, const QLocale &locale)
{
    const auto value = LocaleNumber(text, locale);
    return value && *value > 999 ? FormatThousands(*value, locale) : text;
}

QString RatioCell(const QString &searchesCell, const QString &popularityCell, const QLocale &locale)
{
    const double searches = ValueThroughWholeFormat(searchesCell, locale);
    if (searches == 0)
        return QString(); // no ratio without searches; sorts as 0
    const double ratio = ValueThroughWholeFormat(popularityCell, locale) / searches;
    return std::trunc(ratio) > 999 ? FormatThousands(ratio, locale) : FormatWhole(ratio);
}

double PercentValue(QString text, const QLocale &locale)
{
    text.remove(u'%');
    // Read with the locale's decimal mark: "12,5" under de_DE is 12.5, not 12.
    return LocaleNumber(text, locale).value_or(LeadingNumber(text));
}

} // namespace

QString ListColumnCaption(int column)
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

void ResultList::ClearResults()
{
    Rows.clear();
    SuggestionsCaption = ListColumnCaption(ColumnSuggestions);
    ResultsShown = false;
}

qint64 TotalSearches(const SuggestionTable &table, const QLocale &locale)
{
    const int count = std::clamp(int(table.SuggestionCount), 0, MaxSuggestions);
    double total = 0;
    for (int i = 0; i < count; ++i)
        total += SearchesValue(table.Entries[std::size_t(i)].Searches, locale);
    // Absurd counts (an exponent in a cell) must not overflow the conversion.
    constexpr double limit = 4e18;
    if (std::isnan(total))
        return 0;
    return qint64(std::clamp(RoundHalfAwayFromZero(total), -limit, limit));
}

ListRow MakeListRow(SuggestionTable &table, int index, qint64 totalSearches, double &runningPercent,
                    const QLocale &locale)
{
    Q_ASSERT(index >= 0 && index < MaxSuggestions);
    Suggestion &entry = table.Entries[std::size_t(index)];
    const double share = totalSearches == 0
        ? 0.0
        : SearchesValue(entry.Searches, locale) / double(totalSearches) * 100.0;
    runningPercent += share;

    entry.Keyword = CutText(entry.Keyword, MaxPhraseLength);

    ListRow row;
    row[ColumnId] = QString::number(index + 1);
    row[ColumnSuggestions] = SingleLine(entry.Keyword);
    row[ColumnSearches] = SingleLine(CountCell(entry.Searches, locale));
    row[ColumnPercent] = FormatOneDecimal(share, locale) + u'%';
    row[ColumnSum] = FormatOneDecimal(runningPercent, locale) + u'%';
    row[ColumnPopularity] = SingleLine(CountCell(entry.Results, locale));
    for (int column = 0; column < ColumnPopularityPerSearch; ++column)
        row[column] = FitField(row[column], ReportFieldWidths[std::size_t(column)], locale);
    row[ColumnPopularityPerSearch] =
        FitField(RatioCell(row[ColumnSearches], row[ColumnPopularity], locale),
                 ReportFieldWidths[ColumnPopularityPerSearch], locale);
    row[ColumnAd] = entry.HasAds ? QStringLiteral("Y") : QString();
    return row;
}

QList<ListRow> MakeListRows(SuggestionTable &table, qint64 totalSearches, const QLocale &locale)
{
    const int count = std::clamp(int(table.SuggestionCount), 0, MaxSuggestions);
    QList<ListRow> rows;
    rows.reserve(count);
    double runningPercent = 0;
    for (int i = 0; i < count; ++i)
        rows.append(MakeListRow(table, i, totalSearches, runningPercent, locale));
    return rows;
}

QString SummaryCaption(const QString &seedKeyword, qint64 totalSearches, int suggestionCount,
                       const QLocale &locale)
{
    return QStringLiteral("Keyword \"%1\" searches %2 (top %3 only)")
        .arg(seedKeyword, FormatCount(double(totalSearches), locale),
             QString::number(suggestionCount));
}

QString PaddedForSort(const QString &popularityPerSearch, const QLocale &locale)
{
    return FormatNineDigits(ValueThroughWholeFormat(popularityPerSearch, locale));
}

void SortByPopularityPerSearch(ResultList &list, const QLocale &locale)
{
    QList<std::pair<QString, ListRow>> keyed;
    keyed.reserve(list.Rows.size());
    for (const ListRow &row : std::as_const(list.Rows))
        keyed.append({PaddedForSort(row[ColumnPopularityPerSearch], locale), row});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        list.Rows[i] = keyed[i].second;
}

void RefreshListFigures(ResultList &list, const QueryAddressBuilder &queryAddress,
                        const QLocale &locale)
{
    list.QueryAddresses.clear();
    for (qsizetype n = 0; n < list.Rows.size(); ++n) {
        ListRow &row = list.Rows[n];
        if (n == 0) {
            row[ColumnSum] = row[ColumnPercent];
        } else {
            const double sum = PercentValue(row[ColumnPercent], locale)
                + PercentValue(list.Rows[n - 1][ColumnSum], locale);
            row[ColumnSum] = FormatOneDecimal(sum, locale) + u'%';
        }

        QString &ratio = row[ColumnPopularityPerSearch];
        if (ValueThroughWholeFormat(row[ColumnSearches], locale) == 0)
            ratio.clear();
        else
            ratio = FormatCount(ValueThroughWholeFormat(ratio, locale), locale);

        const QString &phrase = row[ColumnSuggestions];
        list.QueryAddresses.append(queryAddress ? queryAddress(phrase) : phrase);
    }
}

} // namespace Quorvane

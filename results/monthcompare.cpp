#include "results/monthcompare.h"

#include "results/numbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <set>

namespace Quorvane {

namespace {

std::optional<double> figureOf(const QString &cell, const QLocale &locale)
{
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return localeNumber(text, locale);
}

std::optional<qint64> countOf(const QString &cell, const QLocale &locale)
{
    const std::optional<double> value = figureOf(cell, locale);
    if (!value)
        return std::nullopt;
    return qint64(std::llround(*value));
}

// A row without a result count shows a popularity per search of 0, which would read as the
// best of all phrases; without a count there is no ratio to compare.
void readFigures(const ListRow &row, const QLocale &locale, std::optional<qint64> &searches,
                 std::optional<qint64> &results, std::optional<double> &perSearch)
{
    searches = countOf(row[ColumnSearches], locale);
    results = countOf(row[ColumnPopularity], locale);
    perSearch = results ? figureOf(row[ColumnPopularityPerSearch], locale) : std::nullopt;
}

std::optional<qint64> difference(std::optional<qint64> then, std::optional<qint64> now)
{
    if (!then || !now)
        return std::nullopt;
    return *now - *then;
}

QString shownCount(std::optional<double> value, const QLocale &locale)
{
    return value ? formatCount(*value, locale) : QString();
}

QString shownChange(std::optional<qint64> value, const QLocale &locale)
{
    if (!value)
        return {};
    const QString magnitude = formatCount(double(std::llabs(*value)), locale);
    return *value > 0 ? u'+' + magnitude : *value < 0 ? u'-' + magnitude : magnitude;
}

std::optional<double> asDouble(std::optional<qint64> value)
{
    return value ? std::optional<double>(double(*value)) : std::nullopt;
}

QString quoted(const QString &field)
{
    QString text = field;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString field(const QString &cell, QChar separator)
{
    const bool needsQuotes = cell.contains(separator) || cell.contains(u'\n')
        || cell.contains(u'\r') || cell.contains(u'"');
    return needsQuotes ? quoted(cell) : cell;
}

bool isRightAligned(int column)
{
    return column != CompareColumnPhrase && column != CompareColumnMark;
}

QList<int> everyRow(const MonthComparison &comparison)
{
    QList<int> rows;
    for (int i = 0; i < comparison.phrases.size(); ++i)
        rows << i;
    return rows;
}

std::optional<qint64> seasonSearches(const ComparedPhrase &phrase, const QDate &month)
{
    for (const MonthlySearches &m : phrase.seasons) {
        if (m.year == month.year() && m.month == month.month())
            return m.searches;
    }
    return std::nullopt;
}

QJsonValue jsonNumber(std::optional<double> value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString tableText(const MonthComparison &comparison, const QLocale &locale)
{
    QList<QStringList> lines;
    QStringList header;
    for (int column = 0; column < CompareColumnCount; ++column)
        header << compareColumnCaption(comparison, column);
    lines << header;
    for (const ComparedPhrase &phrase : comparison.phrases) {
        QStringList cells;
        for (int column = 0; column < CompareColumnCount; ++column) {
            const QString cell = compareCell(phrase, column, locale);
            cells << (cell.isEmpty() && column != CompareColumnMark ? QStringLiteral("-") : cell);
        }
        lines << cells;
    }
    QList<qsizetype> widths(CompareColumnCount, 0);
    for (const QStringList &cells : std::as_const(lines)) {
        for (int column = 0; column < CompareColumnCount; ++column)
            widths[column] = std::max(widths[column], cells[column].size());
    }
    QString text;
    for (const QStringList &cells : std::as_const(lines)) {
        QString line;
        for (int column = 0; column < CompareColumnCount; ++column) {
            if (column > 0)
                line += QStringLiteral("  ");
            line += isRightAligned(column) ? cells[column].rightJustified(widths[column], u' ')
                                           : cells[column].leftJustified(widths[column], u' ');
        }
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

QString jsonText(const MonthComparison &comparison)
{
    QJsonArray phrases;
    for (const ComparedPhrase &p : comparison.phrases) {
        QJsonObject o {
            {QStringLiteral("phrase"), p.phrase},
            {QStringLiteral("searches_from"), jsonNumber(asDouble(p.searchesThen))},
            {QStringLiteral("searches_to"), jsonNumber(asDouble(p.searchesNow))},
            {QStringLiteral("searches_change"), jsonNumber(asDouble(p.searchesChange()))},
            {QStringLiteral("results_from"), jsonNumber(asDouble(p.resultsThen))},
            {QStringLiteral("results_to"), jsonNumber(asDouble(p.resultsNow))},
            {QStringLiteral("results_change"), jsonNumber(asDouble(p.resultsChange()))},
            {QStringLiteral("popularity_per_search_from"), jsonNumber(p.perSearchThen)},
            {QStringLiteral("popularity_per_search_to"), jsonNumber(p.perSearchNow)},
            {QStringLiteral("mark"), phraseChangeText(p.change)},
        };
        if (!p.seasons.isEmpty()) {
            QJsonArray months;
            for (const MonthlySearches &m : p.seasons)
                months.append(QJsonObject {{QStringLiteral("month"), monthKey(m.year, m.month)},
                                           {QStringLiteral("searches"), double(m.searches)}});
            o.insert(QStringLiteral("monthly_searches"), months);
        }
        phrases.append(o);
    }
    const QJsonObject root {{QStringLiteral("keyword"), comparison.keyword},
                            {QStringLiteral("from"), comparison.fromMonth},
                            {QStringLiteral("to"), comparison.toMonth},
                            {QStringLiteral("phrases"), phrases}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

} // namespace

QString phraseChangeText(PhraseChange change)
{
    switch (change) {
    case PhraseChange::Same:
        return QStringLiteral("same");
    case PhraseChange::Changed:
        return QStringLiteral("changed");
    case PhraseChange::New:
        return QStringLiteral("new");
    case PhraseChange::Gone:
        return QStringLiteral("gone");
    }
    return {};
}

std::optional<qint64> ComparedPhrase::searchesChange() const
{
    return difference(searchesThen, searchesNow);
}

std::optional<qint64> ComparedPhrase::resultsChange() const
{
    return difference(resultsThen, resultsNow);
}

QList<QDate> MonthComparison::seasonMonths() const
{
    std::set<QDate> months;
    for (const ComparedPhrase &phrase : phrases) {
        for (const MonthlySearches &m : phrase.seasons)
            months.insert(QDate(m.year, m.month, 1));
    }
    QList<QDate> list(months.begin(), months.end());
    if (list.size() > SeasonMonths)
        list = list.mid(list.size() - SeasonMonths);
    return list;
}

MonthComparison compareReports(const StoredReport &then, const StoredReport &now,
                               const Seasons &seasonsThen, const Seasons &seasonsNow,
                               const QLocale &locale)
{
    // Each earlier row is matched once: the k-th listing of a phrase now with its k-th then.
    QHash<QString, QList<int>> unmatched;
    for (int i = 0; i < then.rows.size(); ++i)
        unmatched[then.rows[i][ColumnSuggestions]].append(i);

    const auto seasonsOf = [&](const QString &phrase) {
        const QList<MonthlySearches> later = seasonsNow.value(phrase);
        return later.isEmpty() ? seasonsThen.value(phrase) : later;
    };

    MonthComparison comparison;
    for (const ListRow &row : now.rows) {
        ComparedPhrase p;
        p.phrase = row[ColumnSuggestions];
        readFigures(row, locale, p.searchesNow, p.resultsNow, p.perSearchNow);
        QList<int> &earlier = unmatched[p.phrase];
        if (earlier.isEmpty()) {
            p.change = PhraseChange::New;
        } else {
            const ListRow &old = then.rows[earlier.takeFirst()];
            readFigures(old, locale, p.searchesThen, p.resultsThen, p.perSearchThen);
            p.change = p.searchesThen == p.searchesNow && p.resultsThen == p.resultsNow
                ? PhraseChange::Same
                : PhraseChange::Changed;
        }
        p.seasons = seasonsOf(p.phrase);
        comparison.phrases.append(p);
    }
    for (int i = 0; i < then.rows.size(); ++i) {
        const ListRow &old = then.rows[i];
        QList<int> &left = unmatched[old[ColumnSuggestions]];
        if (left.isEmpty() || left.first() != i)
            continue;
        left.removeFirst();
        ComparedPhrase p;
        p.phrase = old[ColumnSuggestions];
        readFigures(old, locale, p.searchesThen, p.resultsThen, p.perSearchThen);
        p.change = PhraseChange::Gone;
        p.seasons = seasonsOf(p.phrase);
        comparison.phrases.append(p);
    }
    return comparison;
}

std::optional<MonthComparison> compareMonthReports(const QString &keyword, const ReportMonth &from,
                                                   const ReportMonth &to, QString *error,
                                                   const QLocale &locale)
{
    const std::optional<StoredReport> then = readReport(from.filePath, locale);
    const std::optional<StoredReport> now = readReport(to.filePath, locale);
    if (!then || !now) {
        if (error)
            *error = QStringLiteral("The report of %1 cannot be read: %2")
                         .arg((then ? to : from).key(), (then ? to : from).filePath);
        return std::nullopt;
    }
    MonthComparison comparison =
        compareReports(*then, *now, readSeasons(from.filePath), readSeasons(to.filePath), locale);
    comparison.keyword = keyword;
    comparison.fromMonth = from.key();
    comparison.toMonth = to.key();
    return comparison;
}

std::optional<MonthComparison> compareKeywordMonths(const ReportFolder &folder,
                                                    const QString &keyword, const QString &from,
                                                    const QString &to, QString *error,
                                                    const QLocale &locale)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QList<ReportMonth> months = reportMonths(folder, keyword);
    QStringList keys;
    for (const ReportMonth &m : months)
        keys << m.key();
    if (months.size() < 2)
        return fail(QStringLiteral("\"%1\" has %2 month(s) of reports; comparing needs two")
                        .arg(keyword)
                        .arg(months.size()));
    const auto missing = [&](const QString &key) {
        return fail(QStringLiteral("No report of \"%1\" for %2 (months: %3)")
                        .arg(keyword, key, keys.join(QStringLiteral(", "))));
    };
    const qsizetype toIndex = to.isEmpty() ? months.size() - 1 : keys.lastIndexOf(to);
    if (toIndex < 0)
        return missing(to);
    qsizetype fromIndex = -1;
    if (from.isEmpty())
        fromIndex = toIndex > 0 ? toIndex - 1 : 1;
    else {
        for (qsizetype i = 0; i < keys.size() && fromIndex < 0; ++i) {
            if (keys[i] == from && i != toIndex)
                fromIndex = i;
        }
    }
    if (fromIndex < 0)
        return missing(from);
    return compareMonthReports(keyword, months[fromIndex], months[toIndex], error, locale);
}

QString compareColumnCaption(const MonthComparison &comparison, int column)
{
    switch (column) {
    case CompareColumnPhrase:
        return QStringLiteral("Phrase");
    case CompareColumnSearchesThen:
        return QStringLiteral("Searches %1").arg(comparison.fromMonth);
    case CompareColumnSearchesNow:
        return QStringLiteral("Searches %1").arg(comparison.toMonth);
    case CompareColumnSearchesChange:
        return QStringLiteral("Searches change");
    case CompareColumnResultsThen:
        return QStringLiteral("Results %1").arg(comparison.fromMonth);
    case CompareColumnResultsNow:
        return QStringLiteral("Results %1").arg(comparison.toMonth);
    case CompareColumnResultsChange:
        return QStringLiteral("Results change");
    case CompareColumnPerSearchThen:
        return QStringLiteral("Popularity/Search %1").arg(comparison.fromMonth);
    case CompareColumnPerSearchNow:
        return QStringLiteral("Popularity/Search %1").arg(comparison.toMonth);
    case CompareColumnMark:
        return QStringLiteral("Mark");
    default:
        return {};
    }
}

QString compareCell(const ComparedPhrase &phrase, int column, const QLocale &locale)
{
    switch (column) {
    case CompareColumnPhrase:
        return phrase.phrase;
    case CompareColumnSearchesThen:
        return shownCount(asDouble(phrase.searchesThen), locale);
    case CompareColumnSearchesNow:
        return shownCount(asDouble(phrase.searchesNow), locale);
    case CompareColumnSearchesChange:
        return shownChange(phrase.searchesChange(), locale);
    case CompareColumnResultsThen:
        return shownCount(asDouble(phrase.resultsThen), locale);
    case CompareColumnResultsNow:
        return shownCount(asDouble(phrase.resultsNow), locale);
    case CompareColumnResultsChange:
        return shownChange(phrase.resultsChange(), locale);
    case CompareColumnPerSearchThen:
        return shownCount(phrase.perSearchThen, locale);
    case CompareColumnPerSearchNow:
        return shownCount(phrase.perSearchNow, locale);
    case CompareColumnMark:
        return phraseChangeText(phrase.change);
    default:
        return {};
    }
}

QString comparePlainCell(const ComparedPhrase &phrase, int column)
{
    const auto plain = [](std::optional<double> value) {
        return value ? QString::number(*value, 'f', 0) : QString();
    };
    switch (column) {
    case CompareColumnSearchesThen:
        return plain(asDouble(phrase.searchesThen));
    case CompareColumnSearchesNow:
        return plain(asDouble(phrase.searchesNow));
    case CompareColumnSearchesChange:
        return plain(asDouble(phrase.searchesChange()));
    case CompareColumnResultsThen:
        return plain(asDouble(phrase.resultsThen));
    case CompareColumnResultsNow:
        return plain(asDouble(phrase.resultsNow));
    case CompareColumnResultsChange:
        return plain(asDouble(phrase.resultsChange()));
    case CompareColumnPerSearchThen:
        return plain(phrase.perSearchThen);
    case CompareColumnPerSearchNow:
        return plain(phrase.perSearchNow);
    default:
        return compareCell(phrase, column);
    }
}

QString comparisonTsv(const MonthComparison &comparison, const QList<int> &rows,
                      const QLocale &locale)
{
    QStringList fields;
    for (int column = 0; column < CompareColumnCount; ++column)
        fields << field(compareColumnCaption(comparison, column), u'\t');
    QString text = fields.join(u'\t') + u'\n';
    for (int row : rows) {
        fields.clear();
        for (int column = 0; column < CompareColumnCount; ++column)
            fields << field(compareCell(comparison.phrases.at(row), column, locale), u'\t');
        text += fields.join(u'\t') + u'\n';
    }
    return text;
}

QString comparisonCsv(const MonthComparison &comparison, const QList<int> &rows)
{
    const QString lineEnd = QStringLiteral("\r\n");
    const QList<QDate> seasonMonths = comparison.seasonMonths();
    QStringList fields;
    for (int column = 0; column < CompareColumnCount; ++column)
        fields << field(compareColumnCaption(comparison, column), u',');
    for (const QDate &month : seasonMonths)
        fields << monthKey(month);
    QString text = fields.join(u',') + lineEnd;
    for (int row : rows) {
        const ComparedPhrase &phrase = comparison.phrases.at(row);
        fields.clear();
        for (int column = 0; column < CompareColumnCount; ++column)
            fields << field(comparePlainCell(phrase, column), u',');
        for (const QDate &month : seasonMonths) {
            const std::optional<qint64> searches = seasonSearches(phrase, month);
            fields << (searches ? QString::number(*searches) : QString());
        }
        text += fields.join(u',') + lineEnd;
    }
    return text;
}

std::optional<CompareFormat> compareFormatFromName(const QString &name)
{
    if (name == QLatin1String("table"))
        return CompareFormat::Table;
    if (name == QLatin1String("tsv"))
        return CompareFormat::Tsv;
    if (name == QLatin1String("csv"))
        return CompareFormat::Csv;
    if (name == QLatin1String("json"))
        return CompareFormat::Json;
    return std::nullopt;
}

QString formatComparison(const MonthComparison &comparison, CompareFormat format,
                         const QLocale &locale)
{
    switch (format) {
    case CompareFormat::Table:
        return tableText(comparison, locale);
    case CompareFormat::Tsv:
        return comparisonTsv(comparison, everyRow(comparison), locale);
    case CompareFormat::Csv:
        return comparisonCsv(comparison, everyRow(comparison));
    case CompareFormat::Json:
        return jsonText(comparison);
    }
    return {};
}

QList<MonthFigures> monthFigures(const QList<ReportMonth> &months, const QLocale &locale)
{
    QList<MonthFigures> figures;
    for (const ReportMonth &month : months) {
        const std::optional<StoredReport> report = readReport(month.filePath, locale);
        if (!report)
            continue;
        MonthFigures f;
        f.month = month.month;
        f.current = month.current;
        for (const ListRow &row : report->rows) {
            const PhraseFigures phrase {countOf(row[ColumnSearches], locale),
                                        countOf(row[ColumnPopularity], locale)};
            f.totalSearches += phrase.searches.value_or(0);
            if (!f.phrases.contains(row[ColumnSuggestions]))
                f.phrases.insert(row[ColumnSuggestions], phrase);
        }
        figures.append(f);
    }
    return figures;
}

} // namespace Quorvane

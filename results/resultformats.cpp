#include "results/resultformats.h"

#include "results/listexport.h"
#include "results/numbers.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace Quorvane {

namespace {

// The cell as a JSON number: whole numbers as integers, others with the decimals shown.
QJsonValue plainNumber(const QString &cell, const QLocale &locale)
{
    const QString plain = plainFigure(cell, locale);
    bool ok = false;
    const qint64 whole = plain.toLongLong(&ok);
    if (ok)
        return whole;
    const double value = plain.toDouble(&ok);
    return ok ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

} // namespace

std::optional<ResultFormat> resultFormatNamed(const QString &name)
{
    static const QList<std::pair<QString, ResultFormat>> names {
        {QStringLiteral("table"), ResultFormat::Table},
        {QStringLiteral("tsv"), ResultFormat::Tsv},
        {QStringLiteral("csv"), ResultFormat::Csv},
        {QStringLiteral("json"), ResultFormat::Json},
        {QStringLiteral("report"), ResultFormat::Report}};
    for (const auto &[text, format] : names) {
        if (text == name)
            return format;
    }
    return std::nullopt;
}

QString resultFileSuffix(ResultFormat format)
{
    switch (format) {
    case ResultFormat::Table:
        return QStringLiteral(".txt");
    case ResultFormat::Tsv:
        return QStringLiteral(".tsv");
    case ResultFormat::Csv:
        return QStringLiteral(".csv");
    case ResultFormat::Json:
        return QStringLiteral(".json");
    case ResultFormat::Report:
        return QStringLiteral(".kwd");
    }
    return {};
}

QString resultTable(const ResultList &list)
{
    std::array<qsizetype, ListColumnCount> widths {};
    for (int column = 0; column < ListColumnCount; ++column)
        widths[std::size_t(column)] = listColumnCaption(column).size();
    for (const ListRow &row : list.rows) {
        for (int column = 0; column < ListColumnCount; ++column)
            widths[std::size_t(column)] = std::max(widths[std::size_t(column)], row[column].size());
    }
    const auto line = [&widths](const auto &cellOf) {
        QString text;
        for (int column = 0; column < ListColumnCount; ++column) {
            const QString cell = cellOf(column);
            const int width = int(widths[std::size_t(column)]);
            if (column > 0)
                text += QStringLiteral("  ");
            text += ListColumnRightAligned[std::size_t(column)] ? cell.rightJustified(width)
                                                                : cell.leftJustified(width);
        }
        // The last column is often empty ("Ad"); no line ends in blanks.
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == u' ')
            --end;
        text.truncate(end);
        return text + u'\n';
    };
    QString text = list.suggestionsCaption + u'\n';
    text += line([](int column) { return listColumnCaption(column); });
    for (const ListRow &row : list.rows)
        text += line([&row](int column) { return row[column]; });
    return text;
}

QJsonObject resultJson(const KeywordResult &result, const QLocale &locale)
{
    QJsonArray rows;
    qint64 total = 0;
    for (const ListRow &row : result.list.rows) {
        const QJsonValue searches = plainNumber(row[ColumnSearches], locale);
        if (searches.isDouble())
            total += qint64(searches.toDouble());
        rows.append(QJsonObject {
            {QStringLiteral("id"), plainNumber(row[ColumnId], locale)},
            {QStringLiteral("phrase"), row[ColumnSuggestions]},
            {QStringLiteral("searches"), searches},
            {QStringLiteral("percent"), plainNumber(row[ColumnPercent], locale)},
            {QStringLiteral("sum"), plainNumber(row[ColumnSum], locale)},
            {QStringLiteral("popularity"), plainNumber(row[ColumnPopularity], locale)},
            {QStringLiteral("popularityPerSearch"),
             plainNumber(row[ColumnPopularityPerSearch], locale)},
            {QStringLiteral("ad"), !row[ColumnAd].trimmed().isEmpty()},
        });
    }
    return QJsonObject {
        {QStringLiteral("keyword"), result.keyword},
        {QStringLiteral("source"), result.source},
        {QStringLiteral("date"),
         result.reportDate.toOffsetFromUtc(result.reportDate.offsetFromUtc())
             .toString(Qt::ISODate)},
        {QStringLiteral("totalSearches"), total},
        {QStringLiteral("rows"), rows},
    };
}

QByteArray formatResult(const KeywordResult &result, ResultFormat format, const QLocale &locale)
{
    switch (format) {
    case ResultFormat::Table:
        return resultTable(result.list).toUtf8();
    case ResultFormat::Tsv:
        return tabSeparatedRows(result.list, allRows(result.list)).toUtf8();
    case ResultFormat::Csv:
        return csvFileBytes(csvRows(result.list, allRows(result.list), locale));
    case ResultFormat::Json:
        return QJsonDocument(resultJson(result, locale)).toJson(QJsonDocument::Compact) + '\n';
    case ResultFormat::Report:
        return result.reportBytes;
    }
    return {};
}

} // namespace Quorvane

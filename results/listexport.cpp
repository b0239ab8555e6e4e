#include "results/listexport.h"

#include "results/numbers.h"

namespace Quorvane {

namespace {

const QString AddressCaption = QStringLiteral("Address");

QString quoted(const QString &field)
{
    QString text = field;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString tsvField(const QString &cell)
{
    const bool needsQuotes =
        cell.contains(u'\t') || cell.contains(u'\n') || cell.contains(u'\r') || cell.contains(u'"');
    return needsQuotes ? quoted(cell) : cell;
}

QString csvField(const QString &cell)
{
    const bool needsQuotes =
        cell.contains(u',') || cell.contains(u'\n') || cell.contains(u'\r') || cell.contains(u'"');
    return needsQuotes ? quoted(cell) : cell;
}

bool isFigure(int column)
{
    return column >= ColumnSearches && column <= ColumnPopularityPerSearch;
}

} // namespace

QList<int> allRows(const ResultList &list)
{
    QList<int> rows;
    rows.reserve(list.listRowCount());
    for (int row = 0; row < list.listRowCount(); ++row)
        rows << row;
    return rows;
}

QString plainFigure(const QString &cell, const QLocale &locale)
{
    QString text = cell.trimmed();
    if (text.endsWith(u'%'))
        text.chop(1);
    if (text.isEmpty())
        return {};
    const std::optional<double> value = localeNumber(text, locale);
    if (!value)
        return cell;
    const qsizetype mark = text.indexOf(locale.decimalPoint());
    const int decimals = mark < 0 ? 0 : int(text.size() - mark - 1);
    return QString::number(*value, 'f', decimals);
}

QString tabSeparatedRows(const ResultList &list, const QList<int> &rows)
{
    QString text;
    QStringList fields;
    for (int column = 0; column < ListColumnCount; ++column)
        fields << tsvField(listColumnCaption(column));
    text += fields.join(u'\t') + u'\n';
    for (int row : rows) {
        fields.clear();
        for (const QString &cell : list.rows.at(row).cells)
            fields << tsvField(cell);
        text += fields.join(u'\t') + u'\n';
    }
    return text;
}

QString csvRows(const ResultList &list, const QList<int> &rows, const QLocale &locale)
{
    const QString lineEnd = QStringLiteral("\r\n");
    QString text;
    QStringList fields;
    for (int column = 0; column < ListColumnCount; ++column)
        fields << csvField(listColumnCaption(column));
    fields << AddressCaption;
    text += fields.join(u',') + lineEnd;
    for (int row : rows) {
        fields.clear();
        const ListRow &cells = list.rows.at(row);
        for (int column = 0; column < ListColumnCount; ++column) {
            const QString &cell = cells[column];
            fields << csvField(isFigure(column) ? plainFigure(cell, locale) : cell);
        }
        fields << csvField(list.queryAddresses.value(row));
        text += fields.join(u',') + lineEnd;
    }
    return text;
}

QByteArray csvFileBytes(const QString &csv)
{
    return QByteArrayLiteral("\xEF\xBB\xBF") + csv.toUtf8();
}

} // namespace Quorvane

#include "results/monthcomparemodel.h"

#include "results/numbers.h"

#include <QLocale>
#include <QPointF>

#include <algorithm>

namespace Quorvane {

namespace {

// The number a column sorts by; nothing for a missing figure.
std::optional<double> sortValue(const ComparedPhrase &p, int column)
{
    const auto d = [](std::optional<qint64> v) {
        return v ? std::optional<double>(double(*v)) : std::nullopt;
    };
    switch (column) {
    case CompareColumnSearchesThen:
        return d(p.searchesThen);
    case CompareColumnSearchesNow:
        return d(p.searchesNow);
    case CompareColumnSearchesChange:
        return d(p.searchesChange());
    case CompareColumnResultsThen:
        return d(p.resultsThen);
    case CompareColumnResultsNow:
        return d(p.resultsNow);
    case CompareColumnResultsChange:
        return d(p.resultsChange());
    case CompareColumnPerSearchThen:
        return p.perSearchThen;
    case CompareColumnPerSearchNow:
        return p.perSearchNow;
    case MonthCompareModel::SeasonsColumn: {
        if (p.seasons.isEmpty())
            return std::nullopt;
        double sum = 0;
        for (const MonthlySearches &m : p.seasons)
            sum += double(m.searches);
        return sum;
    }
    default:
        return std::nullopt;
    }
}

bool isText(int column)
{
    return column == CompareColumnPhrase || column == CompareColumnMark;
}

QString seasonsToolTip(const ComparedPhrase &p)
{
    const QLocale locale;
    QStringList lines;
    for (const MonthlySearches &m : p.seasons)
        lines << QStringLiteral("%1: %2").arg(monthKey(m.year, m.month),
                                              formatCount(double(m.searches), locale));
    return lines.join(u'\n');
}

} // namespace

MonthCompareModel::MonthCompareModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void MonthCompareModel::setComparison(MonthComparison comparison)
{
    beginResetModel();
    m_comparison = std::move(comparison);
    m_order.clear();
    for (int i = 0; i < m_comparison.phrases.size(); ++i)
        m_order << i;
    endResetModel();
}

int MonthCompareModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int MonthCompareModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : CompareColumnCount + 1;
}

QVariant MonthCompareModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_order.size())
        return {};
    const int phraseIndex = m_order.at(index.row());
    const ComparedPhrase &p = m_comparison.phrases.at(phraseIndex);
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == SeasonsColumn ? QVariant() : QVariant(compareCell(p, column));
    case Qt::ToolTipRole:
        return column == SeasonsColumn ? QVariant(seasonsToolTip(p)) : QVariant();
    case Qt::TextAlignmentRole:
        return isText(column) ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                              : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case ChangeRole:
        return int(p.change);
    case PhraseIndexRole:
        return phraseIndex;
    case SortRole:
        if (isText(column))
            return compareCell(p, column);
        if (const std::optional<double> value = sortValue(p, column))
            return *value;
        return {};
    case SeasonsRole: {
        QList<QPointF> points;
        for (const MonthlySearches &m : p.seasons)
            points << QPointF(m.year * 12 + m.month - 1, double(m.searches));
        return QVariant::fromValue(points);
    }
    default:
        return {};
    }
}

QVariant MonthCompareModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == SeasonsColumn)
        return tr("Months");
    return compareColumnCaption(m_comparison, section);
}

void MonthCompareModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column > SeasonsColumn)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> oldOrder = m_order;
    const bool ascending = order == Qt::AscendingOrder;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        const ComparedPhrase &pa = m_comparison.phrases.at(a);
        const ComparedPhrase &pb = m_comparison.phrases.at(b);
        if (isText(column)) {
            const int c =
                QString::localeAwareCompare(compareCell(pa, column), compareCell(pb, column));
            return ascending ? c < 0 : c > 0;
        }
        const std::optional<double> va = sortValue(pa, column);
        const std::optional<double> vb = sortValue(pb, column);
        // Missing figures go last whichever way the column is sorted.
        if (!va || !vb)
            return va.has_value() && !vb.has_value();
        return ascending ? *va < *vb : *va > *vb;
    });
    QModelIndexList after;
    for (const QModelIndex &index : before) {
        const int row = int(m_order.indexOf(oldOrder.at(index.row())));
        after << this->index(row, index.column());
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace Quorvane

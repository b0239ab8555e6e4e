#include "results/resultlistmodel.h"

namespace Quorvane {

namespace {

QVariant alignment(int column)
{
    const Qt::Alignment horizontal =
        ListColumnRightAligned[std::size_t(column)] ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant::fromValue(horizontal | Qt::AlignVCenter);
}

} // namespace

ResultListModel::ResultListModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void ResultListModel::replaceRows(ResultList list)
{
    beginResetModel();
    m_list = std::move(list);
    endResetModel();
    Q_EMIT headerDataChanged(Qt::Horizontal, ColumnSuggestions, ColumnSuggestions);
}

void ResultListModel::setList(ResultList list, const QString &reportFileName)
{
    m_reportFileName = reportFileName;
    replaceRows(std::move(list));
}

void ResultListModel::clearResults()
{
    ResultList cleared = m_list;
    cleared.clearResults();
    m_reportFileName.clear();
    replaceRows(std::move(cleared));
}

void ResultListModel::sortByRatio(const QueryAddressBuilder &queryAddress)
{
    ResultList sorted = m_list;
    sortByPopularityPerSearch(sorted);
    sorted.popularitySorted = true;
    refreshListFigures(sorted, queryAddress);
    // Every row may move: a reset, which also takes the views back to the top row.
    replaceRows(std::move(sorted));
}

QString ResultListModel::queryAddress(int row) const
{
    return m_list.queryAddresses.value(row);
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_list.listRowCount();
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ListColumnCount;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_list.rows.at(index.row())[index.column()];
    case Qt::TextAlignmentRole:
        return alignment(index.column());
    case QueryAddressRole:
        return queryAddress(index.row());
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ListColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return section == ColumnSuggestions ? m_list.suggestionsCaption
                                            : listColumnCaption(section);
    if (role == Qt::TextAlignmentRole)
        return alignment(section);
    return {};
}

} // namespace Quorvane

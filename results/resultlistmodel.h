#pragma once

#include "results/resultlist.h"

#include <QAbstractTableModel>

namespace Quorvane {

// The result list as a table for views: the rows of a ResultList, its column captions (column 1
// carries the run's summary) and each row's result-page address. Every change goes through the
// calls below, which tell the views themselves.
class ResultListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultListModel)

public:
    // The row's search engine address, for opening it.
    static constexpr int QueryAddressRole = Qt::UserRole + 1;

    explicit ResultListModel(QObject *parent = nullptr);

    const ResultList &list() const { return m_list; }
    // The report file the rows came from (as the folder names it); empty while none is shown.
    const QString &reportFileName() const { return m_reportFileName; }
    QString queryAddress(int row) const;

    // Shows a finished run's or a stored report's rows, in their stored order.
    void setList(ResultList list, const QString &reportFileName);
    // What the history deletions do: no rows, the caption back, nothing shown.
    void clearResults();
    // Orders the rows by ascending "Popularity/Search"; "Sum" and the addresses follow the new
    // order, "ID" keeps each row's number.
    void sortByRatio(const QueryAddressBuilder &queryAddress);
    // The rows stay as they are, but count as no longer sorted: the next click on
    // "Popularity/Search" sorts them again instead of asking for the stored order.
    void forgetSortedOrder() { m_list.popularitySorted = false; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // Tells the views that rows and the summary caption may all have changed.
    void replaceRows(ResultList list);

    ResultList m_list;
    QString m_reportFileName;
};

} // namespace Quorvane

#pragma once

#include "results/resultlist.h"

#include <QAbstractTableModel>

namespace Quorvane {

// The result list as a table for views: the rows of a ResultList, its column captions (column 1
// carries the run's summary) and each row's result-page address. The rules change list(); then
// refresh() shows the change.
class ResultListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultListModel)

public:
    // The row's search engine address, for opening it.
    static constexpr int QueryAddressRole = Qt::UserRole + 1;

    explicit ResultListModel(QObject *parent = nullptr);

    const ResultList &list() const { return m_list; }
    ResultList &list() { return m_list; }
    void refresh();

    QString queryAddress(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    ResultList m_list;
};

} // namespace Quorvane

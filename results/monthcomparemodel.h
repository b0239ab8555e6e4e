#pragma once

#include "results/monthcompare.h"

#include <QAbstractTableModel>

namespace Quorvane {

// Two months' comparison as a table for views: the columns of CompareColumn, then one column
// with each phrase's months (shown as a small curve), sortable by any column. Rows keep their
// index into comparison().phrases through sorting (PhraseIndexRole).
class MonthCompareModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonthCompareModel)

public:
    // The phrase's index in comparison().phrases.
    static constexpr int PhraseIndexRole = Qt::UserRole + 1;
    // The value a sort compares: a number, or the text for the phrase and the mark.
    static constexpr int SortRole = Qt::UserRole + 2;
    // The seasons column: the phrase's months as QList<QPointF> (x: month number from year 0,
    // y: searches).
    static constexpr int SeasonsRole = Qt::UserRole + 3;
    // The phrase's PhraseChange as an int, for the window to colour new and gone phrases.
    static constexpr int ChangeRole = Qt::UserRole + 4;
    static constexpr int SeasonsColumn = CompareColumnCount;

    explicit MonthCompareModel(QObject *parent = nullptr);

    const MonthComparison &comparison() const { return m_comparison; }
    void setComparison(MonthComparison comparison);
    // Indexes of comparison().phrases in the order shown.
    const QList<int> &order() const { return m_order; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Stable; a phrase missing the figure goes last in either order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    MonthComparison m_comparison;
    QList<int> m_order;
};

} // namespace Quorvane

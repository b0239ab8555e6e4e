#pragma once

#include <QColor>
#include <QObject>

class QAbstractItemView;
class QTreeView;

namespace Quorvane {

// Paints a list's viewport in bands one row tall, alternating two colours, before the rows
// are drawn over them. The bands belong to display positions, not to rows: the first shown
// row always lies on the first colour, whatever the order, and the pattern goes on over the
// empty area below the last row (and over the whole list while it has none).
class StripedRows final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripedRows)

public:
    StripedRows(QAbstractItemView *view, QColor first, QColor second, int rowHeight);

    QColor first() const { return m_first; }
    QColor second() const { return m_second; }
    // Height of a band where the list has no row to measure.
    int rowHeight() const { return m_rowHeight; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Top of the band of the first shown row and the band height, in viewport pixels.
    void bandOrigin(int &top, int &height, int &firstPosition) const;
    // The colour of a display position: the first colour for the 1st, 3rd, ... row.
    QColor colourOf(int position) const;

    QAbstractItemView *m_view;
    QColor m_first;
    QColor m_second;
    int m_rowHeight;
};

// Installs the striped background on the list: rows 1, 3, 5, ... on the first colour, rows
// 2, 4, 6, ... on the second. The row height is measured on a temporary row.
StripedRows *setStripedRows(QTreeView *list, QColor first, QColor second);

} // namespace Quorvane

#include "app/stripes.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QTreeView>

namespace Quorvane {

StripedRows::StripedRows(QAbstractItemView *view, QColor first, QColor second, int rowHeight)
    : QObject(view)
    , m_view(view)
    , m_first(first)
    , m_second(second)
    , m_rowHeight(qMax(1, rowHeight))
{
    setObjectName(QStringLiteral("stripes"));
    view->viewport()->installEventFilter(this);
    view->viewport()->update();
}

void StripedRows::bandOrigin(int &top, int &height, int &firstPosition) const
{
    top = 0;
    height = m_rowHeight;
    firstPosition = 0;
    // The first row in view fixes the phase: in a flat list a row's model position is its
    // display position (sorting moves the items themselves), so a scrolled or sorted list
    // keeps every display position on its colour.
    const QModelIndex shown = m_view->indexAt(QPoint(1, 1));
    if (!shown.isValid())
        return;
    const QRect rect = m_view->visualRect(shown);
    if (rect.height() <= 0)
        return;
    top = rect.top();
    height = rect.height();
    firstPosition = shown.row();
}

QColor StripedRows::colourOf(int position) const
{
    return (position % 2 + 2) % 2 == 0 ? m_first : m_second;
}

bool StripedRows::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: while the view is being destroyed it still sends events here, and by
    // then it is no longer a scroll area whose viewport may be asked for.
    if (event->type() == QEvent::Paint && watched == m_view->viewport()) {
        const QRect area = static_cast<QPaintEvent *>(event)->rect();
        int top = 0;
        int height = 0;
        int firstPosition = 0;
        bandOrigin(top, height, firstPosition);
        QPainter painter(m_view->viewport());
        // From the band holding the area's top, which lies above the first shown row's band
        // when that row is partly scrolled out.
        int band = area.top() >= top ? (area.top() - top) / height
                                     : -((top - area.top() + height - 1) / height);
        for (int y = top + band * height; y <= area.bottom(); y += height, ++band)
            painter.fillRect(QRect(area.left(), y, area.width(), height),
                             colourOf(firstPosition + band));
    }
    return QObject::eventFilter(watched, event);
}

StripedRows *setStripedRows(QTreeView *list, QColor first, QColor second)
{
    // A temporary row gives the height of one row before any real row exists.
    QStandardItemModel probe(1, 1);
    QAbstractItemModel *model = list->model();
    list->setModel(&probe);
    int height = list->visualRect(probe.index(0, 0)).height();
    if (height <= 0)
        height = list->sizeHintForRow(0);
    if (height <= 0)
        height = list->fontMetrics().height() + 2;
    list->setModel(model);
    // The viewport's own fill would otherwise show between and around the rows.
    QPalette palette = list->viewport()->palette();
    palette.setColor(QPalette::Base, first);
    list->viewport()->setPalette(palette);
    return new StripedRows(list, first, second, height);
}

} // namespace Quorvane

#include "app/listactions.h"

#include "app/chartwindow.h"
#include "app/comparewindow.h"
#include "app/messageboxes.h"
#include "core/runcontroller.h"
#include "results/atomicfile.h"
#include "results/listexport.h"
#include "results/reportfile.h"
#include "results/resultlist.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>

namespace Quorvane {

namespace {

enum Anchor {
    GrowsRight = 1, // the width follows the window's
    GrowsDown = 2, // the height follows the window's
    MovesRight = 4, // keeps its distance to the right edge
    MovesDown = 8, // keeps its distance to the bottom edge
};

QRect anchoredGeometry(QRect opening, int anchors, QSize growth)
{
    const int dx = growth.width();
    const int dy = growth.height();
    if (anchors & MovesRight)
        opening.translate(dx, 0);
    if (anchors & MovesDown)
        opening.translate(0, dy);
    if (anchors & GrowsRight)
        opening.setWidth(opening.width() + dx);
    if (anchors & GrowsDown)
        opening.setHeight(opening.height() + dy);
    return opening;
}

// The narrowest the phrase column gets to make room for the figures of a wider window.
constexpr int MinSuggestionsWidth = 200;

} // namespace

ListActions::ListActions(QWidget &window, const Controls &controls, RunController &controller,
                         MessageBoxes &boxes)
    : QObject(&window)
    , m_window(window)
    , m_list(controls.resultList)
    , m_keywordBox(controls.keywordBox)
    , m_suggestButton(controls.suggestButton)
    , m_controller(controller)
    , m_boxes(boxes)
{
    setObjectName(QStringLiteral("listActions"));
    m_list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_viewport = m_list.viewport();
    m_list.viewport()->installEventFilter(this);
    addActions();
    anchorControls(controls);

    if (QLineEdit *edit = m_keywordBox.lineEdit())
        connect(edit, &QLineEdit::returnPressed, this, &ListActions::keywordEnter);
    // New results start at their first row.
    connect(m_list.model(), &QAbstractItemModel::modelReset, this, [this] {
        m_list.scrollToTop();
        m_list.horizontalScrollBar()->setValue(0);
        for (QAction *action : std::as_const(m_needRows))
            action->setEnabled(m_list.model()->rowCount() > 0);
    });
}

ListActions::~ListActions()
{
    if (m_chart)
        delete m_chart.data();
}

void ListActions::addActions()
{
    // Copy keys belong to the list (the keyword box copies its own text); saving and the chart
    // work from anywhere in the window.
    const auto action = [this](const QString &text, const QKeySequence &key,
                               Qt::ShortcutContext context, const std::function<void()> &run) {
        auto *a = new QAction(text, &m_window);
        a->setShortcut(key);
        a->setShortcutContext(context);
        connect(a, &QAction::triggered, this, run);
        m_list.addAction(a);
        if (context == Qt::WindowShortcut)
            m_window.addAction(a);
        return a;
    };
    const auto separator = [this] {
        auto *a = new QAction(&m_window);
        a->setSeparator(true);
        m_list.addAction(a);
    };
    m_needRows << action(tr("&Copy"), QKeySequence::Copy, Qt::WidgetShortcut,
                         [this] { copySelection(); });
    m_needRows << action(tr("Copy &Whole List"), {}, Qt::WidgetShortcut, [this] { copyAll(); });
    m_needRows << action(tr("Select &All"), QKeySequence::SelectAll, Qt::WidgetShortcut,
                         [this] { m_list.selectAll(); });
    separator();
    m_needRows << action(tr("&Save as CSV..."), QKeySequence::Save, Qt::WindowShortcut,
                         [this] { saveCsv(); });
    action(tr("Opportunity C&hart"), QKeySequence(Qt::CTRL | Qt::Key_G), Qt::WindowShortcut,
           [this] { showChart(); });
    action(
        tr("Compare &Months..."), QKeySequence(Qt::CTRL | Qt::Key_M), Qt::WindowShortcut,
        [this] { showCompareWindow(m_window, m_controller, m_boxes, m_keywordBox.currentText()); });
    for (QAction *a : std::as_const(m_needRows))
        a->setEnabled(m_list.model()->rowCount() > 0);
    m_list.setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ListActions::anchorControls(const Controls &c)
{
    m_openingSize = m_window.size();
    m_suggestionsWidth = m_list.columnWidth(ColumnSuggestions);
    // Which edges of each control follow the window when it is larger than at opening.
    const std::pair<QWidget *, int> anchors[] = {
        {&c.tabs, GrowsRight | GrowsDown},
        {&c.workArea, GrowsRight | GrowsDown},
        {&c.listFrame, GrowsRight | GrowsDown},
        {&c.resultList, GrowsRight | GrowsDown},
        {&c.historyLabel, MovesDown},
        {&c.keywordBox, GrowsRight | MovesDown},
        {&c.deleteButton, MovesRight | MovesDown},
        {&c.deleteAllButton, MovesRight | MovesDown},
        {&c.suggestButton, MovesRight | MovesDown},
        {&c.settingsButton, MovesDown},
        {&c.exportButton, MovesDown},
        {&c.helpButton, MovesDown},
        {&c.aboutButton, MovesDown},
        {&c.exitButton, MovesRight | MovesDown},
        {&c.statusBar, GrowsRight | MovesDown},
        {&c.progressBar, MovesRight | MovesDown},
        {&c.focusSink, MovesRight},
    };
    for (const auto &[widget, edges] : anchors)
        m_anchored.push_back({widget, widget->geometry(), edges});
    m_window.installEventFilter(this);
}

void ListActions::followWindowSize()
{
    const QSize growth = (m_window.size() - m_openingSize).expandedTo(QSize(0, 0));
    for (const Anchored &a : m_anchored) {
        if (a.widget)
            a.widget->setGeometry(anchoredGeometry(a.opening, a.anchors, growth));
    }
    fitColumns();
}

// In a wider window the phrase column gives up to the growth in width, down to a floor, so
// that the figures to its right come into view; at the opening width nothing changes.
void ListActions::fitColumns()
{
    const int growth = std::max(0, m_window.width() - m_openingSize.width());
    int needed = 0;
    for (int column = 0; column < ListColumnCount; ++column)
        needed += column == ColumnSuggestions ? m_suggestionsWidth : m_list.columnWidth(column);
    const int overflow = std::max(0, needed - m_list.viewport()->width());
    const int shrink = std::min(overflow, growth);
    m_list.setColumnWidth(
        ColumnSuggestions,
        std::max(std::min(MinSuggestionsWidth, m_suggestionsWidth), m_suggestionsWidth - shrink));
}

bool ListActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Resize)
        followWindowSize();
    else if (watched == m_viewport && event->type() == QEvent::ToolTip)
        return cellToolTip(event);
    return QObject::eventFilter(watched, event);
}

// A cell too narrow for its text shows the whole text as a tooltip.
bool ListActions::cellToolTip(QEvent *event)
{
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = m_list.indexAt(help->pos());
    const QString text = index.data().toString();
    const QRect cell = m_list.visualRect(index);
    // The delegate's margins on both sides of the text.
    const int margins = 2 * (m_list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    if (!index.isValid() || text.isEmpty()
        || m_list.fontMetrics().horizontalAdvance(text) + margins <= cell.width()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), text, m_list.viewport(), cell);
    return true;
}

void ListActions::keywordEnter()
{
    // During a run Enter must not stop it: only the button does.
    switch (m_controller.state()) {
    case RunController::State::Idle:
    case RunController::State::Ended:
        if (m_suggestButton.isEnabled())
            m_suggestButton.click();
        return;
    case RunController::State::CheckingConnection:
    case RunController::State::Fetching:
    case RunController::State::Stopping:
        return;
    }
}

QList<int> ListActions::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_list.selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ListActions::copySelection()
{
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(tabSeparatedRows(m_controller.results().list(), rows));
}

void ListActions::copyAll()
{
    const ResultList &list = m_controller.results().list();
    QApplication::clipboard()->setText(tabSeparatedRows(list, allRows(list)));
}

QString ListActions::proposedFile(const QString &suffix) const
{
    QString stem = QFileInfo(m_controller.shownReportFileName()).completeBaseName();
    if (stem.isEmpty())
        stem = reportStem(m_controller.currentKeyword());
    return m_controller.reportFolder().filePath(stem + suffix);
}

bool ListActions::saveCsv()
{
    const ResultList &list = m_controller.results().list();
    if (list.listRowCount() == 0)
        return false;
    const QString proposed = proposedFile(QStringLiteral(".csv"));
    const QString path = m_chooseFile
        ? m_chooseFile(&m_window, proposed)
        : QFileDialog::getSaveFileName(&m_window, tr("Save as CSV"), proposed,
                                       tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return false;
    QString error;
    if (writeFileAtomically(path, csvFileBytes(csvRows(list, allRows(list))), &error))
        return true;
    m_boxes.warn(tr("Could not save %1: %2").arg(QDir::toNativeSeparators(path), error));
    return false;
}

ChartWindow *ListActions::showChart()
{
    if (!m_chart) {
        m_chart = new ChartWindow(
            m_controller.results(), [this] { return m_controller.currentKeyword(); }, &m_window);
        m_chart->setProposedFile([this] { return proposedFile(QStringLiteral(".png")); });
        if (m_chooseFile)
            m_chart->setFileChooser(m_chooseFile);
        connect(m_chart, &ChartWindow::rowChosen, this, &ListActions::chooseRow);
        connect(m_chart, &ChartWindow::saveFailed, this,
                [this](const QString &path, const QString &reason) {
                    m_boxes.warn(
                        tr("Could not save %1: %2").arg(QDir::toNativeSeparators(path), reason));
                });
    }
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
    return m_chart;
}

void ListActions::chooseRow(int row)
{
    const QModelIndex index = m_list.model()->index(row, ColumnSuggestions);
    if (!index.isValid())
        return;
    m_list.selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list.scrollTo(index);
}

} // namespace Quorvane

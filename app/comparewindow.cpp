#include "app/comparewindow.h"

#include "app/messageboxes.h"
#include "core/runcontroller.h"
#include "results/atomicfile.h"
#include "results/listexport.h"
#include "results/numbers.h"

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvane {

namespace {

// Phrases drawn in the chart at once; more would be a tangle.
constexpr int MaxChartedPhrases = 5;

const QList<QColor> PhraseColours {QColor(40, 90, 170), QColor(200, 125, 68), QColor(40, 140, 70),
                                   QColor(150, 60, 150), QColor(170, 40, 40)};

// Months as consecutive numbers, so that the axis puts each month's label on its points.
qreal monthX(const QDate &month)
{
    return qreal(month.year() * 12 + month.month() - 1);
}

QDate monthOfX(qreal x)
{
    const int index = int(std::lround(x));
    return QDate(index / 12, index % 12 + 1, 1);
}

// Whole decades around the values, so that every tick is a power of ten.
void fitDecades(QLogValueAxis *axis, double low, double high)
{
    const double from = std::pow(10.0, std::floor(std::log10(low)));
    double to = std::pow(10.0, std::ceil(std::log10(high)));
    if (to <= from)
        to = from * 10;
    axis->setRange(from, to);
}

// New phrases in green, gone ones in grey, the mark of a changed one in orange.
class ChangeColours : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        QColor colour;
        switch (PhraseChange(index.data(MonthCompareModel::ChangeRole).toInt())) {
        case PhraseChange::New:
            colour = QColor(20, 120, 40);
            break;
        case PhraseChange::Gone:
            colour = QColor(130, 130, 130);
            break;
        case PhraseChange::Changed:
            if (index.column() == CompareColumnMark)
                colour = QColor(170, 90, 20);
            break;
        case PhraseChange::Same:
            break;
        }
        if (colour.isValid())
            option->palette.setColor(QPalette::Text, colour);
    }
};

// The phrase's months as a small curve in its cell, scaled to its own highest month.
class SeasonsDelegate final : public ChangeColours
{
public:
    using ChangeColours::ChangeColours;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        ChangeColours::paint(painter, option, index);
        const auto points = index.data(MonthCompareModel::SeasonsRole).value<QList<QPointF>>();
        if (points.size() < 2)
            return;
        double low = points.first().y();
        double high = low;
        for (const QPointF &p : points) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        const QRectF area = QRectF(option.rect).adjusted(4, 4, -4, -4);
        const double first = points.first().x();
        const double span = std::max(1.0, points.last().x() - first);
        QPainterPath path;
        for (qsizetype i = 0; i < points.size(); ++i) {
            const double x = area.left() + (points[i].x() - first) / span * area.width();
            const double y = high > low
                ? area.bottom() - (points[i].y() - low) / (high - low) * area.height()
                : area.center().y();
            if (i == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option.state & QStyle::State_Selected
                                 ? option.palette.highlightedText().color()
                                 : QColor(40, 90, 170),
                             1.5));
        painter->drawPath(path);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return ChangeColours::sizeHint(option, index).expandedTo(QSize(90, 22));
    }
};

QLineSeries *lineSeries(const QString &name, const QColor &colour, Qt::PenStyle style)
{
    auto *s = new QLineSeries;
    s->setName(name);
    QPen pen(colour, 2);
    pen.setStyle(style);
    s->setPen(pen);
    s->setPointsVisible(true);
    return s;
}

} // namespace

CompareWindow::CompareWindow(ReportFolder folder, MessageBoxes &boxes, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_folder(std::move(folder))
    , m_boxes(boxes)
    , m_chooseFile([](QWidget *owner, const QString &proposed) {
        return QFileDialog::getSaveFileName(owner, tr("Save as CSV"), proposed,
                                            tr("CSV files (*.csv)"));
    })
{
    setObjectName(QStringLiteral("frmCompare"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(980, 720);
    buildControls();
}

void CompareWindow::buildControls()
{
    m_from = new QComboBox(this);
    m_from->setObjectName(QStringLiteral("cmbFrom"));
    m_to = new QComboBox(this);
    m_to->setObjectName(QStringLiteral("cmbTo"));
    m_summary = new QLabel(this);
    auto *fromLabel = new QLabel(tr("&From:"), this);
    fromLabel->setBuddy(m_from);
    auto *toLabel = new QLabel(tr("&To:"), this);
    toLabel->setBuddy(m_to);
    connect(m_from, &QComboBox::activated, this, &CompareWindow::monthChosen);
    connect(m_to, &QComboBox::activated, this, &CompareWindow::monthChosen);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblCompare"));
    m_table->setModel(&m_model);
    m_table->setSortingEnabled(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->setItemDelegate(new ChangeColours(m_table));
    m_table->setItemDelegateForColumn(MonthCompareModel::SeasonsColumn,
                                      new SeasonsDelegate(m_table));
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CompareWindow::rebuildChart);

    m_chart = new QChart;
    m_chart->setLocalizeNumbers(true);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_monthAxis = new QCategoryAxis;
    m_monthAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_monthAxis->setTitleText(tr("Month"));
    // Totals and single phrases differ by orders of magnitude, result counts by more.
    m_searchesAxis = new QLogValueAxis;
    m_searchesAxis->setTitleText(tr("Searches"));
    m_resultsAxis = new QLogValueAxis;
    m_resultsAxis->setTitleText(tr("Results"));
    for (QLogValueAxis *axis : {m_searchesAxis, m_resultsAxis}) {
        axis->setBase(10);
        axis->setLabelFormat(QStringLiteral("%.0f"));
        axis->setMinorTickCount(8);
    }
    m_resultsAxis->setMinorGridLineVisible(false);
    m_resultsAxis->setGridLineVisible(false);
    m_chart->addAxis(m_monthAxis, Qt::AlignBottom);
    m_chart->addAxis(m_searchesAxis, Qt::AlignLeft);
    m_chart->addAxis(m_resultsAxis, Qt::AlignRight);
    m_view = new QChartView(m_chart, this);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(240);

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_view);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *copy = new QPushButton(tr("&Copy"), this);
    auto *save = new QPushButton(tr("&Save as CSV..."), this);
    m_remove = new QPushButton(tr("&Remove Kept Months..."), this);
    m_remove->setObjectName(QStringLiteral("cmdRemoveMonths"));
    auto *close = new QPushButton(tr("Close"), this);
    connect(copy, &QPushButton::clicked, this, &CompareWindow::copySelection);
    connect(save, &QPushButton::clicked, this, &CompareWindow::saveCsv);
    connect(m_remove, &QPushButton::clicked, this, &CompareWindow::removeKeptMonths);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    const auto key = [this](const QKeySequence &sequence, const std::function<void()> &run) {
        auto *a = new QAction(this);
        a->setShortcut(sequence);
        connect(a, &QAction::triggered, this, run);
        addAction(a);
    };
    key(QKeySequence::Copy, [this] { copySelection(); });
    key(QKeySequence::Save, [this] { saveCsv(); });

    auto *top = new QHBoxLayout;
    top->addWidget(fromLabel);
    top->addWidget(m_from);
    top->addSpacing(12);
    top->addWidget(toLabel);
    top->addWidget(m_to);
    top->addSpacing(12);
    top->addWidget(m_summary, 1);
    auto *below = new QHBoxLayout;
    below->addWidget(copy);
    below->addWidget(save);
    below->addStretch(1);
    below->addWidget(m_remove);
    below->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(below);
}

void CompareWindow::showKeyword(const QString &keyword)
{
    m_keyword = keyword;
    m_from->clear();
    m_to->clear();
    reloadMonths();
}

void CompareWindow::reloadMonths()
{
    setWindowTitle(tr("Compare Months: %1").arg(m_keyword));
    const QString fromKey = m_from->currentText();
    const QString toKey = m_to->currentText();
    const bool chosen = m_from->count() > 0;
    m_months = m_keyword.isEmpty() ? QList<ReportMonth>() : reportMonths(m_folder, m_keyword);
    m_figures = monthFigures(m_months);
    m_from->clear();
    m_to->clear();
    for (const ReportMonth &month : std::as_const(m_months)) {
        const QString text = month.current ? tr("%1 (current)").arg(month.key()) : month.key();
        m_from->addItem(text);
        m_to->addItem(text);
    }
    m_remove->setEnabled(!m_keyword.isEmpty() && !keptMonthFiles(m_folder, m_keyword).isEmpty());
    const int last = int(m_months.size()) - 1;
    int from = chosen ? m_from->findText(fromKey) : -1;
    int to = chosen ? m_to->findText(toKey) : -1;
    if (from < 0 || to < 0) {
        from = std::max(0, last - 1);
        to = last;
    }
    m_from->setCurrentIndex(from);
    m_to->setCurrentIndex(to);
    compare(from, to);
}

void CompareWindow::monthChosen()
{
    compare(m_from->currentIndex(), m_to->currentIndex());
}

bool CompareWindow::compare(int from, int to)
{
    if (m_months.size() < 2 || from < 0 || to < 0 || from >= m_months.size()
        || to >= m_months.size()) {
        m_model.setComparison({});
        m_summary->setText(m_months.isEmpty()
                               ? tr("No report of this keyword yet.")
                               : tr("Only one month so far; the next month's run keeps this one."));
        rebuildChart();
        return false;
    }
    QString error;
    std::optional<MonthComparison> comparison =
        compareMonthReports(m_keyword, m_months[from], m_months[to], &error);
    if (!comparison) {
        m_model.setComparison({});
        m_summary->setText(error);
        rebuildChart();
        return false;
    }
    int counts[4] = {0, 0, 0, 0};
    for (const ComparedPhrase &p : std::as_const(comparison->phrases))
        ++counts[int(p.change)];
    m_summary->setText(tr("%1 changed, %2 new, %3 gone, %4 unchanged")
                           .arg(counts[int(PhraseChange::Changed)])
                           .arg(counts[int(PhraseChange::New)])
                           .arg(counts[int(PhraseChange::Gone)])
                           .arg(counts[int(PhraseChange::Same)]));
    const bool withMonths = !comparison->seasonMonths().isEmpty();
    m_model.setComparison(std::move(*comparison));
    m_table->setColumnHidden(MonthCompareModel::SeasonsColumn, !withMonths);
    // The months' curve beside its phrase, where it is seen without scrolling.
    QHeaderView *header = m_table->horizontalHeader();
    header->moveSection(header->visualIndex(MonthCompareModel::SeasonsColumn), 1);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(CompareColumnPhrase,
                            std::min(m_table->columnWidth(CompareColumnPhrase), 280));
    rebuildChart();
    return true;
}

QList<int> CompareWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CompareWindow::rebuildChart()
{
    m_chart->removeAllSeries();
    const QList<int> rows = selectedRows();
    double searchesLow = 0, searchesHigh = 0, resultsLow = 0, resultsHigh = 0;
    // A logarithmic axis cannot place 0: such a month is left out of its line.
    const auto add = [](QLineSeries *s, const QDate &month, double value, double &low,
                        double &high) {
        if (value <= 0)
            return;
        s->append(monthX(month), value);
        low = low > 0 ? std::min(low, value) : value;
        high = std::max(high, value);
    };
    QDate first;
    QDate last;
    const auto stretch = [&](const QDate &month) {
        first = !first.isValid() || month < first ? month : first;
        last = !last.isValid() || month > last ? month : last;
    };
    const auto attach = [this](QLineSeries *s, QLogValueAxis *axis) {
        m_chart->addSeries(s);
        s->attachAxis(m_monthAxis);
        s->attachAxis(axis);
        connect(s, &QLineSeries::hovered, this,
                [this, s](const QPointF &at, bool entered) { hovered(s, at, entered); });
    };

    auto *total = lineSeries(tr("Total searches"), QColor(60, 60, 60), Qt::SolidLine);
    for (const MonthFigures &f : std::as_const(m_figures)) {
        add(total, f.month, double(f.totalSearches), searchesLow, searchesHigh);
        stretch(f.month);
    }
    attach(total, m_searchesAxis);

    for (int i = 0; i < std::min<int>(int(rows.size()), MaxChartedPhrases); ++i) {
        const int phraseIndex = m_model.order().at(rows[i]);
        const ComparedPhrase &phrase = m_model.comparison().phrases.at(phraseIndex);
        const QColor colour = PhraseColours[i % PhraseColours.size()];
        auto *searches = lineSeries(tr("%1: searches").arg(phrase.phrase), colour, Qt::SolidLine);
        auto *results = lineSeries(tr("%1: results").arg(phrase.phrase), colour, Qt::DashLine);
        for (const MonthFigures &f : std::as_const(m_figures)) {
            const PhraseFigures figures = f.phrases.value(phrase.phrase);
            if (figures.searches)
                add(searches, f.month, double(*figures.searches), searchesLow, searchesHigh);
            if (figures.results)
                add(results, f.month, double(*figures.results), resultsLow, resultsHigh);
        }
        attach(searches, m_searchesAxis);
        attach(results, m_resultsAxis);
        if (!phrase.seasons.isEmpty()) {
            auto *months = lineSeries(tr("%1: monthly searches").arg(phrase.phrase),
                                      colour.lighter(130), Qt::DotLine);
            for (const MonthlySearches &m : phrase.seasons) {
                const QDate month(m.year, m.month, 1);
                add(months, month, double(m.searches), searchesLow, searchesHigh);
                stretch(month);
            }
            attach(months, m_searchesAxis);
        }
    }
    m_resultsAxis->setVisible(resultsHigh > 0);

    if (!first.isValid())
        first = last = QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    for (const QString &label : m_monthAxis->categoriesLabels())
        m_monthAxis->remove(label);
    for (QDate month = first; month <= last; month = month.addMonths(1))
        m_monthAxis->append(monthKey(month), monthX(month));
    // Half a month on either side, so that the first and last points are not on the edge.
    m_monthAxis->setStartValue(monthX(first) - 0.5);
    m_monthAxis->setRange(monthX(first) - 0.5, monthX(last) + 0.5);
    fitDecades(m_searchesAxis, searchesLow > 0 ? searchesLow : 1, std::max(searchesHigh, 10.0));
    fitDecades(m_resultsAxis, resultsLow > 0 ? resultsLow : 1, std::max(resultsHigh, 10.0));
    m_chart->setTitle(rows.isEmpty() ? tr("Select phrases to draw them beside the total")
                                     : QString());
}

void CompareWindow::hovered(QLineSeries *series, const QPointF &at, bool entered)
{
    if (!entered || series->count() == 0) {
        QToolTip::hideText();
        return;
    }
    const QLocale locale;
    const QList<QPointF> points = series->points();
    // A phrase's monthly searches show every month at once; the other lines their nearest one.
    if (series->pen().style() == Qt::DotLine) {
        QStringList lines {series->name()};
        for (const QPointF &p : points)
            lines << QStringLiteral("%1: %2").arg(monthKey(monthOfX(p.x())),
                                                  formatCount(p.y(), locale));
        QToolTip::showText(QCursor::pos(), lines.join(u'\n'), m_view);
        return;
    }
    const auto nearest =
        std::min_element(points.begin(), points.end(), [&at](const QPointF &a, const QPointF &b) {
            return std::abs(a.x() - at.x()) < std::abs(b.x() - at.x());
        });
    QToolTip::showText(QCursor::pos(),
                       QStringLiteral("%1\n%2: %3")
                           .arg(series->name(), monthKey(monthOfX(nearest->x())),
                                formatCount(nearest->y(), locale)),
                       m_view);
}

void CompareWindow::copySelection()
{
    QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        copyAll();
        return;
    }
    for (int &row : rows)
        row = m_model.order().at(row);
    QApplication::clipboard()->setText(comparisonTsv(m_model.comparison(), rows));
}

void CompareWindow::copyAll()
{
    QApplication::clipboard()->setText(comparisonTsv(m_model.comparison(), m_model.order()));
}

bool CompareWindow::saveCsv()
{
    const MonthComparison &comparison = m_model.comparison();
    if (comparison.phrases.isEmpty())
        return false;
    const QString proposed = m_folder.filePath(
        QStringLiteral("%1_%2_%3.csv")
            .arg(reportStem(m_keyword), comparison.fromMonth, comparison.toMonth));
    const QString path = m_chooseFile(this, proposed);
    if (path.isEmpty())
        return false;
    QString error;
    if (writeFileAtomically(path, csvFileBytes(comparisonCsv(comparison, m_model.order())), &error))
        return true;
    m_boxes.warn(tr("Could not save %1: %2").arg(QDir::toNativeSeparators(path), error));
    return false;
}

bool CompareWindow::removeKeptMonths()
{
    const int files = int(keptMonthFiles(m_folder, m_keyword).size());
    if (files == 0)
        return false;
    if (!m_boxes.confirm(
            tr("Are you sure you want to delete the kept months of \"%1\" (%n file(s)) ?", nullptr,
               files)
                .arg(m_keyword)))
        return false;
    const int removed = Quorvane::removeKeptMonths(m_folder, m_keyword);
    if (removed < files)
        m_boxes.warn(tr("%1 of %2 files of the kept months could not be deleted.")
                         .arg(files - removed)
                         .arg(files));
    m_from->clear();
    m_to->clear();
    reloadMonths();
    return true;
}

CompareWindow *showCompareWindow(QWidget &owner, RunController &controller, MessageBoxes &boxes,
                                 const QString &boxText)
{
    const QString keyword =
        controller.currentKeyword().isEmpty() ? boxText.trimmed() : controller.currentKeyword();
    auto *window = owner.findChild<CompareWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new CompareWindow(controller.reportFolder(), boxes, &owner);
        // A run that ends may have kept a month and written a new one.
        QObject::connect(&controller.results(), &QAbstractItemModel::modelReset, window,
                         &CompareWindow::reloadMonths);
    }
    if (window->keyword() != keyword)
        window->showKeyword(keyword);
    else
        window->reloadMonths();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace Quorvane

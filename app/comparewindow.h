#pragma once

#include "results/monthcomparemodel.h"
#include "results/monthsarchive.h"
#include "results/reportfile.h"

#include <QWidget>

#include <functional>

class QChart;
class QChartView;
class QComboBox;
class QCategoryAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QTableView;
class QLogValueAxis;

namespace Quorvane {

class MessageBoxes;
class RunController;

// Two months of one keyword side by side: the months kept of it and its current report, any two
// compared phrase by phrase, and a line chart of the keyword's total searches over every month
// with the selected phrases' searches, result counts and monthly searches. Copy and Save as CSV
// as the main list; the keyword's kept months can be removed here, and only here.
class CompareWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompareWindow)

public:
    using FileChooser = std::function<QString(QWidget *parent, const QString &proposed)>;

    CompareWindow(ReportFolder folder, MessageBoxes &boxes, QWidget *parent = nullptr);

    // Lists the keyword's months and compares the latest with the one before it.
    void showKeyword(const QString &keyword);
    // Reads the months again (a run may have added one), keeping the chosen ones where they are.
    void reloadMonths();
    const QString &keyword() const { return m_keyword; }
    const QList<ReportMonth> &months() const { return m_months; }
    const MonthCompareModel &model() const { return m_model; }
    // Compares months()[from] with months()[to]; false (and an empty table) when either cannot
    // be read.
    bool compare(int from, int to);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void copySelection();
    void copyAll();
    bool saveCsv();
    // Asks, naming how many files go, then deletes the keyword's kept months.
    bool removeKeptMonths();

private:
    void buildControls();
    void monthChosen();
    void rebuildChart();
    QList<int> selectedRows() const;
    void hovered(QLineSeries *series, const QPointF &at, bool entered);

    ReportFolder m_folder;
    MessageBoxes &m_boxes;
    FileChooser m_chooseFile;
    QString m_keyword;
    QList<ReportMonth> m_months;
    QList<MonthFigures> m_figures;
    MonthCompareModel m_model;

    QComboBox *m_from = nullptr;
    QComboBox *m_to = nullptr;
    QLabel *m_summary = nullptr;
    QTableView *m_table = nullptr;
    QChartView *m_view = nullptr;
    QChart *m_chart = nullptr;
    QCategoryAxis *m_monthAxis = nullptr;
    QLogValueAxis *m_searchesAxis = nullptr;
    QLogValueAxis *m_resultsAxis = nullptr;
    QPushButton *m_remove = nullptr;
};

// Opens the compare window over `owner` for the keyword the list shows (the keyword box's
// text before any is shown), or brings the open one forward with that keyword.
CompareWindow *showCompareWindow(QWidget &owner, RunController &controller, MessageBoxes &boxes,
                                 const QString &boxText);

} // namespace Quorvane

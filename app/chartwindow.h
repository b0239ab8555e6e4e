#pragma once

#include "results/chartpoints.h"

#include <QWidget>

#include <functional>

class QLabel;
class QScatterSeries;
class QChartView;
class QLogValueAxis;

namespace Quorvane {

class ResultListModel;

// Monthly searches against popularity for every phrase of the list that has both counts, on
// logarithmic axes: phrases many search for and few pages compete for stand out at the lower
// right. The points follow the list; a click on one picks its row in the list.
class ChartWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChartWindow)

public:
    using FileChooser = std::function<QString(QWidget *parent, const QString &proposed)>;

    ChartWindow(ResultListModel &model, std::function<QString()> keyword,
                QWidget *parent = nullptr);

    const ChartPoints &shownPoints() const { return m_points; }
    // Where the picture goes; a save dialog unless a test answers.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // The file the save dialog proposes.
    void setProposedFile(std::function<QString()> path) { m_proposed = std::move(path); }

    // Asks for a file and writes the chart there as PNG; false when nothing was written.
    bool savePicture();

Q_SIGNALS:
    // A point was clicked: its row, in display order.
    void rowChosen(int row);
    // The picture could not be written: the file and the reason.
    void saveFailed(const QString &path, const QString &reason);

private:
    void rebuild();
    void hovered(const QScatterSeries *series, const QPointF &at, bool entered);
    const ChartPoint *pointAt(const QScatterSeries *series, const QPointF &at) const;

    ResultListModel &m_model;
    std::function<QString()> m_keyword;
    FileChooser m_chooseFile;
    std::function<QString()> m_proposed;
    ChartPoints m_points;
    QChartView *m_view = nullptr;
    QScatterSeries *m_plain = nullptr;
    QScatterSeries *m_withAds = nullptr;
    QLogValueAxis *m_searchesAxis = nullptr;
    QLogValueAxis *m_popularityAxis = nullptr;
    QLabel *m_leftOut = nullptr;
};

} // namespace Quorvane

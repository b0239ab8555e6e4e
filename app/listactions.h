#pragma once

#include "app/chartwindow.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;
class QWidget;

namespace Quorvane {

class MessageBoxes;
class RunController;

// What the result list offers beyond its own clicks: copying rows, saving them as CSV, the
// opportunity chart, Enter in the keyword box, and the window growing with its list. It only
// adds actions, menus and windows of its own; the main window opens as it always has.
class ListActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListActions)

public:
    using FileChooser = std::function<QString(QWidget *parent, const QString &proposed)>;

    // The main window's controls at their opening geometry: the list and the keyword row are
    // worked with, and every one follows the window's size.
    struct Controls
    {
        QWidget &tabs;
        QWidget &workArea;
        QWidget &listFrame;
        QTreeView &resultList;
        QLabel &historyLabel;
        QComboBox &keywordBox;
        QPushButton &deleteButton;
        QPushButton &deleteAllButton;
        QPushButton &suggestButton;
        QPushButton &settingsButton;
        QPushButton &exportButton;
        QPushButton &helpButton;
        QPushButton &aboutButton;
        QPushButton &exitButton;
        QWidget &statusBar;
        QWidget &progressBar;
        QWidget &focusSink;
    };

    ListActions(QWidget &window, const Controls &controls, RunController &controller,
                MessageBoxes &boxes);
    ~ListActions() override;

    // Where CSV files and chart pictures go; save dialogs of their own unless a test answers.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    void copySelection();
    void copyAll();
    // Asks for a file (the report's stem with ".csv" in the report folder is proposed) and
    // writes the shown list there; false when nothing was written.
    bool saveCsv();
    ChartWindow *showChart();
    ChartWindow *chart() const { return m_chart; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Anchored
    {
        QPointer<QWidget> widget;
        QRect opening;
        int anchors;
    };

    void addActions();
    void anchorControls(const Controls &controls);
    void followWindowSize();
    void fitColumns();
    void chooseRow(int row);
    void keywordEnter();
    bool cellToolTip(QEvent *event);
    QString proposedFile(const QString &suffix) const;
    QList<int> selectedRows() const;

    QWidget &m_window;
    QTreeView &m_list;
    // Compared with, never called: filtered events also come while the list is destroyed.
    const QObject *m_viewport;
    QComboBox &m_keywordBox;
    QPushButton &m_suggestButton;
    RunController &m_controller;
    MessageBoxes &m_boxes;
    FileChooser m_chooseFile;
    QPointer<ChartWindow> m_chart;
    QSize m_openingSize;
    std::vector<Anchored> m_anchored;
    int m_suggestionsWidth = 0;
    QList<QAction *> m_needRows;
};

} // namespace Quorvane

#pragma once

#include "core/runcontroller.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTreeView;

namespace Quorvane {

class MessageBoxes;
class StripedRows;
class TextExport;

// Screen pixels of a length given in twips, at 15 twips per pixel.
constexpr int twips(int length)
{
    return (length + 7) / 15;
}

// The main window: keyword box with its history, Suggest/Stop, the result list, progress,
// status line and the buttons that open the other windows. It shows the run controller's
// state and signals and forwards the user's commands to it.
class MainWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // Both give false when nothing could be started to open the address.
    using UrlOpener = std::function<bool(const QUrl &)>;
    using BrowserOpener = std::function<bool(const QString &)>;

    // controller must outlive the window; boxes too when given (tests answer through their
    // own), otherwise real message boxes over this window are used.
    explicit MainWindow(RunController &controller, MessageBoxes *boxes = nullptr,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    RunController &controller() { return m_controller; }
    TextExport &exporter() { return *m_export; }

    // Opens a row's search address; the desktop's default browser unless a test captures it.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // Opens the help and about windows' link; openInBrowser unless a test captures it.
    void setBrowserOpener(BrowserOpener opener) { m_openInBrowser = std::move(opener); }

    // The status line: the first panel of sbStatus; a text stays until the next writer.
    QString status() const;

    // A second launch asked for this window: shown, unminimised, in front.
    void bringToFront();

Q_SIGNALS:
    // The window has closed; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectController();
    void showKeywordBox(const QStringList &items, const QString &text);
    void setFourButtons(bool enabled);
    void showState(RunController::State state);
    void showSourceName(const QString &name);
    QString keywordText() const;
    bool reportToExportExists() const;

    void onSuggestClicked();
    void onKeywordTextChanged();
    void onDeleteClicked();
    void onDeleteAllClicked();
    void onExportClicked();
    void onSettingsClicked();
    void onResultDoubleClicked(const QModelIndex &index);
    void tellIfNotOpened(bool opened, const QString &address);

    RunController &m_controller;
    std::unique_ptr<MessageBoxes> m_ownBoxes;
    MessageBoxes *m_boxes;
    UrlOpener m_openUrl;
    BrowserOpener m_openInBrowser;

    QTabWidget *m_tabs = nullptr;
    QWidget *m_workArea = nullptr;
    QGroupBox *m_listFrame = nullptr;
    QTreeView *m_resultList = nullptr;
    QLabel *m_historyLabel = nullptr;
    QComboBox *m_keywordBox = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_deleteAllButton = nullptr;
    QPushButton *m_suggestButton = nullptr;
    QPushButton *m_settingsButton = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_helpButton = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QPushButton *m_exitButton = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_statusPanel = nullptr;
    // Which source the shown figures came from; hidden while they are the classic pages'.
    QLabel *m_sourcePanel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLineEdit *m_focusSink = nullptr;
    StripedRows *m_stripes = nullptr;

    std::unique_ptr<TextExport> m_export;
    bool m_closed = false;
};

} // namespace Quorvane

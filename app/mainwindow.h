#pragma once

#include "reportfile.h"
#include "resultlist.h"
#include "runview.h"

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
class QTreeWidget;

namespace Quorvane {

class MessageBoxes;
class RunController;
class SettingsStore;
class StripedRows;
class TextExport;
struct Settings;

// Screen pixels of a length given in twips, at 15 twips per pixel.
constexpr int twips(int twips)
{
    return (twips + 7) / 15;
}

// The main window: keyword box with its history, Suggest/Stop, the result list, progress,
// status line and the buttons that open the other windows. It is the run's view; the run
// itself lives in its RunController.
class MainWindow final : public QWidget, public RunView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    using UrlOpener = std::function<void(const QUrl &)>;

    // store and settings must outlive the window; boxes too when given (tests answer through
    // their own), otherwise real message boxes over this window are used.
    MainWindow(SettingsStore &store, Settings &settings, ReportFolder folder,
               MessageBoxes *boxes = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    RunController &controller() { return *m_controller; }
    TextExport &exporter() { return *m_export; }
    const ResultList &list() const { return m_list; }
    const ReportFolder &folder() const { return m_folder; }

    // Opens a row's search address; the desktop's default browser unless a test captures it.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // Opens the help and about windows' link; OpenInBrowser unless a test captures it.
    void setBrowserOpener(std::function<void(const QString &)> opener)
    {
        m_openInBrowser = std::move(opener);
    }

    // The status line: the first panel of sbStatus; a text stays until the next writer.
    QString status() const;

    // RunView
    QString suggestCaption() const override;
    void setSuggestCaption(const QString &caption) override;
    void setSuggestEnabled(bool enabled) override;
    void focusTxtDumb() override;
    int progressValue() const override;
    int progressMaximum() const override;
    void setProgressValue(int value) override;
    void setProgressMaximum(int maximum) override;
    void setStatus(const QString &text) override;
    void warn(const QString &text) override;
    void inform(const QString &text) override;
    QString keywordText() const override;
    void setKeywordText(const QString &text) override;
    void selectAllKeywordText() override;
    ReuseOutcome reuseStoredReport(const QString &keyword, RunState &run) override;
    void getReport(const RunState &run) override;
    void makeProject(const QString &newKeyword) override;
    void enableReportButtons() override;
    void setResultsShown(bool shown) override;

Q_SIGNALS:
    // The window has closed; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void fillKeywordBox();
    void showKeywordBox(const QStringList &items, const QString &text);
    void showList();
    void setFourButtons(bool enabled);

    void cmdSuggestionClick();
    void cmbKeywordChange();
    void cmdDeleteClick();
    void cmdDeleteAllClick();
    void cmdExportTxtClick();
    void cmdSettingClick();
    void lstKeywordColumnClick(int column);
    void lstKeywordDblClick();
    void chooseInterval(qint16 setting);

    SettingsStore &m_store;
    Settings &m_settings;
    ReportFolder m_folder;
    std::unique_ptr<MessageBoxes> m_ownBoxes;
    MessageBoxes *m_boxes;
    ResultList m_list;
    UrlOpener m_openUrl;
    std::function<void(const QString &)> m_openInBrowser;

    QTabWidget *m_tabTool = nullptr;
    QWidget *m_picSuggestion = nullptr;
    QGroupBox *m_fmeSuggestion = nullptr;
    QTreeWidget *m_lstKeyword = nullptr;
    QLabel *m_label1 = nullptr;
    QComboBox *m_cmbKeyword = nullptr;
    QPushButton *m_cmdDelete = nullptr;
    QPushButton *m_cmdDeleteAll = nullptr;
    QPushButton *m_cmdSuggestion = nullptr;
    QPushButton *m_cmdSetting = nullptr;
    QPushButton *m_cmdExportTXT = nullptr;
    QPushButton *m_cmdHelp = nullptr;
    QPushButton *m_cmdAbout = nullptr;
    QPushButton *m_cmdExit = nullptr;
    QStatusBar *m_sbStatus = nullptr;
    QLabel *m_statusPanel = nullptr;
    QProgressBar *m_prgBar = nullptr;
    QLineEdit *m_txtDumb = nullptr;
    StripedRows *m_stripes = nullptr;

    std::unique_ptr<TextExport> m_export;
    std::unique_ptr<RunController> m_controller;
    bool m_closed = false;
};

} // namespace Quorvane

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
constexpr int Twips(int twips)
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

    RunController &Controller() { return *m_controller; }
    TextExport &Exporter() { return *m_export; }
    const ResultList &List() const { return m_list; }
    const ReportFolder &Folder() const { return m_folder; }

    // Opens a row's search address; the desktop's default browser unless a test captures it.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // Opens the help and about windows' link; OpenInBrowser unless a test captures it.
    void setBrowserOpener(std::function<void(const QString &)> opener)
    {
        m_openInBrowser = std::move(opener);
    }

    // The status line: the first panel of sbStatus; a text stays until the next writer.
    QString Status() const;

    // RunView
    QString SuggestCaption() const override;
    void SetSuggestCaption(const QString &caption) override;
    void SetSuggestEnabled(bool enabled) override;
    void FocusTxtDumb() override;
    int ProgressValue() const override;
    int ProgressMaximum() const override;
    void SetProgressValue(int value) override;
    void SetProgressMaximum(int maximum) override;
    void SetStatus(const QString &text) override;
    void Warn(const QString &text) override;
    void Inform(const QString &text) override;
    QString KeywordText() const override;
    void SetKeywordText(const QString &text) override;
    void SelectAllKeywordText() override;
    ReuseOutcome ReuseStoredReport(const QString &keyword, RunState &run) override;
    void GetReport(const RunState &run) override;
    void MakeProject(const QString &newKeyword) override;
    void EnableReportButtons() override;
    void SetResultsShown(bool shown) override;

Q_SIGNALS:
    // The window has closed; the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void fillKeywordBox();
    void showKeywordBox(const QStringList &items, const QString &text);
    void showList();
    void setFourButtons(bool enabled);

    void cmdSuggestion_Click();
    void cmbKeyword_Change();
    void cmdDelete_Click();
    void cmdDeleteAll_Click();
    void cmdExportTXT_Click();
    void cmdSetting_Click();
    void lstKeyword_ColumnClick(int column);
    void lstKeyword_DblClick();
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

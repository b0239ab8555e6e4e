#pragma once

#include "core/connectivity.h"
#include "core/fetchqueue.h"
#include "core/pacing.h"
#include "core/runrecord.h"
#include "fetch/pagefetcher.h"
#include "results/reportfile.h"
#include "results/resultlistmodel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace Quorvane {

class SettingsStore;
struct Settings;

// Everything between the window and the network: Suggest/Stop with its run state, the run
// record, the page fetcher and the fetch queue, pacing, the result list, and the report folder
// and the keyword history while the program runs. The window shows its state and signals and
// forwards the user's commands; it keeps no rule of its own.
class RunController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunController)

public:
    enum class State {
        Idle, // nothing under way yet, or the last request ended before a run (offline)
        CheckingConnection, // the connectivity test of a request runs
        Fetching, // a run is armed or under way: the button stops it
        Stopping, // Stop was pressed; the run has not ended yet
        Ended, // idle after a run has ended
    };
    Q_ENUM(State)

    static constexpr std::chrono::milliseconds KeywordDelay {10};

    // store and settings must outlive the controller; store may be null (nothing is saved).
    RunController(ReportFolder folder, Settings &settings, SettingsStore *store,
                  QObject *parent = nullptr);
    ~RunController() override;

    State state() const { return m_state; }

    // The Suggest/Stop button: the list leaves its sorted order, then requestSuggestion.
    void suggestPressed(const QString &boxText);
    // Starts, reuses or refuses a run for the seed keyword, or asks the run under way to stop.
    // Returns at once; a run goes on from the run-start timer's tick.
    void requestSuggestion(const QString &keyword);

    // A click on a column caption: "Popularity/Search" sorts by it, a second click shows the
    // stored order again. Ignored during a run and while no result is shown.
    void columnClicked(int column);

    // Delete of the box's text: removes the history entry and the keyword's report (and the list
    // when it showed that report). Delete All: every entry with its report.
    void deleteKeyword(const QString &boxText);
    void deleteAllKeywords();
    // The report Export opens: the shown keyword's report file as it is on disk, or nothing
    // when that file does not exist (Export is then offered to no one).
    std::optional<QString> reportToExport() const;

    // The settings dialog's choice of pause, kept in memory and stored.
    void chooseInterval(qint16 setting);

    // The window closes: whatever runs ends at once, silently, and nothing starts again.
    void shutdown();

    bool runArmed() const { return m_keywordTimer.isActive(); }
    const QString &currentKeyword() const { return m_run.currentKeyword; }
    const QStringList &history() const;
    const ReportFolder &reportFolder() const { return m_folder; }
    // The report file of the rows the list shows (not of a run that was stopped or found
    // nothing since): names proposed for files made from the list follow it.
    const QString &shownReportFileName() const { return m_results.reportFileName(); }

    ResultListModel &results() { return m_results; }
    Pacing &pacing() { return m_pacing; }
    const Pacing &pacing() const { return m_pacing; }
    OnlineCheck &connectivity() { return m_online; }
    PageFetcher &fetcher() { return m_fetcher; }
    FetchQueue &queue() { return m_queue; }
    RunRecord &record() { return m_run; }

Q_SIGNALS:
    void stateChanged(Quorvane::RunController::State state);
    void statusChanged(const QString &text);
    void progressChanged(int value, int maximum);
    // Modal messages: a warning (exclamation icon) or a note without an icon.
    void warning(const QString &text);
    void information(const QString &text);
    // The keyword box: its list was refilled from the history (text emptied), its text is set,
    // or its text is selected.
    void historyChanged();
    void keywordShown(const QString &text);
    void keywordSelected();
    // Export, Delete and Delete All apply to a shown result (or, false, Export has nothing).
    void reportButtonsEnabled();
    void exportAvailable(bool available);
    // After every run's ending, for tests and tools.
    void runEnded(Quorvane::FetchQueue::Ending ending);
    // A pacing pause is over; Suggest is offered again.
    void pauseEnded();

private:
    bool reuseStoredReport(const QString &keyword);
    void startRun(const QString &keyword);
    void keywordTick();
    void runEnding(FetchQueue::Ending ending);
    void endFinished(bool nothingFound);
    void endStopped();
    void showReport();
    void tellIfCountsMissing();
    void addToHistory(const QString &keyword);
    void tellIfHistoryFull(const QString &keyword);
    void saveHistory();
    void tellSettingsNotSaved();
    void setState(State state);

    ReportFolder m_folder;
    Settings &m_settings;
    SettingsStore *m_store;
    RunRecord m_run;
    ResultListModel m_results;
    QTimer m_keywordTimer;
    PageFetcher m_fetcher;
    FetchQueue m_queue;
    Pacing m_pacing;
    OnlineCheck m_online;
    State m_state = State::Idle;
    // The keyword the run under way was started for; what its ending writes and shows.
    QString m_runKeyword;
    // Result pages of the run under way that ended without a page.
    int m_failedResultPages = 0;
    // A settings file that cannot be written is told once; the program goes on from memory.
    bool m_settingsFailureTold = false;
    bool m_ending = false;
    bool m_shutDown = false;
};

} // namespace Quorvane

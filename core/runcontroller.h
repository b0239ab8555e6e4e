#pragma once

#include "core/connectivity.h"
#include "core/fetchqueue.h"
#include "core/pacing.h"
#include "core/reportlock.h"
#include "core/runrecord.h"
#include "fetch/pagefetcher.h"
#include "results/reportfile.h"
#include "results/resultlistmodel.h"
#include "sources/source.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Quorvane {

class SettingsStore;
struct Settings;

// Everything between the window and the network: Suggest/Stop with its run state, the run
// record, the sources, the page fetcher and the fetch queue, pacing, the result list, and the
// report folder and the keyword history while the program runs. The window shows its state and
// signals and forwards the user's commands; it keeps no rule of its own. Nothing of the run is
// lent out: the window reads what it shows through the calls below.
class RunController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunController)

public:
    // What the Suggest/Stop button shows. Where the run itself is (its phase, its ending, a
    // closed window) is the fetch queue's phase.
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

    // Where the next run takes its suggestions and counts; the classic pages unless set. A run
    // under way keeps the sources it started with. Each pair of sources keeps its reports in a
    // folder of its own (the classic pair in the report folder itself), so figures of one
    // source are never reused for another's.
    void setSources(std::shared_ptr<SuggestionSource> suggestions,
                    std::shared_ptr<CountSource> counts);

    // Before a paid run starts, the question of what it will cost goes to `confirm` (true: go
    // on). Without one, paid runs start unasked (tools and tests).
    void setPaidRunConfirmation(std::function<bool(const QString &)> confirm)
    {
        m_confirmPaidRun = std::move(confirm);
    }
    // The user's rule: ask before paid runs, unless they cost under the amount (dollars).
    void setPaidRunRule(bool ask, double askUnlessUnderDollars);
    // The balance of the paid service in use, where an account check told it; the question
    // quotes it, and each run's cost is taken off it.
    void setKnownBalance(std::optional<double> dollars) { m_knownBalance = dollars; }

    // The window closes: whatever runs ends at once, silently, and nothing starts again.
    void shutdown();

    bool runArmed() const { return m_keywordTimer.isActive(); }
    // Armed, or from the run's start until its ending has been delivered.
    bool running() const { return runArmed() || m_queue.running(); }
    const QString &currentKeyword() const { return m_run.currentKeyword; }
    const QStringList &history() const;
    const ReportFolder &reportFolder() const { return m_folder; }
    // Where the chosen sources' reports are: the report folder, or its subfolder for API sources.
    const ReportFolder &sourceReportFolder() const { return m_sourceFolder; }
    // The report file of the rows the list shows (not of a run that was stopped or found
    // nothing since): names proposed for files made from the list follow it.
    const QString &shownReportFileName() const { return m_results.reportFileName(); }
    // The source the shown figures came from ("Classic pages"), empty while none is shown.
    QString shownSourceName() const { return m_shownSourceName; }
    // What the last run's answers cost at the service (0 for the classic pages).
    double runCost() const { return m_queue.cost(); }
    const SuggestionTable &suggestionTable() const { return m_run.suggestionTable; }
    const Pacing &pacing() const { return m_pacing; }

    ResultListModel &results() { return m_results; }

    // Seams for tests, tools and the sample-data program.
    void setOnlineProbe(OnlineProbe probe) { m_online.setProbe(std::move(probe)); }
    void setDownloadPause(std::chrono::nanoseconds pause) { m_queue.setDownloadPause(pause); }
    void setRequestDeadline(int milliseconds) { m_fetcher.setDeadlineForTesting(milliseconds); }
    void setPauseMinuteTick(std::chrono::milliseconds tick) { m_pacing.setMinuteTick(tick); }
    // Counts a finished run for pacing, as a run's ending does.
    void countFinishedRunForTesting() { m_pacing.runFinished(); }
    // Requests sent whose end the fetcher still lists.
    bool requestsPending() const { return !m_fetcher.pendingRequests().isEmpty(); }

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
    // A run's pause before a request, a request sent (address: the public page asked for,
    // never one with a key) and a request's end, for tests and tools.
    void pauseStarted();
    void requestIssued(const QString &address, const QString &key);
    void requestEnded();
    // The figures shown came from another source (its display name; empty: none shown).
    void shownSourceChanged(const QString &name);
    // A pacing pause is over; Suggest is offered again.
    void pauseEnded();

private:
    bool reuseStoredReport(const QString &keyword);
    bool paidRunConfirmed(const QString &keyword);
    bool runIsPaid() const;
    void tellRunCost();
    void startRun(const QString &keyword);
    void keywordTick();
    void runEnding(FetchQueue::Ending ending);
    void endFinished(bool nothingFound);
    void endStopped();
    void endSourceFailed();
    bool countsIncomplete() const;
    void showReport(bool save);
    void showSource(const QString &name);
    void tellIfCountsMissing();
    void addToHistory(const QString &keyword);
    void tellIfHistoryFull(const QString &keyword);
    void saveHistory();
    void tellSettingsNotSaved();
    void setState(State state);
    ReportFolder folderOf(const SuggestionSource &suggestions, const CountSource &counts) const;
    bool shuttingDown() const { return m_queue.phase() == FetchQueue::Phase::ShutDown; }

    ReportFolder m_folder;
    // The sources chosen for the next run, and those of the run under way or last ended.
    std::shared_ptr<SuggestionSource> m_suggestionSource;
    std::shared_ptr<CountSource> m_countSource;
    std::shared_ptr<SuggestionSource> m_runSuggestions;
    std::shared_ptr<CountSource> m_runCounts;
    // The report folder of the chosen pair of sources.
    ReportFolder m_sourceFolder;
    Settings &m_settings;
    SettingsStore *m_store;
    RunRecord m_run;
    ResultListModel m_results;
    QTimer m_keywordTimer;
    PageFetcher m_fetcher;
    FetchQueue m_queue;
    Pacing m_pacing;
    OnlineCheck m_online;
    // Held from a run's start to its end.
    ReportLock m_reportLock;
    State m_state = State::Idle;
    // The keyword the run under way was started for; what its ending writes and shows.
    QString m_runKeyword;
    QString m_shownSourceName;
    // The list shown, in its own order, when it was not saved as a report.
    std::optional<ResultList> m_unsavedList;
    std::function<bool(const QString &)> m_confirmPaidRun;
    bool m_askBeforePaidRuns = true;
    double m_askUnlessUnderDollars = 0;
    std::optional<double> m_knownBalance;
    // A settings file that cannot be written is told once; the program goes on from memory.
    bool m_settingsFailureTold = false;
};

} // namespace Quorvane

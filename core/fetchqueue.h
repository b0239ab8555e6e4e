#pragma once

#include "fetch/fetchrequest.h"
#include "fetch/pageparsers.h"
#include "sources/source.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace Quorvane {

class PageFetcher;
struct RunRecord;

// Carries a run through its two phases as a state machine. The first phase sends the suggestion
// source's requests one at a time; the second sends one count request per suggestion, up to the
// count source's parallel limit at once. Every request waits for its source's pause first; an
// answer the source finds rate-limited is sent again after its Retry-After (or a growing
// back-off) and holds back every other request meanwhile. Between events it holds no loop of
// its own, so waiting for a pause or an answer costs nothing. What a run's ending means is the
// controller's business.
class FetchQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FetchQueue)

public:
    enum class Ending { Finished, NothingFound, Stopped, SourceFailed };
    // Where a run is.
    enum class Phase {
        Idle, // no run, or armed and not yet started
        Suggestions, // the suggestion source's requests
        Counts, // one count request per suggestion
        Ending, // ended() is being delivered: the ending shows its messages
        ShutDown, // the window has closed; nothing starts again
    };

    // The classic pages' pause before every request, so the services are not asked too often.
    static constexpr std::chrono::milliseconds DownloadPause {200};
    // Back-off after a rate-limited answer that names no wait: doubled for every attempt, capped.
    static constexpr std::chrono::milliseconds FirstBackoff {2000};
    static constexpr std::chrono::milliseconds MaxBackoff {60000};
    // Sends of one request; a request still rate-limited after these counts as failed.
    static constexpr int MaxAttempts = 5;

    static std::chrono::milliseconds backoff(int attempt);

    FetchQueue(RunRecord &run, PageFetcher &fetcher, StatusSink status, QObject *parent = nullptr);

    // The sources must outlive the run they are used by; they are changed only between runs.
    void setSources(SuggestionSource &suggestions, CountSource &counts);

    // Starts a run whose suggestionRequests are filled; returns at once, the run ends with
    // ended().
    void start();
    Phase phase() const { return m_phase; }
    // From start() until ended() has been delivered.
    bool running() const
    {
        return m_phase == Phase::Suggestions || m_phase == Phase::Counts
            || m_phase == Phase::Ending;
    }

    // stopRequested was set: a run waiting for an answer or a back-off checks it now.
    void stopRequestedChanged();
    // The window closes: the run ends at once, without ended(), and none starts again.
    void shutDown();

    int progress() const { return m_progress; }
    int progressMaximum() const { return m_progressMaximum; }
    void setProgress(int value);

    // What the run's answers cost, summed over every answer read.
    double cost() const { return m_cost; }
    // Count requests that ended without a count (after their retries).
    int failedCounts() const { return m_failedCounts; }
    // Why the run ended with SourceFailed.
    const SourceVerdict &failure() const { return m_failure; }

    // Tests and tools replace the sources' pauses; the program always uses the sources' own.
    void setDownloadPause(std::chrono::nanoseconds pause) { m_pauseOverride = pause; }

Q_SIGNALS:
    void pauseStarted();
    // address is the public address of what is asked for (for a count, the phrase's results
    // page), never one that carries a key.
    void downloadIssued(const QString &address, const QString &key);
    void progressChanged(int value, int maximum);
    void ended(Quorvane::FetchQueue::Ending ending);

private:
    enum class Step { Idle, Pausing, Dispatching, Waiting };

    void pass();
    void beginPause();
    void pauseTimeout();
    void issueRequest();
    void requestEnded(const QString &key, const FetchOutcome &outcome);
    void takeVerdict(int index, const SourceVerdict &verdict, const FetchOutcome &outcome);
    void dispatchThenCheck();
    void check();
    void startCounts();
    bool hasNext() const;
    bool holding() const { return m_holdTimer.isActive(); }
    int parallelLimit() const;
    std::chrono::nanoseconds pause() const;
    bool nothingFound() const;
    void bumpProgress();
    void end(Ending ending);

    RunRecord &m_run;
    PageFetcher &m_fetcher;
    StatusSink m_status;
    SuggestionSource *m_suggestions = nullptr;
    CountSource *m_counts = nullptr;

    Phase m_phase = Phase::Idle;
    Step m_step = Step::Idle;
    bool m_checkQueued = false;
    // Requests sent and not yet answered: key -> index in the phase's request list.
    QHash<QString, int> m_inFlight;
    // Rate-limited requests to send again, oldest first, and the sends of each request.
    QList<int> m_retries;
    QHash<int, int> m_attempts;
    std::optional<SourceVerdict> m_fatal;
    SourceVerdict m_failure;
    double m_cost = 0;
    int m_failedCounts = 0;
    int m_progress = 0;
    int m_progressMaximum = 100;
    std::optional<std::chrono::nanoseconds> m_pauseOverride;
    QTimer m_pauseTimer;
    QElapsedTimer m_pauseClock;
    QTimer m_holdTimer;
};

} // namespace Quorvane

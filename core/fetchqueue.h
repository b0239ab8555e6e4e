#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace Quorvane {

class PageFetcher;
struct RunRecord;

// Carries a run through its two phases as a state machine: each pass issues at most one
// download after its pause, lets the event loop dispatch once, then checks for Stop and for
// the end of a phase. Between events it holds no loop of its own, so waiting for a pause or a
// page costs nothing. What a run's ending means is the controller's business.
class FetchQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FetchQueue)

public:
    enum class Ending { Finished, NothingFound, Stopped };

    // Before every download, so the services are not asked too often.
    static constexpr std::chrono::milliseconds DownloadPause {200};

    FetchQueue(RunRecord &run, PageFetcher &fetcher, QObject *parent = nullptr);

    // Starts a run whose pageQueue is filled; returns at once, the run ends with ended().
    void start();
    // From start() until ended() has been delivered.
    bool running() const { return m_step != Step::Idle; }

    // The fetcher's downloadHtmlComplete handler.
    void downloadCompleted();
    // stopRequested was set: a pass waiting for a page checks it now.
    void stopRequestedChanged();
    // The window closes: the run ends at once, without ended().
    void abort();

    int progress() const { return m_progress; }
    int progressMaximum() const { return m_progressMaximum; }
    void setProgress(int value);

    // Tests shorten the pause; the program always uses DownloadPause.
    void setDownloadPause(std::chrono::nanoseconds pause) { m_pause = pause; }

Q_SIGNALS:
    void pauseStarted();
    void downloadIssued(const QString &url, const QString &key);
    void progressChanged(int value, int maximum);
    void ended(Quorvane::FetchQueue::Ending ending);

private:
    enum class Step { Idle, Pausing, Dispatching, Waiting };

    void pass();
    void beginPause(bool secondPhase);
    void pauseTimeout();
    void issueDownload();
    void dispatchThenCheck();
    void check();
    bool nothingFound() const;
    void bumpProgress();
    void end(Ending ending);

    RunRecord &m_run;
    PageFetcher &m_fetcher;

    Step m_step = Step::Idle;
    bool m_secondPhaseDownload = false;
    bool m_checkQueued = false;
    int m_progress = 0;
    int m_progressMaximum = 100;
    std::chrono::nanoseconds m_pause = DownloadPause;
    QTimer m_pauseTimer;
    QElapsedTimer m_pauseClock;
};

} // namespace Quorvane

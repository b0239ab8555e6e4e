#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace Quorvane {

class PageFetcher;
class RunView;
struct RunState;

// RunFetchQueue as a state machine: each pass issues at most one download after its pause,
// lets the event loop dispatch once, then checks for Stop and for the end of a phase. Between
// events it holds no loop of its own, so waiting for a pause or a page costs nothing.
class FetchQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FetchQueue)

public:
    enum class Ending { Finished, NothingFound, Stopped };

    // Before every download, so the services are not asked too often.
    static constexpr std::chrono::milliseconds DownloadPause {200};

    FetchQueue(RunState &run, RunView &view, PageFetcher &fetcher, QTimer &tmrKeyword,
               QTimer &tmrInterval, QObject *parent = nullptr);

    // Starts a run whose PageQueue is filled; returns at once, the run ends with RunEnded.
    void runFetchQueue();
    // From RunFetchQueue until the ending's last step.
    bool running() const { return m_step != Step::Idle; }

    // The DownloadHtmlComplete handler.
    void onDownloadHtmlComplete();
    // StopRequested was set: a pass waiting for a page checks it now.
    void stopRequestedChanged();
    // The window closes: the run ends at once without its messages.
    void abort();

    // Tests shorten the pause; the program always uses DownloadPause.
    void setDownloadPause(std::chrono::nanoseconds pause) { m_pause = pause; }

Q_SIGNALS:
    void pauseStarted();
    void downloadIssued(const QString &url, const QString &key);
    void runEnded(Quorvane::FetchQueue::Ending ending);

private:
    enum class Step { Idle, Pausing, Dispatching, Waiting, Ending };

    void pass();
    void beginPause(bool secondPhase);
    void pauseTimeout();
    void issueDownload();
    void dispatchThenCheck();
    void check();
    bool nothingFound() const;
    void bumpProgress();
    void endFinished();
    void endStopped();
    void finishEnding(Ending ending);

    RunState &m_run;
    RunView &m_view;
    PageFetcher &m_fetcher;
    QTimer &m_tmrKeyword;
    QTimer &m_tmrInterval;

    Step m_step = Step::Idle;
    bool m_secondPhaseDownload = false;
    bool m_checkQueued = false;
    std::chrono::nanoseconds m_pause = DownloadPause;
    QTimer m_pauseTimer;
    QElapsedTimer m_pauseClock;
};

} // namespace Quorvane

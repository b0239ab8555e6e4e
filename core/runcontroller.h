#pragma once

#include "connectivity.h"
#include "fetchqueue.h"
#include "pagefetcher.h"
#include "runstate.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace Quorvane {

class RunView;

// Suggest/Stop and everything a run needs between the window and the network: the run state,
// tmrKeyword, the pacing timer tmrInterval, the page fetcher and the fetch-queue driver.
// The view must outlive the controller.
class RunController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunController)

public:
    static constexpr std::chrono::milliseconds KeywordDelay {10};
    static constexpr std::chrono::milliseconds PauseTickInterval {60000};

    explicit RunController(RunView &view, QObject *parent = nullptr);
    ~RunController() override;

    // Starts, reuses or refuses a run for the seed keyword, or asks the run under way to stop.
    // Returns at once; a run goes on from tmrKeyword's tick.
    void requestSuggestion(const QString &keyword);

    // tmrInterval's minute tick while a pacing pause runs.
    void pauseTick();

    // Settings: the loaded choice, and the two options of the settings dialog. "Don't care"
    // ends a pause at once and keeps the minutes it had left.
    void setIntervalSetting(qint16 setting);
    void chooseThirtyMinutes();
    void chooseDontCare();

    bool runArmed() const { return m_tmrKeyword.isActive(); }
    bool runUnderWay() const { return runArmed() || m_driver.running(); }
    bool pauseRunning() const { return m_tmrInterval.isActive(); }

    // The window closes: whatever runs ends at once, silently, and nothing starts again.
    void shutdown();

    RunState &state() { return m_run; }
    const RunState &state() const { return m_run; }
    PageFetcher &parseWeb() { return m_parseWeb; }
    FetchQueue &driver() { return m_driver; }
    OnlineCheck &connectivity() { return m_online; }

    // Tests shorten the minute tick; the program always ticks every minute.
    void setPauseTickInterval(std::chrono::milliseconds interval);

Q_SIGNALS:
    void runEnded(Quorvane::FetchQueue::Ending ending);

private:
    void startRun(const QString &keyword);
    void keywordTick();

    RunView &m_view;
    RunState m_run;
    QTimer m_tmrKeyword;
    QTimer m_tmrInterval;
    PageFetcher m_parseWeb;
    FetchQueue m_driver;
    OnlineCheck m_online;
    bool m_shutDown = false;
};

} // namespace Quorvane

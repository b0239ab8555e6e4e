#include "core/fetchqueue.h"

#include "core/runrecord.h"
#include "core/serviceaddresses.h"
#include "fetch/pagefetcher.h"

#include <algorithm>

namespace Quorvane {

FetchQueue::FetchQueue(RunRecord &run, PageFetcher &fetcher, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_fetcher(fetcher)
{
    // Coarse timers may end a pause up to 5% early; the clock is checked as well.
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pauseTimer, &QTimer::timeout, this, &FetchQueue::pauseTimeout);
}

void FetchQueue::start()
{
    if (running())
        return;
    m_run.suggestionTable.suggestionCount = 0;
    m_progressMaximum = m_run.pageQueueCount + MaxSuggestions;
    setProgress(0);
    pass();
}

void FetchQueue::setProgress(int value)
{
    m_progress = value;
    Q_EMIT progressChanged(m_progress, m_progressMaximum);
}

void FetchQueue::downloadCompleted()
{
    // The fetcher may report one download more than once; the count never goes below 0.
    m_run.downloadsInFlight = std::max<qint32>(m_run.downloadsInFlight - 1, 0);
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::stopRequestedChanged()
{
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::abort()
{
    m_pauseTimer.stop();
    if (m_step == Step::Idle)
        return;
    m_step = Step::Idle;
    m_fetcher.cancelAllDownload();
}

// One pass up to its dispatch: at most one download, and only when none is outstanding.
void FetchQueue::pass()
{
    if (m_run.downloadsInFlight < 1) {
        if (m_run.pageQueueNext < m_run.pageQueueCount) {
            m_run.parsePhase = 0;
            beginPause(false);
            return;
        }
        if (m_run.queryNext < m_run.queryCount) {
            // The second phase moves the bar before its pause, the first after it.
            bumpProgress();
            beginPause(true);
            return;
        }
    }
    dispatchThenCheck();
}

void FetchQueue::beginPause(bool secondPhase)
{
    m_step = Step::Pausing;
    m_secondPhaseDownload = secondPhase;
    Q_EMIT pauseStarted();
    m_pauseClock.start();
    m_pauseTimer.start(std::chrono::ceil<std::chrono::milliseconds>(m_pause));
}

void FetchQueue::pauseTimeout()
{
    if (m_step != Step::Pausing)
        return;
    const std::chrono::nanoseconds waited(m_pauseClock.nsecsElapsed());
    if (waited < m_pause) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_pause - waited);
        m_pauseTimer.start(std::max(left, std::chrono::milliseconds(1)));
        return;
    }
    issueDownload();
}

void FetchQueue::issueDownload()
{
    qint16 index = 0;
    QString url;
    if (m_secondPhaseDownload) {
        index = m_run.queryNext++;
        url = m_run.queryAddresses.value(index);
    } else {
        bumpProgress();
        index = m_run.pageQueueNext++;
        url = m_run.pageQueue.value(index);
    }
    const QString key = QString::number(index);
    // Counted before the call: a fetcher that reports a failed start at once must not leave
    // the count at 1 with nothing outstanding.
    ++m_run.downloadsInFlight;
    m_step = Step::Dispatching;
    Q_EMIT downloadIssued(url, key);
    m_fetcher.beginDownload(url, key);
    dispatchThenCheck();
}

// Lets everything already queued run before the pass looks at the run state again.
void FetchQueue::dispatchThenCheck()
{
    m_step = Step::Dispatching;
    if (m_checkQueued)
        return;
    m_checkQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_checkQueued = false;
            if (m_step == Step::Dispatching)
                check();
        },
        Qt::QueuedConnection);
}

void FetchQueue::check()
{
    if (m_run.stopRequested) {
        end(Ending::Stopped);
        return;
    }
    if (m_run.parsePhase == 0 && m_run.downloadsInFlight == 0
        && m_run.pageQueueNext >= m_run.pageQueueCount) {
        m_run.parsePhase = 1;
        if (nothingFound()) {
            end(Ending::NothingFound);
            return;
        }
        const qint16 count =
            std::clamp<qint16>(m_run.suggestionTable.suggestionCount, 0, MaxSuggestions);
        m_run.queryAddresses.clear();
        m_run.queryAddresses.reserve(count);
        for (int i = 0; i < count; ++i)
            m_run.queryAddresses.append(queryAddress(m_run.suggestionTable.entries[i].keyword));
        m_run.queryNext = 0;
        m_run.queryCount = count;
        pass();
        return;
    }
    if (m_run.parsePhase == 1 && m_run.downloadsInFlight == 0
        && m_run.queryNext >= m_run.queryCount) {
        end(nothingFound() ? Ending::NothingFound : Ending::Finished);
        return;
    }
    if (m_run.downloadsInFlight >= 1) {
        // Nothing can change until a page is reported or Stop is pressed.
        m_step = Step::Waiting;
        return;
    }
    pass();
}

// A first phase that took no row ends with the no-results message, also when no page could
// be parsed at all and the flag still holds the previous run's "found" answer: a report
// without rows would otherwise be written and reused for the rest of the month.
bool FetchQueue::nothingFound() const
{
    return m_run.suggestionTable.noSuggestions || m_run.suggestionTable.suggestionCount <= 0;
}

void FetchQueue::bumpProgress()
{
    if (m_progress + 1 <= m_progressMaximum)
        setProgress(m_progress + 1);
}

void FetchQueue::end(Ending ending)
{
    m_pauseTimer.stop();
    if (ending == Ending::Stopped)
        m_fetcher.cancelAllDownload();
    m_step = Step::Idle;
    Q_EMIT ended(ending);
}

} // namespace Quorvane

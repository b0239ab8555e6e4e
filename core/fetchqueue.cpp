#include "fetchqueue.h"

#include "pagefetcher.h"
#include "runstate.h"
#include "runview.h"
#include "serviceaddresses.h"

#include <algorithm>

namespace Quorvane {

namespace {

const QString FinishedCaption = QStringLiteral("&Suggestion");

} // namespace

FetchQueue::FetchQueue(RunState &run, RunView &view, PageFetcher &fetcher,
                                   QTimer &tmrKeyword, QTimer &tmrInterval, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_view(view)
    , m_fetcher(fetcher)
    , m_tmrKeyword(tmrKeyword)
    , m_tmrInterval(tmrInterval)
{
    // Coarse timers may end a pause up to 5% early; the clock is checked as well.
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pauseTimer, &QTimer::timeout, this, &FetchQueue::pauseTimeout);
}

void FetchQueue::RunFetchQueue()
{
    if (Running())
        return;
    m_run.SuggestionTable.SuggestionCount = 0;
    m_view.SetProgressValue(0);
    m_view.SetProgressMaximum(m_run.PageQueueCount + MaxSuggestions);
    pass();
}

void FetchQueue::OnDownloadHtmlComplete()
{
    // The fetcher may report one download more than once; the count never goes below 0.
    m_run.DownloadsInFlight = std::max<qint32>(m_run.DownloadsInFlight - 1, 0);
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::StopRequestedChanged()
{
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::Abort()
{
    m_pauseTimer.stop();
    if (m_step == Step::Idle)
        return;
    m_step = Step::Idle;
    m_fetcher.CancelAllDownload();
}

// One pass up to its dispatch: at most one download, and only when none is outstanding.
void FetchQueue::pass()
{
    if (m_run.DownloadsInFlight < 1) {
        if (m_run.PageQueueNext < m_run.PageQueueCount) {
            m_run.ParsePhase = 0;
            beginPause(false);
            return;
        }
        if (m_run.QueryNext < m_run.QueryCount) {
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
    Q_EMIT PauseStarted();
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
        index = m_run.QueryNext++;
        url = m_run.QueryAddresses.value(index);
    } else {
        bumpProgress();
        index = m_run.PageQueueNext++;
        url = m_run.PageQueue.value(index);
    }
    const QString key = QString::number(index);
    // Counted before the call: a fetcher that reports a failed start at once must not leave
    // the count at 1 with nothing outstanding.
    ++m_run.DownloadsInFlight;
    m_step = Step::Dispatching;
    Q_EMIT DownloadIssued(url, key);
    m_fetcher.BeginDownload(url, key);
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
    if (m_run.StopRequested) {
        endStopped();
        return;
    }
    if (m_run.ParsePhase == 0 && m_run.DownloadsInFlight == 0
        && m_run.PageQueueNext >= m_run.PageQueueCount) {
        m_run.ParsePhase = 1;
        if (nothingFound()) {
            endFinished();
            return;
        }
        const qint16 count =
            std::clamp<qint16>(m_run.SuggestionTable.SuggestionCount, 0, MaxSuggestions);
        m_run.QueryAddresses.clear();
        m_run.QueryAddresses.reserve(count);
        for (int i = 0; i < count; ++i)
            m_run.QueryAddresses.append(QueryAddress(m_run.SuggestionTable.Entries[i].Keyword));
        m_run.QueryNext = 0;
        m_run.QueryCount = count;
        pass();
        return;
    }
    if (m_run.ParsePhase == 1 && m_run.DownloadsInFlight == 0
        && m_run.QueryNext >= m_run.QueryCount) {
        endFinished();
        return;
    }
    if (m_run.DownloadsInFlight >= 1) {
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
    return m_run.SuggestionTable.NoSuggestions || m_run.SuggestionTable.SuggestionCount <= 0;
}

void FetchQueue::bumpProgress()
{
    const int value = m_view.ProgressValue() + 1;
    if (value <= m_view.ProgressMaximum())
        m_view.SetProgressValue(value);
}

void FetchQueue::endFinished()
{
    m_step = Step::Ending;
    m_view.SetSuggestCaption(FinishedCaption);
    m_view.SetProgressValue(m_view.ProgressMaximum());
    m_view.SetProgressValue(0);
    m_view.SetStatus(QStringLiteral("Be careful not to visit database and Google frequently, "
                                    "otherwise you will be recognised as virus or spyware !"));

    if (nothingFound()) {
        m_run.CurrentKeyword = m_run.PreviousKeyword;
        m_view.SelectAllKeywordText();
        m_view.Warn(QStringLiteral("No results found for \"") + m_view.KeywordText()
                    + QStringLiteral("\" or denied by database .\r\n"
                                     "Try another keyword and not to visit database "
                                     "frequently ! "));
        finishEnding(Ending::NothingFound);
        return;
    }

    try {
        m_view.GetReport(m_run);
    } catch (...) {
        // A report that could not be built does not stop the ending.
    }
    m_view.SetKeywordText(m_view.KeywordText().toLower());
    m_view.MakeProject(m_run.CurrentKeyword);
    m_view.SetKeywordText(m_run.CurrentKeyword);
    m_view.SetResultsShown(true);
    m_view.EnableReportButtons();

    ++m_run.RunsSincePause;
    if (m_run.RunsSincePause >= 3) {
        if (m_run.IntervalSetting == 0) {
            m_run.RunsSincePause = 0;
            m_tmrInterval.start();
            m_view.SetStatus(QStringLiteral("Sit back and relax, only 30 minutes delay"));
        } else {
            m_run.RunsSincePause = 3;
        }
    }
    finishEnding(Ending::Finished);
}

void FetchQueue::endStopped()
{
    m_step = Step::Ending;
    m_pauseTimer.stop();
    m_fetcher.CancelAllDownload();
    m_view.Warn(QStringLiteral("You press the stop button !"));
    m_view.SetSuggestCaption(FinishedCaption);
    m_tmrKeyword.stop();
    m_view.SetStatus(QStringLiteral("Application is ready to accept another keyword suggestion !"));
    m_run.CurrentKeyword = m_run.PreviousKeyword;
    finishEnding(Ending::Stopped);
}

void FetchQueue::finishEnding(Ending ending)
{
    m_step = Step::Idle;
    Q_EMIT RunEnded(ending);
}

} // namespace Quorvane

#include "core/fetchqueue.h"

#include "core/runrecord.h"
#include "fetch/pagefetcher.h"
#include "sources/serviceaddresses.h"

#include <QUrl>

#include <algorithm>

namespace Quorvane {

std::chrono::milliseconds FetchQueue::backoff(int attempt)
{
    std::chrono::milliseconds wait = FirstBackoff;
    for (int i = 1; i < attempt && wait < MaxBackoff; ++i)
        wait *= 2;
    return std::min(wait, MaxBackoff);
}

FetchQueue::FetchQueue(RunRecord &run, PageFetcher &fetcher, StatusSink status, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_fetcher(fetcher)
    , m_status(std::move(status))
{
    // Coarse timers may end a pause up to 5% early; the clock is checked as well.
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pauseTimer, &QTimer::timeout, this, &FetchQueue::pauseTimeout);
    m_holdTimer.setSingleShot(true);
    // A service that asked for a wait must not be asked again before it is over.
    m_holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        if (m_step == Step::Waiting)
            dispatchThenCheck();
    });
    connect(&m_fetcher, &PageFetcher::requestEnded, this, &FetchQueue::requestEnded);
}

void FetchQueue::setSources(SuggestionSource &suggestions, CountSource &counts)
{
    m_suggestions = &suggestions;
    m_counts = &counts;
}

void FetchQueue::start()
{
    if (running() || m_phase == Phase::ShutDown || !m_suggestions || !m_counts)
        return;
    m_phase = Phase::Suggestions;
    m_inFlight.clear();
    m_retries.clear();
    m_attempts.clear();
    m_fatal.reset();
    m_failure = {};
    m_cost = 0;
    m_failedCounts = 0;
    m_run.suggestionTable.suggestionCount = 0;
    m_run.nextSuggestionRequest = 0;
    m_run.countRequests.clear();
    m_run.nextCountRequest = 0;
    m_progressMaximum = int(m_run.suggestionRequests.size()) + MaxSuggestions;
    setProgress(0);
    pass();
}

void FetchQueue::setProgress(int value)
{
    m_progress = value;
    Q_EMIT progressChanged(m_progress, m_progressMaximum);
}

void FetchQueue::stopRequestedChanged()
{
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::shutDown()
{
    m_pauseTimer.stop();
    m_holdTimer.stop();
    m_step = Step::Idle;
    m_phase = Phase::ShutDown;
    m_inFlight.clear();
    m_fetcher.cancelAll();
}

int FetchQueue::parallelLimit() const
{
    return m_phase == Phase::Counts ? std::max(m_counts->parallelLimit(), 1) : 1;
}

std::chrono::nanoseconds FetchQueue::pause() const
{
    if (m_pauseOverride)
        return *m_pauseOverride;
    return m_phase == Phase::Counts ? m_counts->pauseBeforeEachRequest()
                                    : m_suggestions->pauseBeforeEachRequest();
}

bool FetchQueue::hasNext() const
{
    if (!m_retries.isEmpty())
        return true;
    if (m_phase == Phase::Suggestions)
        return m_run.nextSuggestionRequest < m_run.suggestionRequests.size();
    return m_phase == Phase::Counts && m_run.nextCountRequest < m_run.countRequests.size();
}

// One pass up to its dispatch: at most one request, and only below the phase's parallel limit
// and outside a back-off.
void FetchQueue::pass()
{
    if (!holding() && m_inFlight.size() < parallelLimit() && hasNext()) {
        // The second phase moves the bar before its pause, the first after it.
        if (m_phase == Phase::Counts && m_retries.isEmpty())
            bumpProgress();
        beginPause();
        return;
    }
    dispatchThenCheck();
}

void FetchQueue::beginPause()
{
    m_step = Step::Pausing;
    Q_EMIT pauseStarted();
    m_pauseClock.start();
    m_pauseTimer.start(std::chrono::ceil<std::chrono::milliseconds>(pause()));
}

void FetchQueue::pauseTimeout()
{
    if (m_step != Step::Pausing)
        return;
    const std::chrono::nanoseconds wanted = pause();
    const std::chrono::nanoseconds waited(m_pauseClock.nsecsElapsed());
    if (waited < wanted) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wanted - waited);
        m_pauseTimer.start(std::max(left, std::chrono::milliseconds(1)));
        return;
    }
    issueRequest();
}

void FetchQueue::issueRequest()
{
    const bool retry = !m_retries.isEmpty();
    int index = 0;
    if (retry)
        index = m_retries.takeFirst();
    SourceRequest request;
    QString address;
    if (m_phase == Phase::Suggestions) {
        if (!retry) {
            bumpProgress();
            index = int(m_run.nextSuggestionRequest++);
        }
        request = m_run.suggestionRequests.value(index);
        address = request.url.toString(QUrl::RemoveUserInfo);
    } else {
        if (!retry)
            index = int(m_run.nextCountRequest++);
        request = m_run.countRequests.value(index);
        address = m_run.queryAddresses.value(index);
    }
    const QString key = QString::number(index);
    // Counted before the call: a fetcher that reports a failed start at once must not leave
    // the request counted with nothing outstanding.
    m_inFlight.insert(key, index);
    ++m_attempts[index];
    m_step = Step::Dispatching;
    Q_EMIT downloadIssued(address, key);
    m_fetcher.send(request, key);
    dispatchThenCheck();
}

void FetchQueue::requestEnded(const QString &key, const FetchOutcome &outcome)
{
    if (m_phase != Phase::Suggestions && m_phase != Phase::Counts)
        return;
    // A key the fetcher lists twice, or one of an earlier phase, ends nothing of ours.
    const auto it = m_inFlight.constFind(key);
    if (it == m_inFlight.cend())
        return;
    const int index = it.value();
    m_inFlight.erase(it);
    if (!outcome.cancelled) {
        const SourceVerdict verdict = m_phase == Phase::Suggestions
            ? m_suggestions->readSuggestions(index, outcome, m_run.suggestionTable,
                                             m_run.stopRequested, m_status)
            : m_counts->readCount(outcome, m_run.suggestionTable.entries[std::size_t(index)],
                                  m_run.stopRequested, m_status);
        takeVerdict(index, verdict, outcome);
    }
    if (m_step == Step::Waiting)
        dispatchThenCheck();
}

void FetchQueue::takeVerdict(int index, const SourceVerdict &verdict, const FetchOutcome &outcome)
{
    m_cost += verdict.cost;
    switch (verdict.failure) {
    case SourceFailure::None:
        return;
    case SourceFailure::RateLimited:
        if (m_attempts.value(index) < MaxAttempts) {
            m_retries.append(index);
            const std::optional<std::chrono::seconds> asked =
                verdict.retryAfter ? verdict.retryAfter : outcome.retryAfter;
            const std::chrono::milliseconds wait =
                asked ? std::chrono::milliseconds(*asked) : backoff(m_attempts.value(index));
            if (!holding() || m_holdTimer.remainingTimeAsDuration() < wait)
                m_holdTimer.start(wait);
            return;
        }
        break;
    case SourceFailure::KeyRefused:
    case SourceFailure::NoFunds:
        // Every other request would be refused the same way.
        if (!m_fatal)
            m_fatal = verdict;
        return;
    default:
        break;
    }
    if (m_phase == Phase::Counts) {
        ++m_failedCounts;
        return;
    }
    if (!m_fatal)
        m_fatal = verdict;
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
    const bool refused = m_fatal
        && (m_fatal->failure == SourceFailure::KeyRefused
            || m_fatal->failure == SourceFailure::NoFunds);
    const bool phaseDone = m_inFlight.isEmpty() && !hasNext();
    if (refused || (m_fatal && phaseDone)) {
        m_failure = *m_fatal;
        end(Ending::SourceFailed);
        return;
    }
    if (phaseDone && m_phase == Phase::Suggestions) {
        m_phase = Phase::Counts;
        if (nothingFound()) {
            end(Ending::NothingFound);
            return;
        }
        startCounts();
        pass();
        return;
    }
    if (phaseDone) {
        end(nothingFound() ? Ending::NothingFound : Ending::Finished);
        return;
    }
    const bool full = m_inFlight.size() >= parallelLimit();
    if ((!m_inFlight.isEmpty() && (full || !hasNext())) || (hasNext() && holding())) {
        // Nothing can change until an answer arrives, a back-off ends or Stop is pressed.
        m_step = Step::Waiting;
        return;
    }
    pass();
}

void FetchQueue::startCounts()
{
    const int count = std::clamp<int>(m_run.suggestionTable.suggestionCount, 0, MaxSuggestions);
    m_run.queryAddresses.clear();
    m_run.countRequests.clear();
    m_run.queryAddresses.reserve(count);
    m_run.countRequests.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString &phrase = m_run.suggestionTable.entries[std::size_t(i)].keyword;
        m_run.queryAddresses.append(queryAddress(phrase));
        m_run.countRequests.append(m_counts->countRequest(phrase));
    }
    m_run.nextCountRequest = 0;
    m_retries.clear();
    m_attempts.clear();
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
    m_holdTimer.stop();
    m_step = Step::Idle;
    m_phase = Phase::Ending;
    // Whatever is still out is of no use now; its cancelled ends find the run over.
    if (ending == Ending::Stopped || !m_inFlight.isEmpty())
        m_fetcher.cancelAll();
    m_inFlight.clear();
    Q_EMIT ended(ending);
    if (m_phase == Phase::Ending)
        m_phase = Phase::Idle;
}

} // namespace Quorvane

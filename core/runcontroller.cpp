#include "core/runcontroller.h"

#include "core/serviceaddresses.h"
#include "results/plaintext.h"
#include "store/keywordhistory.h"
#include "store/settingsstore.h"

#include <algorithm>

namespace Quorvane {

namespace {

const QChar Quote(u'"');

} // namespace

RunController::RunController(ReportFolder folder, Settings &settings, SettingsStore *store,
                             QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_settings(settings)
    , m_store(store)
    , m_fetcher(m_run.suggestionTable, m_run.stopRequested, m_run.parsePhase,
                [this](const QString &text) { Q_EMIT statusChanged(text); })
    , m_queue(m_run, m_fetcher)
    , m_pacing(settings, store)
{
    if (!m_settings.keywordHistory.isEmpty())
        m_run.currentKeyword = m_settings.keywordHistory.first();

    m_keywordTimer.setSingleShot(true);
    m_keywordTimer.setInterval(KeywordDelay);
    connect(&m_keywordTimer, &QTimer::timeout, this, &RunController::keywordTick);
    connect(&m_fetcher, &PageFetcher::downloadHtmlComplete, &m_queue,
            &FetchQueue::downloadCompleted);
    connect(&m_fetcher, &PageFetcher::downloadFailed, this, [this] {
        if (m_run.parsePhase == 1)
            ++m_failedResultPages;
    });
    connect(&m_queue, &FetchQueue::progressChanged, this, &RunController::progressChanged);
    connect(&m_queue, &FetchQueue::ended, this, &RunController::runEnding);
    connect(&m_pacing, &Pacing::pauseEnded, this, [this] {
        Q_EMIT pauseEnded();
        Q_EMIT statusChanged(QStringLiteral("Ready to accept another keyword suggestion"));
    });
}

RunController::~RunController()
{
    shutdown();
}

const QStringList &RunController::history() const
{
    return m_settings.keywordHistory;
}

void RunController::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void RunController::suggestPressed(const QString &boxText)
{
    m_results.forgetSortedOrder();
    requestSuggestion(keywordText(boxText));
}

void RunController::requestSuggestion(const QString &keyword)
{
    // While the connectivity test runs, while a stop already asked for is carried out, or
    // while a run's ending shows its messages, a press would clear stopRequested and start a
    // second run over the first one's record: it is ignored.
    if (m_shutDown || m_state == State::CheckingConnection || m_state == State::Stopping
        || m_ending)
        return;

    m_run.stopRequested = false;

    if (m_state == State::Fetching) {
        setState(State::Stopping);
        m_queue.setProgress(0);
        m_run.stopRequested = true;
        m_queue.stopRequestedChanged();
        return;
    }

    // A keyword of blanks would run for "+++" and save "___.kwd".
    if (keyword.trimmed().isEmpty()) {
        Q_EMIT warning(QStringLiteral("Please enter keyword !"));
        return;
    }

    if (reuseStoredReport(keyword)) {
        m_run.currentKeyword = keyword;
        Q_EMIT reportButtonsEnabled();
        addToHistory(m_run.currentKeyword);
        Q_EMIT keywordShown(m_run.currentKeyword);
        return;
    }

    if (m_pacing.pausing()) {
        Q_EMIT information(QStringLiteral("Sit back and relax, only 30 minutes delay"));
        return;
    }

    const State before = m_state;
    setState(State::CheckingConnection);
    m_online.isOnline([this, keyword, before](bool online) {
        if (m_shutDown)
            return;
        if (!online) {
            // The button reads "&Suggest" again.
            setState(State::Idle);
            Q_EMIT warning(QStringLiteral("You are not on internet !"));
            return;
        }
        m_state = before;
        startRun(keyword);
    });
}

// A report of this month for the keyword is shown instead of a run. One that cannot be read
// counts as none: the run that follows replaces it.
bool RunController::reuseStoredReport(const QString &keyword)
{
    const std::optional<QString> stored = findReusableReport(m_folder, keyword);
    if (!stored && hasDamagedReport(m_folder, keyword))
        Q_EMIT warning(damagedReportMessage(keyword));
    ResultList list;
    if (!stored || !loadReport(m_folder, *stored, list, &queryAddress))
        return false;
    m_run.reportFileName = stored->toLower();
    m_run.queryAddresses = list.queryAddresses;
    list.resultsShown = true;
    m_results.setList(std::move(list), m_run.reportFileName);
    return true;
}

void RunController::startRun(const QString &keyword)
{
    m_run.reportFileName = reportFileName(keyword);
    m_runKeyword = keyword;
    m_failedResultPages = 0;
    setState(State::Fetching);
    m_run.suggestionTable.emptyEntries();
    m_run.suggestionTable.suggestionCount = 0;
    m_run.pageQueue = {keywordDatabaseAddress(keyword)};
    m_run.pageQueueNext = 0;
    m_run.pageQueueCount = 1;
    m_run.previousKeyword = m_run.currentKeyword;
    m_run.currentKeyword = keyword;
    m_keywordTimer.start();
}

void RunController::keywordTick()
{
    m_keywordTimer.stop();
    if (m_queue.running())
        return;
    m_run.pageQueue.resize(m_run.pageQueueCount);
    m_run.pageQueue.append(productPageAddress());
    ++m_run.pageQueueCount;
    m_queue.start();
}

void RunController::runEnding(FetchQueue::Ending ending)
{
    m_ending = true;
    switch (ending) {
    case FetchQueue::Ending::Stopped:
        endStopped();
        break;
    case FetchQueue::Ending::NothingFound:
        endFinished(true);
        break;
    case FetchQueue::Ending::Finished:
        endFinished(false);
        break;
    }
    m_ending = false;
    if (!m_shutDown)
        Q_EMIT runEnded(ending);
}

void RunController::endFinished(bool nothingFound)
{
    setState(State::Ended);
    m_queue.setProgress(m_queue.progressMaximum());
    m_queue.setProgress(0);
    Q_EMIT statusChanged(QStringLiteral("Be careful not to visit database and Google frequently, "
                                        "otherwise you will be recognised as virus or spyware !"));

    if (nothingFound) {
        m_run.currentKeyword = m_run.previousKeyword;
        Q_EMIT keywordSelected();
        Q_EMIT warning(QStringLiteral("No results found for \"") + m_runKeyword
                       + QStringLiteral("\" or denied by database .\r\n"
                                        "Try another keyword and not to visit database "
                                        "frequently ! "));
        return;
    }

    showReport();
    if (m_shutDown)
        return;
    addToHistory(m_run.currentKeyword);
    Q_EMIT keywordShown(m_run.currentKeyword);
    Q_EMIT reportButtonsEnabled();

    if (m_pacing.runFinished())
        Q_EMIT statusChanged(QStringLiteral("Sit back and relax, only 30 minutes delay"));
    tellIfCountsMissing();
}

// Rows without a count show an empty popularity and a ratio of 0, which sorts them first as if
// the phrases had no competition, and the report is reused all month: the user is told when the
// figures cannot be trusted. The list and the report stay as they are.
void RunController::tellIfCountsMissing()
{
    const int pages = std::clamp<int>(m_run.queryCount, 0, MaxSuggestions);
    int counted = 0;
    for (int i = 0; i < pages; ++i) {
        if (!m_run.suggestionTable.entries[std::size_t(i)].results.isEmpty())
            ++counted;
    }
    if (pages == 0 || (counted > 0 && m_failedResultPages * 2 <= pages))
        return;
    Q_EMIT warning(QStringLiteral("Only %1 of the %2 result pages gave a result count (%3 could "
                                  "not be downloaded), so popularity figures are missing from "
                                  "this report.\r\nDelete the keyword to run it again later.")
                       .arg(counted)
                       .arg(pages)
                       .arg(m_failedResultPages));
}

// Fills the list from the run's table and writes the report of the keyword the run was
// started for.
void RunController::showReport()
{
    // The row rule shortens overlong phrases in the table it works on; the run's own table
    // stays as the parsers left it.
    SuggestionTable table = m_run.suggestionTable;
    ResultList list;
    QString error;
    const bool written =
        writeReport(table, m_runKeyword, m_folder, m_run.reportFileName, list, QLocale(), &error);
    // The list keeps its own copy of the rows' addresses: a later run that is stopped
    // rebuilds the run's list while these rows stay shown.
    list.queryAddresses = m_run.queryAddresses;
    list.resultsShown = true;
    m_results.setList(std::move(list), m_run.reportFileName);
    if (!written)
        Q_EMIT warning(QStringLiteral("The report file ") + Quote + m_run.reportFileName + Quote
                       + QStringLiteral(" could not be written: ") + error);
}

void RunController::endStopped()
{
    Q_EMIT warning(QStringLiteral("You press the stop button !"));
    setState(State::Ended);
    m_keywordTimer.stop();
    Q_EMIT statusChanged(
        QStringLiteral("Application is ready to accept another keyword suggestion !"));
    m_run.currentKeyword = m_run.previousKeyword;
}

void RunController::addToHistory(const QString &keyword)
{
    if (!addKeywordToHistory(m_settings.keywordHistory, keyword)) {
        tellIfHistoryFull(keyword);
        return;
    }
    saveHistory();
    Q_EMIT historyChanged();
}

// A full history refuses a new keyword; without a word its report would be shown but never
// offered again.
void RunController::tellIfHistoryFull(const QString &keyword)
{
    if (m_settings.keywordHistory.contains(keyword))
        return;
    Q_EMIT warning(
        QStringLiteral("The keyword history is full (%1 keywords), so \"%2\" was not "
                       "added to it: its report is shown now but cannot be chosen from "
                       "the history.\r\nDelete keywords you no longer need to make room.")
            .arg(QLocale(QLocale::English).toString(MaxHistoryEntries), keyword));
}

void RunController::saveHistory()
{
    if (m_store && !m_store->saveHistory(m_settings))
        tellSettingsNotSaved();
}

void RunController::chooseInterval(qint16 setting)
{
    if (!m_pacing.chooseInterval(setting))
        tellSettingsNotSaved();
}

// Otherwise the user would learn it only at the next start, with the history gone.
void RunController::tellSettingsNotSaved()
{
    if (m_settingsFailureTold || !m_store)
        return;
    m_settingsFailureTold = true;
    Q_EMIT warning(QStringLiteral("The settings file ") + Quote + m_store->location().path + Quote
                   + QStringLiteral(" could not be written: ") + m_store->writeFailureReason()
                   + QStringLiteral("\r\nThe keyword history and settings are kept only until "
                                    "the program ends."));
}

void RunController::columnClicked(int column)
{
    const ResultList &list = m_results.list();
    if (m_state == State::Fetching || !list.resultsShown || column != ColumnPopularityPerSearch)
        return;
    if (!list.popularitySorted) {
        m_results.sortByRatio(&queryAddress);
        return;
    }
    // Back to the stored order: the report of this month is shown again.
    m_results.forgetSortedOrder();
    requestSuggestion(m_run.currentKeyword);
}

void RunController::deleteKeyword(const QString &boxText)
{
    QStringList &history = m_settings.keywordHistory;
    // The entry the button was offered for; its report goes with it.
    const std::optional<qsizetype> entry = historyEntryToDelete(history, boxText);
    const QString keyword = entry ? history.at(*entry) : boxText;
    if (deleteReportFile(m_folder, keyword)) {
        // The list showed the report just deleted.
        if (reportFileName(m_run.currentKeyword)
                .compare(reportFileName(keyword), Qt::CaseInsensitive)
            == 0) {
            m_results.clearResults();
            Q_EMIT exportAvailable(false);
        }
    }
    deleteKeywordFromHistory(history, boxText);
    saveHistory();
}

void RunController::deleteAllKeywords()
{
    const QStringList removed = deleteAllFromHistory(m_settings.keywordHistory);
    for (const QString &keyword : removed)
        deleteReportFile(m_folder, keyword);
    m_results.clearResults();
    saveHistory();
}

std::optional<QString> RunController::reportToExport() const
{
    const QString path = findReportFile(m_folder, m_run.currentKeyword);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

void RunController::shutdown()
{
    m_shutDown = true;
    m_run.stopRequested = true;
    m_online.cancel();
    m_keywordTimer.stop();
    m_pacing.stop();
    m_queue.abort();
    m_fetcher.cancelAllDownload();
}

} // namespace Quorvane

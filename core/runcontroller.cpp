#include "core/runcontroller.h"

#include "results/plaintext.h"
#include "results/seasons.h"
#include "sources/classicsource.h"
#include "sources/serviceaddresses.h"
#include "sources/sourcecatalog.h"
#include "store/keywordhistory.h"
#include "store/settingsstore.h"

#include <QDir>

#include <algorithm>

namespace Quorvane {

namespace {

const QChar Quote(u'"');

// "Classic pages", or "DataForSEO + SerpApi" where the two phases asked different services.
QString sourcesName(const SuggestionSource &suggestions, const CountSource &counts)
{
    if (suggestions.id() == counts.id())
        return counts.displayName();
    return suggestions.displayName() + QStringLiteral(" + ") + counts.displayName();
}

} // namespace

RunController::RunController(ReportFolder folder, Settings &settings, SettingsStore *store,
                             QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_sourceFolder(m_folder)
    , m_settings(settings)
    , m_store(store)
    , m_fetcher([this](const QString &text) { Q_EMIT statusChanged(text); })
    , m_queue(m_run, m_fetcher, [this](const QString &text) { Q_EMIT statusChanged(text); })
    , m_pacing(settings, store)
{
    auto classic = std::make_shared<ClassicSource>();
    setSources(classic, classic);

    if (!m_settings.keywordHistory.isEmpty())
        m_run.currentKeyword = m_settings.keywordHistory.first();

    m_keywordTimer.setSingleShot(true);
    m_keywordTimer.setInterval(KeywordDelay);
    connect(&m_keywordTimer, &QTimer::timeout, this, &RunController::keywordTick);
    connect(&m_fetcher, &PageFetcher::requestEnded, this, &RunController::requestEnded);
    connect(&m_queue, &FetchQueue::pauseStarted, this, &RunController::pauseStarted);
    connect(&m_queue, &FetchQueue::downloadIssued, this, &RunController::requestIssued);
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

void RunController::setSources(std::shared_ptr<SuggestionSource> suggestions,
                               std::shared_ptr<CountSource> counts)
{
    if (!suggestions || !counts)
        return;
    m_suggestionSource = std::move(suggestions);
    m_countSource = std::move(counts);
    m_sourceFolder = folderOf(*m_suggestionSource, *m_countSource);
}

ReportFolder RunController::folderOf(const SuggestionSource &suggestions,
                                     const CountSource &counts) const
{
    const QString subfolder = reportSubfolder(suggestions, counts);
    if (subfolder.isEmpty())
        return m_folder;
    const ReportFolder *root = &m_folder;
    return ReportFolder(QDir(m_folder.path()).filePath(subfolder), [root] { return root->now(); });
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
    if (shuttingDown() || m_state == State::CheckingConnection || m_state == State::Stopping
        || m_queue.phase() == FetchQueue::Phase::Ending)
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

    // The pause belongs to the pages that would take the program for a robot.
    if (m_countSource->pacedLikePages() && m_pacing.pausing()) {
        Q_EMIT information(QStringLiteral("Sit back and relax, only 30 minutes delay"));
        return;
    }

    if (!m_reportLock.take(m_sourceFolder, reportFileName(keyword))) {
        Q_EMIT warning(reportLockedText(keyword));
        return;
    }
    setState(State::CheckingConnection);
    m_online.isOnline([this, keyword](bool online) {
        if (shuttingDown())
            return;
        if (!online) {
            m_reportLock.release();
            // The button reads "&Suggest" again.
            setState(State::Idle);
            Q_EMIT warning(QStringLiteral("You are not on internet !"));
            return;
        }
        if (!paidRunConfirmed(keyword)) {
            m_reportLock.release();
            setState(State::Idle);
            return;
        }
        startRun(keyword);
    });
}

void RunController::setPaidRunRule(bool ask, double askUnlessUnderDollars)
{
    m_askBeforePaidRuns = ask;
    m_askUnlessUnderDollars = askUnlessUnderDollars;
}

// Asked only once a run will really start: a reused report and the classic pages cost nothing.
bool RunController::paidRunConfirmed(const QString &keyword)
{
    const RunCost cost = estimateRunCost(m_suggestionSource->id(), m_countSource->id());
    if (!m_confirmPaidRun || !asksBeforeRun(cost, m_askBeforePaidRuns, m_askUnlessUnderDollars))
        return true;
    return m_confirmPaidRun(
        costQuestion(keyword, m_suggestionSource->id(), m_countSource->id(), cost, m_knownBalance));
}

bool RunController::runIsPaid() const
{
    return m_runSuggestions && m_runCounts
        && estimateRunCost(m_runSuggestions->id(), m_runCounts->id()).isPaid();
}

// What the service charged, whichever way the run ended (a stopped run's answers are paid too).
void RunController::tellRunCost()
{
    if (!runIsPaid() || shuttingDown())
        return;
    if (m_knownBalance)
        m_knownBalance = *m_knownBalance - runCost();
    Q_EMIT statusChanged(costSpentText(runCost()));
}

// A report of this month for the keyword is shown instead of a run. One that cannot be read
// counts as none: the run that follows replaces it.
bool RunController::reuseStoredReport(const QString &keyword)
{
    const std::optional<QString> stored = findReusableReport(m_sourceFolder, keyword);
    if (!stored && hasDamagedReport(m_sourceFolder, keyword))
        Q_EMIT warning(damagedReportMessage(keyword));
    ResultList list;
    if (!stored || !loadReport(m_sourceFolder, *stored, list, &queryAddress))
        return false;
    m_run.reportFileName = stored->toLower();
    m_run.queryAddresses = list.queryAddresses;
    list.resultsShown = true;
    m_results.setList(std::move(list), m_run.reportFileName);
    showSource(sourcesName(*m_suggestionSource, *m_countSource));
    return true;
}

void RunController::startRun(const QString &keyword)
{
    m_run.reportFileName = reportFileName(keyword);
    m_runKeyword = keyword;
    m_runSuggestions = m_suggestionSource;
    m_runCounts = m_countSource;
    m_queue.setSources(*m_runSuggestions, *m_runCounts);
    setState(State::Fetching);
    m_run.suggestionTable.emptyEntries();
    m_run.suggestionTable.suggestionCount = 0;
    m_run.suggestionRequests = m_runSuggestions->suggestionRequests(keyword);
    m_run.nextSuggestionRequest = 0;
    m_run.previousKeyword = m_run.currentKeyword;
    m_run.currentKeyword = keyword;
    m_keywordTimer.start();
}

void RunController::keywordTick()
{
    m_keywordTimer.stop();
    if (m_queue.running())
        return;
    m_queue.start();
}

void RunController::runEnding(FetchQueue::Ending ending)
{
    // The queue's phase is Ending meanwhile: a press during the ending's messages is ignored.
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
    case FetchQueue::Ending::SourceFailed:
        endSourceFailed();
        break;
    }
    tellRunCost();
    m_reportLock.release();
    if (!shuttingDown())
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

    // Counts from a metered service that did not all arrive are shown but never saved: the
    // report would be reused, unpaid for and incomplete, for the rest of the month.
    if (countsIncomplete()) {
        showReport(false);
        if (shuttingDown())
            return;
        Q_EMIT keywordShown(m_run.currentKeyword);
        Q_EMIT reportButtonsEnabled();
        tellIfCountsMissing();
        return;
    }

    showReport(true);
    if (shuttingDown())
        return;
    addToHistory(m_run.currentKeyword);
    Q_EMIT keywordShown(m_run.currentKeyword);
    Q_EMIT reportButtonsEnabled();

    if (m_runCounts->pacedLikePages() && m_pacing.runFinished())
        Q_EMIT statusChanged(QStringLiteral("Sit back and relax, only 30 minutes delay"));
    tellIfCountsMissing();
}

// The classic pages save what came, as they always have, and tell when many counts are
// missing. A metered source's run is saved only whole: any count that did not arrive (after its
// retries) keeps the run from becoming the month's report.
bool RunController::countsIncomplete() const
{
    return !m_runCounts->pacedLikePages() && m_queue.failedCounts() > 0;
}

// The source's words say what failed and where to mend it; nothing is written or counted, and
// an earlier report stays as it was.
void RunController::endSourceFailed()
{
    setState(State::Ended);
    m_queue.setProgress(m_queue.progressMaximum());
    m_queue.setProgress(0);
    Q_EMIT statusChanged(
        QStringLiteral("Application is ready to accept another keyword suggestion !"));
    m_run.currentKeyword = m_run.previousKeyword;
    Q_EMIT keywordSelected();
    QString message = m_queue.failure().message;
    if (message.isEmpty())
        message = m_runSuggestions->displayName()
            + QStringLiteral(" gave no usable answer. Try again later, or choose another source "
                             "in the settings.");
    Q_EMIT warning(message);
}

void RunController::showSource(const QString &name)
{
    m_unsavedList.reset();
    if (m_shownSourceName == name)
        return;
    m_shownSourceName = name;
    Q_EMIT shownSourceChanged(name);
}

// Rows without a count show an empty popularity and a ratio of 0, which sorts them first as if
// the phrases had no competition, and the report is reused all month: the user is told when the
// figures cannot be trusted. The list and the report stay as they are.
void RunController::tellIfCountsMissing()
{
    const int pages = std::clamp<int>(int(m_run.countRequests.size()), 0, MaxSuggestions);
    const int failed = m_queue.failedCounts();
    int counted = 0;
    for (int i = 0; i < pages; ++i) {
        if (!m_run.suggestionTable.entries[std::size_t(i)].results.isEmpty())
            ++counted;
    }
    if (countsIncomplete()) {
        Q_EMIT warning(QStringLiteral("Only %1 of the %2 phrases got a result count from %3 (%4 "
                                      "could not be read), so this run was not saved as a "
                                      "report.\r\nRun the keyword again later, or choose another "
                                      "source for the counts in the settings.")
                           .arg(counted)
                           .arg(pages)
                           .arg(m_runCounts->displayName())
                           .arg(failed));
        return;
    }
    if (pages == 0 || (counted > 0 && failed * 2 <= pages))
        return;
    Q_EMIT warning(
        QStringLiteral("Only %1 of the %2 result pages gave a result count (%3 could "
                       "not be downloaded), so popularity figures are missing from "
                       "this report.\r\nDelete the keyword to run it again later, or choose "
                       "another source for the counts in the settings (Ctrl+K).")
            .arg(counted)
            .arg(pages)
            .arg(failed));
}

// Fills the list from the run's table and, with save, writes the report of the keyword the run
// was started for into its sources' folder.
void RunController::showReport(bool save)
{
    // The row rule shortens overlong phrases in the table it works on; the run's own table
    // stays as the parsers left it.
    SuggestionTable table = m_run.suggestionTable;
    ResultList list;
    QString error;
    bool written = true;
    std::optional<ResultList> unsaved;
    if (save) {
        written = writeReport(table, m_runKeyword, folderOf(*m_runSuggestions, *m_runCounts),
                              m_run.reportFileName, list, QLocale(), &error);
        // The months behind the figures go beside the report they belong to.
        if (written && m_runSuggestions->id() != ClassicSourceId) {
            QString seasonsError;
            if (!writeSeasons(folderOf(*m_runSuggestions, *m_runCounts), m_runKeyword,
                              m_runSuggestions->seasonsTaken(), &seasonsError))
                Q_EMIT warning(QStringLiteral("The monthly searches of \"%1\" could not be "
                                              "saved beside its report: %2")
                                   .arg(m_runKeyword, seasonsError));
        }
    } else {
        const qint64 total = totalSearches(table);
        list.rows = makeListRows(table, total);
        list.suggestionsCaption = summaryCaption(
            m_runKeyword, total, std::clamp(int(table.suggestionCount), 0, MaxSuggestions));
    }
    // The list keeps its own copy of the rows' addresses: a later run that is stopped
    // rebuilds the run's list while these rows stay shown.
    list.queryAddresses = m_run.queryAddresses;
    list.resultsShown = true;
    if (!save)
        unsaved = list;
    m_results.setList(std::move(list), m_run.reportFileName);
    showSource(sourcesName(*m_runSuggestions, *m_runCounts));
    m_unsavedList = std::move(unsaved);
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
    // Figures that were not saved have no report to come back to, and asking the service again
    // would be paid for: their own order comes back from memory.
    if (m_unsavedList) {
        m_results.setList(*m_unsavedList, m_results.reportFileName());
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
    if (deleteReportFile(m_sourceFolder, keyword)) {
        // The list showed the report just deleted.
        if (reportFileName(m_run.currentKeyword)
                .compare(reportFileName(keyword), Qt::CaseInsensitive)
            == 0) {
            m_results.clearResults();
            showSource(QString());
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
        deleteReportFile(m_sourceFolder, keyword);
    m_results.clearResults();
    showSource(QString());
    saveHistory();
}

std::optional<QString> RunController::reportToExport() const
{
    // A file of that name would be an earlier run's, not the figures shown.
    if (m_unsavedList)
        return std::nullopt;
    const QString path = findReportFile(m_sourceFolder, m_run.currentKeyword);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

void RunController::shutdown()
{
    m_run.stopRequested = true;
    m_online.cancel();
    m_keywordTimer.stop();
    m_pacing.stop();
    m_queue.shutDown();
    m_reportLock.release();
}

} // namespace Quorvane

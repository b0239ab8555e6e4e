#include "runcontroller.h"

#include "reportfile.h"
#include "runview.h"
#include "serviceaddresses.h"

namespace Quorvane {

namespace {

const QString StopCaption = QStringLiteral("&Stop");

} // namespace

RunController::RunController(RunView &view, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_parseWeb(m_run.suggestionTable, m_run.stopRequested, m_run.parsePhase,
                 [this](const QString &text) { m_view.setStatus(text); })
    , m_driver(m_run, view, m_parseWeb, m_tmrKeyword, m_tmrInterval)
{
    m_tmrKeyword.setSingleShot(true);
    m_tmrKeyword.setInterval(KeywordDelay);
    connect(&m_tmrKeyword, &QTimer::timeout, this, &RunController::keywordTick);

    m_tmrInterval.setInterval(PauseTickInterval);
    connect(&m_tmrInterval, &QTimer::timeout, this, &RunController::pauseTick);

    connect(&m_parseWeb, &PageFetcher::downloadHtmlComplete, &m_driver,
            &FetchQueue::onDownloadHtmlComplete);
    connect(&m_driver, &FetchQueue::runEnded, this, &RunController::runEnded);
}

RunController::~RunController()
{
    shutdown();
}

void RunController::setPauseTickInterval(std::chrono::milliseconds interval)
{
    m_tmrInterval.setInterval(interval);
}

void RunController::requestSuggestion(const QString &keyword)
{
    if (m_shutDown)
        return;
    // While the connectivity test runs, or while a stop already asked for is carried out
    // (the button no longer reads "&Stop" but the run has not ended), a press would clear
    // StopRequested and start a second run over the first one's state: it is ignored.
    if (m_online.pending())
        return;
    if (runUnderWay() && m_view.suggestCaption() != StopCaption)
        return;

    m_run.stopRequested = false;

    if (m_view.suggestCaption() == StopCaption) {
        m_view.setSuggestCaption(QStringLiteral("&Suggest"));
        m_view.setProgressValue(0);
        m_view.focusTxtDumb();
        m_run.stopRequested = true;
        m_driver.stopRequestedChanged();
        return;
    }

    if (keyword.isEmpty()) {
        m_view.warn(QStringLiteral("Please enter keyword !"));
        return;
    }

    switch (m_view.reuseStoredReport(keyword, m_run)) {
    case ReuseOutcome::Loaded:
        m_run.currentKeyword = keyword;
        m_view.setResultsShown(true);
        m_view.enableReportButtons();
        m_view.makeProject(m_run.currentKeyword);
        m_view.setKeywordText(m_run.currentKeyword);
        return;
    case ReuseOutcome::Failed:
        return;
    case ReuseOutcome::NoReport:
        break;
    }

    if (pauseRunning()) {
        m_view.inform(QStringLiteral("Sit back and relax, only 30 minutes delay"));
        return;
    }

    m_online.isOnline([this, keyword](bool online) {
        if (m_shutDown)
            return;
        if (!online) {
            m_view.setSuggestCaption(QStringLiteral("&Suggest"));
            m_view.warn(QStringLiteral("You are not on internet !"));
            return;
        }
        startRun(keyword);
    });
}

void RunController::startRun(const QString &keyword)
{
    m_run.reportFileName = reportFileName(keyword);
    m_view.setSuggestCaption(StopCaption);
    m_view.focusTxtDumb();
    m_run.suggestionTable.emptyEntries();
    m_run.suggestionTable.suggestionCount = 0;
    m_run.pageQueue.clear();
    m_run.pageQueueNext = 0;
    m_run.pageQueueCount = 0;
    m_run.pageQueue.append(keywordDatabaseAddress(keyword));
    m_run.pageQueueCount = 1;
    m_run.previousKeyword = m_run.currentKeyword;
    m_run.currentKeyword = keyword;
    m_tmrKeyword.start();
}

void RunController::keywordTick()
{
    m_tmrKeyword.stop();
    if (m_driver.running())
        return;
    m_run.pageQueue.resize(m_run.pageQueueCount);
    m_run.pageQueue.append(productPageAddress());
    ++m_run.pageQueueCount;
    m_driver.runFetchQueue();
}

void RunController::pauseTick()
{
    --m_run.pauseMinutesLeft;
    if (m_run.pauseMinutesLeft > 0)
        return;
    m_run.pauseMinutesLeft = 30;
    m_tmrInterval.stop();
    m_view.setSuggestEnabled(true);
    m_view.setStatus(QStringLiteral("Ready to accept another keyword suggestion"));
}

void RunController::setIntervalSetting(qint16 setting)
{
    m_run.intervalSetting = setting;
}

void RunController::chooseThirtyMinutes()
{
    m_run.intervalSetting = 0;
}

void RunController::chooseDontCare()
{
    m_run.intervalSetting = 99;
    m_tmrInterval.stop();
}

void RunController::shutdown()
{
    m_shutDown = true;
    m_run.stopRequested = true;
    m_online.cancel();
    m_tmrKeyword.stop();
    m_tmrInterval.stop();
    m_driver.abort();
    m_parseWeb.cancelAllDownload();
}

} // namespace Quorvane

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
    , m_parseWeb(m_run.SuggestionTable, m_run.StopRequested, m_run.ParsePhase,
                 [this](const QString &text) { m_view.SetStatus(text); })
    , m_driver(m_run, view, m_parseWeb, m_tmrKeyword, m_tmrInterval)
{
    m_tmrKeyword.setSingleShot(true);
    m_tmrKeyword.setInterval(KeywordDelay);
    connect(&m_tmrKeyword, &QTimer::timeout, this, &RunController::keywordTick);

    m_tmrInterval.setInterval(PauseTickInterval);
    connect(&m_tmrInterval, &QTimer::timeout, this, &RunController::PauseTick);

    connect(&m_parseWeb, &PageFetcher::DownloadHtmlComplete, &m_driver,
            &FetchQueue::OnDownloadHtmlComplete);
    connect(&m_driver, &FetchQueue::RunEnded, this, &RunController::RunEnded);
}

RunController::~RunController()
{
    Shutdown();
}

void RunController::SetPauseTickInterval(std::chrono::milliseconds interval)
{
    m_tmrInterval.setInterval(interval);
}

void RunController::RequestSuggestion(const QString &keyword)
{
    if (m_shutDown)
        return;
    // While the connectivity test runs, or while a stop already asked for is carried out
    // (the button no longer reads "&Stop" but the run has not ended), a press would clear
    // StopRequested and start a second run over the first one's state: it is ignored.
    if (m_online.Pending())
        return;
    if (RunUnderWay() && m_view.SuggestCaption() != StopCaption)
        return;

    m_run.StopRequested = false;

    if (m_view.SuggestCaption() == StopCaption) {
        m_view.SetSuggestCaption(QStringLiteral("&Suggest"));
        m_view.SetProgressValue(0);
        m_view.FocusTxtDumb();
        m_run.StopRequested = true;
        m_driver.StopRequestedChanged();
        return;
    }

    if (keyword.isEmpty()) {
        m_view.Warn(QStringLiteral("Please enter keyword !"));
        return;
    }

    switch (m_view.ReuseStoredReport(keyword, m_run)) {
    case ReuseOutcome::Loaded:
        m_run.CurrentKeyword = keyword;
        m_view.SetResultsShown(true);
        m_view.EnableReportButtons();
        m_view.MakeProject(m_run.CurrentKeyword);
        m_view.SetKeywordText(m_run.CurrentKeyword);
        return;
    case ReuseOutcome::Failed:
        return;
    case ReuseOutcome::NoReport:
        break;
    }

    if (PauseRunning()) {
        m_view.Inform(QStringLiteral("Sit back and relax, only 30 minutes delay"));
        return;
    }

    m_online.IsOnline([this, keyword](bool online) {
        if (m_shutDown)
            return;
        if (!online) {
            m_view.SetSuggestCaption(QStringLiteral("&Suggest"));
            m_view.Warn(QStringLiteral("You are not on internet !"));
            return;
        }
        startRun(keyword);
    });
}

void RunController::startRun(const QString &keyword)
{
    m_run.ReportFileName = ReportFileName(keyword);
    m_view.SetSuggestCaption(StopCaption);
    m_view.FocusTxtDumb();
    m_run.SuggestionTable.emptyEntries();
    m_run.SuggestionTable.SuggestionCount = 0;
    m_run.PageQueue.clear();
    m_run.PageQueueNext = 0;
    m_run.PageQueueCount = 0;
    m_run.PageQueue.append(KeywordDatabaseAddress(keyword));
    m_run.PageQueueCount = 1;
    m_run.PreviousKeyword = m_run.CurrentKeyword;
    m_run.CurrentKeyword = keyword;
    m_tmrKeyword.start();
}

void RunController::keywordTick()
{
    m_tmrKeyword.stop();
    if (m_driver.Running())
        return;
    m_run.PageQueue.resize(m_run.PageQueueCount);
    m_run.PageQueue.append(ProductPageAddress());
    ++m_run.PageQueueCount;
    m_driver.RunFetchQueue();
}

void RunController::PauseTick()
{
    --m_run.PauseMinutesLeft;
    if (m_run.PauseMinutesLeft > 0)
        return;
    m_run.PauseMinutesLeft = 30;
    m_tmrInterval.stop();
    m_view.SetSuggestEnabled(true);
    m_view.SetStatus(QStringLiteral("Ready to accept another keyword suggestion"));
}

void RunController::SetIntervalSetting(qint16 setting)
{
    m_run.IntervalSetting = setting;
}

void RunController::ChooseThirtyMinutes()
{
    m_run.IntervalSetting = 0;
}

void RunController::ChooseDontCare()
{
    m_run.IntervalSetting = 99;
    m_tmrInterval.stop();
}

void RunController::Shutdown()
{
    m_shutDown = true;
    m_run.StopRequested = true;
    m_online.Cancel();
    m_tmrKeyword.stop();
    m_tmrInterval.stop();
    m_driver.Abort();
    m_parseWeb.CancelAllDownload();
}

} // namespace Quorvane

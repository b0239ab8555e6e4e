#pragma once

#include "runcontroller.h"
#include "runstate.h"
#include "runview.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <stdexcept>

namespace Quorvane {

// The window as a record: every call the run makes lands in log, in order, as "what value".
class FakeView final : public RunView
{
public:
    QString caption = QStringLiteral("&Suggest");
    int progressValue = 0;
    int progressMaximum = 100;
    QString keywordText;
    QStringList log;
    ReuseOutcome reuseOutcome = ReuseOutcome::NoReport;
    bool reportFails = false;
    int reportRows = -1;

    QString SuggestCaption() const override { return caption; }
    void SetSuggestCaption(const QString &text) override { note("caption ", caption = text); }
    void SetSuggestEnabled(bool enabled) override { note("enabled ", QString::number(enabled)); }
    void FocusTxtDumb() override { log << QStringLiteral("focus"); }
    int ProgressValue() const override { return progressValue; }
    int ProgressMaximum() const override { return progressMaximum; }
    void SetProgressValue(int value) override
    {
        note("progress ", QString::number(progressValue = value));
    }
    void SetProgressMaximum(int maximum) override
    {
        note("maximum ", QString::number(progressMaximum = maximum));
    }
    void SetStatus(const QString &text) override { note("status ", text); }
    void Warn(const QString &text) override { note("warn ", text); }
    void Inform(const QString &text) override { note("inform ", text); }
    QString KeywordText() const override { return keywordText; }
    void SetKeywordText(const QString &text) override { note("keyword ", keywordText = text); }
    void SelectAllKeywordText() override { log << QStringLiteral("selectall"); }
    ReuseOutcome ReuseStoredReport(const QString &keyword, RunState &run) override
    {
        note("reuse ", keyword);
        if (reuseOutcome == ReuseOutcome::Loaded)
            run.ReportFileName = QStringLiteral("reused.kwd");
        return reuseOutcome;
    }
    void GetReport(const RunState &run) override
    {
        log << QStringLiteral("getreport");
        if (reportFails)
            throw std::runtime_error("report folder is a file");
        reportRows = run.SuggestionTable.SuggestionCount;
    }
    void MakeProject(const QString &newKeyword) override { note("makeproject ", newKeyword); }
    void EnableReportButtons() override { log << QStringLiteral("buttons"); }
    void SetResultsShown(bool shown) override { note("resultsshown ", QString::number(shown)); }

    // Entries of log that start with prefix, prefix removed; and the last of them.
    QStringList entries(const char *prefix) const
    {
        QStringList out;
        for (const QString &entry : log) {
            if (entry.startsWith(QLatin1String(prefix)))
                out << entry.mid(qsizetype(qstrlen(prefix)));
        }
        return out;
    }
    QString last(const char *prefix) const
    {
        return entries(prefix).value(entries(prefix).size() - 1);
    }

private:
    void note(const char *what, const QString &value) { log << QString::fromLatin1(what) + value; }
};

// A controller over the fake window that reports itself online, its keyword so far "earlier",
// with the driver's pauses, downloads and endings recorded.
struct RunHarness
{
    FakeView view;
    RunController controller {view};
    QElapsedTimer clock;
    QStringList addresses;
    QList<qint64> pauseStarts; // nanoseconds on clock
    QList<qint64> issueTimes;
    int completions = 0;
    QList<FetchQueue::Ending> endings;
    QList<bool> onlineAnswers; // what the probe answers, one per ask; then yes
    int onlineAsks = 0;

    explicit RunHarness(std::chrono::nanoseconds pause = std::chrono::milliseconds(1))
    {
        clock.start();
        controller.State().CurrentKeyword = QStringLiteral("earlier");
        controller.Connectivity().SetProbe([this] {
            return onlineAsks < onlineAnswers.size() ? onlineAnswers[onlineAsks++] : true;
        });
        controller.Driver().SetDownloadPause(pause);
        QObject *context = &controller;
        QObject::connect(&controller.Driver(), &FetchQueue::PauseStarted, context, [this] {
            pauseStarts << clock.nsecsElapsed();
            view.log << QStringLiteral("pause");
        });
        QObject::connect(&controller.Driver(), &FetchQueue::DownloadIssued, context,
                         [this](const QString &url, const QString &key) {
                             issueTimes << clock.nsecsElapsed();
                             addresses << url;
                             view.log << QStringLiteral("download ") + key;
                         });
        QObject::connect(&controller.ParseWeb(), &PageFetcher::DownloadHtmlComplete, context,
                         [this] { ++completions; });
        QObject::connect(&controller, &RunController::RunEnded, context,
                         [this](FetchQueue::Ending ending) { endings << ending; });
    }

    // What the Suggest/Stop button does: a request with the keyword box's text.
    void press() { controller.RequestSuggestion(view.keywordText); }
    void press(const QString &text) { controller.RequestSuggestion(view.keywordText = text); }
    // A real event loop: qWaitFor sleeps between its looks and would slow every page down.
    bool waitForEnd(qsizetype count = 1, int timeoutMs = 20000)
    {
        QElapsedTimer waited;
        waited.start();
        while (endings.size() < count && waited.elapsed() < timeoutMs) {
            QEventLoop loop;
            QObject::connect(&controller, &RunController::RunEnded, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            QTimer::singleShot(int(timeoutMs - waited.elapsed()), &loop, &QEventLoop::quit);
            loop.exec();
        }
        return endings.size() >= count;
    }
    // A finished run that is the third since the last pause, so that a pause starts.
    bool startPause()
    {
        controller.State().RunsSincePause = 2;
        return run(QStringLiteral("golf")) == FetchQueue::Ending::Finished
            && controller.PauseRunning();
    }
    // One run for text, to its end.
    FetchQueue::Ending run(const QString &text)
    {
        const qsizetype before = endings.size();
        press(text);
        if (!waitForEnd(before + 1))
            throw std::runtime_error("run did not end");
        return endings.last();
    }
};

} // namespace Quorvane

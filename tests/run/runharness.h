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
    int progress = 0;
    int maximum = 100;
    QString keyword;
    QStringList log;
    ReuseOutcome reuseOutcome = ReuseOutcome::NoReport;
    bool reportFails = false;
    int reportRows = -1;

    QString suggestCaption() const override { return caption; }
    void setSuggestCaption(const QString &text) override { note("caption ", caption = text); }
    void setSuggestEnabled(bool enabled) override { note("enabled ", QString::number(enabled)); }
    void focusTxtDumb() override { log << QStringLiteral("focus"); }
    int progressValue() const override { return progress; }
    int progressMaximum() const override { return maximum; }
    void setProgressValue(int value) override
    {
        note("progress ", QString::number(progress = value));
    }
    void setProgressMaximum(int maximum) override
    {
        note("maximum ", QString::number(this->maximum = maximum));
    }
    void setStatus(const QString &text) override { note("status ", text); }
    void warn(const QString &text) override { note("warn ", text); }
    void inform(const QString &text) override { note("inform ", text); }
    QString keywordText() const override { return keyword; }
    void setKeywordText(const QString &text) override { note("keyword ", keyword = text); }
    void selectAllKeywordText() override { log << QStringLiteral("selectall"); }
    ReuseOutcome reuseStoredReport(const QString &keyword, RunState &run) override
    {
        note("reuse ", keyword);
        if (reuseOutcome == ReuseOutcome::Loaded)
            run.reportFileName = QStringLiteral("reused.kwd");
        return reuseOutcome;
    }
    void getReport(const RunState &run) override
    {
        log << QStringLiteral("getreport");
        if (reportFails)
            throw std::runtime_error("report folder is a file");
        reportRows = run.suggestionTable.suggestionCount;
    }
    void makeProject(const QString &newKeyword) override { note("makeproject ", newKeyword); }
    void enableReportButtons() override { log << QStringLiteral("buttons"); }
    void setResultsShown(bool shown) override { note("resultsshown ", QString::number(shown)); }

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
        controller.state().currentKeyword = QStringLiteral("earlier");
        controller.connectivity().setProbe([this] {
            return onlineAsks < onlineAnswers.size() ? onlineAnswers[onlineAsks++] : true;
        });
        controller.driver().setDownloadPause(pause);
        QObject *context = &controller;
        QObject::connect(&controller.driver(), &FetchQueue::pauseStarted, context, [this] {
            pauseStarts << clock.nsecsElapsed();
            view.log << QStringLiteral("pause");
        });
        QObject::connect(&controller.driver(), &FetchQueue::downloadIssued, context,
                         [this](const QString &url, const QString &key) {
                             issueTimes << clock.nsecsElapsed();
                             addresses << url;
                             view.log << QStringLiteral("download ") + key;
                         });
        QObject::connect(&controller.parseWeb(), &PageFetcher::downloadHtmlComplete, context,
                         [this] { ++completions; });
        QObject::connect(&controller, &RunController::runEnded, context,
                         [this](FetchQueue::Ending ending) { endings << ending; });
    }

    // What the Suggest/Stop button does: a request with the keyword box's text.
    void press() { controller.requestSuggestion(view.keyword); }
    void press(const QString &text) { controller.requestSuggestion(view.keyword = text); }
    // A real event loop: qWaitFor sleeps between its looks and would slow every page down.
    bool waitForEnd(qsizetype count = 1, int timeoutMs = 20000)
    {
        QElapsedTimer waited;
        waited.start();
        while (endings.size() < count && waited.elapsed() < timeoutMs) {
            QEventLoop loop;
            QObject::connect(&controller, &RunController::runEnded, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            QTimer::singleShot(int(timeoutMs - waited.elapsed()), &loop, &QEventLoop::quit);
            loop.exec();
        }
        return endings.size() >= count;
    }
    // A finished run that is the third since the last pause, so that a pause starts.
    bool startPause()
    {
        controller.state().runsSincePause = 2;
        return run(QStringLiteral("golf")) == FetchQueue::Ending::Finished
            && controller.pauseRunning();
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

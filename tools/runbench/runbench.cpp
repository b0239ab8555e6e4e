// quorvane-runbench: one whole 100-suggestion run over the sample services, headless, through
// the real controller, driver and page fetcher. Prints one JSON object with the downloads, the
// wall time from the first download's pause to the end of the run, the process CPU time over
// the same span (every thread, the services' included) and the floor the pauses set.

#include "commandline.h"
#include "runcontroller.h"
#include "runview.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <ctime>

using namespace Quorvane;

namespace {

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double monotonicSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A window without widgets: it keeps what the run sets and builds no report.
class HeadlessView final : public RunView
{
public:
    QString caption = QStringLiteral("&Suggest");
    QString keyword;
    int value = 0;
    int maximum = 100;
    int reportRows = -1;

    QString suggestCaption() const override { return caption; }
    void setSuggestCaption(const QString &text) override { caption = text; }
    void setSuggestEnabled(bool) override { }
    void focusTxtDumb() override { }
    int progressValue() const override { return value; }
    int progressMaximum() const override { return maximum; }
    void setProgressValue(int v) override { value = v; }
    void setProgressMaximum(int m) override { maximum = m; }
    void setStatus(const QString &) override { }
    void warn(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void inform(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString keywordText() const override { return keyword; }
    void setKeywordText(const QString &text) override { keyword = text; }
    void selectAllKeywordText() override { }
    ReuseOutcome reuseStoredReport(const QString &, RunState &) override
    {
        return ReuseOutcome::NoReport;
    }
    void getReport(const RunState &run) override
    {
        reportRows = run.suggestionTable.suggestionCount;
    }
    void makeProject(const QString &) override { }
    void enableReportButtons() override { }
    void setResultsShown(bool) override { }
};

} // namespace

int main(int argc, char **argv)
{
    const CommandLineProgram commandLine {
        QStringLiteral("quorvane-runbench"),
        QStringLiteral("Times one whole run for SEED (default: golf clubs) over the sample "
                       "services, printed as one JSON object."),
        {QStringLiteral("[SEED]")},
        {}};
    if (const std::optional<int> status = answerCommandLine(commandLine, argc, argv))
        return *status;

    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString seed = arguments.size() > 1 ? arguments[1] : QStringLiteral("golf clubs");

    SampleServices services;
    if (!services.start()) {
        std::fprintf(stderr, "quorvane-runbench: the sample services did not start\n");
        return 2;
    }
    overrideEndpoints(services.endpoints());

    HeadlessView view;
    RunController controller(view);
    controller.connectivity().setProbe([] { return true; });

    int downloads = 0;
    bool started = false;
    double wallStart = 0;
    double cpuStart = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    bool finished = false;
    QObject::connect(&controller.driver(), &FetchQueue::pauseStarted, &app, [&] {
        if (started)
            return;
        started = true;
        cpuStart = processCpuSeconds();
        wallStart = monotonicSeconds();
    });
    QObject::connect(&controller.driver(), &FetchQueue::downloadIssued, &app, [&] { ++downloads; });
    QObject::connect(&controller, &RunController::runEnded, &app, [&](FetchQueue::Ending ending) {
        wallSeconds = monotonicSeconds() - wallStart;
        cpuSeconds = processCpuSeconds() - cpuStart;
        finished = ending == FetchQueue::Ending::Finished;
        app.quit();
    });
    QTimer::singleShot(std::chrono::minutes(3), &app, [&] {
        std::fprintf(stderr, "quorvane-runbench: the run did not end within 3 minutes\n");
        app.exit(1);
    });

    view.keyword = seed;
    controller.requestSuggestion(seed);
    const int status = app.exec();
    controller.shutdown();
    overrideEndpoints(std::nullopt);
    services.stop();
    if (status != 0)
        return status;

    const double pauseFloor = downloads * 0.2;
    std::printf("{\"downloads\": %d, \"wall_s\": %.3f, \"cpu_s\": %.3f, \"pause_floor_s\": %.1f}\n",
                downloads, wallSeconds, cpuSeconds, pauseFloor);
    if (!finished || view.reportRows < 0) {
        std::fprintf(stderr, "quorvane-runbench: the run did not finish with a report\n");
        return 1;
    }
    return 0;
}

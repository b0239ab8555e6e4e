// quorvane-runbench: one whole 100-suggestion run over the sample services, headless, through
// the real controller, fetch queue and page fetcher. Prints one JSON object with the downloads, the
// wall time from the first download's pause to the end of the run, the process CPU time over
// the same span (every thread, the services' included) and the floor the pauses set.

#include "core/commandline.h"
#include "core/runcontroller.h"
#include "sample/sampleservices.h"
#include "sources/serviceaddresses.h"
#include "store/settingsstore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
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

    // The report goes to a folder of its own; nothing is kept.
    QTemporaryDir reports;
    Settings settings;
    RunController controller(ReportFolder(reports.path()), settings, nullptr);
    controller.setOnlineProbe([] { return true; });

    int downloads = 0;
    bool started = false;
    double wallStart = 0;
    double cpuStart = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    bool finished = false;
    QObject::connect(&controller, &RunController::pauseStarted, &app, [&] {
        if (started)
            return;
        started = true;
        cpuStart = processCpuSeconds();
        wallStart = monotonicSeconds();
    });
    QObject::connect(&controller, &RunController::requestIssued, &app, [&] { ++downloads; });
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

    QObject::connect(&controller, &RunController::warning, &app,
                     [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
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
    if (!finished || controller.results().rowCount() == 0) {
        std::fprintf(stderr, "quorvane-runbench: the run did not finish with a report\n");
        return 1;
    }
    return 0;
}

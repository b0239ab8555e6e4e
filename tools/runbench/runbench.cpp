// quorvane-runbench: one whole 100-suggestion run over the sample services, headless, through
// the real controller, fetch queue and page fetcher, with the counts from the source chosen and
// each sample API answer delayed as a live service's would be. Prints one JSON object with the
// downloads, the wall time from the first download's pause to the end of the run, the process CPU
// time over the same span (every thread, the services' included) and the floor the pauses set.

#include "core/commandline.h"
#include "core/runcontroller.h"
#include "sample/sampleservices.h"
#include "sources/classicsource.h"
#include "sources/dataforseo.h"
#include "sources/serpapi.h"
#include "sources/serviceaddresses.h"
#include "sources/sourcecatalog.h"
#include "store/settingsstore.h"

#include <QCommandLineParser>
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
        {QStringLiteral("[options] [SEED]")},
        {QCommandLineOption(QStringLiteral("source"),
                            QStringLiteral("Where the counts come from: classic (default), "
                                           "dataforseo (its suggestions too) or serpapi."),
                            QStringLiteral("source")),
         QCommandLineOption(QStringLiteral("delay-ms"),
                            QStringLiteral("Delay before every sample API answer (default: "
                                           "QUORVANE_SAMPLE_DELAY_MS, else 0)."),
                            QStringLiteral("milliseconds"))}};
    if (const std::optional<int> status = answerCommandLine(commandLine, argc, argv))
        return *status;

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(commandLine.options);
    parser.process(app.arguments());
    const QStringList arguments = parser.positionalArguments();
    const QString seed = arguments.isEmpty() ? QStringLiteral("golf clubs") : arguments.first();
    const QString source = parser.value(QStringLiteral("source")).isEmpty()
        ? ClassicSourceId
        : parser.value(QStringLiteral("source"));
    bool delayRead = true;
    const int delayMs = parser.isSet(QStringLiteral("delay-ms"))
        ? parser.value(QStringLiteral("delay-ms")).toInt(&delayRead)
        : qEnvironmentVariableIntValue("QUORVANE_SAMPLE_DELAY_MS");
    if (!delayRead || delayMs < 0
        || !QStringList {ClassicSourceId, DataForSeo::Id, SerpApi::Id}.contains(source)) {
        std::fprintf(stderr,
                     "quorvane-runbench: --source takes classic, dataforseo or serpapi "
                     "and --delay-ms a number of milliseconds\n");
        return 2;
    }

    SampleServices services;
    if (!services.start()) {
        std::fprintf(stderr, "quorvane-runbench: the sample services did not start\n");
        return 2;
    }
    overrideEndpoints(services.endpoints());
    services.setApiDelay(delayMs);

    // The report goes to a folder of its own; nothing is kept.
    QTemporaryDir reports;
    Settings settings;
    RunController controller(ReportFolder(reports.path()), settings, nullptr);
    controller.setOnlineProbe([] { return true; });
    // The sample services take any non-empty key.
    const QUrl apiBase(services.apiBaseAddress());
    if (source == DataForSeo::Id) {
        auto dataForSeo = std::make_shared<DataForSeoSource>(
            SourceCredentials {QStringLiteral("bench"), QStringLiteral("bench")}, Market(),
            apiBase);
        controller.setSources(dataForSeo, dataForSeo);
    } else if (source == SerpApi::Id) {
        controller.setSources(
            std::make_shared<ClassicSource>(),
            std::make_shared<SerpApiSource>(QStringLiteral("bench"), Market(), apiBase));
    }

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
    // API sources send without a pause: their first request starts the clock.
    QObject::connect(&controller, &RunController::requestIssued, &app, [&] {
        if (!started) {
            started = true;
            cpuStart = processCpuSeconds();
            wallStart = monotonicSeconds();
        }
        ++downloads;
    });
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

    // Only the classic pages pause before each request.
    const double pauseFloor = source == ClassicSourceId ? downloads * 0.2 : 0;
    const double cpuShare = wallSeconds > 0 ? 100 * cpuSeconds / wallSeconds : 0;
    std::printf("{\"source\": \"%s\", \"delay_ms\": %d, \"downloads\": %d, \"wall_s\": %.3f, "
                "\"cpu_s\": %.3f, \"cpu_percent\": %.2f, \"pause_floor_s\": %.1f, "
                "\"cost_usd\": %.4f}\n",
                qPrintable(source), delayMs, downloads, wallSeconds, cpuSeconds, cpuShare,
                pauseFloor, controller.runCost());
    if (!finished || controller.results().rowCount() == 0) {
        std::fprintf(stderr, "quorvane-runbench: the run did not finish with a report\n");
        return 1;
    }
    return 0;
}

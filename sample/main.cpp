#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/programidentity.h"
#include "core/runcontroller.h"
#include "sample/sampleplaces.h"
#include "sample/sampleservices.h"
#include "sources/serviceaddresses.h"

#include <QApplication>
#include <QTimer>

// The same start-up and window as the program, run against sample services of its own on
// the loopback interface instead of the real ones.
int main(int argc, char *argv[])
{
    if (const std::optional<int> status = Quorvane::answerSampleCommandLine(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(Quorvane::SampleApplicationName);
    QApplication::setWindowIcon(Quorvane::programIcon());

    Quorvane::SampleServices services;
    Quorvane::WidgetMessageBoxes boxes;
    if (!services.start()) {
        boxes.warn(Quorvane::SevereErrorText);
        return 1;
    }
    Quorvane::overrideEndpoints(services.endpoints());
    // The API sources ask the sample services too, in their documented formats; any non-empty
    // key is accepted. QUORVANE_SAMPLE_DELAY_MS=n answers them after n milliseconds, as a live
    // service takes its seconds.
    qputenv("QUORVANE_DATAFORSEO_URL", services.apiBaseAddress().toUtf8());
    qputenv("QUORVANE_SERPAPI_URL", services.apiBaseAddress().toUtf8());
    services.setApiDelay(qEnvironmentVariableIntValue("QUORVANE_SAMPLE_DELAY_MS"));

    // For tests and scripts: QUORVANE_EXIT_AFTER_MS=n closes the main window, and so ends the
    // program, n milliseconds after it is shown.
    const int exitAfterMs = qEnvironmentVariableIntValue("QUORVANE_EXIT_AFTER_MS");

    Quorvane::Program program(Quorvane::samplePlaces(), boxes);
    return program.exec([&boxes, exitAfterMs](Quorvane::MainWindow &w) {
        boxes.setParent(&w);
        if (exitAfterMs > 0)
            QTimer::singleShot(exitAfterMs, &w, &QWidget::close);
        // The services are on this computer.
        w.controller().setOnlineProbe([] { return true; });
    });
}

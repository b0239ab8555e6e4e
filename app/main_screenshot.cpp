// Runs the sample-data program's start-up and window with a scripted user: types a keyword,
// presses Suggest, waits for the run to end and saves a picture of the window. Prints how
// long the window took to show after the process started and the memory it then holds.
#include "frmabout.h"
#include "frmquorvane.h"
#include "messageboxes.h"
#include "program.h"
#include "runcontroller.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

namespace {

// Seconds since boot at which this process started, from /proc.
double processStartSeconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // starttime is field 22 overall, the 20th after the command name.
    return fields.size() > 19 ? fields.at(19).toDouble() / double(sysconf(_SC_CLK_TCK)) : -1;
}

double uptimeSeconds()
{
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!uptime.open(QIODevice::ReadOnly))
        return -1;
    return uptime.readAll().split(' ').value(0).toDouble();
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(Quorvane::ProgramIcon());
    const QString picture =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    const QString keyword =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("golf clubs");

    Quorvane::SampleServices services;
    if (!services.start())
        return 2;
    Quorvane::OverrideEndpoints(services.endpoints());

    // Settings and reports of its own, so every picture shows a fresh run.
    QTemporaryDir home;
    Quorvane::WidgetMessageBoxes boxes;
    Quorvane::Program program(
        {Quorvane::SettingsLocation::iniFile(home.filePath(QStringLiteral("quorvane.ini"))),
         home.filePath(QStringLiteral("report")), QString()},
        boxes);
    if (program.Start([&boxes](Quorvane::frmQuorvane &w) {
            boxes.setParent(&w);
            w.Controller().Connectivity().SetProbe([] { return true; });
        })
        != Quorvane::StartupOutcome::ShowMainWindow)
        return 3;
    Quorvane::frmQuorvane &window = *program.Window();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QCoreApplication::processEvents();
    const double shownSeconds = uptimeSeconds() - processStartSeconds();

    QEventLoop ended;
    QObject::connect(&window.Controller(), &Quorvane::RunController::RunEnded, &ended,
                     &QEventLoop::quit);
    QElapsedTimer run;
    run.start();
    window.findChild<QComboBox *>(QStringLiteral("cmbKeyword"))->setEditText(keyword);
    window.findChild<QPushButton *>(QStringLiteral("cmdSuggestion"))->click();
    QTimer::singleShot(120000, &ended, &QEventLoop::quit);
    ended.exec();
    const double runSeconds = run.elapsed() / 1000.0;
    QCoreApplication::processEvents();

    const bool saved = window.grab().save(picture);
    QTextStream(stdout) << "{\"shown_s\": " << shownSeconds << ", \"run_s\": " << runSeconds
                        << ", \"rows\": " << window.List().ListRowCount()
                        << ", \"rss_mib\": " << residentMiB() << ", \"picture\": \""
                        << QDir::toNativeSeparators(picture) << "\"}\n";
    return saved ? 0 : 4;
}

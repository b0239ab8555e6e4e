#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/programidentity.h"
#include "core/commandline.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before QApplication, which would need a display for --help and --version.
    const Quorvane::CommandLineProgram commandLine {
        QStringLiteral("quorvane"),
        QStringLiteral("Keyword research: suggested search phrases for a keyword with their "
                       "searches and popularity."),
        {},
        {},
        true};
    if (const std::optional<int> status = Quorvane::answerCommandLine(commandLine, argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setWindowIcon(Quorvane::programIcon());

    Quorvane::WidgetMessageBoxes boxes;
    Quorvane::Program program(Quorvane::ProgramPlaces::userDefault(), boxes);
    return program.exec([&boxes](Quorvane::MainWindow &w) { boxes.setParent(&w); });
}

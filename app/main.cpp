#include "frmabout.h"
#include "frmquorvane.h"
#include "messageboxes.h"
#include "program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setWindowIcon(Quorvane::ProgramIcon());

    Quorvane::WidgetMessageBoxes boxes;
    Quorvane::Program program(Quorvane::ProgramPlaces::userDefault(), boxes);
    const Quorvane::StartupOutcome outcome = program.Start([&boxes](Quorvane::frmQuorvane &w) {
        boxes.setParent(&w);
        QObject::connect(&w, &Quorvane::frmQuorvane::Closed, &w, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    });
    switch (outcome) {
    case Quorvane::StartupOutcome::ShowMainWindow:
        return app.exec();
    case Quorvane::StartupOutcome::AnotherInstance:
        return 0;
    case Quorvane::StartupOutcome::SevereError:
        break;
    }
    return 1;
}

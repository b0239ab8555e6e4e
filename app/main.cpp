#include "aboutwindow.h"
#include "mainwindow.h"
#include "messageboxes.h"
#include "program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setWindowIcon(Quorvane::programIcon());

    Quorvane::WidgetMessageBoxes boxes;
    Quorvane::Program program(Quorvane::ProgramPlaces::userDefault(), boxes);
    return program.exec([&boxes](Quorvane::MainWindow &w) { boxes.setParent(&w); });
}

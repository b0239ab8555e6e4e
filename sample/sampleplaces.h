#pragma once

#include "app/program.h"
#include "core/commandline.h"
#include "store/filelocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

namespace Quorvane {

// The sample-data program keeps its own settings file and report folder, so its figures never
// mix with a user's real history and reports: beside itself in a build tree (make run), in the
// user's configuration and data folders when it is installed or its folder cannot be written.
inline ProgramPlaces samplePlaces()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    const bool beside = !programIsInstalled() && QFileInfo(programFolder).isWritable();
    const QDir settingsFolder(
        beside ? programFolder
               : QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QStringList reportFolders;
    if (beside)
        reportFolders << QDir(programFolder).filePath(QStringLiteral("sample-report"));
    reportFolders << QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                         .filePath(QStringLiteral("sample-report"));
    return {
        SettingsLocation::iniFile(settingsFolder.filePath(QStringLiteral("quorvane-sample.ini"))),
        firstWritableFolder(reportFolders), QString()};
}

// --help and --version, before the application object (and a display) exists.
inline std::optional<int> answerSampleCommandLine(int argc, const char *const *argv)
{
    return answerCommandLine({QStringLiteral("quorvane-sample"),
                              QStringLiteral("Quorvane's window on built-in sample data, served "
                                             "on 127.0.0.1: no Internet needed."),
                              {},
                              {},
                              true},
                             argc, argv);
}

} // namespace Quorvane

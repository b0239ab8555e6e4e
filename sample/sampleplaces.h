#pragma once

#include "commandline.h"
#include "program.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <optional>

namespace Quorvane {

// The sample-data program keeps its settings file and report folder beside itself, so its
// figures never mix with a user's real history and reports.
inline ProgramPlaces samplePlaces()
{
    const QDir home(QCoreApplication::applicationDirPath());
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return {SettingsLocation::iniFile(home.filePath(QStringLiteral("quorvane-sample.ini"))),
            ReportFolder::chooseWritable({home.filePath(QStringLiteral("sample-report")),
                                          QDir(data).filePath(QStringLiteral("sample-report"))}),
            QString()};
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

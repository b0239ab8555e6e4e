#pragma once

#include "program.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

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

} // namespace Quorvane

#pragma once

#include "store/filelocations.h"
#include "store/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Quorvane {

// The application name of the programs on sample data; their configuration and data folders
// are named after it.
inline const QString SampleApplicationName = QStringLiteral("Quorvane Sample");

// The programs on sample data keep their own settings file and report folder, so their figures
// never mix with a user's real history and reports: beside the program in a build tree (make
// run), in the user's configuration and data folders when it is installed or its folder cannot
// be written. quorvane-sample and quorvane-cli --sample share them.
inline bool sampleFilesBesideProgram()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return !programIsInstalled() && QFileInfo(programFolder).isWritable();
}

inline SettingsLocation sampleSettingsLocation()
{
    const QDir folder(sampleFilesBesideProgram()
                          ? QCoreApplication::applicationDirPath()
                          : QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    return SettingsLocation::iniFile(folder.filePath(QStringLiteral("quorvane-sample.ini")));
}

inline QString sampleReportFolder()
{
    QStringList folders;
    if (sampleFilesBesideProgram())
        folders << QDir(QCoreApplication::applicationDirPath())
                       .filePath(QStringLiteral("sample-report"));
    folders << QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                   .filePath(QStringLiteral("sample-report"));
    return firstWritableFolder(folders);
}

} // namespace Quorvane

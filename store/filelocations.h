#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace Quorvane {

// Where the program keeps its files: the settings and the report folder. A program that runs
// from a build tree or a folder of the user's own keeps them beside itself where it can; an
// installed one keeps them in the user's folders.

// Where the settings live. Whoever builds the store chooses it, so a test or the sample program
// keeps a file of its own.
struct SettingsLocation
{
    QString path; // the registry hive, or the INI file
    QSettings::Format format = QSettings::IniFormat;

    // HKEY_LOCAL_MACHINE on Windows; elsewhere an INI file in the user's configuration folder.
    static SettingsLocation userDefault();
    static SettingsLocation iniFile(const QString &fileName);

    bool isIniFile() const { return format == QSettings::IniFormat; }
};

// Whether `folder` is one programs are installed to, whose files belong to the package manager:
// a system program folder (also below another root, as dpkg -x or a staged install leaves it),
// a folder under /opt, or `installFolder`, where this build installs its programs. A program
// there keeps nothing beside itself, even where it could write (as root); one in a build tree
// or in a folder of the user's own does.
bool isInstalledProgramFolder(const QString &folder, const QString &installFolder);
// The same for the running program and this build's install folder.
bool programIsInstalled();

// The first candidate folder that can be created and written to; the last one when none can.
QString firstWritableFolder(const QStringList &candidates);

// The report folder, chosen once at start: "report" beside the program; "report" in the user's
// data folder for an installed program or when the one beside it cannot be created or written.
QString reportFolderAtStart();

} // namespace Quorvane

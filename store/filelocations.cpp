#include "store/filelocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QOperatingSystemVersion>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace Quorvane {

SettingsLocation SettingsLocation::userDefault()
{
    // Chosen at compile time but compiled everywhere, so the registry path is checked on every
    // build.
    if constexpr (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows) {
        return {QStringLiteral("HKEY_LOCAL_MACHINE"), QSettings::NativeFormat};
    } else {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        return iniFile(folder + QStringLiteral("/Quorvane/quorvane.ini"));
    }
}

SettingsLocation SettingsLocation::iniFile(const QString &fileName)
{
    return {fileName, QSettings::IniFormat};
}

bool isInstalledProgramFolder(const QString &folder, const QString &installFolder)
{
    const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (!installFolder.isEmpty() && path == QDir::cleanPath(installFolder))
        return true;
    if (path == QLatin1String("/bin") || path == QLatin1String("/sbin")
        || path.startsWith(QLatin1String("/opt/")))
        return true;
    for (const char *system : {"/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin",
                               "/usr/local/sbin", "/usr/local/games"}) {
        if (path.endsWith(QLatin1String(system)))
            return true;
    }
    return false;
}

bool programIsInstalled()
{
    return isInstalledProgramFolder(QCoreApplication::applicationDirPath(),
                                    QStringLiteral(QUORVANE_INSTALL_BINDIR));
}

QString firstWritableFolder(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        if (!QDir().mkpath(candidate))
            continue;
        QTemporaryFile probe(QDir(candidate).filePath(QStringLiteral("probe-XXXXXX")));
        if (probe.open())
            return candidate;
    }
    return candidates.isEmpty() ? QStringLiteral("report") : candidates.last();
}

QString reportFolderAtStart()
{
    QStringList candidates;
    if (!programIsInstalled())
        candidates
            << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("report"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty())
        candidates << QDir(data).filePath(QStringLiteral("report"));
    return firstWritableFolder(candidates);
}

} // namespace Quorvane

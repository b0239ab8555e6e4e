#include "core/startup.h"

#include "core/singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Quorvane {

StartupResult runStartupSequence(SettingsStore &store, SingleInstance &instance, Settings &settings)
{
    StartupResult result;

    // A folder that cannot hold the lock must not keep the program from starting at all.
    if (instance.acquire() == InstanceCheck::AnotherRunning) {
        result.outcome = StartupOutcome::AnotherInstance;
        return result;
    }

    // Only the instance that owns the settings looks at a damaged file, and before any write.
    result.damagedSettingsCopy = store.keepDamagedCopy();

    // The defaults are written before the first load, so a start never fails only because the
    // key was never created.
    if (!store.keyExists(SettingsKey)) {
        result.firstStart = true;
        store.writeDefaultSettings(settings);
        result.outcome = StartupOutcome::ShowMainWindow;
        return result;
    }

    result.load = store.loadSettings(settings);
    result.outcome = result.load == LoadSettingsResult::Loaded ? StartupOutcome::ShowMainWindow
                                                               : StartupOutcome::SevereError;
    return result;
}

QString startupFailureDetail(const StartupResult &result, const SettingsLocation &location)
{
    QString value;
    switch (result.load) {
    case LoadSettingsResult::Loaded:
        return {};
    case LoadSettingsResult::BadInterval:
        value = QStringLiteral("Interval");
        break;
    case LoadSettingsResult::BadKeywordNum:
        value = QStringLiteral("KeywordNum");
        break;
    }
    return QStringLiteral("The value \"%1\" under %2 in %3 is missing or not a number.")
        .arg(value, SettingsKey, QDir::toNativeSeparators(location.path));
}

QString instanceLockFolder(const SettingsLocation &location)
{
    if (location.isIniFile())
        return QFileInfo(location.path).absolutePath();
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

} // namespace Quorvane

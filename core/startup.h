#pragma once

#include "store/settingsstore.h"

#include <QString>

namespace Quorvane {

class SingleInstance;

// Shown in an exclamation box captioned "Quorvane 1.2" when the start-up fails; the program then
// ends without its main window.
// "occured" is the program's own spelling, kept on purpose.
inline const QString SevereErrorText = QStringLiteral("Severe error has occured !");

enum class StartupOutcome {
    ShowMainWindow,
    AnotherInstance, // end at once, without a message
    SevereError, // show SevereErrorText, then end
};

struct StartupResult
{
    StartupOutcome outcome = StartupOutcome::SevereError;
    // No settings key was found, so the defaults were written.
    bool firstStart = false;
    LoadSettingsResult load = LoadSettingsResult::Loaded;
    // Where a settings file that could not be read whole was copied, if it was.
    QString damagedSettingsCopy;
};

// The start-up steps before any window: a second instance ends, a first start writes the defaults
// and any later start loads the settings. A settings value that cannot be read ends as SevereError;
// what throws is trapped by the caller.
StartupResult runStartupSequence(SettingsStore &store, SingleInstance &instance,
                                 Settings &settings);

// What a failed start-up could not read, for the details of its message: the file (or registry
// hive) and the value. Empty when the failure was not in reading the settings.
QString startupFailureDetail(const StartupResult &result, const SettingsLocation &location);

// Where the single-instance lock of a settings location lives: beside an INI file, so that a
// program with a settings file of its own runs beside the user's; the temporary folder for the
// registry.
QString instanceLockFolder(const SettingsLocation &location);

} // namespace Quorvane

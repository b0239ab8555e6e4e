#pragma once

#include "store/settingsstore.h"

#include <QString>

#include <optional>

namespace Quorvane {

// A key of its own beside the pacing and history key, which its rewrites delete and rebuild.
inline const QString SourcesKey = QStringLiteral("Software\\Quorvane 1.2\\Sources");

// The user's choice of sources and market, and when to ask before a paid run. Keys and
// passwords are not here: they live in the system keychain only.
struct SourceSettings
{
    QString suggestionSource = QStringLiteral("classic");
    QString countSource = QStringLiteral("classic");
    QString countryCode = QStringLiteral("US");
    QString languageCode = QStringLiteral("en");
    bool askBeforePaidRuns = true;
    double askUnlessUnderDollars = 0; // 0: ask before every paid run

    friend bool operator==(const SourceSettings &, const SourceSettings &) = default;
};

// Missing or unreadable values read as their defaults; nothing is written by reading.
SourceSettings loadSourceSettings(const SettingsStore &store);
bool saveSourceSettings(SettingsStore &store, const SourceSettings &settings);

// A threshold as typed ("0.50", "1", "$2"): dollars, nothing when it is not a sound amount.
std::optional<double> dollarsFromText(const QString &text);

} // namespace Quorvane

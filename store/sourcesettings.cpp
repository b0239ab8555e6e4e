#include "store/sourcesettings.h"

#include <QLocale>

#include <cmath>

namespace Quorvane {

namespace {

const QString SuggestionSourceName = QStringLiteral("SuggestionSource");
const QString CountSourceName = QStringLiteral("CountSource");
const QString CountryName = QStringLiteral("Country");
const QString LanguageName = QStringLiteral("Language");
const QString AskName = QStringLiteral("AskBeforePaidRuns");
const QString ThresholdName = QStringLiteral("AskUnlessUnder");

QString textOr(const SettingsStore &store, const QString &name, const QString &fallback)
{
    const QString text = store.readRegValue(SourcesKey, name).trimmed();
    return text.isEmpty() ? fallback : text;
}

} // namespace

std::optional<double> dollarsFromText(const QString &text)
{
    QString plain = text.trimmed();
    if (plain.startsWith(QLatin1Char('$')))
        plain = plain.mid(1).trimmed();
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > 1e6)
        return std::nullopt;
    return value;
}

SourceSettings loadSourceSettings(const SettingsStore &store)
{
    SourceSettings settings;
    settings.suggestionSource = textOr(store, SuggestionSourceName, settings.suggestionSource);
    settings.countSource = textOr(store, CountSourceName, settings.countSource);
    settings.countryCode = textOr(store, CountryName, settings.countryCode);
    settings.languageCode = textOr(store, LanguageName, settings.languageCode);
    settings.askBeforePaidRuns = textOr(store, AskName, QStringLiteral("1")) != QLatin1String("0");
    settings.askUnlessUnderDollars =
        dollarsFromText(textOr(store, ThresholdName, QStringLiteral("0"))).value_or(0);
    return settings;
}

bool saveSourceSettings(SettingsStore &store, const SourceSettings &settings)
{
    bool written = store.writeRegValue(SourcesKey, SuggestionSourceName, settings.suggestionSource);
    written = store.writeRegValue(SourcesKey, CountSourceName, settings.countSource) && written;
    written = store.writeRegValue(SourcesKey, CountryName, settings.countryCode) && written;
    written = store.writeRegValue(SourcesKey, LanguageName, settings.languageCode) && written;
    written =
        store.writeRegValue(SourcesKey, AskName,
                            settings.askBeforePaidRuns ? QStringLiteral("1") : QStringLiteral("0"))
        && written;
    written = store.writeRegValue(SourcesKey, ThresholdName,
                                  QLocale::c().toString(settings.askUnlessUnderDollars, 'f', 2))
        && written;
    return written;
}

} // namespace Quorvane

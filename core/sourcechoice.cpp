#include "core/sourcechoice.h"

#include "sources/classicsource.h"
#include "sources/markets.h"
#include "sources/sourcecatalog.h"
#include "store/keychain.h"
#include "store/sourcesettings.h"

namespace Quorvane {

SourceChoice sourceChoiceFromSettings(const SettingsStore &store)
{
    const SourceSettings settings = loadSourceSettings(store);
    return {validSuggestionSource(settings.suggestionSource),
            validCountSource(settings.countSource),
            marketFor(settings.countryCode, settings.languageCode)};
}

bool hasAllKeys(const QString &sourceId, const SourceCredentials &credentials)
{
    const SourceInfo *info = findSource(sourceId);
    if (!info || info->keyKind == KeyKind::None)
        return true;
    if (!info->loginEntry.isEmpty() && credentials.login.isEmpty())
        return false;
    return !credentials.secret.isEmpty();
}

ChosenSources makeChosenSources(const SourceChoice &choice, const SourceCredentials &suggestionKeys,
                                const SourceCredentials &countKeys)
{
    ChosenSources chosen;
    auto classic = std::make_shared<ClassicSource>();
    chosen.suggestions = makeApiSuggestionSource(choice.suggestions, suggestionKeys, choice.market);
    // One source for both phases when they are the same service.
    if (choice.suggestions == choice.counts && chosen.suggestions)
        chosen.counts = std::dynamic_pointer_cast<CountSource>(chosen.suggestions);
    if (!chosen.counts)
        chosen.counts = makeApiCountSource(choice.counts, countKeys, choice.market);
    if (!chosen.suggestions)
        chosen.suggestions = classic;
    if (!chosen.counts)
        chosen.counts = classic;
    if (!hasAllKeys(choice.suggestions, suggestionKeys))
        chosen.missingKeys << choice.suggestions;
    if (!hasAllKeys(choice.counts, countKeys) && !chosen.missingKeys.contains(choice.counts))
        chosen.missingKeys << choice.counts;
    return chosen;
}

void readSourceCredentials(KeyStore &keys, const QString &sourceId,
                           std::function<void(const SourceCredentials &)> done)
{
    const SourceInfo *info = findSource(sourceId);
    if (!info || info->keyKind == KeyKind::None) {
        done({});
        return;
    }
    auto credentials = std::make_shared<SourceCredentials>();
    const QString secretEntry = info->secretEntry;
    auto readSecret = [&keys, credentials, secretEntry, done = std::move(done)] {
        keys.read(secretEntry, [credentials, done](KeyStore::Outcome, const QString &value) {
            credentials->secret = value;
            done(*credentials);
        });
    };
    if (info->loginEntry.isEmpty()) {
        readSecret();
        return;
    }
    keys.read(
        info->loginEntry,
        [credentials, readSecret = std::move(readSecret)](KeyStore::Outcome, const QString &value) {
            credentials->login = value;
            readSecret();
        });
}

void readChosenSources(KeyStore &keys, const SourceChoice &choice,
                       std::function<void(const ChosenSources &)> done)
{
    readSourceCredentials(
        keys, choice.suggestions,
        [&keys, choice, done = std::move(done)](const SourceCredentials &suggestionKeys) {
            readSourceCredentials(
                keys, choice.counts,
                [choice, suggestionKeys, done](const SourceCredentials &countKeys) {
                    done(makeChosenSources(choice, suggestionKeys, countKeys));
                });
        });
}

} // namespace Quorvane

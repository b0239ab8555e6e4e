#include "app/sourcechoice.h"

#include "app/sourcessetup.h"
#include "core/runcontroller.h"
#include "sources/classicsource.h"
#include "sources/markets.h"
#include "sources/sourcecatalog.h"
#include "store/keychain.h"
#include "store/sourcesettings.h"

#include <QPointer>

#include <memory>

namespace Quorvane {

void applyChosenSources(RunController &controller, const SettingsStore &store, KeyStore &keys)
{
    const SourceSettings settings = loadSourceSettings(store);
    const QString suggestionsId = validSuggestionSource(settings.suggestionSource);
    const QString countsId = validCountSource(settings.countSource);
    const Market market = marketFor(settings.countryCode, settings.languageCode);
    const QPointer<RunController> target(&controller);

    const auto make = [target, suggestionsId, countsId,
                       market](const SourceCredentials &suggestionKeys,
                               const SourceCredentials &countKeys) {
        if (!target)
            return;
        auto classic = std::make_shared<ClassicSource>();
        std::shared_ptr<SuggestionSource> suggestions =
            makeApiSuggestionSource(suggestionsId, suggestionKeys, market);
        std::shared_ptr<CountSource> counts;
        // One source for both phases when they are the same service.
        if (suggestionsId == countsId && suggestions)
            counts = std::dynamic_pointer_cast<CountSource>(suggestions);
        if (!counts)
            counts = makeApiCountSource(countsId, countKeys, market);
        target->setSources(suggestions ? suggestions : classic, counts ? counts : classic);
    };
    SourcesSetup::readCredentials(
        keys, suggestionsId, [&keys, countsId, make](const SourceCredentials &suggestionKeys) {
            SourcesSetup::readCredentials(
                keys, countsId, [suggestionKeys, make](const SourceCredentials &countKeys) {
                    make(suggestionKeys, countKeys);
                });
        });
}

} // namespace Quorvane

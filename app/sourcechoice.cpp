#include "app/sourcechoice.h"

#include "app/sourcessetup.h"
#include "core/runcontroller.h"
#include "sources/accountcheck.h"
#include "sources/classicsource.h"
#include "sources/dataforseo.h"
#include "sources/markets.h"
#include "sources/sourcecatalog.h"
#include "store/keychain.h"
#include "store/sourcesettings.h"

#include <QPointer>

#include <memory>

namespace Quorvane {

namespace {

// The question before a paid run quotes the balance when it is known. The account check is free
// and never holds a run back: until it answers, the question goes without the balance.
void checkBalance(RunController &controller, const SourceCredentials &keys, bool inUse)
{
    if (!inUse || keys.secret.isEmpty())
        return;
    const std::optional<SourceRequest> request =
        accountCheckRequest(DataForSeo::Id, keys, sourceBaseAddress(DataForSeo::Id));
    if (!request)
        return;
    auto *sender = new RequestSender(&controller);
    const QPointer<RunController> target(&controller);
    const QString secret = keys.secret;
    sender->send(*request, [sender, target, secret](const FetchOutcome &outcome) {
        const AccountState state = readAccountCheck(DataForSeo::Id, outcome, secret);
        if (target && state.balance)
            target->setKnownBalance(state.balance);
        sender->deleteLater();
    });
}

} // namespace

void applyChosenSources(RunController &controller, const SettingsStore &store, KeyStore &keys)
{
    const SourceSettings settings = loadSourceSettings(store);
    const QString suggestionsId = validSuggestionSource(settings.suggestionSource);
    const QString countsId = validCountSource(settings.countSource);
    const Market market = marketFor(settings.countryCode, settings.languageCode);
    const QPointer<RunController> target(&controller);
    controller.setPaidRunRule(settings.askBeforePaidRuns, settings.askUnlessUnderDollars);

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
        target->setKnownBalance(std::nullopt);
        checkBalance(*target, suggestionsId == DataForSeo::Id ? suggestionKeys : countKeys,
                     suggestionsId == DataForSeo::Id || countsId == DataForSeo::Id);
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

#include "app/sourcechoice.h"

#include "core/runcontroller.h"
#include "core/sourcechoice.h"
#include "sources/accountcheck.h"
#include "sources/dataforseo.h"
#include "sources/sourcecatalog.h"
#include "store/keychain.h"
#include "store/sourcesettings.h"

#include <QPointer>

namespace Quorvane {

namespace {

// The question before a paid run quotes the balance when it is known. The account check is free
// and never holds a run back: until it answers, the question goes without the balance.
void checkBalance(RunController &controller, const SourceCredentials &keys)
{
    if (keys.secret.isEmpty())
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
    const QPointer<RunController> target(&controller);
    const SourceSettings settings = loadSourceSettings(store);
    controller.setPaidRunRule(settings.askBeforePaidRuns, settings.askUnlessUnderDollars);
    // Forgotten now, before either answer: the account check may answer before the sources are
    // made.
    controller.setKnownBalance(std::nullopt);
    const SourceChoice choice = sourceChoiceFromSettings(store);
    readChosenSources(keys, choice, [target](const ChosenSources &chosen) {
        if (!target)
            return;
        target->setSources(chosen.suggestions, chosen.counts);
    });
    if (choice.suggestions == DataForSeo::Id || choice.counts == DataForSeo::Id) {
        readSourceCredentials(keys, DataForSeo::Id,
                              [target](const SourceCredentials &dataForSeoKeys) {
                                  if (target)
                                      checkBalance(*target, dataForSeoKeys);
                              });
    }
}

} // namespace Quorvane

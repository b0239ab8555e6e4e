#include "app/sourcechoice.h"

#include "core/runcontroller.h"
#include "core/sourcechoice.h"

#include <QPointer>

namespace Quorvane {

void applyChosenSources(RunController &controller, const SettingsStore &store, KeyStore &keys)
{
    const QPointer<RunController> target(&controller);
    readChosenSources(keys, sourceChoiceFromSettings(store), [target](const ChosenSources &chosen) {
        if (target)
            target->setSources(chosen.suggestions, chosen.counts);
    });
}

} // namespace Quorvane

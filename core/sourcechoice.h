#pragma once

#include "sources/market.h"
#include "sources/source.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace Quorvane {

class KeyStore;
class SettingsStore;

// Which sources a run uses and for which market: the settings' choice, which the window and
// the command line share (the command line may override it for one command).
struct SourceChoice
{
    QString suggestions = QStringLiteral("classic");
    QString counts = QStringLiteral("classic");
    Market market;
};

// The settings' choice; ids the catalog does not have for a phase fall back to the classic pages.
SourceChoice sourceChoiceFromSettings(const SettingsStore &store);

// The sources made for a run, and the chosen sources whose keys were not found. A paid source
// without a key is still made: its refusal tells the user where to enter one, while another
// source's figures would stand in for it unnoticed.
struct ChosenSources
{
    std::shared_ptr<SuggestionSource> suggestions;
    std::shared_ptr<CountSource> counts;
    QStringList missingKeys; // source ids, each once
};

ChosenSources makeChosenSources(const SourceChoice &choice, const SourceCredentials &suggestionKeys,
                                const SourceCredentials &countKeys);

// The keys of a source, read from the keychain; empty for a source that needs none. `done` runs
// once, later.
void readSourceCredentials(KeyStore &keys, const QString &sourceId,
                           std::function<void(const SourceCredentials &)> done);
// Whether the keys hold everything the source needs.
bool hasAllKeys(const QString &sourceId, const SourceCredentials &credentials);

// Reads both phases' keys and makes the sources; `done` runs once, later.
void readChosenSources(KeyStore &keys, const SourceChoice &choice,
                       std::function<void(const ChosenSources &)> done);

} // namespace Quorvane

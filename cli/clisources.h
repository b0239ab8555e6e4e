#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace Quorvane {

// The sources of the catalog, as quorvane-cli's sources and set-key commands and --source see
// them.
struct CliSource
{
    QString id; // "classic"
    QString displayName; // "Classic pages"
    bool needsKey = false;
    bool givesSuggestions = false;
    bool givesCounts = false;
};

QList<CliSource> cliSources();
std::optional<CliSource> cliSourceNamed(const QString &id);

// "dataforseo  DataForSEO  key stored": one line of the sources command. Whether a key is
// stored is told, never the key.
QString sourceLine(const CliSource &source, bool keyStored);

// The words of a chosen source without its key (exit status 3).
QString missingKeyText(const QString &sourceId);

} // namespace Quorvane

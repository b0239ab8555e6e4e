#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace Quorvane {

// The sources quorvane-cli can run, as its sources and set-key commands and --source see them.
// The classic pages are the one source built in so far and need no key; a source that needs a
// key joins this list with its keychain entry, and set-key stores into that entry.
struct CliSource
{
    QString id; // "classic"
    QString displayName; // "Classic pages"
    bool needsKey = false;
};

QList<CliSource> cliSources();
std::optional<CliSource> cliSourceNamed(const QString &id);

// "classic  Classic pages  no key needed": one line of the sources command. Whether a key is
// stored is told, never the key.
QString sourceLine(const CliSource &source);

} // namespace Quorvane

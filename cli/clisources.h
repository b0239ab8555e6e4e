#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace Quorvane {

// The sources of the catalog, as quorvane-cli's sources and set-key commands and --source see
// them. Only the classic pages, which need no key, are run from the command line so far; the
// keyed sources are listed, and reading their keys from the keychain is still to come.
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

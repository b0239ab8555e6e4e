#include "cli/clisources.h"

#include "sources/sourcecatalog.h"

namespace Quorvane {

QList<CliSource> cliSources()
{
    QList<CliSource> sources;
    for (const SourceInfo &info : sourceCatalog())
        sources.append({info.id, info.displayName, info.keyKind != KeyKind::None});
    return sources;
}

std::optional<CliSource> cliSourceNamed(const QString &id)
{
    for (const CliSource &source : cliSources()) {
        if (source.id == id)
            return source;
    }
    return std::nullopt;
}

QString sourceLine(const CliSource &source)
{
    const QString key =
        source.needsKey ? QStringLiteral("key needed") : QStringLiteral("no key needed");
    return source.id.leftJustified(12) + source.displayName.leftJustified(16) + key;
}

} // namespace Quorvane

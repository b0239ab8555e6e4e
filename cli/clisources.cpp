#include "cli/clisources.h"

namespace Quorvane {

QList<CliSource> cliSources()
{
    return {{QStringLiteral("classic"), QStringLiteral("Classic pages"), false}};
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

#include "cli/clisources.h"

#include "sources/sourcecatalog.h"

namespace Quorvane {

QList<CliSource> cliSources()
{
    QList<CliSource> sources;
    for (const SourceInfo &info : sourceCatalog())
        sources.append({info.id, info.displayName, info.keyKind != KeyKind::None,
                        info.givesSuggestions, info.givesCounts});
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

QString sourceLine(const CliSource &source, bool keyStored)
{
    const QString key = !source.needsKey ? QStringLiteral("no key needed")
        : keyStored                      ? QStringLiteral("key stored")
                                         : QStringLiteral("no key stored");
    return source.id.leftJustified(12) + source.displayName.leftJustified(16) + key;
}

QString missingKeyText(const QString &sourceId)
{
    const std::optional<CliSource> source = cliSourceNamed(sourceId);
    return QStringLiteral("the chosen source %1 has no key in the keychain; store it with: "
                          "quorvane-cli set-key %2")
        .arg(source ? source->displayName : sourceId, sourceId);
}

} // namespace Quorvane

#pragma once

#include "results/splitmix64.h"

#include <QString>

#include <optional>

namespace Quorvane {

// Plain address pieces. The built-in ones are kept scrambled in the program; a sample-data
// build or a test points the run at its own services by overriding them.
struct ServiceEndpoints
{
    QString keywordPrefix;
    QString keywordSuffix;
    QString queryPrefix;
    QString querySuffix;
    QString productPage;
};

QString keywordDatabaseAddress(const QString &seedKeyword);
QString queryAddress(const QString &phrase);
QString productPageAddress();
// The product's web page, opened in the browser from the help and about windows.
QString productWebPage();

// The phrase as it goes into an address: spaces as "+", unreserved characters as they are,
// everything else percent-encoded from its UTF-8 bytes.
QString encodePhrase(const QString &phrase);

qint32 scrambleSeed(const QString &key);
QString unscramble(const QString &key, const QString &stored);

// The built-in pieces, unscrambled.
ServiceEndpoints builtInEndpoints();
// Replaces (or, with nullopt, restores) the pieces every address is built from.
void overrideEndpoints(std::optional<ServiceEndpoints> endpoints);

// Deterministic on every compiler and platform: the stored pieces depend on its sequence.
class ScrambleGenerator
{
public:
    void seed(qint32 seed);
    double nextFraction();

private:
    static constexpr quint64 StartState = 0x5151a0b3c2d1e0f7ULL;
    SplitMix64 m_generator {StartState};
};

} // namespace Quorvane

#include "sources/serviceaddresses.h"

#include <QByteArray>
#include <QUrl>

namespace Quorvane {

namespace {

// Key text and stored pieces; the plain values are listed in README.
const char KeyText[] = "Qv&12-rK#9x!m";
const char StoredKeywordPrefix[] = "NyBf}-oM\"QZkcD3)*3GE:A5I0g+trV`$.GLcc-*}_^VJUF7ik";
const char StoredKeywordSuffix[] = "kw=m}0qNF";
const char StoredQueryPrefix[] = "NyBf}-oM.cX\"[A>|h'_978bN0;:hmfUzcEUu]c/NS)m6}";
const char StoredQuerySuffix[] = "kgBdQ04$w^D\\";
const char ProductPage[] = "https://www.quorvane.com/update/check.html";
const char WebPage[] = "https://www.quorvane.com/";

std::optional<ServiceEndpoints> &endpointOverride()
{
    static std::optional<ServiceEndpoints> endpoints;
    return endpoints;
}

QString piece(const char *stored)
{
    return unscramble(QString::fromLatin1(KeyText), QString::fromLatin1(stored));
}

int characterCode(QChar c)
{
    return c.unicode() & 0xff;
}

} // namespace

void ScrambleGenerator::seed(qint32 seed)
{
    // A fixed start state mixed with the seed.
    m_generator.state ^= static_cast<quint64>(static_cast<quint32>(seed)) * SplitMix64::Increment;
}

double ScrambleGenerator::nextFraction()
{
    const quint64 z = m_generator.next();
    // 53 bits make an exact double in [0, 1).
    return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

qint32 scrambleSeed(const QString &key)
{
    quint32 accumulator = 0;
    int a = 0;
    int b = 0;
    for (QChar ch : key) {
        const quint32 c = static_cast<quint32>(characterCode(ch));
        accumulator ^= c << a;
        accumulator ^= c << b;
        a = (a + 7) % 19;
        b = (b + 13) % 23;
    }
    return static_cast<qint32>(accumulator);
}

namespace {

QString transform(const QString &key, const QString &text, int direction)
{
    ScrambleGenerator generator;
    generator.seed(scrambleSeed(key));
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const int c = ch.unicode();
        if (c < 32 || c > 126)
            continue;
        const int r = static_cast<int>(generator.nextFraction() * 96.0);
        int d = (c - 32 + direction * r) % 95;
        if (d < 0)
            d += 95;
        out.append(QChar(d + 32));
    }
    return out;
}

} // namespace

QString unscramble(const QString &key, const QString &stored)
{
    return transform(key, stored, -1);
}

ServiceEndpoints builtInEndpoints()
{
    return {piece(StoredKeywordPrefix), piece(StoredKeywordSuffix), piece(StoredQueryPrefix),
            piece(StoredQuerySuffix), QString::fromLatin1(ProductPage)};
}

void overrideEndpoints(std::optional<ServiceEndpoints> endpoints)
{
    endpointOverride() = std::move(endpoints);
}

QString encodePhrase(const QString &phrase)
{
    // The space is kept out of the escaping so that it can become "+"; a "+" typed by the user
    // is escaped first, so the two stay apart.
    QByteArray encoded = QUrl::toPercentEncoding(phrase, QByteArrayLiteral(" "));
    encoded.replace(' ', '+');
    return QString::fromLatin1(encoded);
}

QString keywordDatabaseAddress(const QString &seedKeyword)
{
    // Pieces are unscrambled afresh for every address: the plain text is never kept.
    if (const auto &o = endpointOverride())
        return o->keywordPrefix + encodePhrase(seedKeyword) + o->keywordSuffix;
    return piece(StoredKeywordPrefix) + encodePhrase(seedKeyword) + piece(StoredKeywordSuffix);
}

QString queryAddress(const QString &phrase)
{
    if (const auto &o = endpointOverride())
        return o->queryPrefix + encodePhrase(phrase) + o->querySuffix;
    return piece(StoredQueryPrefix) + encodePhrase(phrase) + piece(StoredQuerySuffix);
}

QString productPageAddress()
{
    if (const auto &o = endpointOverride())
        return o->productPage;
    return QString::fromLatin1(ProductPage);
}

QString productWebPage()
{
    return QString::fromLatin1(WebPage);
}

} // namespace Quorvane

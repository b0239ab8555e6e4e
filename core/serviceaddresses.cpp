#include "serviceaddresses.h"

#include <QByteArray>

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
    // SplitMix64 over a fixed start state mixed with the seed.
    m_state ^= static_cast<quint64>(static_cast<quint32>(seed)) * 0x9e3779b97f4a7c15ULL;
}

double ScrambleGenerator::nextFraction()
{
    m_state += 0x9e3779b97f4a7c15ULL;
    quint64 z = m_state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
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
    generator.reset();
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

QString scramble(const QString &key, const QString &plain)
{
    return transform(key, plain, +1);
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
    const QByteArray utf8 = phrase.toUtf8();
    QString out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == ' ') {
            out.append(QLatin1Char('+'));
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                   || c == '-' || c == '_' || c == '.' || c == '~') {
            out.append(QLatin1Char(static_cast<char>(c)));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(hex[c >> 4]));
            out.append(QLatin1Char(hex[c & 0xf]));
        }
    }
    return out;
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

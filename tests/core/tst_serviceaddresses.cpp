#include "serviceaddresses.h"

#include <QTest>

using namespace Quorvane;

class tst_ServiceAddresses final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { overrideEndpoints(std::nullopt); }
    void builtInPiecesUnscrambleToThePlainAddresses();
    void scrambleRoundTripsPrintableText();
    void phraseIsEncoded_data();
    void phraseIsEncoded();
    void overrideRedirectsEveryAddress();
};

void tst_ServiceAddresses::builtInPiecesUnscrambleToThePlainAddresses()
{
    // The stored pieces depend on the generator's exact sequence and the seed's shift rule.
    QCOMPARE(
        keywordDatabaseAddress(QStringLiteral("golf clubs")),
        QStringLiteral("https://keywords.quorvane.com/suggest?hl=en&term=golf+clubs&rows=100"));
    QCOMPARE(queryAddress(QStringLiteral("c&a")),
             QStringLiteral("https://www.google.com/search?hl=en&num=10&q=c%26a&btnG=Search"));
    QCOMPARE(productPageAddress(), QStringLiteral("https://www.quorvane.com/update/check.html"));
}

void tst_ServiceAddresses::scrambleRoundTripsPrintableText()
{
    QString printable;
    for (int c = 32; c <= 126; ++c)
        printable.append(QChar(c));
    for (const QString &key : {QString(), QStringLiteral("Qv&12-rK#9x!m")})
        QCOMPARE(unscramble(key, scramble(key, printable)), printable);
    // A line break and a character above 126 draw no fraction and vanish.
    QCOMPARE(unscramble(QStringLiteral("k"), QStringLiteral("a\nb") + QChar(0xe9)),
             unscramble(QStringLiteral("k"), QStringLiteral("ab")));
}

void tst_ServiceAddresses::phraseIsEncoded_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("encoded");
    const auto row = [](const char *label, const char *phrase, const char *encoded) {
        QTest::newRow(label) << QString::fromUtf8(phrase) << QString::fromLatin1(encoded);
    };
    row("two spaces", "golf  clubs", "golf++clubs");
    row("empty", "", "");
    row("ampersand", "c&a", "c%26a");
    row("plus", "c++", "c%2B%2B");
    row("hash and percent", "#1 50%", "%231+50%25");
    row("unreserved", "a-b_c.d~e", "a-b_c.d~e");
    row("reserved and controls", "a/b?c=d\t\x7f", "a%2Fb%3Fc%3Dd%09%7F");
    row("non-ascii", "caf\xc3\xa9", "caf%C3%A9");
    row("emoji", "\xf0\x9f\x8f\x8c", "%F0%9F%8F%8C");
}

void tst_ServiceAddresses::phraseIsEncoded()
{
    QFETCH(QString, phrase);
    QTEST(encodePhrase(phrase), "encoded");
}

void tst_ServiceAddresses::overrideRedirectsEveryAddress()
{
    overrideEndpoints(ServiceEndpoints {"http://127.0.0.1:9/kw?t=", "&x", "http://127.0.0.1:9/q?q=",
                                        QString(), "http://127.0.0.1:9/p"});
    QCOMPARE(keywordDatabaseAddress(QStringLiteral("a b")),
             QStringLiteral("http://127.0.0.1:9/kw?t=a+b&x"));
    QCOMPARE(queryAddress(QStringLiteral("c")), QStringLiteral("http://127.0.0.1:9/q?q=c"));
    QCOMPARE(productPageAddress(), QStringLiteral("http://127.0.0.1:9/p"));
}

QTEST_GUILESS_MAIN(tst_ServiceAddresses)
#include "tst_serviceaddresses.moc"

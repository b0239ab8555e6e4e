#include "serviceaddresses.h"

#include <QTest>

using namespace Quorvane;

class tst_ServiceAddresses final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { OverrideEndpoints(std::nullopt); }

    void scrambleSeedFollowsTheShiftRule_data();
    void scrambleSeedFollowsTheShiftRule();
    void generatorSequenceIsFixedAcrossPlatforms();
    void unscrambleDropsUnprintableCharacters();
    void storedPiecesRoundTrip_data();
    void storedPiecesRoundTrip();
    void builtInEndpointsArePlainAddresses();
    void phraseIsEncoded_data();
    void phraseIsEncoded();
    void addressesJoinPrefixPhraseSuffix();
    void overrideRedirectsEveryAddress();
};

void tst_ServiceAddresses::scrambleSeedFollowsTheShiftRule_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<qint32>("seed");
    QTest::newRow("empty key") << QString() << 0;
    // 'A' (65): a=0,b=0 -> 65 ^ 65 = 0
    QTest::newRow("one character cancels itself") << QStringLiteral("A") << 0;
    // second char at a=7, b=13: 66<<7 ^ 66<<13
    QTest::newRow("two characters") << QStringLiteral("AB") << qint32((66 << 7) ^ (66 << 13));
    // 255 shifted by at most 22 stays positive
    QTest::newRow("high codes do not overflow")
            << QString(20, QChar(255)) << ScrambleSeed(QString(20, QChar(255)));
}

void tst_ServiceAddresses::scrambleSeedFollowsTheShiftRule()
{
    QFETCH(QString, key);
    QFETCH(qint32, seed);
    QCOMPARE(ScrambleSeed(key), seed);
    QVERIFY(ScrambleSeed(key) >= 0);
}

void tst_ServiceAddresses::generatorSequenceIsFixedAcrossPlatforms()
{
    // The stored pieces in the program depend on this exact sequence.
    ScrambleGenerator g;
    g.reset();
    g.seed(12345);
    const double first = g.nextFraction();
    const double second = g.nextFraction();
    QVERIFY(first >= 0.0 && first < 1.0);
    QVERIFY(second >= 0.0 && second < 1.0);
    ScrambleGenerator again;
    again.seed(12345);
    QCOMPARE(again.nextFraction(), first);
    g.reset();
    g.seed(12345);
    QCOMPARE(g.nextFraction(), first);
    QCOMPARE(Unscramble(QStringLiteral("k"), QStringLiteral("abcdef")),
             QStringLiteral("cJ!4P&"));
}

void tst_ServiceAddresses::unscrambleDropsUnprintableCharacters()
{
    const QString key = QStringLiteral("Qv&12-rK#9x!m");
    const QString plain = Unscramble(key, QStringLiteral("ab"));
    // A line break and a character above 126 draw no fraction and vanish.
    QCOMPARE(Unscramble(key, QStringLiteral("a\nb") + QChar(0xe9)), plain);
    QCOMPARE(Unscramble(key, QStringLiteral("\r\n\t")), QString());
}

void tst_ServiceAddresses::storedPiecesRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("plain");
    QTest::newRow("address") << QStringLiteral("Qv&12-rK#9x!m")
                             << QStringLiteral("https://example.test/s?q=");
    QTest::newRow("every printable") << QStringLiteral("key") << [] {
        QString s;
        for (int c = 32; c <= 126; ++c)
            s.append(QChar(c));
        return s;
    }();
    QTest::newRow("empty key") << QString() << QStringLiteral("&rows=100");
}

void tst_ServiceAddresses::storedPiecesRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QString, plain);
    const QString stored = Scramble(key, plain);
    QCOMPARE(stored.size(), plain.size());
    QCOMPARE(Unscramble(key, stored), plain);
}

void tst_ServiceAddresses::builtInEndpointsArePlainAddresses()
{
    const ServiceEndpoints e = BuiltInEndpoints();
    QVERIFY2(e.keywordPrefix.startsWith(QLatin1String("https://")), qPrintable(e.keywordPrefix));
    QVERIFY2(e.queryPrefix.startsWith(QLatin1String("https://")), qPrintable(e.queryPrefix));
    QVERIFY(e.keywordPrefix.endsWith(QLatin1Char('=')));
    QVERIFY(e.queryPrefix.endsWith(QLatin1Char('=')));
    QVERIFY(e.keywordSuffix.startsWith(QLatin1Char('&')));
    QVERIFY(e.querySuffix.startsWith(QLatin1Char('&')));
}

void tst_ServiceAddresses::phraseIsEncoded_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("space") << QStringLiteral("golf clubs") << QStringLiteral("golf+clubs");
    QTest::newRow("two spaces") << QStringLiteral("golf  clubs") << QStringLiteral("golf++clubs");
    QTest::newRow("no space") << QStringLiteral("Golf") << QStringLiteral("Golf");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("ampersand") << QStringLiteral("c&a") << QStringLiteral("c%26a");
    QTest::newRow("plus") << QStringLiteral("c++") << QStringLiteral("c%2B%2B");
    QTest::newRow("hash and percent") << QStringLiteral("#1 50%") << QStringLiteral("%231+50%25");
    QTest::newRow("unreserved") << QStringLiteral("a-b_c.d~e") << QStringLiteral("a-b_c.d~e");
    QTest::newRow("non-ascii") << QString::fromUtf8("caf\xc3\xa9") << QStringLiteral("caf%C3%A9");
    QTest::newRow("emoji") << QString::fromUtf8("\xf0\x9f\x8f\x8c") << QStringLiteral("%F0%9F%8F%8C");
}

void tst_ServiceAddresses::phraseIsEncoded()
{
    QFETCH(QString, phrase);
    QFETCH(QString, encoded);
    QCOMPARE(EncodePhrase(phrase), encoded);
}

void tst_ServiceAddresses::addressesJoinPrefixPhraseSuffix()
{
    const ServiceEndpoints e = BuiltInEndpoints();
    QCOMPARE(KeywordDatabaseAddress(QStringLiteral("golf clubs")),
             e.keywordPrefix + QStringLiteral("golf+clubs") + e.keywordSuffix);
    QCOMPARE(QueryAddress(QString()), e.queryPrefix + e.querySuffix);
}

void tst_ServiceAddresses::overrideRedirectsEveryAddress()
{
    OverrideEndpoints(ServiceEndpoints {QStringLiteral("http://127.0.0.1:9/kw?t="), QStringLiteral("&x"),
                                        QStringLiteral("http://127.0.0.1:9/q?q="), QString(),
                                        QStringLiteral("http://127.0.0.1:9/p")});
    QCOMPARE(KeywordDatabaseAddress(QStringLiteral("a b")),
             QStringLiteral("http://127.0.0.1:9/kw?t=a+b&x"));
    QCOMPARE(QueryAddress(QStringLiteral("c&a")), QStringLiteral("http://127.0.0.1:9/q?q=c%26a"));
    QCOMPARE(ProductPageAddress(), QStringLiteral("http://127.0.0.1:9/p"));
    OverrideEndpoints(std::nullopt);
    QVERIFY(ProductPageAddress().startsWith(QLatin1String("https://")));
}

QTEST_GUILESS_MAIN(tst_ServiceAddresses)
#include "tst_serviceaddresses.moc"

#include "serviceaddresses.h"

#include <QTest>

using namespace Quorvane;

class tst_ServiceAddresses final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { overrideEndpoints(std::nullopt); }

    void scrambleSeedFollowsTheShiftRule();
    void generatorSequenceIsFixedAcrossPlatforms();
    void unscrambleDropsUnprintableCharacters();
    void storedPiecesRoundTrip_data();
    void storedPiecesRoundTrip();
    void builtInAddressesJoinPrefixPhraseSuffix();
    void phraseIsEncoded_data();
    void phraseIsEncoded();
    void overrideRedirectsEveryAddress();
};

void tst_ServiceAddresses::scrambleSeedFollowsTheShiftRule()
{
    QCOMPARE(scrambleSeed(QString()), 0);
    QCOMPARE(scrambleSeed(QStringLiteral("A")), 0); // a=0, b=0: 65 ^ 65
    QCOMPARE(scrambleSeed(QStringLiteral("AB")), qint32((66 << 7) ^ (66 << 13))); // a=7, b=13
    QVERIFY(scrambleSeed(QString(20, QChar(255))) >= 0); // 255 shifted by at most 22
}

void tst_ServiceAddresses::generatorSequenceIsFixedAcrossPlatforms()
{
    // The stored pieces in the program depend on this exact sequence.
    QCOMPARE(unscramble(QStringLiteral("k"), QStringLiteral("abcdef")), QStringLiteral("cJ!4P&"));
    ScrambleGenerator g;
    g.seed(12345);
    const double first = g.nextFraction();
    const double second = g.nextFraction();
    QVERIFY(first >= 0.0 && first < 1.0 && second >= 0.0 && second < 1.0);
    g.reset();
    g.seed(12345);
    QCOMPARE(g.nextFraction(), first);
}

void tst_ServiceAddresses::unscrambleDropsUnprintableCharacters()
{
    const QString key = QStringLiteral("Qv&12-rK#9x!m");
    // A line break and a character above 126 draw no fraction and vanish.
    QCOMPARE(unscramble(key, QStringLiteral("a\nb") + QChar(0xe9)),
             unscramble(key, QStringLiteral("ab")));
    QCOMPARE(unscramble(key, QStringLiteral("\r\n\t")), QString());
}

void tst_ServiceAddresses::storedPiecesRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("plain");
    QString printable;
    for (int c = 32; c <= 126; ++c)
        printable.append(QChar(c));
    QTest::newRow("address") << "Qv&12-rK#9x!m"
                             << "https://example.test/s?q=";
    QTest::newRow("every printable") << "key" << printable;
    QTest::newRow("empty key") << QString() << "&rows=100";
}

void tst_ServiceAddresses::storedPiecesRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QString, plain);
    const QString stored = scramble(key, plain);
    QCOMPARE(stored.size(), plain.size());
    QCOMPARE(unscramble(key, stored), plain);
}

void tst_ServiceAddresses::builtInAddressesJoinPrefixPhraseSuffix()
{
    // The built-in pieces unscramble to plain addresses.
    const ServiceEndpoints e = builtInEndpoints();
    for (const QString &prefix : {e.keywordPrefix, e.queryPrefix})
        QVERIFY2(prefix.startsWith(u"https://") && prefix.endsWith(u'='), qPrintable(prefix));
    for (const QString &suffix : {e.keywordSuffix, e.querySuffix})
        QVERIFY2(suffix.startsWith(u'&'), qPrintable(suffix));
    QCOMPARE(keywordDatabaseAddress(QStringLiteral("golf clubs")),
             e.keywordPrefix + "golf+clubs" + e.keywordSuffix);
    QCOMPARE(queryAddress(QString()), e.queryPrefix + e.querySuffix);
}

void tst_ServiceAddresses::phraseIsEncoded_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("encoded");
    const auto row = [](const char *label, const char *phrase, const char *encoded) {
        QTest::newRow(label) << QString::fromUtf8(phrase) << QString::fromLatin1(encoded);
    };
    row("space", "golf clubs", "golf+clubs");
    row("two spaces", "golf  clubs", "golf++clubs");
    row("no space", "Golf", "Golf");
    row("empty", "", "");
    row("ampersand", "c&a", "c%26a");
    row("plus", "c++", "c%2B%2B");
    row("hash and percent", "#1 50%", "%231+50%25");
    row("unreserved", "a-b_c.d~e", "a-b_c.d~e");
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
    QCOMPARE(queryAddress(QStringLiteral("c&a")), QStringLiteral("http://127.0.0.1:9/q?q=c%26a"));
    QCOMPARE(productPageAddress(), QStringLiteral("http://127.0.0.1:9/p"));
    overrideEndpoints(std::nullopt);
    QVERIFY(productPageAddress().startsWith(QLatin1String("https://")));
}

QTEST_GUILESS_MAIN(tst_ServiceAddresses)
#include "tst_serviceaddresses.moc"

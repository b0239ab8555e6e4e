#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_PageCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void keywordPagesOfOneRun();
    void resultPageWithKeyInTheSystemNumberFormat_data();
    void resultPageWithKeyInTheSystemNumberFormat();
    void repeatAddsMedianTimeAnywhereAmongArguments();
    void wrongArgumentsExitWithTwo_data();
    void wrongArgumentsExitWithTwo();

private:
    QString file(const QString &name, const QByteArray &bytes);
    // exit code and the parsed JSON object of stdout
    std::pair<int, QJsonObject> run(const QStringList &arguments,
                                    const QString &locale = QStringLiteral("en_US.UTF-8"));

    QTemporaryDir m_dir;
};

QString tst_PageCheck::file(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

std::pair<int, QJsonObject> tst_PageCheck::run(const QStringList &arguments, const QString &locale)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORVANE_PAGECHECK), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}};
    const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    if (process.exitCode() == 2 && process.readAllStandardError().isEmpty())
        return {-2, json}; // a refusal must say why
    return {process.exitCode(), json};
}

void tst_PageCheck::keywordPagesOfOneRun()
{
    const QString first = file(QStringLiteral("k1.html"),
                               "<table><tbody><tr><td>1200</td><td>caf\xc3\xa9 au lait</td></tr>"
                               "<tr><td>35</td><td>red&nbsp;shoes</td></tr><tr><td>7</td>");
    const QString second = file(QStringLiteral("k2.html"), "<p>no table here</p>");
    const auto [code, json] = run({QStringLiteral("keyword"), first, second});
    QCOMPARE(code, 0);
    QCOMPARE(json.value("result").toBool(true), true);
    QCOMPARE(json.value("suggestionCount").toInt(), 2);
    QCOMPARE(json.value("noSuggestions").toBool(true), false);
    QCOMPARE(QJsonDocument(json.value("entries").toArray()).toJson(QJsonDocument::Compact),
             QByteArray(R"([{"keyword":"café au lait","searches":"1200"},)"
                        R"({"keyword":"red&nbsp;shoes","searches":"35"}])"));
    QCOMPARE(json.value("next").toObject().value("searches").toString(), QStringLiteral("7"));
    const QJsonArray status = json.value("status").toArray();
    QCOMPARE(status.first().toString(), QStringLiteral("Connecting to keyword database ..."));
    QCOMPARE(status.last().toString(), QStringLiteral("Connecting to keyword database ..."));
    QCOMPARE(status.size(), 1 + 1 + 5 * 2 + 1); // the second page writes only its first text
}

void tst_PageCheck::resultPageWithKeyInTheSystemNumberFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("keyArgument");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("results");
    QTest::addColumn<bool>("hasAds");
    QTest::newRow("key 7, English grouping")
        << "en_US.UTF-8" << QStringList {"7"} << 7 << "1234" << true;
    // "1,234" reads as one and a fraction where the comma is the decimal mark
    QTest::newRow("default key 0, German number format")
        << "de_DE.UTF-8" << QStringList {} << 0 << "1" << true;
    QTest::newRow("key outside the table")
        << "en_US.UTF-8" << QStringList {"100"} << 100 << "" << false;
}

void tst_PageCheck::resultPageWithKeyInTheSystemNumberFormat()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, keyArgument);
    QFETCH(int, entry);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    const QString page = file(QStringLiteral("r.html"),
                              "<table>Results 1 - 10 of about <b>1,234</b></table>"
                              "<table>Sponsored Links</table>");
    const auto [code, json] =
        run(QStringList {QStringLiteral("results"), page} + keyArgument, locale);
    QCOMPARE(code, 0);
    QCOMPARE(json.value("entry").toInt(), entry);
    QCOMPARE(json.value("results").toString(), results);
    QCOMPARE(json.value("hasAds").toBool(), hasAds);
    QCOMPARE(json.value("result").toBool(), entry < 100);
    QCOMPARE(json.value("status").toArray().size(), entry < 100 ? 4 : 1);
    QVERIFY(!json.contains("ms_per_page"));
}

void tst_PageCheck::repeatAddsMedianTimeAnywhereAmongArguments()
{
    const QString page = file(QStringLiteral("t.html"), "<table>results 1 - 10 of about 5</table>");
    const auto [code, json] = run({QStringLiteral("results"), QStringLiteral("--repeat"),
                                   QStringLiteral("3"), page, QStringLiteral("2")});
    QCOMPARE(code, 0);
    QCOMPARE(json.value("entry").toInt(), 2);
    QCOMPARE(json.value("results").toString(), QStringLiteral("5"));
    QVERIFY(json.value("ms_per_page").isDouble());
    QVERIFY(json.value("ms_per_page").toDouble() >= 0);
    QCOMPARE(json.value("status").toArray().size(), 3); // one parse's texts, not three
}

void tst_PageCheck::wrongArgumentsExitWithTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no arguments") << QStringList {};
    QTest::newRow("unknown mode") << QStringList {"pages", "x"};
    QTest::newRow("keyword without files") << QStringList {"keyword"};
    QTest::newRow("missing file") << QStringList {"results", "/nonexistent/page.html"};
    QTest::newRow("results with two keys") << QStringList {"results", "PAGE", "1", "2"};
    QTest::newRow("repeat without a number") << QStringList {"results", "PAGE", "--repeat"};
    QTest::newRow("repeat of zero") << QStringList {"results", "PAGE", "--repeat", "0"};
}

void tst_PageCheck::wrongArgumentsExitWithTwo()
{
    QFETCH(QStringList, arguments);
    const QString page = file(QStringLiteral("ok.html"), "<table></table>");
    arguments.replaceInStrings(QStringLiteral("PAGE"), page);
    const auto [code, json] = run(arguments);
    QCOMPARE(code, 2);
    QVERIFY(json.isEmpty());
}

QTEST_GUILESS_MAIN(tst_PageCheck)
#include "tst_pagecheck.moc"

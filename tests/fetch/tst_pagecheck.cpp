// The page check tool run as a person runs it: its JSON for saved pages, and its exit codes.

#include "testfiles.h"

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
    void savedPagesAsJson();
};

void tst_PageCheck::savedPagesAsJson()
{
    QTemporaryDir dir;
    // The tool's JSON for one page; an empty object unless it ends with exitCode.
    const auto run = [&dir](const char *page, QStringList arguments, int exitCode) {
        const QString file = dir.filePath(QStringLiteral("page.html"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        process.setProcessEnvironment(environment);
        arguments.insert(1, file);
        process.start(QStringLiteral(QUORVANE_PAGECHECK), arguments);
        const bool ended = Quorvane::TestSupport::writeAll(file, page)
            && process.waitForFinished(30000) && process.exitCode() == exitCode;
        return ended ? QJsonDocument::fromJson(process.readAllStandardOutput()).object()
                     : QJsonObject {{"failed", true}};
    };
    const QJsonObject keyword = run(
        "<table><tbody><tr><td>1200</td><td>caf\xc3\xa9</td></tr><tr><td>7</td>", {"keyword"}, 0);
    QCOMPARE(QJsonDocument(keyword.value("entries").toArray()).toJson(QJsonDocument::Compact),
             QByteArray(R"([{"keyword":"café","searches":"1200"}])"));
    QCOMPARE(keyword.value("next").toObject().value("searches").toString(), QStringLiteral("7"));
    QCOMPARE(keyword.value("status").toArray().size(), 8);
    // "1,234" is one and a fraction where the comma is the decimal mark.
    const QJsonObject results = run("<table>Results 1 - 10 of about <b>1,234</b></table>"
                                    "<table>Sponsored Links</table>",
                                    {"results", "7", "--repeat", "3"}, 0);
    QCOMPARE(results.value("entry").toInt(), 7);
    QCOMPARE(results.value("results").toString(), QStringLiteral("1"));
    QVERIFY(results.value("hasAds").toBool());
    QVERIFY(results.value("ms_per_page").toDouble(-1) >= 0);
    QCOMPARE(run("", {"results", "7", "8"}, 2), QJsonObject()); // a usage error, nothing out
}

QTEST_GUILESS_MAIN(tst_PageCheck)
#include "tst_pagecheck.moc"

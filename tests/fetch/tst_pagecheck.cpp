#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

using namespace Quorvane::TestSupport;

class tst_PageCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keywordPagesOfOneRun();
    void resultPageInTheEnvironmentsNumberFormat();

private:
    QJsonObject run(const QStringList &arguments, const char *locale = "en_US.UTF-8")
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUORVANE_PAGECHECK), arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return {};
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }
    QString page(const char *name, const QByteArray &bytes)
    {
        return writeAll(m_dir.filePath(QString::fromLatin1(name)), bytes)
            ? m_dir.filePath(QString::fromLatin1(name))
            : QString();
    }

    QTemporaryDir m_dir;
};

void tst_PageCheck::keywordPagesOfOneRun()
{
    const QJsonObject json =
        run({QStringLiteral("keyword"),
             page("k1.html",
                  "<table><tbody><tr><td>1200</td><td>caf\xc3\xa9 au lait</td></tr>"
                  "<tr><td>35</td><td>red&nbsp;shoes</td></tr><tr><td>7</td>"),
             page("k2.html", "<p>no table here</p>")});
    QCOMPARE(json.value("suggestionCount").toInt(), 2);
    QCOMPARE(QJsonDocument(json.value("entries").toArray()).toJson(QJsonDocument::Compact),
             QByteArray(R"([{"keyword":"café au lait","searches":"1200"},)"
                        R"({"keyword":"red&nbsp;shoes","searches":"35"}])"));
    QCOMPARE(json.value("next").toObject().value("searches").toString(), QStringLiteral("7"));
    QCOMPARE(json.value("status").toArray().size(), 1 + 1 + 5 * 2 + 1); // page 2 says one text
}

void tst_PageCheck::resultPageInTheEnvironmentsNumberFormat()
{
    // "1,234" is one and a fraction where the comma is the decimal mark.
    const QJsonObject json =
        run({QStringLiteral("results"),
             page("r.html",
                  "<table>Results 1 - 10 of about <b>1,234</b>"
                  "</table><table>Sponsored Links</table>"),
             QStringLiteral("7"), QStringLiteral("--repeat"), QStringLiteral("3")},
            "de_DE.UTF-8");
    QCOMPARE(json.value("entry").toInt(), 7);
    QCOMPARE(json.value("results").toString(), QStringLiteral("1"));
    QVERIFY(json.value("hasAds").toBool());
    QVERIFY(json.value("ms_per_page").toDouble(-1) >= 0);
}

QTEST_GUILESS_MAIN(tst_PageCheck)
#include "tst_pagecheck.moc"

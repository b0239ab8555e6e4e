#include "keywordhistory.h"
#include "settingsstore.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using Removed = std::optional<QString>;
Q_DECLARE_METATYPE(std::optional<QString>)

class tst_KeywordHistory final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addKeyword_data();
    void addKeyword();
    void deleteKeyword_data();
    void deleteKeyword();
    void buttonStates_data();
    void buttonStates();
    void changesReachTheStore();
};

void tst_KeywordHistory::addKeyword_data()
{
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<int>("saves");
    QTest::newRow("repeat keeps its place")
        << QStringList {"golf", "tennis", "golf"} << QStringList {"tennis", "golf"} << 2;
    QTest::newRow("other letter case replaces the older spelling")
        << QStringList {"golf", "tennis", "Golf"} << QStringList {"Golf", "tennis"} << 3;
}

void tst_KeywordHistory::addKeyword()
{
    QFETCH(QStringList, requests);
    QFETCH(QStringList, history);
    QFETCH(int, saves);
    QStringList actual;
    int changes = 0;
    for (const QString &keyword : requests)
        changes += addKeywordToHistory(actual, keyword) ? 1 : 0;
    QCOMPARE(actual, history);
    QCOMPARE(changes, saves);

    // The count is 16-bit: a full history refuses rather than overflow it.
    QStringList full(MaxHistoryEntries, QStringLiteral("x"));
    QVERIFY(!addKeywordToHistory(full, requests.first()));
    QCOMPARE((Settings {0, full}.historyCount()), qint16(32767));
}

void tst_KeywordHistory::deleteKeyword_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<Removed>("removed");
    QTest::addColumn<QStringList>("remaining");
    const auto row = [](const char *label, const QStringList &history, const char *boxText,
                        Removed removed, const QStringList &remaining) {
        QTest::newRow(label) << history << QString::fromLatin1(boxText) << removed << remaining;
    };
    row("middle entry", {"tennis", "golf", "chess"}, "golf", "golf", {"tennis", "chess"});
    row("capitals typed for a lower-case entry", {"tennis", "golf"}, "GOLF", "golf", {"tennis"});
    row("exact entry wins over an earlier case variant", {"Golf", "golf"}, "golf", "golf",
        {"Golf"});
    row("first of several case variants", {"tennis", "Golf Clubs", "GOLF CLUBS"}, "golf clubs",
        "Golf Clubs", {"tennis", "GOLF CLUBS"});
    row("no entry matches", {"tennis"}, "golf", {}, {"tennis"});
}

void tst_KeywordHistory::deleteKeyword()
{
    QFETCH(QStringList, history);
    QFETCH(QString, boxText);
    QTEST(deleteKeywordFromHistory(history, boxText), "removed");
    QTEST(history, "remaining");
}

void tst_KeywordHistory::buttonStates_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<bool>("timerArmed");
    QTest::addColumn<QString>("states"); // Delete, Delete All, Export, Suggest: 1 enabled
    const auto row = [](const char *label, const QStringList &history, const char *boxText,
                        bool timerArmed, const char *states) {
        QTest::newRow(label) << history << QString::fromLatin1(boxText) << timerArmed
                             << QString::fromLatin1(states);
    };
    const QStringList some {"tennis", "golf"};
    row("nothing", {}, "", false, "0000");
    row("empty history, typed", {}, "golf", false, "0001");
    row("empty box", some, "", false, "0100");
    row("match, run starting", some, "golf", true, "1111");
    row("entry with capitals, typed lower", {"Golf Clubs"}, "golf clubs", false, "1111");
    row("no match", some, "gol", false, "0101");
    row("no match, run starting", some, "chess", true, "0100");
}

void tst_KeywordHistory::buttonStates()
{
    QFETCH(QStringList, history);
    QFETCH(QString, boxText);
    QFETCH(bool, timerArmed);
    const ButtonStates s = buttonStateRule(history, boxText, timerArmed);
    QTEST(QStringLiteral("%1%2%3%4").arg(s.Delete).arg(s.deleteAll).arg(s.Export).arg(s.suggest),
          "states");
}

void tst_KeywordHistory::changesReachTheStore()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));
    const auto stored = [&fileName] {
        QStringList pairs;
        const QMap<QString, QString> values = iniValues(fileName);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            pairs << it.key() + u'=' + it.value();
        return pairs;
    };

    Settings settings;
    for (const char *keyword : {"chess", "golf", "tennis", "golf"}) {
        if (addKeywordToHistory(settings.keywordHistory, QString::fromLatin1(keyword)))
            QVERIFY(store.saveHistory(settings));
    }
    QCOMPARE(stored(),
             (QStringList {"Interval=0", "Keyword1=tennis", "Keyword2=golf", "Keyword3=chess",
                           "KeywordNum=3"}));

    QCOMPARE(deleteKeywordFromHistory(settings.keywordHistory, QStringLiteral("golf")),
             Removed(QStringLiteral("golf")));
    QVERIFY(store.saveHistory(settings));
    QCOMPARE(stored(),
             (QStringList {"Interval=0", "Keyword1=tennis", "Keyword2=chess", "KeywordNum=2"}));
    const KeywordBoxFill fill = fillKeywordBox(settings.keywordHistory);
    QCOMPARE(fill.text, QStringLiteral("tennis"));
    QVERIFY(fill.buttonsEnabled);

    QCOMPARE(deleteAllFromHistory(settings.keywordHistory),
             (QStringList {QStringLiteral("tennis"), QStringLiteral("chess")}));
    QVERIFY(store.saveHistory(settings));
    QCOMPARE(stored(), (QStringList {"Interval=0", "KeywordNum=0"}));
    QVERIFY(!fillKeywordBox(settings.keywordHistory).buttonsEnabled);
}

QTEST_GUILESS_MAIN(tst_KeywordHistory)
#include "tst_keywordhistory.moc"

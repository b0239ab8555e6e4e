#include "store/keywordhistory.h"
#include "store/settingsstore.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using namespace Quorvane::TestSupport;

namespace {
const QDateTime March1(QDate(2025, 3, 1), QTime(10, 15, 0));
// Found by the settings fuzz target: every line is sound on its own, only Qt's parse fails.
const QByteArray FormatError =
    QByteArrayLiteral("[uor\0;ne2\\Ke \0\0\0\0\0\0\0yword\\KeywordNum=-3G\0\0\0e[eral]\nx=40000\n");
} // namespace

class tst_SettingsStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Actions: "+k" adds k (answer 1 when the history changed), "-k" deletes what the box text k
    // names (answer: the removed entry).
    void historyRules_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("answer");
        const auto row = [](const char *label, const QStringList &history, const char *action,
                            const QStringList &after, const char *answer) {
            QTest::newRow(label) << history << action << after << answer;
        };
        const QStringList some {"tennis", "golf"};
        row("new keyword goes first", some, "+chess", {"chess", "tennis", "golf"}, "1");
        row("repeat keeps its place", some, "+golf", some, "0");
        row("other letter case replaces the older spelling", {"tennis", "golf"}, "+Golf",
            {"Golf", "tennis"}, "1");
        const QStringList full(MaxHistoryEntries, QStringLiteral("x")); // the count is 16-bit
        row("full history refuses", full, "+golf", full, "0");
        row("exact entry wins over an earlier case variant", {"Golf", "golf"}, "-golf", {"Golf"},
            "golf");
        row("first of several case variants", {"tennis", "Golf Clubs", "GOLF CLUBS"}, "-golf clubs",
            {"tennis", "GOLF CLUBS"}, "Golf Clubs");
        row("delete without a match", some, "-chess", some, "");
    }

    void historyRules()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, action);
        const QString text = action.mid(1);
        QString answer;
        if (action[0] == u'+')
            answer = QString::number(addKeywordToHistory(history, text));
        else
            answer = deleteKeywordFromHistory(history, text).value_or(QString());
        QTEST(history, "after");
        QTEST(answer, "answer");
    }

    void damagedFileIsKeptAsideBeforeWriting_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        const QByteArray head = "[Software]\nQuorvane%201.2\\Keyword\\Interval=99\n";
        const QByteArray tail = "Quorvane%201.2\\Keyword\\KeywordNum=1\n"
                                "Quorvane%201.2\\Keyword\\Keyword1=golf\n"
                                "Quorvane%201.2\\Keyword\\Keyword5=stale\n";
        QTest::newRow("header without bracket") << head + "[broken\n" + tail << true;
        QTest::newRow("line without equals") << head + "stray words\n" + tail << true;
        QTest::newRow("quote left open")
            << head + "Quorvane%201.2\\Keyword\\Keyword2=\"g\n" + tail << true;
        QTest::newRow("not utf-8") << head + tail + "x=\xff\n" << true;
        QTest::newRow("comments, continued line, quoted comma, empty key") << "; note\n# note\n\n"
                + head + tail + "x=a\\\n b\ny=\"a, b\" ; c\n=golf\n" << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }

    void damagedFileIsKeptAsideBeforeWriting()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("q.ini"));
        QVERIFY(writeAll(fileName, content));
        SettingsStore store(SettingsLocation::iniFile(fileName));
        store.setClock([] { return March1; });
        const QStringList history {"golf, clubs", "=[golf]; \"x\" \\ y", "@golf", "  golf  "};
        QVERIFY(store.saveHistory({0, history}));
        // What Qt rewrote is sound: the check flags exactly what a rewrite loses.
        QVERIFY(!iniFileIsDamaged(fileName));
        Settings loaded;
        QCOMPARE(store.loadSettings(loaded), LoadSettingsResult::Loaded);
        QCOMPARE(loaded.keywordHistory, history);
        QVERIFY(!iniValues(fileName).contains(QStringLiteral("Keyword5"))); // nothing stale stays
        const QString copy = fileName + QStringLiteral(".damaged-20250301-101500");
        QCOMPARE(store.keepDamagedCopy(), damaged ? copy : QString());
        QCOMPARE(readAll(copy), damaged ? content : QByteArray());

        // A later start with the same damaged bytes keeps no second copy.
        QVERIFY(writeAll(fileName, content));
        SettingsStore later(SettingsLocation::iniFile(fileName));
        QCOMPARE(later.keepDamagedCopy(), damaged ? copy : QString());
    }

    // Qt keeps a parsed file by name and reports a format error only while it parses.
    void damageIsSeenWhateverWasReadBefore_data()
    {
        QTest::addColumn<QByteArray>("earlier"); // the file as this process read it before
        QTest::newRow("the same damaged file read twice") << FormatError;
        QTest::newRow("a file damaged after an earlier read")
            << QByteArray("[General]\nx=1\n").leftJustified(FormatError.size(), '\n');
    }

    void damageIsSeenWhateverWasReadBefore()
    {
        QFETCH(QByteArray, earlier);
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("q.ini"));
        QVERIFY(writeAll(fileName, earlier, March1));
        QSettings(fileName, QSettings::IniFormat).allKeys(); // this process has read it
        // Same size and time as before: only the bytes tell.
        QVERIFY(writeAll(fileName, FormatError, March1));
        QVERIFY(iniFileIsDamaged(fileName));
        SettingsStore store(SettingsLocation::iniFile(fileName));
        QCOMPARE(readAll(store.keepDamagedCopy()), FormatError);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"

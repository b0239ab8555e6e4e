#include "store/filelocations.h"
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
// Found by the settings fuzz target (fuzz/corpus/settings/found-interval-twice.ini).
const QByteArray IntervalTwice =
    QByteArrayLiteral("[Software\\Quorvane 1.2\\Keyword]\n"
                      "Interval=0\n"
                      "KeywordNum=0\n"
                      "[]\n"
                      "[ ]\n"
                      "=x\n"
                      "[Software]\n"
                      "Quorvane%201.2\\Keyword\\Interval=0\xff"
                      "\xff"
                      "\xff"
                      "\xff"
                      "r,\n"
                      "QuorAa;c\n"
                      "#c\n"
                      "GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG=aGGGGGGGG\n"
                      "GGGGGG");
} // namespace

class tst_SettingsStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addingKeepsEntriesUniqueNewestFirst_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("changed");
        const QStringList some {"tennis", "golf"};
        QTest::newRow("new keyword goes first")
            << some << "chess" << QStringList {"chess", "tennis", "golf"} << true;
        QTest::newRow("repeat keeps its place") << some << "golf" << some << false;
        QTest::newRow("other letter case replaces the older spelling")
            << some << "Golf" << QStringList {"Golf", "tennis"} << true;
        const QStringList full(MaxHistoryEntries, QStringLiteral("x")); // the count is 16-bit
        QTest::newRow("full history refuses") << full << "golf" << full << false;
    }

    void addingKeepsEntriesUniqueNewestFirst()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, keyword);
        QTEST(addKeywordToHistory(history, keyword), "changed");
        QTEST(history, "after");
    }

    void deletingTakesTheEntryTheBoxNames_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("removed");
        QTest::newRow("exact entry wins over an earlier case variant")
            << QStringList {"Golf", "golf"} << "golf" << QStringList {"Golf"} << "golf";
        QTest::newRow("first of several case variants")
            << QStringList {"tennis", "Golf Clubs", "GOLF CLUBS"} << "golf clubs"
            << QStringList {"tennis", "GOLF CLUBS"} << "Golf Clubs";
        QTest::newRow("no match") << QStringList {"tennis", "golf"} << "chess"
                                  << QStringList {"tennis", "golf"} << QString();
    }

    void deletingTakesTheEntryTheBoxNames()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, boxText);
        QTEST(deleteKeywordFromHistory(history, boxText).value_or(QString()), "removed");
        QTEST(history, "after");
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

    // Two programs share the history: each saves its own change onto what the other stored.
    void historyMerge_data()
    {
        QTest::addColumn<QStringList>("base"); // as this program last read it
        QTest::addColumn<QStringList>("ours");
        QTest::addColumn<QStringList>("theirs"); // stored by the other since
        QTest::addColumn<QStringList>("merged");
        const QStringList base {"tennis", "golf"};
        QTest::newRow("their new entry after ours")
            << base << QStringList {"chess", "tennis", "golf"}
            << QStringList {"polo", "tennis", "golf"}
            << QStringList {"chess", "polo", "tennis", "golf"};
        QTest::newRow("their deletion holds")
            << base << QStringList {"chess", "tennis", "golf"} << QStringList {"golf"}
            << QStringList {"chess", "golf"};
        QTest::newRow("our deletion holds")
            << base << QStringList {"golf"} << QStringList {"polo", "tennis", "golf"}
            << QStringList {"polo", "golf"};
        QTest::newRow("the same keyword added by both is one entry")
            << base << QStringList {"Chess", "tennis", "golf"}
            << QStringList {"chess", "tennis", "golf"} << QStringList {"Chess", "tennis", "golf"};
        QTest::newRow("their clear keeps our new entry")
            << base << QStringList {"chess", "tennis", "golf"} << QStringList {}
            << QStringList {"chess"};
        QTest::newRow("our clear keeps their new entry")
            << base << QStringList {} << QStringList {"polo", "tennis", "golf"}
            << QStringList {"polo"};
    }

    void historyMerge()
    {
        QFETCH(QStringList, base);
        QFETCH(QStringList, ours);
        QFETCH(QStringList, theirs);
        QFETCH(QStringList, merged);
        QCOMPARE(mergeHistory(base, ours, theirs), merged);

        // The same through two stores on one file, as the window and quorvane-cli are.
        QTemporaryDir dir;
        const SettingsLocation location =
            SettingsLocation::iniFile(dir.filePath(QStringLiteral("q.ini")));
        QVERIFY(SettingsStore(location).saveHistory({0, base}));
        SettingsStore ourStore(location);
        Settings our;
        QCOMPARE(ourStore.loadSettings(our), LoadSettingsResult::Loaded);
        SettingsStore theirStore(location);
        Settings their;
        QCOMPARE(theirStore.loadSettings(their), LoadSettingsResult::Loaded);
        their.keywordHistory = theirs;
        their.intervalSetting = 99; // "Don't care" chosen there
        QVERIFY(theirStore.saveHistory(their));
        our.keywordHistory = ours;
        QVERIFY(ourStore.saveHistory(our));
        Settings stored;
        QCOMPARE(SettingsStore(location).loadSettings(stored), LoadSettingsResult::Loaded);
        QCOMPARE(stored.keywordHistory, merged);
        QCOMPARE(our.keywordHistory, merged);
        // Their "Don't care", which this program did not change, stays.
        QCOMPARE(stored.intervalSetting, qint16(99));
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

    // A file may give a value twice (a section of the whole key and a longer key under a shorter
    // section); loading takes what a later read of the value gives, whatever the order of reads.
    void loadingAgreesWithReadingTheValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("Interval twice, the second a list with bytes not UTF-8") << IntervalTwice;
        QTest::newRow("KeywordNum twice, the second sound")
            << QByteArray("[Software\\Quorvane 1.2\\Keyword]\nInterval=0\nKeywordNum=x\n"
                          "[Software]\nQuorvane%201.2\\Keyword\\KeywordNum=0\n");
    }

    void loadingAgreesWithReadingTheValues()
    {
        QFETCH(QByteArray, content);
        QVERIFY(!content.isEmpty());
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("q.ini"));
        QVERIFY(writeAll(fileName, content));
        const SettingsStore store(SettingsLocation::iniFile(fileName));
        Settings settings;
        const LoadSettingsResult result = store.loadSettings(settings);
        const std::optional<qint16> interval =
            toSettingNumber(store.readRegValue(SettingsKey, QStringLiteral("Interval")));
        const std::optional<qint16> count =
            toSettingNumber(store.readRegValue(SettingsKey, QStringLiteral("KeywordNum")));
        QCOMPARE(result,
                 !interval    ? LoadSettingsResult::BadInterval
                     : !count ? LoadSettingsResult::BadKeywordNum
                              : LoadSettingsResult::Loaded);
        if (result == LoadSettingsResult::Loaded)
            QCOMPARE(settings.intervalSetting, *interval);
    }

    // An installed program keeps nothing beside itself, even where it could write.
    void installedProgramFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("installed");
        QTest::newRow("build tree below /usr/src") << "/usr/src/q/build/bin" << false;
        QTest::newRow("unpacked package") << "/tmp/check/root/usr/bin" << true;
        QTest::newRow("/opt") << "/opt/quorvane/bin" << true;
        QTest::newRow("this build's install folder") << "/home/ann/.local/bin" << true;
        QTest::newRow("a folder of the user's own") << "/home/ann/tools" << false;
    }

    void installedProgramFolders()
    {
        QFETCH(QString, folder);
        QTEST(isInstalledProgramFolder(folder, QStringLiteral("/home/ann/.local/bin")),
              "installed");
    }

    void unwritableFolderIsAvoided()
    {
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("plainfile"), "x"));
        const QString blocked = dir.filePath(QStringLiteral("plainfile/report"));
        const QString usable = dir.filePath(QStringLiteral("data/report"));
        QCOMPARE(firstWritableFolder({blocked, usable}), usable);
        QCOMPARE(firstWritableFolder({usable, blocked}), usable);
        QVERIFY(filesIn(usable).isEmpty()); // the write probe leaves nothing behind
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"

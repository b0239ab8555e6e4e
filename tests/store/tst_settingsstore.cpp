#include "settingsstore.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using ValueMap = QMap<QString, QString>;
using Number = std::optional<qint16>;
Q_DECLARE_METATYPE(LoadSettingsResult)
Q_DECLARE_METATYPE(std::optional<qint16>)

class tst_SettingsStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readingCreatesNothingAndFirstStartWritesTheDefaults();
    void loadFollowsStoredText_data();
    void loadFollowsStoredText();
    void numberConversion_data();
    void numberConversion();
    void keywordsRoundTrip_data();
    void keywordsRoundTrip();
    void saveHistoryReplacesTheFileWhole();
    void damagedFileIsKeptAsideBeforeWriting_data();
    void damagedFileIsKeptAsideBeforeWriting();
    void damagedCopyIsNotRepeatedForTheSameBytes();
    void damageIsSeenWhateverWasReadBefore_data();
    void damageIsSeenWhateverWasReadBefore();
};

void tst_SettingsStore::readingCreatesNothingAndFirstStartWritesTheDefaults()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("cfg/quorvane.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));

    QCOMPARE(store.readRegValue(SettingsKey, QStringLiteral("Interval")), QString());
    QVERIFY(!store.keyExists(SettingsKey));
    Settings settings;
    QCOMPARE(store.loadSettings(settings), LoadSettingsResult::BadInterval);
    QCOMPARE(filesIn(dir.path()), QStringList());

    QVERIFY(store.writeDefaultSettings(settings));
    QVERIFY(store.keyExists(SettingsKey));
    QCOMPARE(iniValues(fileName), (ValueMap {{"Interval", "0"}, {"KeywordNum", "0"}}));
    QCOMPARE(QSettings(fileName, QSettings::IniFormat).allKeys().size(), 2);
}

void tst_SettingsStore::loadFollowsStoredText_data()
{
    QTest::addColumn<ValueMap>("stored");
    QTest::addColumn<LoadSettingsResult>("result");
    QTest::addColumn<qint16>("interval");
    QTest::addColumn<QStringList>("history");
    const auto row = [](const char *label, const ValueMap &stored, LoadSettingsResult result,
                        int interval = 0, const QStringList &history = {}) {
        QTest::newRow(label) << stored << result << qint16(interval) << history;
    };
    const auto ok = LoadSettingsResult::Loaded;
    const auto badInterval = LoadSettingsResult::BadInterval;
    const auto badCount = LoadSettingsResult::BadKeywordNum;
    row("two entries",
        {{"Interval", "0"}, {"KeywordNum", "2"}, {"Keyword1", "a"}, {"Keyword2", "b"}}, ok, 0,
        {"a", "b"});
    row("interval 5 means no pause", {{"Interval", "5"}, {"KeywordNum", "0"}}, ok, 5);
    row("missing second entry reads empty",
        {{"Interval", "0"}, {"KeywordNum", "2"}, {"Keyword1", "a"}}, ok, 0, {"a", ""});
    row("blanks and a fraction", {{"Interval", " 99 "}, {"KeywordNum", " 1.4 "}, {"Keyword1", "a"}},
        ok, 99, {"a"});
    row("negative count, empty history",
        {{"Interval", "0"}, {"KeywordNum", "-3"}, {"Keyword1", "a"}}, ok);
    row("interval letters", {{"Interval", "abc"}, {"KeywordNum", "0"}}, badInterval);
    row("interval missing", {{"KeywordNum", "0"}}, badInterval);
    row("empty count", {{"Interval", "0"}, {"KeywordNum", ""}}, badCount);
    row("count out of range", {{"Interval", "0"}, {"KeywordNum", "32768"}}, badCount);
}

void tst_SettingsStore::loadFollowsStoredText()
{
    QFETCH(ValueMap, stored);
    QFETCH(LoadSettingsResult, result);
    QFETCH(qint16, interval);
    QFETCH(QStringList, history);

    QTemporaryDir dir;
    SettingsStore store(SettingsLocation::iniFile(dir.filePath(QStringLiteral("q.ini"))));
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QVERIFY(store.writeRegValue(SettingsKey, it.key(), it.value()));

    Settings settings {1234, {QStringLiteral("untouched")}};
    QCOMPARE(store.loadSettings(settings), result);
    if (result == LoadSettingsResult::Loaded) {
        QCOMPARE(settings.intervalSetting, interval);
        QCOMPARE(settings.keywordHistory, history);
        QCOMPARE(pacingPauseEnabled(settings), interval == 0);
    } else {
        // A failed load leaves no half-loaded copies behind.
        QCOMPARE(settings.intervalSetting, qint16(1234));
        QCOMPARE(settings.keywordHistory, QStringList {QStringLiteral("untouched")});
    }
}

void tst_SettingsStore::numberConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Number>("number");
    const auto row = [](const char *label, const char *text, Number number) {
        QTest::newRow(label) << QString::fromLatin1(text) << number;
    };
    row("surrounding blanks", " \t42 ", 42);
    row("fraction up", "2.6", 3);
    row("half to even", "2.5", 2);
    row("negative half to even", "-3.5", -4);
    row("range ends", "-32768", -32768);
    row("rounds above range", "32767.5", {});
    row("empty", "", {});
    row("trailing letters", "5abc", {});
    row("huge exponent", "1e400", {});
}

void tst_SettingsStore::numberConversion()
{
    QFETCH(QString, text);
    QTEST(toSettingNumber(text), "number");
}

void tst_SettingsStore::keywordsRoundTrip_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("comma") << QStringLiteral("golf, clubs");
    QTest::newRow("ini syntax") << QStringLiteral("=[golf]; \"x\" \\ y");
    QTest::newRow("at sign first") << QStringLiteral("@golf");
    QTest::newRow("outer blanks") << QStringLiteral("  golf  ");
    QTest::newRow("non-latin") << QStringLiteral("Größe 東京 гольф");
    QTest::newRow("254 ascii bytes") << QString(254, QLatin1Char('g'));
    QTest::newRow("254 utf-8 bytes") << QString(127, QChar(0xE9));
}

void tst_SettingsStore::keywordsRoundTrip()
{
    QFETCH(QString, keyword);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    SettingsStore(SettingsLocation::iniFile(fileName))
        .saveHistory(Settings {0, {keyword, QStringLiteral("after")}});
    QVERIFY(!iniFileIsDamaged(fileName));

    Settings loaded;
    QCOMPARE(SettingsStore(SettingsLocation::iniFile(fileName)).loadSettings(loaded),
             LoadSettingsResult::Loaded);
    QCOMPARE(loaded.keywordHistory, (QStringList {keyword, QStringLiteral("after")}));
}

void tst_SettingsStore::saveHistoryReplacesTheFileWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("Needs hard links");
#else
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));
    QVERIFY(store.writeDefaultSettings(Settings {}));
    // A hard link keeps the old file reachable: a rewrite in place would change it.
    const QString oldLink = dir.filePath(QStringLiteral("old.ini"));
    QCOMPARE(
        ::link(QFile::encodeName(fileName).constData(), QFile::encodeName(oldLink).constData()), 0);
    const QByteArray oldBytes = readAll(fileName);

    QVERIFY(store.saveHistory(Settings {0, {QStringLiteral("golf")}}));
    QCOMPARE(readAll(oldLink), oldBytes);
    QCOMPARE(iniValues(fileName).value(QStringLiteral("KeywordNum")), QStringLiteral("1"));
    QCOMPARE(filesIn(dir.path()), (QStringList {"old.ini", "q.ini"}));
#endif
}

void tst_SettingsStore::damagedFileIsKeptAsideBeforeWriting_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("damaged");

    const QByteArray head = "[Software]\nQuorvane%201.2\\Keyword\\Interval=99\n";
    const QByteArray tail = "Quorvane%201.2\\Keyword\\KeywordNum=1\n"
                            "Quorvane%201.2\\Keyword\\Keyword1=golf\n";
    QTest::newRow("header without bracket") << head + "[broken\n" + tail << true;
    QTest::newRow("line without equals") << head + "stray words\n" + tail << true;
    QTest::newRow("empty section name") << head + tail + "[]\nx=1\n" << true;
    QTest::newRow("quote left open")
        << head + "Quorvane%201.2\\Keyword\\Keyword2=\"g\n" + tail << true;
    QTest::newRow("not utf-8") << head + tail + "Quorvane%201.2\\Keyword\\Keyword2=\xff\n" << true;
    QTest::newRow("comments, blanks, continued line")
        << "; note\n# note\n\n" + head + tail + "Quorvane%201.2\\Keyword\\Keyword2=a\\\n b\n"
        << false;
    QTest::newRow("quoted comma, empty key") << head + tail + "x=\"a, b\" ; c\n=golf\n" << false;
    QTest::newRow("empty file") << QByteArray() << false;
}

void tst_SettingsStore::damagedFileIsKeptAsideBeforeWriting()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, damaged);

    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    QVERIFY(writeAll(fileName, content));
    QCOMPARE(iniFileIsDamaged(fileName), damaged);

    SettingsStore store(SettingsLocation::iniFile(fileName));
    store.setClock([] { return QDateTime(QDate(2025, 3, 1), QTime(10, 15, 0)); });
    QVERIFY(store.writeRegValue(SettingsKey, QStringLiteral("Interval"), QStringLiteral("0")));
    QVERIFY(store.saveHistory(Settings {}));
    // What Qt rewrote is sound: the check flags exactly what a rewrite loses.
    QVERIFY(!iniFileIsDamaged(fileName));

    const QString copy = fileName + QStringLiteral(".damaged-20250301-101500");
    QCOMPARE(store.keepDamagedCopy(), damaged ? copy : QString());
    const QStringList files =
        damaged ? QStringList {"q.ini", "q.ini.damaged-20250301-101500"} : QStringList {"q.ini"};
    QCOMPARE(filesIn(dir.path()), files);
    if (damaged)
        QCOMPARE(readAll(copy), content);
}

void tst_SettingsStore::damagedCopyIsNotRepeatedForTheSameBytes()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    const QByteArray damaged = "[Software\nQuorvane%201.2\\Keyword\\Interval=0\n";
    QVERIFY(writeAll(fileName, damaged));

    // Starts that never write each look for damage; the same bytes are kept once.
    for (int minute = 0; minute < 2; ++minute) {
        SettingsStore store(SettingsLocation::iniFile(fileName));
        store.setClock([minute] { return QDateTime(QDate(2025, 3, 1), QTime(10, minute)); });
        QCOMPARE(store.keepDamagedCopy(), fileName + ".damaged-20250301-100000");
    }
    QCOMPARE(filesIn(dir.path()), (QStringList {"q.ini", "q.ini.damaged-20250301-100000"}));
    QCOMPARE(readAll(fileName + ".damaged-20250301-100000"), damaged);
}

namespace {
// Found by the settings fuzz target: every line is sound on its own, only Qt's parse fails.
const QByteArray FormatError =
    QByteArrayLiteral("[uor\0;ne2\\Ke \0\0\0\0\0\0\0yword\\KeywordNum=-3G\0\0\0e[eral]\nx=40000\n");
} // namespace

void tst_SettingsStore::damageIsSeenWhateverWasReadBefore_data()
{
    QTest::addColumn<QByteArray>("earlier"); // the file as this process read it before
    QTest::newRow("the same damaged file read twice") << FormatError;
    QTest::newRow("a file damaged after an earlier read")
        << QByteArray("[General]\nx=1\n").leftJustified(FormatError.size(), '\n');
}

// Qt keeps a parsed file by name and reports a format error only while it parses.
void tst_SettingsStore::damageIsSeenWhateverWasReadBefore()
{
    QFETCH(QByteArray, earlier);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    const QDateTime time(QDate(2025, 3, 1), QTime(10, 0));
    QVERIFY(writeAll(fileName, earlier, time));
    Settings settings;
    SettingsStore(SettingsLocation::iniFile(fileName)).loadSettings(settings);
    QCOMPARE(iniFileIsDamaged(fileName), earlier == FormatError);
    // Same size and time as before: only the bytes tell.
    QVERIFY(writeAll(fileName, FormatError, time));
    QVERIFY(iniFileIsDamaged(fileName));
    SettingsStore store(SettingsLocation::iniFile(fileName));
    QCOMPARE(readAll(store.keepDamagedCopy()), FormatError);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"

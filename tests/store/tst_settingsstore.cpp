#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Quorvane;

using ValueMap = QMap<QString, QString>;
Q_DECLARE_METATYPE(LoadSettingsResult)
Q_DECLARE_METATYPE(std::optional<qint16>)

namespace {

const QString KeyGroup = QStringLiteral("Software/Quorvane 1.2/Keyword");

// Every value of the settings key, straight from the file.
ValueMap KeyValues(const QString &fileName)
{
    QSettings settings(fileName, QSettings::IniFormat);
    settings.beginGroup(KeyGroup);
    ValueMap values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, settings.value(key).toString());
    return values;
}

void WriteBytes(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadBytes(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class tst_SettingsStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartWritesExactlyTheDefaults();
    void historyRewriteHoldsOnlyTheCurrentEntries();
    void loadSettingsFollowsStoredText_data();
    void loadSettingsFollowsStoredText();
    void numberConversion_data();
    void numberConversion();
    void keywordsRoundTrip_data();
    void keywordsRoundTrip();
    void handEditedListValueReadsAsText();
    void readingAMissingKeyCreatesNothing();
    void saveHistoryReplacesTheFile();
    void damagedFileIsKeptAsideBeforeWriting_data();
    void damagedFileIsKeptAsideBeforeWriting();
    void soundFileIsNotCopied_data();
    void soundFileIsNotCopied();
    void damagedCopyIsNotRepeatedForTheSameBytes();
};

void tst_SettingsStore::firstStartWritesExactlyTheDefaults()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("cfg/quorvane.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));

    QVERIFY(!store.KeyExists(SettingsKey));
    QVERIFY(store.WriteDefaultSettings(Settings {}));
    QVERIFY(store.KeyExists(SettingsKey));

    const ValueMap expected {{QStringLiteral("Interval"), QStringLiteral("0")},
                             {QStringLiteral("KeywordNum"), QStringLiteral("0")}};
    QCOMPARE(KeyValues(fileName), expected);
    QSettings whole(fileName, QSettings::IniFormat);
    QCOMPARE(whole.allKeys().size(), 2);

    Settings loaded;
    loaded.IntervalSetting = 7;
    QCOMPARE(store.LoadSettings(loaded), LoadSettingsResult::Loaded);
    QCOMPARE(loaded.IntervalSetting, qint16(0));
    QCOMPARE(loaded.HistoryCount(), qint16(0));
    QVERIFY(PacingPauseEnabled(loaded));
}

void tst_SettingsStore::historyRewriteHoldsOnlyTheCurrentEntries()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("quorvane.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));

    Settings settings;
    settings.IntervalSetting = 99;
    settings.KeywordHistory = {QStringLiteral("tennis"), QStringLiteral("golf"),
                               QStringLiteral("chess")};
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(KeyValues(fileName),
             (ValueMap {{QStringLiteral("Interval"), QStringLiteral("99")},
                        {QStringLiteral("Keyword1"), QStringLiteral("tennis")},
                        {QStringLiteral("Keyword2"), QStringLiteral("golf")},
                        {QStringLiteral("Keyword3"), QStringLiteral("chess")},
                        {QStringLiteral("KeywordNum"), QStringLiteral("3")}}));

    settings.KeywordHistory.removeAt(1);
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(KeyValues(fileName),
             (ValueMap {{QStringLiteral("Interval"), QStringLiteral("99")},
                        {QStringLiteral("Keyword1"), QStringLiteral("tennis")},
                        {QStringLiteral("Keyword2"), QStringLiteral("chess")},
                        {QStringLiteral("KeywordNum"), QStringLiteral("2")}}));

    settings.KeywordHistory.clear();
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(KeyValues(fileName),
             (ValueMap {{QStringLiteral("Interval"), QStringLiteral("99")},
                        {QStringLiteral("KeywordNum"), QStringLiteral("0")}}));
}

void tst_SettingsStore::loadSettingsFollowsStoredText_data()
{
    QTest::addColumn<ValueMap>("stored");
    QTest::addColumn<LoadSettingsResult>("result");
    QTest::addColumn<qint16>("interval");
    QTest::addColumn<QStringList>("history");

    const QString interval = QStringLiteral("Interval");
    const QString num = QStringLiteral("KeywordNum");
    const QString k1 = QStringLiteral("Keyword1");
    const QString k2 = QStringLiteral("Keyword2");
    const auto ok = LoadSettingsResult::Loaded;

    QTest::newRow("two entries") << ValueMap {{interval, "0"}, {num, "2"}, {k1, "a"}, {k2, "b"}}
                                 << ok << qint16(0) << QStringList {"a", "b"};
    QTest::newRow("interval 5 loads as given")
        << ValueMap {{interval, "5"}, {num, "0"}} << ok << qint16(5) << QStringList {};
    QTest::newRow("missing second entry reads empty")
        << ValueMap {{interval, "0"}, {num, "2"}, {k1, "a"}} << ok << qint16(0)
        << QStringList {"a", ""};
    QTest::newRow("entries beyond the count are ignored")
        << ValueMap {{interval, "0"}, {num, "1"}, {k1, "a"}, {k2, "b"}} << ok << qint16(0)
        << QStringList {"a"};
    QTest::newRow("blanks and a fraction")
        << ValueMap {{interval, " 99 "}, {num, " 1.4 "}, {k1, "a"}} << ok << qint16(99)
        << QStringList {"a"};
    QTest::newRow("negative count leaves history empty")
        << ValueMap {{interval, "0"}, {num, "-3"}, {k1, "a"}} << ok << qint16(0) << QStringList {};
    QTest::newRow("interval letters")
        << ValueMap {{interval, "abc"}, {num, "0"}} << LoadSettingsResult::BadInterval << qint16(0)
        << QStringList {};
    QTest::newRow("interval missing")
        << ValueMap {{num, "0"}} << LoadSettingsResult::BadInterval << qint16(0) << QStringList {};
    QTest::newRow("interval out of range")
        << ValueMap {{interval, "40000"}, {num, "0"}} << LoadSettingsResult::BadInterval
        << qint16(0) << QStringList {};
    QTest::newRow("empty count") << ValueMap {{interval, "0"}, {num, ""}}
                                 << LoadSettingsResult::BadKeywordNum << qint16(0)
                                 << QStringList {};
    QTest::newRow("count letters")
        << ValueMap {{interval, "0"}, {num, "two"}} << LoadSettingsResult::BadKeywordNum
        << qint16(0) << QStringList {};
    QTest::newRow("count missing")
        << ValueMap {{interval, "0"}} << LoadSettingsResult::BadKeywordNum << qint16(0)
        << QStringList {};
    QTest::newRow("count out of range")
        << ValueMap {{interval, "0"}, {num, "32768"}} << LoadSettingsResult::BadKeywordNum
        << qint16(0) << QStringList {};
}

void tst_SettingsStore::loadSettingsFollowsStoredText()
{
    QFETCH(ValueMap, stored);
    QFETCH(LoadSettingsResult, result);
    QFETCH(qint16, interval);
    QFETCH(QStringList, history);

    QTemporaryDir dir;
    SettingsStore store(SettingsLocation::iniFile(dir.filePath(QStringLiteral("q.ini"))));
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QVERIFY(store.WriteRegValue(SettingsKey, it.key(), it.value()));

    Settings settings;
    settings.IntervalSetting = 1234;
    settings.KeywordHistory = {QStringLiteral("untouched")};
    QCOMPARE(store.LoadSettings(settings), result);
    if (result == LoadSettingsResult::Loaded) {
        QCOMPARE(settings.IntervalSetting, interval);
        QCOMPARE(settings.KeywordHistory, history);
        QCOMPARE(settings.HistoryCount(), qint16(history.size()));
        QCOMPARE(PacingPauseEnabled(settings), interval == 0);
    } else {
        // A failed load must not leave half-loaded copies behind.
        QCOMPARE(settings.IntervalSetting, qint16(1234));
        QCOMPARE(settings.KeywordHistory, QStringList {QStringLiteral("untouched")});
    }
}

void tst_SettingsStore::numberConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint16>>("number");
    const std::optional<qint16> none;

    QTest::newRow("zero") << "0" << std::optional<qint16>(0);
    QTest::newRow("surrounding blanks") << " \t42 " << std::optional<qint16>(42);
    QTest::newRow("plus sign") << "+7" << std::optional<qint16>(7);
    QTest::newRow("fraction down") << "2.4" << std::optional<qint16>(2);
    QTest::newRow("fraction up") << "2.6" << std::optional<qint16>(3);
    QTest::newRow("half to even below") << "2.5" << std::optional<qint16>(2);
    QTest::newRow("half to even above") << "3.5" << std::optional<qint16>(4);
    QTest::newRow("negative half") << "-2.5" << std::optional<qint16>(-2);
    QTest::newRow("leading point") << ".6" << std::optional<qint16>(1);
    QTest::newRow("exponent") << "1e2" << std::optional<qint16>(100);
    QTest::newRow("largest") << "32767" << std::optional<qint16>(32767);
    QTest::newRow("largest after rounding") << "32767.4" << std::optional<qint16>(32767);
    QTest::newRow("smallest") << "-32768" << std::optional<qint16>(-32768);
    QTest::newRow("rounds above range") << "32767.5" << none;
    QTest::newRow("below range") << "-32769" << none;
    QTest::newRow("empty") << "" << none;
    QTest::newRow("blanks only") << "   " << none;
    QTest::newRow("letters") << "abc" << none;
    QTest::newRow("trailing letters") << "5abc" << none;
    QTest::newRow("group separator") << "1,000" << none;
    QTest::newRow("hex") << "0x10" << none;
    QTest::newRow("infinity") << "inf" << none;
    QTest::newRow("not a number") << "nan" << none;
    QTest::newRow("huge exponent") << "1e400" << none;
    QTest::newRow("lone point") << "." << none;
}

void tst_SettingsStore::numberConversion()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint16>, number);
    QCOMPARE(ToSettingNumber(text), number);
}

void tst_SettingsStore::keywordsRoundTrip_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("plain") << QStringLiteral("golf clubs");
    QTest::newRow("comma") << QStringLiteral("golf, clubs");
    QTest::newRow("semicolon") << QStringLiteral("golf; clubs");
    QTest::newRow("equals first") << QStringLiteral("=golf");
    QTest::newRow("at sign first") << QStringLiteral("@golf");
    QTest::newRow("quotes") << QStringLiteral("say \"golf\"");
    QTest::newRow("backslash") << QStringLiteral("golf\\clubs");
    QTest::newRow("outer blanks") << QStringLiteral("  golf  ");
    QTest::newRow("brackets") << QStringLiteral("[golf]");
    QTest::newRow("non-latin") << QStringLiteral("Größe 東京 гольф");
    QTest::newRow("254 ascii bytes") << QString(254, QLatin1Char('g'));
    QTest::newRow("254 utf-8 bytes") << QString(127, QChar(0xE9));
    QTest::newRow("longer than a registry read") << QString(1000, QLatin1Char('x'));
}

void tst_SettingsStore::keywordsRoundTrip()
{
    QFETCH(QString, keyword);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    {
        SettingsStore store(SettingsLocation::iniFile(fileName));
        Settings settings;
        settings.KeywordHistory = {keyword, QStringLiteral("after")};
        QVERIFY(store.SaveHistory(settings));
        QVERIFY(!IniFileIsDamaged(fileName));
    }
    SettingsStore store(SettingsLocation::iniFile(fileName));
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Keyword1")), keyword);
    Settings loaded;
    QCOMPARE(store.LoadSettings(loaded), LoadSettingsResult::Loaded);
    QCOMPARE(loaded.KeywordHistory, (QStringList {keyword, QStringLiteral("after")}));
}

void tst_SettingsStore::handEditedListValueReadsAsText()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    WriteBytes(fileName,
               "[Software]\nQuorvane%201.2\\Keyword\\Interval=0\n"
               "Quorvane%201.2\\Keyword\\KeywordNum=1\n"
               "Quorvane%201.2\\Keyword\\Keyword1=golf, clubs\n");
    SettingsStore store(SettingsLocation::iniFile(fileName));
    Settings loaded;
    QCOMPARE(store.LoadSettings(loaded), LoadSettingsResult::Loaded);
    QCOMPARE(loaded.KeywordHistory, QStringList {QStringLiteral("golf, clubs")});
}

void tst_SettingsStore::readingAMissingKeyCreatesNothing()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("sub/q.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));

    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Interval")), QString());
    QVERIFY(!store.KeyExists(SettingsKey));
    Settings settings;
    QCOMPARE(store.LoadSettings(settings), LoadSettingsResult::BadInterval);
    QCOMPARE(store.keepDamagedCopy(), QString());

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void tst_SettingsStore::saveHistoryReplacesTheFile()
{
#ifndef Q_OS_UNIX
    QSKIP("Checks the file's identity through its inode");
#else
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));
    QVERIFY(store.WriteDefaultSettings(Settings {}));

    // A hard link keeps the old file reachable: an in-place rewrite would change what it shows.
    const QString oldLink = dir.filePath(QStringLiteral("old.ini"));
    QCOMPARE(
        ::link(QFile::encodeName(fileName).constData(), QFile::encodeName(oldLink).constData()), 0);
    const QByteArray oldBytes = ReadBytes(fileName);

    Settings settings;
    settings.KeywordHistory = {QStringLiteral("golf")};
    QVERIFY(store.SaveHistory(settings));

    QCOMPARE(ReadBytes(oldLink), oldBytes);
    QCOMPARE(KeyValues(fileName).value(QStringLiteral("KeywordNum")), QStringLiteral("1"));
    // No temporary or lock file is left beside the settings.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList {QStringLiteral("old.ini"), QStringLiteral("q.ini")}));
#endif
}

void tst_SettingsStore::damagedFileIsKeptAsideBeforeWriting_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<LoadSettingsResult>("result");

    const QByteArray head = "[Software]\nQuorvane%201.2\\Keyword\\Interval=99\n";
    const QByteArray tail = "Quorvane%201.2\\Keyword\\KeywordNum=1\n"
                            "Quorvane%201.2\\Keyword\\Keyword1=golf\n";
    QTest::newRow("section header without bracket")
        << head + "[broken\n" + tail << LoadSettingsResult::BadKeywordNum;
    QTest::newRow("line without equals")
        << head + "stray words\n" + tail << LoadSettingsResult::Loaded;
    QTest::newRow("empty section name") << head + tail + "[]\nx=1\n" << LoadSettingsResult::Loaded;
    QTest::newRow("quote left open") << head + "Quorvane%201.2\\Keyword\\Keyword2=\"golf\n" + tail
                                     << LoadSettingsResult::BadKeywordNum;
    QTest::newRow("not utf-8") << head + tail + "Quorvane%201.2\\Keyword\\Keyword2=\xff\xfe\n"
                               << LoadSettingsResult::Loaded;
}

void tst_SettingsStore::damagedFileIsKeptAsideBeforeWriting()
{
    QFETCH(QByteArray, content);
    QFETCH(LoadSettingsResult, result);

    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    WriteBytes(fileName, content);
    QVERIFY(IniFileIsDamaged(fileName));

    SettingsStore store(SettingsLocation::iniFile(fileName));
    store.setClock([] { return QDateTime(QDate(2025, 3, 1), QTime(10, 15, 0)); });
    Settings settings;
    QCOMPARE(store.LoadSettings(settings), result);

    // The first write keeps the damaged bytes aside before Qt rewrites the file.
    QVERIFY(store.WriteRegValue(SettingsKey, QStringLiteral("Interval"), QStringLiteral("0")));
    const QString copy = fileName + QStringLiteral(".damaged-20250301-101500");
    QCOMPARE(store.keepDamagedCopy(), copy);
    QCOMPARE(ReadBytes(copy), content);
    QVERIFY(ReadBytes(fileName) != content);
    QVERIFY(!IniFileIsDamaged(fileName));

    // Later writes of the same store make no further copies.
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).size(), 1);
}

void tst_SettingsStore::soundFileIsNotCopied_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("comments and blank lines")
        << QByteArray("; note\n# note\n\n[Software]\n  Quorvane%201.2\\Keyword\\Interval = 0 \n");
    QTest::newRow("continued line") << QByteArray("[Software]\nQuorvane%201.2\\Keyword\\Keyword1="
                                                  "golf\\\n clubs\n");
    QTest::newRow("quoted comma and trailing comment")
        << QByteArray("[Software]\nQuorvane%201.2\\Keyword\\Keyword1=\"a, b\" ; c\n");
    QTest::newRow("value without key, which Qt keeps")
        << QByteArray("[Software]\nQuorvane%201.2\\Keyword\\Interval=0\n=golf\n");
    QTest::newRow("other sections") << QByteArray("[General]\nx=1\n[Software]\ny=2\n");
    QTest::newRow("empty file") << QByteArray();
}

void tst_SettingsStore::soundFileIsNotCopied()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    WriteBytes(fileName, content);
    QVERIFY(!IniFileIsDamaged(fileName));

    SettingsStore store(SettingsLocation::iniFile(fileName));
    QVERIFY(store.WriteDefaultSettings(Settings {}));
    QCOMPARE(store.keepDamagedCopy(), QString());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {QStringLiteral("q.ini")});
}

void tst_SettingsStore::damagedCopyIsNotRepeatedForTheSameBytes()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    const QByteArray damaged = "[Software\nQuorvane%201.2\\Keyword\\Interval=0\n";
    WriteBytes(fileName, damaged);

    // Two starts that only read (their load fails) each look for a copy before any write.
    for (int start = 0; start < 2; ++start) {
        SettingsStore store(SettingsLocation::iniFile(fileName));
        store.setClock([start] { return QDateTime(QDate(2025, 3, 1), QTime(10, start, 0)); });
        QVERIFY(!store.keepDamagedCopy().isEmpty());
    }
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files),
             QStringList {QStringLiteral("q.ini.damaged-20250301-100000")});

    // Different damage is a different copy, even within the same second.
    WriteBytes(fileName, damaged + "more words\n");
    SettingsStore store(SettingsLocation::iniFile(fileName));
    store.setClock([] { return QDateTime(QDate(2025, 3, 1), QTime(10, 0, 0)); });
    QCOMPARE(store.keepDamagedCopy(), fileName + QStringLiteral(".damaged-20250301-100000-2"));
    QCOMPARE(ReadBytes(store.keepDamagedCopy()), damaged + "more words\n");
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"

// The program killed (SIGKILL) at random moments while it rewrites a report or its settings:
// every restart finds either the earlier file or the complete new one, and starts normally.
//
// This executable is also the writer that gets killed: with --write-loop it holds the
// single-instance lock as the program does and rewrites one kind of file through the real
// report and settings code, one numbered generation after another, saying which one it has
// committed.

#include "hardening.h"
#include "reportfile.h"
#include "singleinstance.h"
#include "startup.h"

#include <QApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace Quorvane;
using namespace Quorvane::Hardening;

namespace {

const char *const WriteLoopOption = "--write-loop";
const QString Seed = QStringLiteral("crash test");

ProgramPlaces PlacesIn(const QString &folder)
{
    return ProgramUnderTest(folder).places();
}

// Generation n of the report: every figure depends on n, and the row count too, so that a
// file mixing two generations or cut short matches neither.
SuggestionTable ReportGeneration(int n)
{
    SuggestionTable table;
    table.SuggestionCount = qint16(40 + n % 61);
    for (int i = 0; i < table.SuggestionCount; ++i) {
        Suggestion &entry = table.Entries[std::size_t(i)];
        entry.Keyword = QStringLiteral("%1 phrase %2").arg(Seed).arg(i);
        entry.Searches = QString::number(1000 + 7 * n + 3 * (100 - i));
        entry.Results = QString::number(qint64(n + 1) * (i + 1) * 131);
        entry.HasAds = (n + i) % 3 == 0;
    }
    return table;
}

bool WriteReportGeneration(const QString &reportFolder, int n)
{
    SuggestionTable table = ReportGeneration(n);
    ResultList list;
    return GetReport(table, Seed, ReportFolder(reportFolder), ReportFileName(Seed), list);
}

Settings SettingsGeneration(int n)
{
    Settings settings;
    settings.IntervalSetting = n % 2 ? 99 : 0;
    // The newest entry names the generation, so the main window shows which one it loaded.
    for (int i = 0; i < 1 + n % 40; ++i)
        settings.KeywordHistory << QStringLiteral("history %1 entry %2").arg(n).arg(i);
    if (n % 5 == 0)
        settings.KeywordHistory.first() = Seed;
    return settings;
}

// Helper mode: rewrites `kind` from generation `first` on until it is killed.
int WriteLoop(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString kind = QString::fromLocal8Bit(argv[2]);
    const ProgramPlaces places = PlacesIn(QString::fromLocal8Bit(argv[3]));
    const int first = QByteArray(argv[4]).toInt();
    SingleInstance instance(InstanceLockFolder(places.settings));
    if (instance.acquire() != InstanceCheck::Acquired) {
        std::printf("refused\n");
        return 1;
    }
    SettingsStore store(places.settings);
    std::printf("ready\n");
    std::fflush(stdout);
    for (int n = first;; ++n) {
        const bool ok = kind == QLatin1String("report")
            ? WriteReportGeneration(places.reportFolder, n)
            : store.SaveHistory(SettingsGeneration(n));
        std::printf(ok ? "wrote %d\n" : "failed %d\n", n);
        std::fflush(stdout);
    }
}

} // namespace

class tst_CrashKill final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void killedWriterLeavesEarlierOrWholeNewFile_data();
    void killedWriterLeavesEarlierOrWholeNewFile();

private:
    QByteArray reportBytes(int n);
    // Which generation the file on disk is, among the candidates; -1 for none.
    int reportOnDisk(const QString &path, const QList<int> &candidates);
    int settingsOnDisk(const SettingsLocation &location, const QList<int> &candidates);

    QTemporaryDir m_scratch;
    QMap<int, QByteArray> m_reportBytes;
    int m_kills = 0;
    int m_midWrite = 0;
};

void tst_CrashKill::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_scratch.isValid());
}

void tst_CrashKill::cleanupTestCase()
{
    qInfo("writers killed: %d, each restart found a whole file and started normally; %d found "
          "the generation the writer had committed but not yet announced",
          m_kills, m_midWrite);
}

// The bytes the report code writes for generation n, written once into a folder of their own.
QByteArray tst_CrashKill::reportBytes(int n)
{
    if (!m_reportBytes.contains(n)) {
        const QString folder = m_scratch.filePath(QString::number(n));
        if (!WriteReportGeneration(folder, n))
            qFatal("cannot write generation %d", n);
        m_reportBytes.insert(n, ReadAll(QDir(folder).filePath(ReportFileName(Seed))));
    }
    return m_reportBytes.value(n);
}

int tst_CrashKill::reportOnDisk(const QString &path, const QList<int> &candidates)
{
    const QByteArray bytes = ReadAll(path);
    for (const int n : candidates) {
        if (bytes == reportBytes(n))
            return n;
    }
    return -1;
}

int tst_CrashKill::settingsOnDisk(const SettingsLocation &location, const QList<int> &candidates)
{
    if (IniFileIsDamaged(location.path))
        return -1;
    Settings loaded;
    if (SettingsStore(location).LoadSettings(loaded) != LoadSettingsResult::Loaded)
        return -1;
    for (const int n : candidates) {
        const Settings expected = SettingsGeneration(n);
        if (loaded.IntervalSetting == expected.IntervalSetting
            && loaded.KeywordHistory == expected.KeywordHistory)
            return n;
    }
    return -1;
}

void tst_CrashKill::killedWriterLeavesEarlierOrWholeNewFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("kills");
    const int kills = 12;
    QTest::newRow("report rewrites") << QStringLiteral("report") << kills;
    QTest::newRow("settings rewrites") << QStringLiteral("settings") << kills;
}

void tst_CrashKill::killedWriterLeavesEarlierOrWholeNewFile()
{
    QFETCH(QString, kind);
    QFETCH(int, kills);
    const bool report = kind == QLatin1String("report");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ProgramUnderTest program(dir.path());
    const ProgramPlaces places = program.places();
    const QString reportPath = program.reportPath(ReportFileName(Seed));

    // Generation 0 of both, written whole before any writer runs.
    QVERIFY(SettingsStore(places.settings).SaveHistory(SettingsGeneration(0)));
    QVERIFY(WriteReportGeneration(places.reportFolder, 0));
    int onDisk = 0;

    QRandomGenerator random(report ? 0x5eed1 : 0x5eed2);
    for (int round = 0; round < kills; ++round) {
        QProcess writer;
        writer.start(
            QCoreApplication::applicationFilePath(),
            {QString::fromLatin1(WriteLoopOption), kind, dir.path(), QString::number(onDisk + 1)});
        QVERIFY(writer.waitForStarted(10000));
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readLine().trimmed(), QByteArray("ready"));
        QTest::qWait(int(random.bounded(5, 150)));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        ++m_kills;

        // The last generation the writer said it committed, and the one it was writing.
        int committed = onDisk;
        const QList<QByteArray> lines = writer.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            QVERIFY2(!line.startsWith("failed"), line.constData());
            if (line.startsWith("wrote "))
                committed = line.mid(6).toInt();
        }
        const QList<int> candidates {committed, committed + 1};
        const int found = report ? reportOnDisk(reportPath, candidates)
                                 : settingsOnDisk(places.settings, candidates);
        QVERIFY2(found >= 0,
                 qPrintable(QStringLiteral("round %1: the %2 is neither generation %3 nor %4")
                                .arg(round)
                                .arg(kind)
                                .arg(committed)
                                .arg(committed + 1)));
        if (found > committed)
            ++m_midWrite;
        onDisk = found;

        // The real start-up after the crash: the killed writer's lock does not stop it, nothing
        // is reported, and what it shows is what is on disk.
        QVERIFY2(program.start(), qPrintable(program.boxes.shown.join(u'\n')));
        QVERIFY(program.boxes.shown.isEmpty());
        QVERIFY(!program.program()->Store().writesRefused());
        if (report) {
            QCOMPARE(program.keywordBox()->currentText(), SettingsGeneration(0).KeywordHistory[0]);
            // The stored report of this month is shown without a run.
            program.enter(Seed);
            program.click("cmdSuggestion");
            QCOMPARE(program.window()->List().Rows.size(),
                     qsizetype(ReportGeneration(found).SuggestionCount));
            QVERIFY(!program.window()->Controller().RunUnderWay());
        } else {
            QCOMPARE(program.program()->CurrentSettings().KeywordHistory,
                     SettingsGeneration(found).KeywordHistory);
            QCOMPARE(program.keywordBox()->currentText(),
                     SettingsGeneration(found).KeywordHistory[0]);
        }
        program.stop();
        // Nothing was copied aside as damaged.
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}), QStringList());
    }
}

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], WriteLoopOption) == 0)
        return WriteLoop(argc, argv);
    QApplication app(argc, argv);
    tst_CrashKill test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashkill.moc"

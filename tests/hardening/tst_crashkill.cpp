// The program killed (SIGKILL) at random moments while it rewrites a report or its settings:
// every restart finds either the earlier file or the complete new one, and starts normally.
// With --write-loop this executable is the writer that gets killed: it holds the instance lock
// as the program does and rewrites one kind of file through the real code, one numbered
// generation after another, saying which one it has committed.

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
using namespace Qt::StringLiterals;
using namespace Quorvane::Hardening;

namespace {

const char *const WriteLoopOption = "--write-loop";
const QString Seed = u"crash test"_s;

// Generation n of the report: every figure depends on n, and the row count too, so that a
// file mixing two generations or cut short matches neither.
SuggestionTable reportGeneration(int n)
{
    SuggestionTable table;
    table.suggestionCount = qint16(40 + n % 61);
    for (int i = 0; i < table.suggestionCount; ++i) {
        Suggestion &entry = table.entries[std::size_t(i)];
        entry.keyword = u"%1 phrase %2"_s.arg(Seed).arg(i);
        entry.searches = QString::number(1000 + 7 * n + 3 * (100 - i));
        entry.results = QString::number(qint64(n + 1) * (i + 1) * 131);
        entry.hasAds = (n + i) % 3 == 0;
    }
    return table;
}

bool writeReportGeneration(const QString &reportFolder, int n)
{
    SuggestionTable table = reportGeneration(n);
    ResultList list;
    return writeReport(table, Seed, ReportFolder(reportFolder), reportFileName(Seed), list);
}

Settings settingsGeneration(int n)
{
    Settings settings;
    settings.intervalSetting = n % 2 ? 99 : 0;
    // The newest entry names the generation, so the main window shows which one it loaded.
    for (int i = 0; i < 1 + n % 40; ++i)
        settings.keywordHistory << u"history %1 entry %2"_s.arg(n).arg(i);
    if (n % 5 == 0)
        settings.keywordHistory.first() = Seed;
    return settings;
}

// Helper mode: rewrites `kind` from generation `first` on until it is killed.
int writeLoop(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString kind = QString::fromLocal8Bit(argv[2]);
    const ProgramPlaces places = ProgramUnderTest(QString::fromLocal8Bit(argv[3])).places();
    const int first = QByteArray(argv[4]).toInt();
    SingleInstance instance(instanceLockFolder(places.settings));
    if (instance.acquire() != InstanceCheck::Acquired) {
        std::printf("refused\n");
        return 1;
    }
    SettingsStore store(places.settings);
    std::printf("ready\n");
    std::fflush(stdout);
    for (int n = first;; ++n) {
        const bool ok = kind == QLatin1String("report")
            ? writeReportGeneration(places.reportFolder, n)
            : store.saveHistory(settingsGeneration(n));
        std::printf(ok ? "wrote %d\n" : "failed %d\n", n);
        std::fflush(stdout);
    }
}

} // namespace

class tst_CrashKill final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_scratch.isValid());
    }

    void cleanupTestCase()
    {
        qInfo("writers killed: %d, each restart found a whole file and started normally; %d found "
              "the generation the writer had committed but not yet announced",
              m_kills, m_midWrite);
    }

    void killedWriterLeavesEarlierOrWholeNewFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("report rewrites") << u"report"_s;
        QTest::newRow("settings rewrites") << u"settings"_s;
    }

    void killedWriterLeavesEarlierOrWholeNewFile()
    {
        QFETCH(QString, kind);
        constexpr int kills = 12; // of each kind
        const bool report = kind == QLatin1String("report");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProgramUnderTest program(dir.path());
        const ProgramPlaces places = program.places();
        const QString reportPath = program.reportPath(reportFileName(Seed));

        // Generation 0 of both, written whole before any writer runs.
        QVERIFY(SettingsStore(places.settings).saveHistory(settingsGeneration(0)));
        QVERIFY(writeReportGeneration(places.reportFolder, 0));
        int onDisk = 0;

        QRandomGenerator random(report ? 0x5eed1 : 0x5eed2);
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(),
                         {QString::fromLatin1(WriteLoopOption), kind, dir.path(),
                          QString::number(onDisk + 1)});
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
            auto is = [&](int n) {
                return report ? isReport(reportPath, n) : isSettings(places.settings, n);
            };
            const int found = is(committed) ? committed : is(committed + 1) ? committed + 1 : -1;
            QVERIFY2(found >= 0,
                     qPrintable(
                         u"round %1: neither generation %2 nor next"_s.arg(round).arg(committed)));
            m_midWrite += found > committed ? 1 : 0;
            onDisk = found;

            // The real start-up after the crash: the killed writer's lock does not stop it, nothing
            // is reported, and what it shows is what is on disk.
            QVERIFY2(program.start(), qPrintable(program.boxes.shown.join(u'\n')));
            QVERIFY(program.boxes.shown.isEmpty());
            QVERIFY(!program.program()->store().writesRefused());
            if (report) {
                QCOMPARE(program.keywordBox()->currentText(),
                         settingsGeneration(0).keywordHistory[0]);
                // The stored report of this month is shown without a run.
                program.enter(Seed);
                program.click("cmdSuggestion");
                QCOMPARE(program.window()->controller().results().list().rows.size(),
                         qsizetype(reportGeneration(found).suggestionCount));
                QVERIFY(!program.window()->controller().queue().running());
            } else {
                QCOMPARE(program.program()->currentSettings().keywordHistory,
                         settingsGeneration(found).keywordHistory);
                QCOMPARE(program.keywordBox()->currentText(),
                         settingsGeneration(found).keywordHistory[0]);
            }
            program.stop();
            // Nothing was copied aside as damaged.
            QCOMPARE(QDir(dir.path()).entryList({u"*.damaged-*"_s}), QStringList());
        }
    }

private:
    bool isReport(const QString &path, int n)
    {
        if (!m_reportBytes.contains(n)) {
            const QString folder = m_scratch.filePath(QString::number(n));
            if (!writeReportGeneration(folder, n))
                qFatal("cannot write generation %d", n);
            m_reportBytes.insert(n, readAll(QDir(folder).filePath(reportFileName(Seed))));
        }
        return readAll(path) == m_reportBytes.value(n);
    }

    static bool isSettings(const SettingsLocation &location, int n)
    {
        Settings loaded;
        const Settings expected = settingsGeneration(n);
        return !iniFileIsDamaged(location.path)
            && SettingsStore(location).loadSettings(loaded) == LoadSettingsResult::Loaded
            && loaded.intervalSetting == expected.intervalSetting
            && loaded.keywordHistory == expected.keywordHistory;
    }

    QTemporaryDir m_scratch;
    QMap<int, QByteArray> m_reportBytes;
    int m_kills = 0;
    int m_midWrite = 0;
};

// Whether the report on disk is generation n as the report code writes it (each generation
// written once into a folder of its own).

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], WriteLoopOption) == 0)
        return writeLoop(argc, argv);
    QApplication app(argc, argv);
    tst_CrashKill test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashkill.moc"

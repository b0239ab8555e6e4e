// The program killed (SIGKILL) at random moments while it rewrites a report or its settings:
// every restart finds the earlier file or the whole new one, and starts normally.

#include "hardening.h"
#include "singleinstance.h"
#include "startup.h"

#include <QRandomGenerator>

#include <cstdio>

namespace {

const QString Seed = u"crash test"_s;

// Every figure and the row count depend on n, so that a file mixing two generations or cut
// short matches neither.
bool writeReportGeneration(const QString &reportFolder, int n)
{
    SuggestionTable table;
    table.suggestionCount = qint16(40 + n % 61);
    for (int i = 0; i < table.suggestionCount; ++i)
        table.entries[std::size_t(i)] = {
            QString::number(1000 + 7 * n + 3 * (100 - i)), u"%1 phrase %2"_s.arg(Seed).arg(i),
            QString::number(qint64(n + 1) * (i + 1) * 131), (n + i) % 3 == 0};
    ResultList list;
    return writeReport(table, Seed, ReportFolder(reportFolder), reportFileName(Seed), list);
}

Settings settingsGeneration(int n)
{
    Settings settings;
    settings.intervalSetting = n % 2 ? Pacing::NoPause : Pacing::PauseAfterThreeRuns;
    // The newest entry names the generation the main window loaded.
    for (int i = 0; i < 1 + n % 40; ++i)
        settings.keywordHistory << u"history %1 entry %2"_s.arg(n).arg(i);
    if (n % 5 == 0)
        settings.keywordHistory.first() = Seed;
    return settings;
}

// Helper mode: holds the instance lock as the program does and rewrites "report" or "settings"
// from the given generation on, saying which one it committed, until it is killed.
int writeLoop(const QStringList &arguments)
{
    const ProgramPlaces places = ProgramUnderTest(arguments.value(1)).places();
    SingleInstance instance(instanceLockFolder(places.settings));
    if (instance.acquire() != InstanceCheck::Acquired)
        return 1;
    SettingsStore store(places.settings);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("ready\n");
    for (int n = arguments.value(2).toInt();; ++n) {
        const bool ok = arguments.value(0) == u"report"_s
            ? writeReportGeneration(places.reportFolder, n)
            : store.saveHistory(settingsGeneration(n));
        std::printf(ok ? "wrote %d\n" : "failed %d\n", n);
    }
}

} // namespace

class tst_CrashKill final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesEarlierOrWholeNewFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("report rewrites") << u"report"_s;
        QTest::newRow("settings rewrites") << u"settings"_s;
    }

    void killedWriterLeavesEarlierOrWholeNewFile()
    {
        QFETCH(QString, kind);
        const bool report = kind == u"report"_s;
        QTemporaryDir dir;
        ProgramUnderTest program(dir.path());
        const ProgramPlaces places = program.places();
        // Whether generation n is on disk; a report is compared with the report code's own bytes.
        const auto is = [&](int n) {
            Settings loaded;
            const QString folder = dir.filePath(u"generation %1"_s.arg(n));
            if (report)
                return writeReportGeneration(folder, n)
                    && readAll(program.reportPath(reportFileName(Seed)))
                    == readAll(QDir(folder).filePath(reportFileName(Seed)));
            return !iniFileIsDamaged(places.settings.path)
                && SettingsStore(places.settings).loadSettings(loaded) == LoadSettingsResult::Loaded
                && loaded.intervalSetting == settingsGeneration(n).intervalSetting
                && loaded.keywordHistory == settingsGeneration(n).keywordHistory;
        };
        QVERIFY(dir.isValid() && SettingsStore(places.settings).saveHistory(settingsGeneration(0)));
        QVERIFY(writeReportGeneration(places.reportFolder, 0));
        int onDisk = 0;
        QRandomGenerator random(report ? 0x5eed1 : 0x5eed2);
        for (int round = 0; round < 12; ++round) {
            QProcess writer;
            startHelper(writer, u"write-loop"_s, {kind, dir.path(), QString::number(onDisk + 1)});
            QVERIFY(writer.waitForStarted(10000) && writer.waitForReadyRead(10000));
            QCOMPARE(writer.readLine().trimmed(), QByteArray("ready"));
            QTest::qWait(int(random.bounded(5, 150)));
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            // On disk: the last generation the writer committed, or the one it was writing.
            int committed = onDisk;
            for (const QByteArray &line : writer.readAllStandardOutput().split('\n')) {
                QVERIFY2(!line.startsWith("failed"), line.constData());
                if (line.startsWith("wrote "))
                    committed = line.mid(6).toInt();
            }
            onDisk = is(committed) ? committed : is(committed + 1) ? committed + 1 : -1;
            QVERIFY2(onDisk >= 0,
                     qPrintable(u"round %1: neither %2 nor next"_s.arg(round).arg(committed)));

            // The killed writer's lock does not stop the start-up, which shows what is on disk.
            QVERIFY2(program.start(), qPrintable(program.boxes.shown.join(u'\n')));
            QVERIFY(program.boxes.shown.isEmpty());
            QVERIFY(!program.program()->store().writesRefused());
            const Settings shown = settingsGeneration(report ? 0 : onDisk);
            QCOMPARE(program.program()->currentSettings().keywordHistory, shown.keywordHistory);
            QCOMPARE(program.keywordBox()->currentText(), shown.keywordHistory[0]);
            if (report) {
                program.enter(Seed); // this month's stored report, shown without a run
                program.click("cmdSuggestion");
                QCOMPARE(program.window()->controller().results().list().rows.size(),
                         qsizetype(40 + onDisk % 61));
                QVERIFY(!program.window()->controller().queue().running());
            }
            program.stop();
            QCOMPARE(QDir(dir.path()).entryList({u"*.damaged-*"_s}), QStringList());
        }
    }
};

QUORVANE_TEST_MAIN(tst_CrashKill, QApplication, {{"write-loop", writeLoop}})
#include "tst_crashkill.moc"

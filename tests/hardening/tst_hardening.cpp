// The whole program against what can go wrong around it: network faults, being killed while it
// writes, a report folder in bad shape or a full disk, hostile keywords, and copies launched at
// the same moment. The user is told or the program carries on soundly, and nothing is lost.

#include "core/singleinstance.h"
#include "core/startup.h"
#include "results/plaintext.h"
#include "results/reportfile.h"
#include "tests/support/loopbackservices.h"
#include "tests/support/programharness.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Quorvane;
using namespace Quorvane::Harness;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;
using Ending = Quorvane::FetchQueue::Ending;

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

// Sanitizer builds run many times slower: smaller workloads, never skipped.
bool sanitized()
{
    return qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0;
}

// Every entry under folder (relative path -> bytes), a folder as "<folder>", so that a change
// of kind shows too. Only regular files are opened: a FIFO would block the read.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        files.insert(QDir(folder).relativeFilePath(path),
                     info.isDir()        ? QByteArrayLiteral("<folder>")
                         : info.isFile() ? readAll(path)
                                         : QByteArray());
    }
    return files;
}

const QString Seed = u"crash test"_s; // the killed writer's keyword
constexpr int Rows = 5; // of a hostile keyword's run
const QString FaultSeed = u"Fault Matrix"_s;
const QString FaultReport = u"fault_matrix.kwd"_s;
constexpr int FaultRows = 100;
constexpr int Pages = FaultRows + 2; // keyword database page, product page, one page per row
// Well under a sound page's time on a busy machine, yet past a drip's first byte (600 ms).
const int DeadlineMs = sanitized() ? 2000 : 800;
constexpr auto Pause = std::chrono::milliseconds(2);

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

enum Problem { FolderIsFile, ReportIsFolder, ReportIsFifo, DanglingLink, DiskFull };

// Room that runs out: a file size limit above a short settings file and below a report of ten
// rows (its signal ignored, so that the write itself fails).
class FullDisk
{
    Q_DISABLE_COPY_MOVE(FullDisk)

public:
    FullDisk() = default;
    ~FullDisk() { makeRoom(); }
    bool fill()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        const rlimit limited {1024, m_before.rlim_max};
        return m_limited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    bool makeRoom()
    {
        return !std::exchange(m_limited, false) || setrlimit(RLIMIT_FSIZE, &m_before) == 0;
    }

private:
    bool m_limited = false;
    rlimit m_before {};
};

} // namespace

Q_DECLARE_METATYPE(Problem)

class tst_Hardening final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The fault matrix's program: reports of earlier runs, which no later run may touch,
        // and a clean run's time, which bounds a faulty one's.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_services.start() && m_dir.isValid());
        m_services->setKeywordRowCount(FaultRows);
        m_program = std::make_unique<ProgramUnderTest>(m_dir.path());
        m_program->writeDontCare();
        QVERIFY(m_program->start(Pause));
        m_program->window()->controller().setRequestDeadline(DeadlineMs);
        for (const QString &keyword : {u"golf clubs"_s, u"chess"_s})
            QCOMPARE(m_program->suggest(keyword, 30000), Ending::Finished);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_program->suggest(FaultSeed, 30000), Ending::Finished);
        m_cleanMs = clock.elapsed();
    }
    void cleanupTestCase() { m_program.reset(); }

    // The program killed (SIGKILL) at random moments while it rewrites a report or its settings:
    // every restart finds the earlier file or the whole new one, and starts normally.
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
            QCOMPARE(program.program()->currentSettings().keywordHistory,
                     settingsGeneration(report ? 0 : onDisk).keywordHistory);
            if (report) {
                program.enter(Seed); // this month's stored report, shown without a run
                program.click("cmdSuggestion");
                QCOMPARE(program.window()->controller().results().list().rows.size(),
                         qsizetype(40 + onDisk % 61));
            }
            program.stop();
        }
    }

    // A file where the report folder should be, something that is not a report under a
    // report's name, a full disk: the user is told or the program falls back soundly; it never
    // hangs, and no report or earlier settings file is lost.
    void reportFolderInBadShapeLosesNothing_data()
    {
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<bool>("written"); // whether a run puts a real report in its place
        QTest::newRow("folder is a file") << Problem::FolderIsFile << false;
        QTest::newRow("report is a folder") << Problem::ReportIsFolder << false;
        QTest::newRow("report is a FIFO nobody writes") << Problem::ReportIsFifo << true;
        // Followed, as a user's own link to a report elsewhere would be.
        QTest::newRow("report is a dangling link") << Problem::DanglingLink << false;
        QTest::newRow("full disk") << Problem::DiskFull << false;
    }

    void reportFolderInBadShapeLosesNothing()
    {
        QFETCH(Problem, problem);
        QFETCH(bool, written);
        QTemporaryDir dir;
        std::optional<FullDisk> disk;
        ProgramUnderTest program(dir.path());
        program.writeDontCare();
        const QString folder = program.reportFolder();
        const QString golf = program.reportPath(u"golf.kwd"_s);
        const auto holdsWholeReport = [&] {
            const std::optional<StoredReport> stored = readReport(golf);
            return QFileInfo(golf).isFile() && !QFileInfo(golf).isSymLink() && stored
                && stored->rows == program.window()->controller().results().list().rows;
        };

        // An earlier report, then "golf" newest in the history, as after an earlier session.
        m_services->setKeywordRowCount(3);
        QVERIFY(program.start());
        QCOMPARE(program.suggest(u"chess"_s, 20000), Ending::Finished);
        program.stop();
        Settings settings;
        settings.intervalSetting = Pacing::NoPause;
        settings.keywordHistory = {u"golf"_s, u"chess"_s};
        QVERIFY(SettingsStore(program.places().settings).saveHistory(settings));
        // On a full disk, a settings file beside the reports too.
        const SettingsLocation spare = SettingsLocation::iniFile(golf + u".ini"_s);
        Settings grown = settings;
        for (int i = 0; i < 200; ++i)
            grown.keywordHistory << u"keyword number %1 of a longer history"_s.arg(i);
        switch (problem) {
        case Problem::FolderIsFile:
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(writeAll(folder, "not a folder"));
            break;
        case Problem::ReportIsFolder:
            QVERIFY(QDir().mkpath(golf));
            QVERIFY(writeAll(QDir(golf).filePath(u"keep.txt"_s), "kept"));
            break;
        case Problem::ReportIsFifo:
            QCOMPARE(::mkfifo(QFile::encodeName(golf).constData(), 0644), 0);
            break;
        case Problem::DanglingLink:
            QVERIFY(QFile::link(dir.filePath(u"gone/golf.kwd"_s), golf));
            break;
        case Problem::DiskFull:
            QVERIFY(SettingsStore(spare).saveHistory(settings));
            QVERIFY(disk.emplace().fill());
            break;
        }
        // A folder that is a file has no entries: its bytes count as the entry "".
        const auto folderNow = [&] {
            QMap<QString, QByteArray> now = snapshot(folder);
            now.insert(QString(), readAll(folder));
            return now;
        };
        const QMap<QString, QByteArray> before = folderNow();
        QMap<QString, QByteArray> others = before; // all but what stands under the report's name
        others.remove(u"golf.kwd"_s);

        QVERIFY(!disk || !SettingsStore(spare).saveHistory(grown));
        QVERIFY(program.start());
        QCOMPARE(program.keywordBox()->currentText(), u"golf"_s);
        QVERIFY(!program.button("cmdExportTXT")->isEnabled());

        // Either a real report takes the name, or the user is told and nothing else changes.
        m_services->setKeywordRowCount(10);
        QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
        QCOMPARE(program.window()->controller().results().list().rows.size(), 10);
        QMap<QString, QByteArray> after = folderNow();
        if (written) {
            QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
            QVERIFY(holdsWholeReport());
            after.remove(u"golf.kwd"_s);
        } else {
            QCOMPARE(program.boxes.shown.size(), 1);
            QVERIFY2(program.boxes.shown[0].startsWith(
                         u"warn: The report file \"golf.kwd\" could not be written"_s),
                     qPrintable(program.boxes.shown[0]));
        }
        QCOMPARE(after, written ? others : before);

        // Delete takes the history entry and a real report; whatever else stands there stays.
        program.boxes.shown.clear();
        program.enter(u"golf"_s);
        program.click("cmdDelete");
        QCOMPARE(program.boxes.shown.size(), 1);
        QCOMPARE(program.keywordBox()->itemText(0), u"chess"_s);
        QCOMPARE(folderNow(), written ? others : before);

        // With room again, the report is written whole and the grown settings saved.
        if (disk) {
            QVERIFY(disk->makeRoom());
            program.boxes.shown.clear();
            QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
            QVERIFY(holdsWholeReport());
            QVERIFY(SettingsStore(spare).saveHistory(grown));
            QVERIFY(readAll(spare.path).contains("keyword number 199"));
        }
    }

    // Hostile keywords: the run, its report, its reuse, the history and Delete all behave,
    // nothing is written outside the report folder, and the services receive what was typed,
    // with its line breaks, tabs and other control characters as spaces.
    void hostileKeywordGoesThroughEveryOperation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("path characters") << u"a/b\\c:d*e?f\"g<h>i|j"_s;
        QTest::newRow("parent folder") << u".."_s;
        QTest::newRow("climbing path") << u"../../outside/evil"_s;
        QTest::newRow("absolute path") << u"/tmp/quorvane-escape"_s;
        QTest::newRow("NUL inside") << u"golf"_s + QChar(0) + u"clubs"_s;
        QTest::newRow("ten thousand characters") << u"long keyword "_s.repeated(770).left(10000);
        QTest::newRow("right-to-left, its override, combining characters and emoji")
            << u"מועדוני גולף ملاعب invoice\u202Etxt e\u0301clair Z\u0351\u0327alg\u0303o ⛳ 🏌️‍♀️ 👨‍👩‍👧 🇬🇧"_s;
        QTest::newRow("device name") << u"CON"_s;
        QTest::newRow("address characters") << u"a&q=b#c%41+d e"_s;
        QTest::newRow("report header and control characters inside")
            << u"x,Total Searches=5\r\nKeyword=y\ttab\x01\x1b[31mred\x7f"_s;
        QTest::newRow("surrounding blanks") << u"  golf clubs  "_s;
        QTest::newRow("pasted with a line break and a tab") << u"golf\r\nclubs\tfor\u2028ladies"_s;
    }

    void hostileKeywordGoesThroughEveryOperation()
    {
        QFETCH(QString, typed);
        const QString keyword = keywordText(typed); // what the program takes as the keyword
        for (const QChar c : keyword)
            QVERIFY(c.category() != QChar::Other_Control && c != u'\u2028');
        QTemporaryDir dir;
        ProgramUnderTest program(dir.path());
        program.writeDontCare();
        QVERIFY(dir.isValid() && program.start());
        m_services->setKeywordRowCount(Rows);
        m_services->recordRequests();
        QCOMPARE(program.suggest(typed, 30000), Ending::Finished);
        QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
        QVERIFY(program.window()->controller().results().list().suggestionsCaption.startsWith(
            u"Keyword \""_s + keyword + u"\" searches "_s));
        const SuggestionTable &table = program.window()->controller().suggestionTable();
        QStringList sent {keyword}, received;
        for (int i = 0; i < Rows; ++i)
            sent << table.entries[std::size_t(i)].keyword;
        for (const SampleRequest &request : m_services->requests()) {
            if (request.hasPhrase)
                received << request.phrase;
        }
        QCOMPARE(received, sent);
        const QList<ListRow> rows = program.window()->controller().results().list().rows;

        // One report in the report folder, one line per row, and nothing written elsewhere.
        const QString name = reportFileName(keyword);
        QCOMPARE(filesIn(program.reportFolder()), QStringList {name});
        QCOMPARE(filesIn(dir.path()),
                 (QStringList {u"quorvane-instance.lock"_s, u"quorvane.ini"_s, u"report"_s}));
        const QByteArray bytes = TestSupport::readAll(program.reportPath(name));
        QCOMPARE(bytes.count("\r\n"), 3 + Rows);
        QVERIFY(QString::fromLocal8Bit(bytes.left(bytes.indexOf("\r\n")))
                    .startsWith(u"Keyword="_s + keyword + u",Total Searches="_s));

        // Reuse answers from the report, whose fixed fields drop a cut phrase's trailing blank.
        m_services->recordRequests();
        QSignalSpy ended(&program.window()->controller(), &RunController::runEnded);
        program.enter(typed);
        program.click("cmdSuggestion");
        QVERIFY(!ended.wait(100));
        QVERIFY(m_services->requests().isEmpty());
        QList<ListRow> stored = rows;
        for (ListRow &row : stored)
            for (QString &cell : row.cells)
                while (cell.endsWith(u' '))
                    cell.chop(1);
        QCOMPARE(program.window()->controller().results().list().rows, stored);

        // The history survives a restart exactly; Delete asks about the keyword as typed and
        // takes it and its report for good.
        program.stop();
        QVERIFY(program.start());
        QCOMPARE(program.program()->currentSettings().keywordHistory, QStringList {keyword});
        program.click("cmdDelete");
        QCOMPARE(program.boxes.shown,
                 QStringList {u"confirm: Are you sure you want to delete this keyword \""_s
                              + keyword + u"\" ?"_s});
        QCOMPARE(program.keywordBox()->count(), 0);
        program.stop();
        QCOMPARE(filesIn(program.reportFolder()), QStringList());
        Settings reloaded;
        QCOMPARE(SettingsStore(program.places().settings).loadSettings(reloaded),
                 LoadSettingsResult::Loaded);
        QVERIFY(reloaded.keywordHistory.isEmpty());
        QCOMPARE(filesIn(dir.path()), (QStringList {u"quorvane.ini"_s, u"report"_s}));
    }

    // Copies of the sample program launched at the same moment over the same settings and report
    // folder: exactly one shows its window, the others end at once, and the lock a killed
    // program leaves behind never keeps the next one from starting.
    void simultaneousLaunchesLeaveExactlyOneProgram()
    {
        QTemporaryDir dir, runtime; // runtime: the programs' private runtime folder
        QVERIFY(dir.isValid() && runtime.isValid());
        QVERIFY(QFile::setPermissions(runtime.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The program keeps its settings, lock and reports beside itself: a copy of its own.
        const QString copy = dir.filePath(u"quorvane-sample"_s);
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLE_PROGRAM), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));
        const QString lockPath = dir.filePath(u"quorvane-instance.lock"_s);
        const int rounds = sanitized() ? 25 : 50;

        for (int round = 0; round < rounds; ++round) {
            // Most winners are killed, leaving their lock for the next round; every tenth ends
            // itself, late enough that every other launch of the round has ended before it.
            const bool endsItself = round % 10 == 9;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
            environment.insert(u"QUORVANE_EXIT_AFTER_MS"_s, endsItself ? u"2500"_s : u"60000"_s);
            std::vector<std::unique_ptr<QProcess>> programs;
            for (int i = 0; i < 3 + round % 2; ++i) {
                programs.push_back(std::make_unique<QProcess>());
                programs.back()->setProcessEnvironment(environment);
                programs.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                programs.back()->start(copy, {});
            }
            const auto running = [&programs] {
                return std::count_if(programs.cbegin(), programs.cend(), [](const auto &program) {
                    return program->state() != QProcess::NotRunning;
                });
            };
            // The others end cleanly as soon as they meet the lock; the one left holds it.
            QTRY_VERIFY2_WITH_TIMEOUT(running() <= 1, qPrintable(u"round %1"_s.arg(round)), 20000);
            QCOMPARE(running(), 1);
            QProcess *winner = nullptr;
            for (const auto &program : programs) {
                if (program->state() != QProcess::NotRunning)
                    winner = program.get();
                else
                    QVERIFY(program->exitStatus() == QProcess::NormalExit && !program->exitCode());
            }
            qint64 holder = 0;
            QVERIFY(QLockFile(lockPath).getLockInfo(&holder, nullptr, nullptr));
            QCOMPARE(holder, winner->processId());
            if (!endsItself)
                winner->kill();
            QVERIFY(winner->waitForFinished(12500));
            QCOMPARE(winner->exitStatus() == QProcess::NormalExit && !winner->exitCode(),
                     endsItself);
            QCOMPARE(QFile::exists(lockPath), !endsItself);
        }
    }

    // Whole runs with every fault of the sample services at the first page (the keyword
    // database), page 51 and page 102 (the last result page): each run ends within its bound,
    // keeps every other page's figures, writes its report whole and leaves earlier reports.
    void faultyPageCostsOnlyThatPage_data()
    {
        QTest::addColumn<SampleFault>("fault");
        QTest::addColumn<int>("page");
        for (const int page : sanitized() ? QList<int> {1, Pages} : QList<int> {1, 51, Pages}) {
            for (const SampleFault fault : allSampleFaults())
                QTest::addRow("%s at page %d", qPrintable(sampleFaultName(fault)), page)
                    << fault << page;
        }
    }

    void faultyPageCostsOnlyThatPage()
    {
        QFETCH(SampleFault, fault);
        QFETCH(int, page);
        RunController &controller = m_program->window()->controller();
        m_services->setKeywordRowCount(FaultRows);
        // Without the last report, this run is not answered from it.
        const QString report = m_program->reportPath(FaultReport);
        QVERIFY(!QFile::exists(report) || QFile::remove(report));
        const QMap<QString, QByteArray> before = snapshot(m_program->reportFolder());
        m_program->boxes.shown.clear();

        SampleFaultPlan plan;
        plan.byRequest.insert(page, fault);
        m_services->setFaultPlan(plan);
        m_services->recordRequests();
        QSignalSpy completed(&controller, &RunController::requestEnded);
        QElapsedTimer clock;
        clock.start();
        const std::optional<Ending> ending =
            m_program->suggest(FaultSeed, int(Pages * (DeadlineMs + Pause.count()) + 5000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(ending, "the run did not end");
        QVERIFY(m_services->requests().value(page - 1).fault == fault);

        // Whether the faulty page itself arrives is the fetcher's own test. Here a lost keyword
        // page ends the run after two pages, a cut one shortens it, and one faulty page costs at
        // most one deadline more than a clean run.
        SuggestionTable got = controller.suggestionTable();
        const int listed = got.suggestionCount;
        const bool runGoesOn = page != 1 || *ending == Ending::Finished;
        const int pages = 2 + listed;
        QVERIFY2(elapsed <= std::min<qint64>(pages * (DeadlineMs + Pause.count()) + 5000,
                                             3 * m_cleanMs + DeadlineMs + 3000),
                 qPrintable(QString::number(elapsed)));

        // Nothing left outstanding (the client may keep one idle connection for its next page).
        QCOMPARE(completed.size(), pages);
        QTRY_COMPARE_WITH_TIMEOUT(m_services->answeringConnections(), 0, 5000);

        QMap<QString, QByteArray> after = snapshot(m_program->reportFolder());
        QCOMPARE(after.contains(FaultReport), runGoesOn);
        const QByteArray written = after.take(FaultReport);
        QCOMPARE(after, before);
        // A keyword page that never arrived whole is no verdict on the keyword: the run says the
        // source gave no answer instead of "No results found".
        const QList<SampleFault> answered {SampleFault::NotFound,  SampleFault::ServerError,
                                           SampleFault::Redirect,  SampleFault::Garbage,
                                           SampleFault::EmptyBody, SampleFault::BadChunkSize};
        const bool noAnswer = page == 1 && !answered.contains(fault);
        QCOMPARE(*ending,
                 runGoesOn      ? Ending::Finished
                     : noAnswer ? Ending::SourceFailed
                                : Ending::NothingFound);
        if (!runGoesOn) {
            QCOMPARE(m_program->boxes.shown.size(), 1);
            QVERIFY(m_program->boxes.shown[0].startsWith(
                noAnswer
                    ? u"warn: The keyword database of the classic pages gave no usable answer ("_s
                    : u"warn: No results found for \""_s + FaultSeed));
            return;
        }
        QVERIFY2(m_program->boxes.shown.isEmpty(), qPrintable(m_program->boxes.shown.join(u'\n')));

        // Every other page's figures as in the clean run: what the faulty page cost is filled in,
        // so that one comparison serves. A chunked page cut short may bring some of its figures.
        const QList<SampleSuggestion> sample = sampleSuggestions(FaultSeed, FaultRows);
        for (int i = listed; i < FaultRows; ++i)
            got.entries[std::size_t(i)] = expectedEntry(sample[i]);
        got.suggestionCount = FaultRows;
        const int lost = page - 3; // pages 3.. are the result pages of rows 0..
        if (lost >= 0) {
            Suggestion &row = got.entries[std::size_t(lost)];
            if (fault == SampleFault::ChunkedCut || (row.results.isEmpty() && !row.hasAds))
                row = expectedEntry(sample[lost]);
        }
        QCOMPARE(differenceFromSample(got, FaultSeed, FaultRows), QString());
        // The report is whole: a header of three lines and every row, each ended with CR LF.
        QCOMPARE(written.count("\r\n"), 3 + listed);
    }

private:
    LoopbackServices m_services;
    QTemporaryDir m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
    qint64 m_cleanMs = 0;
};

QUORVANE_TEST_MAIN(tst_Hardening, QApplication, {{"write-loop", writeLoop}})
#include "tst_hardening.moc"

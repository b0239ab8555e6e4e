// The report folder in bad shape: a file where the folder should be, something that is not a
// report under a report's name, a disk that is full. The program tells the user or falls back
// soundly; it never hangs or crashes, and no report is lost.

#include "hardening.h"
#include "reportfile.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Quorvane;
using namespace Qt::StringLiterals;
using namespace Quorvane::Hardening;
using Ending = FetchQueue::Ending;

namespace {

const QString NotWritten = u"warn: The report file \"golf.kwd\" could not be written"_s;

enum class Problem { FolderIsFile, ReportIsFolder, ReportIsFifo, ReportIsDanglingLink };
enum class Full { SmallFileSystem, FileSizeLimit };

// Room that runs out as on a full disk: a file system of 64 KiB mounted on the folder where the
// system permits it (root in CI), else a file size limit larger than the settings file and
// smaller than a report of ten rows (its signal ignored, so the write itself fails).
class FullDisk
{
public:
    FullDisk(Full kind, const QString &folder)
        : m_filler(QDir(folder).filePath(u"filler"_s))
    {
        QDir().mkpath(folder);
        if (kind == Full::SmallFileSystem && geteuid() == 0) {
            m_folder = folder;
            m_mounted =
                QProcess::execute(u"mount"_s,
                                  {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, folder})
                == 0;
        }
        if (kind == Full::SmallFileSystem && !m_mounted)
            qInfo("no file system can be mounted here; a file size limit stands in for it");
    }
    ~FullDisk()
    {
        makeRoom();
        if (m_mounted)
            QProcess::execute(u"umount"_s, {m_folder});
    }
    Q_DISABLE_COPY_MOVE(FullDisk)

    // Leaves `room` bytes free; true once the disk is full.
    bool fill(qint64 room)
    {
        if (!m_mounted) {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_before);
            rlimit limited = m_before;
            limited.rlim_cur = 1024;
            return m_limited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        }
        QFile filler(m_filler);
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'x');
        for (int i = 0; i < 1024; ++i) {
            if (filler.write(block) != block.size())
                return filler.resize(std::max<qint64>(0, filler.size() - room));
        }
        return false;
    }
    bool makeRoom()
    {
        if (m_limited) {
            m_limited = false;
            return setrlimit(RLIMIT_FSIZE, &m_before) == 0;
        }
        return !m_mounted || QFile::remove(m_filler);
    }

private:
    QString m_folder;
    QString m_filler;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_before {};
};

const char *const StartOption = "--start";

// Helper mode: the program's start-up in a process of its own, which has read nothing before;
// prints the history it shows, one entry a line, or "failed".
int startProgram(char **argv)
{
    ScriptedBoxes boxes;
    Program program({SettingsLocation::iniFile(QString::fromLocal8Bit(argv[2])),
                     QString::fromLocal8Bit(argv[3]), QString()},
                    boxes);
    if (program.start() != StartupOutcome::ShowMainWindow) {
        std::printf("failed\n");
        return 1;
    }
    for (const QString &entry : program.currentSettings().keywordHistory)
        std::printf("%s\n", entry.toUtf8().constData());
    return 0;
}

// The history the program shows when started over these places.
QStringList startedHistory(const ProgramPlaces &places)
{
    QProcess start;
    start.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(StartOption), places.settings.path, places.reportFolder});
    if (!start.waitForFinished(20000))
        return {u"no end"_s};
    QStringList lines = QString::fromUtf8(start.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Problem)
Q_DECLARE_METATYPE(Full)

class tst_ReportFolder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QVERIFY(m_services.start());
        overrideEndpoints(m_services.endpoints());
    }

    void cleanupTestCase()
    {
        m_program.reset();
        overrideEndpoints(std::nullopt);
    }

    void init()
    {
        m_program.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_program = std::make_unique<ProgramUnderTest>(m_dir->path());
        m_program->writeDontCare();
    }

    void notAReportUnderItsNameIsToldOrReplaced_data()
    {
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<bool>("written"); // whether a run puts a real report in its place
        QTest::newRow("folder is a file") << Problem::FolderIsFile << false;
        QTest::newRow("report is a folder") << Problem::ReportIsFolder << false;
        QTest::newRow("report is a FIFO nobody writes") << Problem::ReportIsFifo << true;
        // The link is followed, as a user's own link to a report elsewhere would be.
        QTest::newRow("report is a dangling link") << Problem::ReportIsDanglingLink << false;
    }

    void notAReportUnderItsNameIsToldOrReplaced()
    {
        QFETCH(Problem, problem);
        QFETCH(bool, written);
        ProgramUnderTest &program = *m_program;
        const QString folder = program.reportFolder();
        const QString golf = program.reportPath(u"golf.kwd"_s);

        // An earlier report, then "golf" newest in the history, as after an earlier session.
        m_services.setKeywordRowCount(3);
        QVERIFY(program.start());
        QCOMPARE(program.suggest(u"chess"_s, 20000), Ending::Finished);
        program.stop();
        {
            SettingsStore store(program.places().settings);
            Settings settings;
            settings.intervalSetting = 99;
            settings.keywordHistory = {u"golf"_s, u"chess"_s};
            QVERIFY(store.saveHistory(settings));
        }
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
        case Problem::ReportIsDanglingLink:
            QVERIFY(QFile::link(m_dir->filePath(u"gone/golf.kwd"_s), golf));
            break;
        }
        const QMap<QString, QByteArray> before = snapshot(folder);
        const QByteArray folderFile =
            problem == Problem::FolderIsFile ? readAll(folder) : QByteArray();

        QVERIFY(program.start());
        QCOMPARE(program.keywordBox()->currentText(), u"golf"_s);

        // What stands under the report's name is no report file: Export has nothing to open.
        QVERIFY(!program.button("cmdExportTXT")->isEnabled());
        program.click("cmdExportTXT");
        QVERIFY(!program.window()->exporter().lastViewer());

        // A run: either a real report takes the name, or the user is told and the rows stay.
        m_services.setKeywordRowCount(5);
        QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
        QCOMPARE(program.window()->controller().results().list().rows.size(), 5);
        QMap<QString, QByteArray> others = before; // all but what stands under the report's name
        others.remove(u"golf.kwd"_s);
        QMap<QString, QByteArray> after = snapshot(folder);
        if (written) {
            QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
            const std::optional<StoredReport> stored = readReport(golf);
            QVERIFY(stored);
            QCOMPARE(stored->rows, program.window()->controller().results().list().rows);
            QVERIFY(QFileInfo(golf).isFile() && !QFileInfo(golf).isSymLink());
            after.remove(u"golf.kwd"_s);
            QCOMPARE(after, others);
        } else {
            QCOMPARE(program.boxes.shown.size(), 1);
            QVERIFY2(program.boxes.shown.first().startsWith(NotWritten),
                     qPrintable(program.boxes.shown.first()));
            QCOMPARE(after, before);
        }
        QCOMPARE(program.keywordBox()->itemText(0), u"golf"_s);

        // Delete takes the history entry and a real report; whatever else stands there stays.
        program.boxes.shown.clear();
        program.enter(u"golf"_s);
        program.click("cmdDelete");
        QCOMPARE(program.boxes.shown.size(), 1);
        QCOMPARE(program.keywordBox()->count(), 1);
        QCOMPARE(program.keywordBox()->itemText(0), u"chess"_s);
        QVERIFY(!written || !QFileInfo::exists(golf));
        after = snapshot(folder);
        QCOMPARE(after, written ? others : before);
        if (problem == Problem::FolderIsFile)
            QCOMPARE(readAll(folder), folderFile);
        else
            QVERIFY(after.contains(u"chess.kwd"_s));
    }

    void fullDiskKeepsEveryReport_data()
    {
        QTest::addColumn<Full>("full");
        QTest::newRow("small file system") << Full::SmallFileSystem;
        QTest::newRow("file size limit") << Full::FileSizeLimit;
    }

    void fullDiskKeepsEveryReport()
    {
        QFETCH(Full, full);
        ProgramUnderTest &program = *m_program;
        const QString folder = program.reportFolder();
        FullDisk disk(full, folder);
        m_services.setKeywordRowCount(3);
        QVERIFY(program.start());
        QCOMPARE(program.suggest(u"chess"_s, 20000), Ending::Finished);
        QVERIFY(program.boxes.shown.isEmpty());
        QVERIFY(disk.fill(0));
        const QMap<QString, QByteArray> before = snapshot(folder);

        m_services.setKeywordRowCount(10);
        QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
        QCOMPARE(program.boxes.shown.size(), 1);
        QVERIFY2(program.boxes.shown.first().startsWith(NotWritten),
                 qPrintable(program.boxes.shown.first()));
        QCOMPARE(program.window()->controller().results().list().rows.size(), 10);
        // Nothing half-written is left, and the earlier report is as it was.
        QCOMPARE(snapshot(folder), before);
        QCOMPARE(program.keywordBox()->itemText(0), u"golf"_s);

        // Once there is room again, the same keyword runs again and its report is written whole.
        QVERIFY(disk.makeRoom());
        program.boxes.shown.clear();
        QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
        QVERIFY(program.boxes.shown.isEmpty());
        const std::optional<StoredReport> stored = readReport(program.reportPath(u"golf.kwd"_s));
        QVERIFY(stored);
        QCOMPARE(stored->rows, program.window()->controller().results().list().rows);
        QCOMPARE(readAll(program.reportPath(u"chess.kwd"_s)), before.value(u"chess.kwd"_s));
        program.stop();
    }

    void fullDiskKeepsTheEarlierSettings_data() { fullDiskKeepsEveryReport_data(); }

    void fullDiskKeepsTheEarlierSettings()
    {
        QFETCH(Full, full);
        m_program.reset();
        const QString folder = m_dir->filePath(u"settings"_s);
        FullDisk disk(full, folder);
        const ProgramPlaces places {
            SettingsLocation::iniFile(QDir(folder).filePath(u"quorvane.ini"_s)),
            m_dir->filePath(u"report"_s), QString()};
        Settings earlier;
        earlier.intervalSetting = 99;
        earlier.keywordHistory = {u"golf"_s, u"chess"_s};
        SettingsStore store(places.settings);
        QVERIFY(store.saveHistory(earlier));
        const QByteArray earlierBytes = readAll(places.settings.path);

        // A history that needs more room than there is; a mounted disk has room for its start.
        Settings grown = earlier;
        for (int i = 0; i < 200; ++i)
            grown.keywordHistory << u"keyword number %1 of a longer history"_s.arg(i);
        QVERIFY(disk.fill(4096));
        QVERIFY(!store.saveHistory(grown));
        QVERIFY(disk.makeRoom());
        // The earlier file is there as it was, with nothing left beside it.
        QCOMPARE(readAll(places.settings.path), earlierBytes);
        QCOMPARE(entries(folder), QStringList {u"quorvane.ini"_s});

        // The next start of the program shows the earlier history, and a later save has room again.
        QCOMPARE(startedHistory(places), earlier.keywordHistory);
        QVERIFY(store.saveHistory(grown));
        QCOMPARE(startedHistory(places), grown.keywordHistory);
    }

private:
    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], StartOption) == 0)
        return startProgram(argv);
    tst_ReportFolder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_reportfolder.moc"

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
using namespace Quorvane::Hardening;
using Ending = FetchQueueDriver::Ending;

namespace {

const QString NotWritten =
    QStringLiteral("warn: The report file \"golf.kwd\" could not be written");

enum class Problem { FolderIsFile, ReportIsFolder, ReportIsFifo, ReportIsDanglingLink };
enum class Full { SmallFileSystem, FileSizeLimit };

// Writes beyond a size fail as they do on a full disk; the signal that would end the process
// is ignored, so the write itself reports the failure. Undone when it goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit limited = m_before;
        limited.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { lift(); }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

    bool isSet() const { return m_set; }
    void lift()
    {
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_before);
        m_set = false;
    }

private:
    rlimit m_before {};
    bool m_set = false;
};

// A file system of 64 KiB mounted on folder, where the system permits it (root in CI).
class SmallMount
{
public:
    explicit SmallMount(const QString &folder)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        if (geteuid() == 0) {
            QProcess mount;
            mount.start(QStringLiteral("mount"),
                        {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                         QStringLiteral("size=64k"), QStringLiteral("tmpfs"), folder});
            m_mounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit
                && mount.exitCode() == 0;
        }
    }
    ~SmallMount()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_folder});
    }
    Q_DISABLE_COPY_MOVE(SmallMount)

    bool isMounted() const { return m_mounted; }

    // Fills what is left of it with one file, then gives `room` bytes back; true once a write
    // has failed for want of space.
    bool fill(const QString &fileName, qint64 room = 0) const
    {
        QFile filler(QDir(m_folder).filePath(fileName));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'x');
        for (int i = 0; i < 1024; ++i) {
            if (filler.write(block) != block.size())
                return filler.resize(std::max<qint64>(0, filler.size() - room));
        }
        return false;
    }

private:
    QString m_folder;
    bool m_mounted = false;
};

const char *const StartOption = "--start";

// Helper mode: the program's start-up in a process of its own, which has read nothing before;
// prints the history it shows, one entry a line, or "failed".
int StartProgram(char **argv)
{
    ScriptedBoxes boxes;
    Program program({SettingsLocation::iniFile(QString::fromLocal8Bit(argv[2])),
                     QString::fromLocal8Bit(argv[3]), QString()},
                    boxes);
    if (program.Start() != StartupOutcome::ShowMainWindow) {
        std::printf("failed\n");
        return 1;
    }
    for (const QString &entry : program.CurrentSettings().KeywordHistory)
        std::printf("%s\n", entry.toUtf8().constData());
    return 0;
}

// The history the program shows when started over these places.
QStringList StartedHistory(const ProgramPlaces &places)
{
    QProcess start;
    start.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(StartOption), places.settings.path, places.reportFolder});
    if (!start.waitForFinished(20000))
        return {QStringLiteral("no end")};
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
    void initTestCase();
    void cleanupTestCase();
    void init();

    void notAReportUnderItsNameIsToldOrReplaced_data();
    void notAReportUnderItsNameIsToldOrReplaced();
    void fullDiskKeepsEveryReport_data();
    void fullDiskKeepsEveryReport();
    void fullDiskKeepsTheEarlierSettings_data();
    void fullDiskKeepsTheEarlierSettings();

private:
    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
};

void tst_ReportFolder::initTestCase()
{
    QVERIFY(m_services.start());
    OverrideEndpoints(m_services.endpoints());
}

void tst_ReportFolder::cleanupTestCase()
{
    m_program.reset();
    OverrideEndpoints(std::nullopt);
}

void tst_ReportFolder::init()
{
    m_program.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_program = std::make_unique<ProgramUnderTest>(m_dir->path());
    m_program->writeDontCare();
}

void tst_ReportFolder::notAReportUnderItsNameIsToldOrReplaced_data()
{
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<bool>("written"); // whether a run puts a real report in its place
    QTest::newRow("folder is a file") << Problem::FolderIsFile << false;
    QTest::newRow("report is a folder") << Problem::ReportIsFolder << false;
    QTest::newRow("report is a FIFO nobody writes") << Problem::ReportIsFifo << true;
    // The link is followed, as a user's own link to a report elsewhere would be.
    QTest::newRow("report is a dangling link") << Problem::ReportIsDanglingLink << false;
}

void tst_ReportFolder::notAReportUnderItsNameIsToldOrReplaced()
{
    QFETCH(Problem, problem);
    QFETCH(bool, written);
    ProgramUnderTest &program = *m_program;
    const QString folder = program.reportFolder();
    const QString golf = program.reportPath(QStringLiteral("golf.kwd"));

    // An earlier report, then "golf" newest in the history, as after an earlier session.
    m_services.setKeywordRowCount(3);
    QVERIFY(program.start());
    QCOMPARE(program.suggest(QStringLiteral("chess"), 20000), Ending::Finished);
    program.stop();
    {
        SettingsStore store(program.places().settings);
        Settings settings;
        settings.IntervalSetting = 99;
        settings.KeywordHistory = {QStringLiteral("golf"), QStringLiteral("chess")};
        QVERIFY(store.SaveHistory(settings));
    }
    switch (problem) {
    case Problem::FolderIsFile:
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(WriteAll(folder, "not a folder"));
        break;
    case Problem::ReportIsFolder:
        QVERIFY(QDir().mkpath(golf));
        QVERIFY(WriteAll(QDir(golf).filePath(QStringLiteral("keep.txt")), "kept"));
        break;
    case Problem::ReportIsFifo:
        QCOMPARE(::mkfifo(QFile::encodeName(golf).constData(), 0644), 0);
        break;
    case Problem::ReportIsDanglingLink:
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("gone/golf.kwd")), golf));
        break;
    }
    const QMap<QString, QByteArray> before = Snapshot(folder);
    const QByteArray folderFile = problem == Problem::FolderIsFile ? ReadAll(folder) : QByteArray();

    QVERIFY(program.start());
    QCOMPARE(program.keywordBox()->currentText(), QStringLiteral("golf"));

    // Export of what stands under the report's name: the program's own viewer says it cannot
    // open it, and returns at once.
    program.click("cmdExportTXT");
    ReportViewer *viewer = program.window()->Exporter().lastViewer();
    QVERIFY(viewer);
    QVERIFY2(viewer->text().startsWith(QStringLiteral("Cannot open ")), qPrintable(viewer->text()));

    // A run: either a real report takes the name, or the user is told and the rows stay.
    m_services.setKeywordRowCount(5);
    QCOMPARE(program.suggest(QStringLiteral("golf"), 20000), Ending::Finished);
    QCOMPARE(program.window()->List().Rows.size(), 5);
    QMap<QString, QByteArray> after = Snapshot(folder);
    if (written) {
        QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
        const std::optional<StoredReport> stored = ReadReport(golf);
        QVERIFY(stored);
        QCOMPARE(stored->Rows, program.window()->List().Rows);
        QVERIFY(QFileInfo(golf).isFile() && !QFileInfo(golf).isSymLink());
        after.remove(QStringLiteral("golf.kwd"));
        QMap<QString, QByteArray> earlier = before;
        earlier.remove(QStringLiteral("golf.kwd"));
        QCOMPARE(after, earlier);
    } else {
        QCOMPARE(program.boxes.shown.size(), 1);
        QVERIFY2(program.boxes.shown.first().startsWith(NotWritten),
                 qPrintable(program.boxes.shown.first()));
        QCOMPARE(after, before);
    }
    QCOMPARE(program.keywordBox()->itemText(0), QStringLiteral("golf"));

    // Delete takes the history entry; whatever is not a report file stays as it was.
    program.boxes.shown.clear();
    program.enter(QStringLiteral("golf"));
    program.click("cmdDelete");
    QCOMPARE(program.boxes.shown.size(), 1);
    QCOMPARE(program.keywordBox()->count(), 1);
    QCOMPARE(program.keywordBox()->itemText(0), QStringLiteral("chess"));
    after = Snapshot(folder);
    if (written) {
        QVERIFY(!QFileInfo::exists(golf));
        QMap<QString, QByteArray> earlier = before;
        earlier.remove(QStringLiteral("golf.kwd"));
        QCOMPARE(after, earlier);
    } else {
        QCOMPARE(after, before);
    }
    if (problem == Problem::FolderIsFile)
        QCOMPARE(ReadAll(folder), folderFile);
    else
        QVERIFY(after.contains(QStringLiteral("chess.kwd")));
}

void tst_ReportFolder::fullDiskKeepsEveryReport_data()
{
    QTest::addColumn<Full>("full");
    QTest::newRow("small file system") << Full::SmallFileSystem;
    QTest::newRow("file size limit") << Full::FileSizeLimit;
}

void tst_ReportFolder::fullDiskKeepsEveryReport()
{
    QFETCH(Full, full);
    ProgramUnderTest &program = *m_program;
    const QString folder = program.reportFolder();

    std::unique_ptr<SmallMount> mount;
    if (full == Full::SmallFileSystem) {
        mount = std::make_unique<SmallMount>(folder);
        if (!mount->isMounted())
            qInfo("no file system can be mounted here; a file size limit stands in for it");
    }
    m_services.setKeywordRowCount(3);
    QVERIFY(program.start());
    QCOMPARE(program.suggest(QStringLiteral("chess"), 20000), Ending::Finished);
    QVERIFY(program.boxes.shown.isEmpty());

    std::unique_ptr<FileSizeLimit> limit;
    if (mount && mount->isMounted()) {
        QVERIFY(mount->fill(QStringLiteral("filler")));
    } else {
        // Larger than the settings file, smaller than a report of ten rows.
        limit = std::make_unique<FileSizeLimit>(1024);
        QVERIFY(limit->isSet());
    }
    const QMap<QString, QByteArray> before = Snapshot(folder);

    m_services.setKeywordRowCount(10);
    QCOMPARE(program.suggest(QStringLiteral("golf"), 20000), Ending::Finished);
    QCOMPARE(program.boxes.shown.size(), 1);
    QVERIFY2(program.boxes.shown.first().startsWith(NotWritten),
             qPrintable(program.boxes.shown.first()));
    QCOMPARE(program.window()->List().Rows.size(), 10);
    // Nothing half-written is left, and the earlier report is as it was.
    QCOMPARE(Snapshot(folder), before);
    QCOMPARE(program.keywordBox()->itemText(0), QStringLiteral("golf"));

    // Once there is room again, the same keyword runs again and its report is written whole.
    if (limit)
        limit->lift();
    else
        QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("filler"))));
    program.boxes.shown.clear();
    QCOMPARE(program.suggest(QStringLiteral("golf"), 20000), Ending::Finished);
    QVERIFY(program.boxes.shown.isEmpty());
    const std::optional<StoredReport> stored =
        ReadReport(program.reportPath(QStringLiteral("golf.kwd")));
    QVERIFY(stored);
    QCOMPARE(stored->Rows, program.window()->List().Rows);
    QCOMPARE(ReadAll(program.reportPath(QStringLiteral("chess.kwd"))),
             before.value(QStringLiteral("chess.kwd")));
    program.stop();
}

void tst_ReportFolder::fullDiskKeepsTheEarlierSettings_data()
{
    fullDiskKeepsEveryReport_data();
}

void tst_ReportFolder::fullDiskKeepsTheEarlierSettings()
{
    QFETCH(Full, full);
    m_program.reset();
    const QString folder = m_dir->filePath(QStringLiteral("settings"));
    std::unique_ptr<SmallMount> mount;
    if (full == Full::SmallFileSystem)
        mount = std::make_unique<SmallMount>(folder);
    QVERIFY(QDir().mkpath(folder));
    const ProgramPlaces places {
        SettingsLocation::iniFile(QDir(folder).filePath(QStringLiteral("quorvane.ini"))),
        m_dir->filePath(QStringLiteral("report")), QString()};
    Settings earlier;
    earlier.IntervalSetting = 99;
    earlier.KeywordHistory = {QStringLiteral("golf"), QStringLiteral("chess")};
    QVERIFY(SettingsStore(places.settings).SaveHistory(earlier));
    const QByteArray earlierBytes = ReadAll(places.settings.path);

    // A history that needs more room than there is.
    Settings grown = earlier;
    for (int i = 0; i < 200; ++i)
        grown.KeywordHistory << QStringLiteral("keyword number %1 of a longer history").arg(i);
    std::unique_ptr<FileSizeLimit> limit;
    if (mount && mount->isMounted()) {
        // Room for the start of the file, not for all of it.
        QVERIFY(mount->fill(QStringLiteral("filler"), 4096));
    } else {
        limit = std::make_unique<FileSizeLimit>(1024);
        QVERIFY(limit->isSet());
    }
    SettingsStore store(places.settings);
    QVERIFY(!store.SaveHistory(grown));
    if (limit)
        limit->lift();
    else
        QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("filler"))));
    // The earlier file is there as it was, with nothing left beside it.
    QCOMPARE(ReadAll(places.settings.path), earlierBytes);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList {QStringLiteral("quorvane.ini")});

    // The next start of the program shows the earlier history, and a later save has room again.
    QCOMPARE(StartedHistory(places), earlier.KeywordHistory);
    QVERIFY(store.SaveHistory(grown));
    QCOMPARE(StartedHistory(places), grown.KeywordHistory);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], StartOption) == 0)
        return StartProgram(argv);
    tst_ReportFolder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_reportfolder.moc"

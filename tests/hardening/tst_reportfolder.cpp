// The report folder in bad shape: a file where the folder should be, something that is not a
// report under a report's name, a disk that is full. The program tells the user or falls back
// soundly; it never hangs or crashes, and no report is lost.

#include "hardening.h"

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString NotWritten = u"warn: The report file \"golf.kwd\" could not be written"_s;

enum Problem { FolderIsFile, ReportIsFolder, ReportIsFifo, DanglingLink, DiskFull, SizeLimit };

// Room that runs out as on a full disk: a file system of 64 KiB mounted on the folder where the
// system permits it (root in CI), else a file size limit larger than the settings file and
// smaller than a report of ten rows (its signal ignored, so the write itself fails).
class FullDisk
{
    Q_DISABLE_COPY_MOVE(FullDisk)

public:
    FullDisk(bool mount, const QString &folder)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        m_mounted = mount && geteuid() == 0
            && QProcess::execute(u"mount"_s,
                                 {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, folder})
                == 0;
    }
    ~FullDisk()
    {
        makeRoom();
        if (m_mounted)
            QProcess::execute(u"umount"_s, {m_folder});
    }

    // Leaves `room` bytes free on a mounted file system; true once the disk is full.
    bool fill(qint64 room)
    {
        if (!m_mounted) {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_before);
            const rlimit limited {1024, m_before.rlim_max};
            return m_limited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        }
        QFile filler(QDir(m_folder).filePath(u"filler"_s));
        const QByteArray block(512, 'x');
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        while (filler.size() < 1024 * block.size() && filler.write(block) == block.size()) { }
        return filler.size() < 1024 * block.size()
            && filler.resize(std::max<qint64>(0, filler.size() - room));
    }
    bool makeRoom()
    {
        if (std::exchange(m_limited, false))
            return setrlimit(RLIMIT_FSIZE, &m_before) == 0;
        return !m_mounted || QFile::remove(QDir(m_folder).filePath(u"filler"_s));
    }

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_before {};
};

// Helper mode: the program's start-up over a settings file and a report folder in a process of
// its own, which has read nothing before; prints the history it shows, one entry a line.
int startProgram(const QStringList &arguments)
{
    ScriptedBoxes boxes;
    Program program({SettingsLocation::iniFile(arguments.value(0)), arguments.value(1), QString()},
                    boxes);
    if (program.start() != StartupOutcome::ShowMainWindow)
        return 1;
    for (const QString &entry : program.currentSettings().keywordHistory)
        std::printf("%s\n", entry.toUtf8().constData());
    return 0;
}

QStringList startedHistory(const ProgramPlaces &places)
{
    QProcess start;
    startHelper(start, u"start"_s, {places.settings.path, places.reportFolder});
    if (!start.waitForFinished(20000) || start.exitCode() != 0)
        return {u"no start"_s};
    return QString::fromUtf8(start.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

Q_DECLARE_METATYPE(Problem)

class tst_ReportFolder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase() { QVERIFY(m_services.start()); }

    void reportFolderInBadShapeLosesNoReport_data()
    {
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<bool>("written"); // whether a run puts a real report in its place
        QTest::newRow("folder is a file") << Problem::FolderIsFile << false;
        QTest::newRow("report is a folder") << Problem::ReportIsFolder << false;
        QTest::newRow("report is a FIFO nobody writes") << Problem::ReportIsFifo << true;
        // The link is followed, as a user's own link to a report elsewhere would be.
        QTest::newRow("report is a dangling link") << Problem::DanglingLink << false;
        QTest::newRow("full small file system") << Problem::DiskFull << false;
        QTest::newRow("file size limit") << Problem::SizeLimit << false;
    }

    void reportFolderInBadShapeLosesNoReport()
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
        if (problem >= Problem::DiskFull)
            disk.emplace(problem == Problem::DiskFull, folder);

        // An earlier report, then "golf" newest in the history, as after an earlier session.
        m_services->setKeywordRowCount(3);
        QVERIFY(program.start());
        QCOMPARE(program.suggest(u"chess"_s, 20000), Ending::Finished);
        program.stop();
        Settings settings;
        settings.intervalSetting = 99;
        settings.keywordHistory = {u"golf"_s, u"chess"_s};
        QVERIFY(SettingsStore(program.places().settings).saveHistory(settings));
        switch (problem) {
        case Problem::FolderIsFile:
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(TestSupport::writeAll(folder, "not a folder"));
            break;
        case Problem::ReportIsFolder:
            QVERIFY(QDir().mkpath(golf));
            QVERIFY(TestSupport::writeAll(QDir(golf).filePath(u"keep.txt"_s), "kept"));
            break;
        case Problem::ReportIsFifo:
            QCOMPARE(::mkfifo(QFile::encodeName(golf).constData(), 0644), 0);
            break;
        case Problem::DanglingLink:
            QVERIFY(QFile::link(dir.filePath(u"gone/golf.kwd"_s), golf));
            break;
        case Problem::DiskFull:
        case Problem::SizeLimit:
            QVERIFY(disk->fill(0));
            break;
        }
        // A folder that is a file has no entries: its bytes are compared on their own.
        const QMap<QString, QByteArray> before = snapshot(folder);
        QMap<QString, QByteArray> others = before; // all but what stands under the report's name
        others.remove(u"golf.kwd"_s);
        const QByteArray folderFile = TestSupport::readAll(folder);

        QVERIFY(program.start());
        QCOMPARE(program.keywordBox()->currentText(), u"golf"_s);

        // What stands under the report's name is no report file: Export has nothing to open.
        QVERIFY(!program.button("cmdExportTXT")->isEnabled());
        program.click("cmdExportTXT");
        QVERIFY(!program.window()->exporter().lastViewer());

        // A run: either a real report takes the name, or the user is told, nothing half-written
        // is left and the rows stay.
        m_services->setKeywordRowCount(10);
        QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
        QCOMPARE(program.window()->controller().results().list().rows.size(), 10);
        QMap<QString, QByteArray> after = snapshot(folder);
        if (written) {
            QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
            QVERIFY(holdsWholeReport());
            after.remove(u"golf.kwd"_s);
        } else {
            QCOMPARE(program.boxes.shown.size(), 1);
            QVERIFY2(program.boxes.shown[0].startsWith(NotWritten),
                     qPrintable(program.boxes.shown[0]));
        }
        QCOMPARE(after, written ? others : before);
        QCOMPARE(program.keywordBox()->itemText(0), u"golf"_s);

        // Delete takes the history entry and a real report; whatever else stands there stays.
        program.boxes.shown.clear();
        program.enter(u"golf"_s);
        program.click("cmdDelete");
        QCOMPARE(program.boxes.shown.size(), 1);
        QCOMPARE(program.keywordBox()->count(), 1);
        QCOMPARE(program.keywordBox()->itemText(0), u"chess"_s);
        QCOMPARE(snapshot(folder), written ? others : before);
        QCOMPARE(TestSupport::readAll(folder), folderFile);

        // Once there is room again, the same keyword runs again and its report is written whole.
        if (disk) {
            QVERIFY(disk->makeRoom());
            program.boxes.shown.clear();
            QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
            QVERIFY(program.boxes.shown.isEmpty());
            QVERIFY(holdsWholeReport());
            QCOMPARE(TestSupport::readAll(program.reportPath(u"chess.kwd"_s)),
                     before.value(u"chess.kwd"_s));
        }
    }

    void fullDiskKeepsTheEarlierSettings_data()
    {
        QTest::addColumn<bool>("mount");
        QTest::newRow("small file system") << true;
        QTest::newRow("file size limit") << false;
    }

    void fullDiskKeepsTheEarlierSettings()
    {
        QFETCH(bool, mount);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"settings"_s);
        FullDisk disk(mount, folder);
        const ProgramPlaces places {
            SettingsLocation::iniFile(QDir(folder).filePath(u"quorvane.ini"_s)),
            dir.filePath(u"report"_s), QString()};
        Settings earlier;
        earlier.intervalSetting = 99;
        earlier.keywordHistory = {u"golf"_s, u"chess"_s};
        SettingsStore store(places.settings);
        QVERIFY(store.saveHistory(earlier));
        const QByteArray earlierBytes = TestSupport::readAll(places.settings.path);

        // A history that needs more room than there is; a mounted disk has room for its start.
        Settings grown = earlier;
        for (int i = 0; i < 200; ++i)
            grown.keywordHistory << u"keyword number %1 of a longer history"_s.arg(i);
        QVERIFY(disk.fill(4096));
        QVERIFY(!store.saveHistory(grown));
        QVERIFY(disk.makeRoom());
        // The earlier file is there as it was, with nothing left beside it.
        QCOMPARE(TestSupport::readAll(places.settings.path), earlierBytes);
        QCOMPARE(filesIn(folder), QStringList {u"quorvane.ini"_s});

        // The next start of the program shows the earlier history, and a later save has room again.
        QCOMPARE(startedHistory(places), earlier.keywordHistory);
        QVERIFY(store.saveHistory(grown));
        QCOMPARE(startedHistory(places), grown.keywordHistory);
    }

private:
    LoopbackServices m_services;
};

QUORVANE_TEST_MAIN(tst_ReportFolder, QApplication, {{"start", startProgram}})
#include "tst_reportfolder.moc"

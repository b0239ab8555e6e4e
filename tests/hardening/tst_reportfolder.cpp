// The report folder in bad shape: a file where the folder should be, something that is not a
// report under a report's name, a full disk. The user is told or the program falls back
// soundly; it never hangs, and no report or earlier settings file is lost.

#include "hardening.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum Problem { FolderIsFile, ReportIsFolder, ReportIsFifo, DanglingLink, DiskFull, SizeLimit };

// Room that runs out: a 64 KiB file system mounted on the folder where the system permits it
// (root in CI), else a file size limit above a short settings file and below a report of ten
// rows (its signal ignored, so that the write itself fails).
class FullDisk
{
    Q_DISABLE_COPY_MOVE(FullDisk)

public:
    FullDisk(bool mount, const QString &folder)
        : m_folder(folder)
        , m_mounted(
              mount && geteuid() == 0 && QDir().mkpath(folder)
              && QProcess::execute(
                     u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s, u"tmpfs"_s, folder})
                  == 0)
    { }
    ~FullDisk()
    {
        makeRoom();
        if (m_mounted)
            QProcess::execute(u"umount"_s, {m_folder});
    }
    bool fill()
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
        return filler.size() < 1024 * block.size();
    }
    bool makeRoom()
    {
        if (std::exchange(m_limited, false))
            return setrlimit(RLIMIT_FSIZE, &m_before) == 0;
        return !m_mounted || QFile::remove(QDir(m_folder).filePath(u"filler"_s));
    }

private:
    QString m_folder;
    bool m_mounted;
    bool m_limited = false;
    rlimit m_before {};
};

} // namespace

Q_DECLARE_METATYPE(Problem)

class tst_ReportFolder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }

    void reportFolderInBadShapeLosesNothing_data()
    {
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<bool>("written"); // whether a run puts a real report in its place
        QTest::newRow("folder is a file") << Problem::FolderIsFile << false;
        QTest::newRow("report is a folder") << Problem::ReportIsFolder << false;
        QTest::newRow("report is a FIFO nobody writes") << Problem::ReportIsFifo << true;
        // Followed, as a user's own link to a report elsewhere would be.
        QTest::newRow("report is a dangling link") << Problem::DanglingLink << false;
        QTest::newRow("full small file system") << Problem::DiskFull << false;
        QTest::newRow("file size limit") << Problem::SizeLimit << false;
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
        if (problem >= Problem::DiskFull)
            disk.emplace(problem == Problem::DiskFull, folder);

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
        case Problem::SizeLimit:
            QVERIFY(SettingsStore(spare).saveHistory(settings));
            QVERIFY(disk->fill());
            break;
        }
        // A folder that is a file has no entries: its bytes count as the entry "".
        QMap<QString, QByteArray> before = snapshot(folder);
        before.insert(QString(), readAll(folder));
        QMap<QString, QByteArray> others = before; // all but what stands under the report's name
        others.remove(u"golf.kwd"_s);
        const auto folderNow = [&] {
            QMap<QString, QByteArray> now = snapshot(folder);
            now.insert(QString(), readAll(folder));
            return now;
        };

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
        QCOMPARE(program.keywordBox()->count(), 1);
        QCOMPARE(program.keywordBox()->itemText(0), u"chess"_s);
        QCOMPARE(folderNow(), written ? others : before);

        // With room again, the report is written whole and the grown settings saved.
        if (disk) {
            QVERIFY(disk->makeRoom());
            program.boxes.shown.clear();
            QCOMPARE(program.suggest(u"golf"_s, 20000), Ending::Finished);
            QVERIFY(program.boxes.shown.isEmpty());
            QVERIFY(holdsWholeReport());
            QCOMPARE(readAll(program.reportPath(u"chess.kwd"_s)), before.value(u"chess.kwd"_s));
            QVERIFY(SettingsStore(spare).saveHistory(grown));
            QVERIFY(readAll(spare.path).contains("keyword number 199"));
        }
    }

private:
    LoopbackServices m_services;
};

QTEST_MAIN(tst_ReportFolder)
#include "tst_reportfolder.moc"

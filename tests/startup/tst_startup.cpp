#include "singleinstance.h"
#include "startup.h"
#include "testfiles.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;
using ValueMap = QMap<QString, QString>;

Q_DECLARE_METATYPE(StartupOutcome)
Q_DECLARE_METATYPE(LoadSettingsResult)
Q_DECLARE_METATYPE(InstanceCheck)

namespace {

// Helper mode: a stand-in for a running program. It takes the lock, says what it got, and holds
// the lock until its standard input closes.
int holdLock(const QStringList &arguments)
{
    SingleInstance instance(arguments.value(0));
    const InstanceCheck check = instance.acquire();
    std::printf("%s\n", check == InstanceCheck::Acquired ? "held" : "refused");
    std::fflush(stdout);
    if (check != InstanceCheck::Acquired)
        return 1;
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, stdin)) { }
    return 0;
}

struct Launch
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QByteArray answer;
};

Launch startHolder(const QString &folder)
{
    Launch launch;
    startHelper(*launch.process, QStringLiteral("hold-lock"), {folder});
    if (launch.process->waitForStarted(10000) && launch.process->waitForReadyRead(10000))
        launch.answer = launch.process->readLine().trimmed();
    return launch;
}

} // namespace

class tst_Startup final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void startupFollowsTheStoredSettings_data()
    {
        QTest::addColumn<ValueMap>("stored");
        QTest::addColumn<StartupOutcome>("outcome");
        QTest::addColumn<LoadSettingsResult>("load");
        QTest::addColumn<QStringList>("history");

        QTest::newRow("first start") << ValueMap {} << StartupOutcome::ShowMainWindow
                                     << LoadSettingsResult::Loaded << QStringList {};
        QTest::newRow("history") << ValueMap {{"Interval", "99"},
                                              {"KeywordNum", "2"},
                                              {"Keyword1", "tennis"},
                                              {"Keyword2", "golf"}}
                                 << StartupOutcome::ShowMainWindow << LoadSettingsResult::Loaded
                                 << QStringList {"tennis", "golf"};
        QTest::newRow("count holding letters")
            << ValueMap {{"Interval", "0"}, {"KeywordNum", "abc"}} << StartupOutcome::SevereError
            << LoadSettingsResult::BadKeywordNum << QStringList {};
        QTest::newRow("interval missing")
            << ValueMap {{"KeywordNum", "0"}} << StartupOutcome::SevereError
            << LoadSettingsResult::BadInterval << QStringList {};
    }

    void startupFollowsTheStoredSettings()
    {
        QFETCH(ValueMap, stored);
        QFETCH(StartupOutcome, outcome);
        QFETCH(LoadSettingsResult, load);
        QFETCH(QStringList, history);

        QTemporaryDir dir;
        const SettingsLocation location = SettingsLocation::iniFile(dir.filePath("cfg/q.ini"));
        SettingsStore store(location);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            store.writeRegValue(SettingsKey, it.key(), it.value());
        SingleInstance instance(instanceLockFolder(location));
        Settings settings;
        qint16 pauseMinutesLeft = 3;

        const StartupResult result =
            runStartupSequence(store, instance, settings, pauseMinutesLeft);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.load, load);
        QCOMPARE(result.firstStart, stored.isEmpty());
        QCOMPARE(pauseMinutesLeft, qint16(30));
        QCOMPARE(settings.keywordHistory, history);
        QVERIFY(instance.isHeld());
        QCOMPARE(QFileInfo(instance.lockFileName()).absolutePath(), dir.filePath("cfg"));
        // A first start leaves the defaults; a failed load writes nothing back.
        QCOMPARE(store.readRegValue(SettingsKey, u"KeywordNum"_s),
                 stored.value(u"KeywordNum"_s, u"0"_s));
        QCOMPARE(store.readRegValue(SettingsKey, u"Interval"_s),
                 stored.isEmpty() ? u"0"_s : stored.value(u"Interval"_s));
    }

    void damagedFileIsCopiedBeforeTheFirstWrite()
    {
        QTemporaryDir dir;
        const QString fileName = dir.filePath("q.ini");
        // Qt reads the keys after the unclosed header but would drop the header line on a rewrite.
        const QByteArray damaged = "[Software\nQuorvane%201.2\\Keyword\\Interval=99\n"
                                   "Quorvane%201.2\\Keyword\\KeywordNum=1\n"
                                   "Quorvane%201.2\\Keyword\\Keyword1=golf\n";
        QVERIFY(writeAll(fileName, damaged));
        SettingsStore store(SettingsLocation::iniFile(fileName));
        SingleInstance instance(dir.path());
        Settings settings;
        qint16 pauseMinutesLeft = 0;

        const StartupResult result =
            runStartupSequence(store, instance, settings, pauseMinutesLeft);
        QCOMPARE(result.outcome, StartupOutcome::ShowMainWindow);
        QVERIFY(!result.firstStart);
        QCOMPARE(settings.keywordHistory, QStringList {u"golf"_s});
        QVERIFY(result.damagedSettingsCopy.startsWith(fileName + u".damaged-"_s));

        QCOMPARE(readAll(result.damagedSettingsCopy), damaged);
    }

    void otherProcessHoldsTheLockUntilItEnds_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("holder ends normally") << false;
        QTest::newRow("holder is killed") << true;
    }

    void otherProcessHoldsTheLockUntilItEnds()
    {
        QFETCH(bool, killed);
        QTemporaryDir dir;

        Launch holder = startHolder(dir.path());
        QCOMPARE(holder.answer, QByteArray("held"));

        // Another process and this one are both refused while the holder runs; this one's start
        // ends there, without writing any settings.
        Launch refused = startHolder(dir.path());
        QCOMPARE(refused.answer, QByteArray("refused"));
        QVERIFY(refused.process->waitForFinished(10000));
        SingleInstance here(dir.path());
        SettingsStore store(SettingsLocation::iniFile(dir.filePath("q.ini")));
        Settings settings;
        qint16 pauseMinutesLeft = 0;
        QCOMPARE(runStartupSequence(store, here, settings, pauseMinutesLeft).outcome,
                 StartupOutcome::AnotherInstance);
        QVERIFY(!here.isHeld());
        QVERIFY(!QFile::exists(dir.filePath("q.ini")));

        // A program runs for hours: an old lock of a live holder still refuses.
        {
            QFile lock(here.lockFileName());
            QVERIFY(lock.open(QIODevice::ReadWrite));
            QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        }
        QCOMPARE(here.acquire(), InstanceCheck::AnotherRunning);

        if (killed) {
            holder.process->kill();
            QVERIFY(holder.process->waitForFinished(10000));
            // The killed holder leaves its lock file behind: it is stale, not absent.
            QVERIFY(QFile::exists(here.lockFileName()));
        } else {
            holder.process->closeWriteChannel();
            QVERIFY(holder.process->waitForFinished(10000));
            QCOMPARE(holder.process->exitCode(), 0);
        }

        QCOMPARE(here.acquire(), InstanceCheck::Acquired);
        Launch after = startHolder(dir.path());
        QCOMPARE(after.answer, QByteArray("refused"));
        QVERIFY(after.process->waitForFinished(10000));
    }

    void unusableLockFolderDoesNotStopTheStart()
    {
        QTemporaryDir dir;
        // A file where the lock folder should be: the folder cannot be made.
        QFile blocker(dir.filePath("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        SingleInstance instance(dir.filePath("blocked/sub"));
        SettingsStore store(SettingsLocation::iniFile(dir.filePath("q.ini")));
        Settings settings;
        qint16 pauseMinutesLeft = 0;
        QCOMPARE(runStartupSequence(store, instance, settings, pauseMinutesLeft).outcome,
                 StartupOutcome::ShowMainWindow);
        QCOMPARE(instance.acquire(), InstanceCheck::Unavailable);
    }
};

QUORVANE_TEST_MAIN(tst_Startup, QCoreApplication, {{QStringLiteral("hold-lock"), holdLock}})

#include "tst_startup.moc"

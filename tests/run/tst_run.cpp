// Whole runs through the real controller, fetch queue and page fetcher against the sample
// services on loopback, and the pacing between runs. Most runs shorten the 0.2 s pause; one
// keeps it.

#include "loopbackservices.h"
#include "reportfile.h"
#include "runrecorder.h"
#include "samplepages.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

using namespace Quorvane;
using namespace Quorvane::Harness;
using Ending = FetchQueue::Ending;

Q_DECLARE_METATYPE(Quorvane::SampleFaultPlan)

namespace {

const QString StopMessage = QStringLiteral("You press the stop button !");
const QString CarefulStatus = QStringLiteral("Be careful not to visit database and Google "
                                             "frequently, otherwise you will be recognised as "
                                             "virus or spyware !");
const QString PauseMessage = QStringLiteral("Sit back and relax, only 30 minutes delay");

double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList numbers(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::number(i);
    return out;
}

} // namespace

class TestRun final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_services.start());
    }
    void init()
    {
        m_services->setFaultPlan({});
        m_services->clearRequests();
    }

    void hundredSuggestionRunFetchesEveryPageInOrderAfterRealPauses()
    {
        RunRecorder h(FetchQueue::DownloadPause);
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        h.press(QStringLiteral("Golf Clubs"));
        QCOMPARE(h.controller.state(), RunController::State::Fetching);
        QVERIFY(h.waitForEnd(1, 40000));
        const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
        const double cpuSeconds = processCpuSeconds() - cpuBefore;
        QCOMPARE(h.endings, QList {Ending::Finished});

        // Order, keys and addresses, as the queue issued them and as the server received them.
        const QList<SampleSuggestion> rows = sampleSuggestions(QStringLiteral("Golf Clubs"));
        QStringList expected {keywordDatabaseAddress(QStringLiteral("Golf Clubs")),
                              productPageAddress()};
        for (const SampleSuggestion &row : rows)
            expected << queryAddress(row.phrase);
        QCOMPARE(h.addresses, expected);
        QCOMPARE(h.entries("download "), numbers(0, 1) + numbers(0, 99));
        QCOMPARE(m_services->requests().size(), 102);
        QCOMPARE(h.completions, 102);

        // At least 0.2 s before every download on the monotonic clock; waiting costs no CPU.
        QCOMPARE(h.issueTimes.size(), 102);
        for (int i = 0; i < 102; ++i)
            QVERIFY2(h.issueTimes[i] - h.pauseStarts[i] >= 200'000'000,
                     qPrintable(QString::number(i)));
        QVERIFY2(wallSeconds >= 20.4 && wallSeconds < 30, qPrintable(QString::number(wallSeconds)));
        QVERIFY2(cpuSeconds < 0.2 * wallSeconds, qPrintable(QString::number(cpuSeconds)));

        // The bar: maximum 102, moved after the pause in the first phase and before it in the
        // second, reaching its maximum exactly, then 0.
        QStringList bar;
        for (int i = 0; i <= 102; ++i)
            bar << QStringLiteral("%1/102").arg(i);
        QCOMPARE(h.entries("progress "), bar + QStringList({"102/102", "0/102"}));
        QCOMPARE(h.from("pause").mid(0, 3),
                 (QStringList {"pause", "progress 1/102", "download 0"}));
        QCOMPARE(h.from("progress 3/102").mid(0, 3),
                 (QStringList {"progress 3/102", "pause", "download 0"}));

        // Every page reached its own entry, and the list and the report show them.
        const RunRecord &run = h.controller.record();
        QCOMPARE(
            TestSupport::differenceFromSample(run.suggestionTable, QStringLiteral("Golf Clubs")),
            QString());
        QCOMPARE(h.controller.results().rowCount(), 100);
        QCOMPARE(h.controller.results().queryAddress(99), expected.last());
        const std::optional<StoredReport> report =
            readReport(h.controller.reportFolder().filePath(QStringLiteral("golf_clubs.kwd")));
        QVERIFY(report);
        QCOMPARE(report->rows, h.controller.results().list().rows);

        // The finished ending, in its order.
        QCOMPARE(
            h.from("state Ended"),
            (QStringList {"state Ended", "progress 102/102", "progress 0/102",
                          "status " + CarefulStatus, "history", "keyword Golf Clubs", "buttons"}));
        QCOMPARE(h.settings.keywordHistory, QStringList {"Golf Clubs"});
        QCOMPARE(run.currentKeyword, QStringLiteral("Golf Clubs"));
        QCOMPARE(run.previousKeyword, QStringLiteral("earlier"));
        QCOMPARE(h.controller.pacing().runsSincePause(), 1);
        QCOMPARE(run.downloadsInFlight, 0);
        QVERIFY(!h.underWay());
    }

    void stopEndsTheRunAndCancelsTheOutstandingDownload_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<int>("downloads");
        QTest::newRow("armed, before the first tick") << "armed" << 1;
        QTest::newRow("during the first pause") << "first pause" << 1;
        QTest::newRow("as the 50th result page is issued") << "second phase" << 52;
        QTest::newRow("while a result page stalls") << "stall" << 13;
    }

    void stopEndsTheRunAndCancelsTheOutstandingDownload()
    {
        QFETCH(QString, when);
        QFETCH(int, downloads);
        const QString seed = QStringLiteral("stop test");
        RunRecorder h(when == QLatin1String("first pause") ? std::chrono::milliseconds(300)
                                                           : std::chrono::milliseconds(1));
        const auto pressAfter = [&](int ms) {
            QTimer::singleShot(ms, &h.controller, [&] { h.press(); });
        };
        const FetchQueue *queue = &h.controller.queue();
        if (when == QLatin1String("first pause"))
            QObject::connect(queue, &FetchQueue::pauseStarted, &h.controller,
                             [&] { pressAfter(50); });
        if (when == QLatin1String("stall"))
            m_services->setFaultPlan(
                {{}, {{sampleSuggestions(seed)[10].phrase, SampleFault::Stall}}});
        QObject::connect(queue, &FetchQueue::downloadIssued, &h.controller, [&] {
            if (when == QLatin1String("second phase") && h.addresses.size() == 52)
                h.press();
            if (when == QLatin1String("stall") && h.addresses.size() == 13)
                pressAfter(300);
        });
        h.press(seed);
        if (when == QLatin1String("armed"))
            h.press();
        QVERIFY(h.waitForEnd());

        QCOMPARE(h.endings, QList {Ending::Stopped});
        QCOMPARE(h.addresses.size(), downloads);
        QCOMPARE(h.completions, downloads);
        QCOMPARE(h.entries("status ").count(QStringLiteral("Canceled download")), 1);
        QCOMPARE(h.entries("warn "), QStringList {StopMessage});
        QVERIFY(h.log.contains(QStringLiteral("state Stopping")));
        QCOMPARE(
            h.from("warn " + StopMessage),
            (QStringList {"warn " + StopMessage, "state Ended",
                          "status Application is ready to accept another keyword suggestion !"}));
        QVERIFY(h.controller.results().list().rows.isEmpty());
        QVERIFY(QDir(h.folder.path()).isEmpty());
        QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
        QCOMPARE(h.controller.pacing().runsSincePause(), 0);
        QCOMPARE(h.controller.record().downloadsInFlight, 0);
        QVERIFY(h.controller.fetcher().pendingDownloads().isEmpty());
        QVERIFY(!h.underWay());
    }

    void pressWhileAStopIsCarriedOutIsIgnored()
    {
        RunRecorder h(std::chrono::milliseconds(300));
        QObject::connect(&h.controller.queue(), &FetchQueue::pauseStarted, &h.controller, [&] {
            h.press(); // Stop
            h.press(QStringLiteral("golf")); // Suggest again before the queue has noticed
        });
        h.press(QStringLiteral("golf"));
        QVERIFY(h.waitForEnd());
        QCOMPARE(h.endings, QList {Ending::Stopped});
        QCOMPARE(h.entries("state "),
                 (QStringList {"CheckingConnection", "Fetching", "Stopping", "Ended"}));
        QVERIFY(!h.underWay());
        h.press(QStringLiteral("golf"));
        QVERIFY(h.controller.runArmed());
    }

    void runWithoutRowsEndsWithNoResultsMessage_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<SampleFaultPlan>("plan");
        QTest::newRow("database lists no rows") << "nothing" << SampleFaultPlan {};
        // No page is parsed, so the flag keeps the "found" of the run before.
        QTest::newRow("both first-phase pages fail")
            << "golf"
            << SampleFaultPlan {{{1, SampleFault::NotFound}, {2, SampleFault::NotFound}}, {}};
    }

    void runWithoutRowsEndsWithNoResultsMessage()
    {
        QFETCH(QString, seed);
        QFETCH(SampleFaultPlan, plan);
        m_services->setFaultPlan(plan);
        RunRecorder h;
        QCOMPARE(h.run(seed), Ending::NothingFound);

        QCOMPARE(h.entries("download "), numbers(0, 1));
        const QString message = "No results found for \"" + seed
            + "\" or denied by database .\r\nTry another keyword and not to visit database "
              "frequently "
              "! ";
        QCOMPARE(h.from("state Ended"),
                 (QStringList {"state Ended", "progress 102/102", "progress 0/102",
                               "status " + CarefulStatus, "selectall", "warn " + message}));
        QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
        QCOMPARE(h.controller.pacing().runsSincePause(), 0);
        QVERIFY(h.settings.keywordHistory.isEmpty());
        QVERIFY(QDir(h.folder.path()).isEmpty());
    }

    void requestThatStartsNoRun_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("pausing");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty keyword") << "" << false << "warn Please enter keyword !";
        QTest::newRow("blanks only") << "  \t " << false << "warn Please enter keyword !";
        QTest::newRow("pause runs") << "Golf" << true << "inform " + PauseMessage;
    }

    // Neither needs the network; a report of this month is shown even offline or in a pause (the
    // window's tests).
    void requestThatStartsNoRun()
    {
        QFETCH(QString, keyword);
        QFETCH(bool, pausing);
        QFETCH(QString, message);
        RunRecorder h;
        for (int i = 0; pausing && i < Pacing::RunsBeforePause; ++i)
            h.controller.pacing().runFinished();
        h.onlineAnswers = {false, false, false, false};
        h.press(keyword);
        QCOMPARE(h.log, QStringList {message});
        QCOMPARE(h.onlineAsks, 0);
        QVERIFY(!h.underWay());
        QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
    }

    void onlineTestAsksFourTimesBeforeGivingUp_data()
    {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<int>("asks");
        QTest::addColumn<bool>("runs");
        QTest::newRow("online at once") << QList<bool> {true} << 1 << true;
        QTest::newRow("online at the third ask") << QList<bool> {false, false, true} << 3 << true;
        QTest::newRow("offline") << QList<bool> {false, false, false, false} << 4 << false;
    }

    void onlineTestAsksFourTimesBeforeGivingUp()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(int, asks);
        QFETCH(bool, runs);
        RunRecorder h;
        h.onlineAnswers = answers;
        QElapsedTimer clock;
        clock.start();
        h.press(QStringLiteral("golf"));
        if (h.controller.connectivity().pending())
            h.press(QStringLiteral("golf")); // ignored while the test runs
        QVERIFY(QTest::qWaitFor([&] { return !h.controller.connectivity().pending(); }, 3000));
        const qint64 ms = clock.elapsed();
        QCOMPARE(h.onlineAsks, asks);
        QVERIFY2(ms >= 200 * (asks - 1) && ms < 200 * (asks - 1) + 800,
                 qPrintable(QString::number(ms)));
        QCOMPARE(h.underWay(), runs);
        if (runs) {
            QCOMPARE(h.entries("state "), (QStringList {"CheckingConnection", "Fetching"}));
            QCOMPARE(h.controller.currentKeyword(), QStringLiteral("golf"));
            QCOMPARE(h.controller.record().pageQueue.value(0),
                     keywordDatabaseAddress(QStringLiteral("golf")));
        } else {
            QCOMPARE(h.log,
                     (QStringList {"state CheckingConnection", "state Idle",
                                   "warn You are not on internet !"}));
            QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
        }
    }

    void onlyFinishedRunsCountTowardsThePause()
    {
        RunRecorder h;
        QCOMPARE(h.run(QStringLiteral("one")), Ending::Finished);
        QCOMPARE(h.run(QStringLiteral("nothing")), Ending::NothingFound);
        h.press(QStringLiteral("stopped"));
        h.press();
        QVERIFY(h.waitForEnd(3));
        QCOMPARE(h.run(QStringLiteral("two")), Ending::Finished);
        QCOMPARE(h.controller.pacing().runsSincePause(), 2);
        QVERIFY(!h.controller.pacing().pausing());
        QCOMPARE(h.run(QStringLiteral("three")), Ending::Finished);
        QVERIFY(h.controller.pacing().pausing());
        QCOMPARE(h.last("status "), PauseMessage);

        h.controller.pacing().setMinuteTick(std::chrono::milliseconds(5));
        QVERIFY(QTest::qWaitFor([&] { return !h.controller.pacing().pausing(); }, 5000));
        QCOMPARE(h.log.mid(h.log.size() - 2),
                 (QStringList {"pauseended", "status Ready to accept another keyword suggestion"}));
        QCOMPARE(h.controller.pacing().minutesLeft(), Pacing::PauseMinutes);
        h.press(QStringLiteral("four"));
        QVERIFY(h.controller.runArmed());
    }

    void pacingPausesAfterThreeRunsUnlessDontCare()
    {
        Settings settings;
        Pacing pacing(settings, nullptr);
        // "Don't care" holds the count at three and never pauses.
        pacing.chooseInterval(Pacing::NoPause);
        for (int expected : {1, 2, 3, 3}) {
            QVERIFY(!pacing.runFinished());
            QCOMPARE(pacing.runsSincePause(), expected);
        }
        // Back to pauses: the next finished run pauses at once.
        pacing.chooseInterval(Pacing::PauseAfterThreeRuns);
        QVERIFY(pacing.runFinished());
        QCOMPARE(pacing.runsSincePause(), 0);
        // "Don't care" ends a pause under way and keeps the minutes it had left.
        pacing.setMinutesLeft(12);
        pacing.chooseInterval(Pacing::NoPause);
        QVERIFY(!pacing.pausing());
        QCOMPARE(pacing.minutesLeft(), 12);
        QCOMPARE(settings.intervalSetting, Pacing::NoPause);
        // The next pause ticks those minutes away; then the countdown is whole again.
        pacing.chooseInterval(Pacing::PauseAfterThreeRuns);
        pacing.setMinuteTick(std::chrono::milliseconds(2));
        QSignalSpy ended(&pacing, &Pacing::pauseEnded);
        QElapsedTimer clock;
        clock.start();
        for (int run = 0; run < Pacing::RunsBeforePause; ++run)
            pacing.runFinished();
        QVERIFY(pacing.pausing());
        QVERIFY(ended.wait(2000));
        QVERIFY(clock.elapsed() >= 12 * 2);
        QCOMPARE(pacing.minutesLeft(), Pacing::PauseMinutes);
    }

    void shutdownEndsARunSilently()
    {
        m_services->setFaultPlan({{}, {{QStringLiteral("golf"), SampleFault::Stall}}});
        RunRecorder h;
        h.press(QStringLiteral("golf"));
        QVERIFY(QTest::qWaitFor([&] { return !h.addresses.isEmpty(); }, 2000));
        h.controller.shutdown();
        QVERIFY(h.controller.fetcher().pendingDownloads().isEmpty());
        QCOMPARE(h.completions, 1);
        QTest::qWait(50);
        QVERIFY(h.endings.isEmpty());
        QVERIFY(h.entries("warn ").isEmpty());
        h.press(QStringLiteral("golf"));
        QVERIFY(!h.underWay());
    }

private:
    TestSupport::LoopbackServices m_services;
};

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"

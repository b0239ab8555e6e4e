// Whole runs through the real controller, driver and page fetcher against the sample services
// on loopback. Most runs shorten the 0.2 s pause; one keeps it.

#include "runharness.h"
#include "samplepages.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QLocale>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

using namespace Quorvane;
using Ending = FetchQueue::Ending;

Q_DECLARE_METATYPE(Quorvane::SampleFault)
Q_DECLARE_METATYPE(Quorvane::ReuseOutcome)
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

// Has the sample services build their 32 MiB gzip body now, once, rather than on their only
// thread while a run's shortened deadlines count down for the pages after the faulty one.
bool buildGzipBodyNow(const SampleServices &services)
{
    const QUrl address(services.faultAddress(SampleFault::GzipBomb));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(address.port()));
    if (!socket.waitForConnected(5000))
        return false;
    socket.write("GET " + address.path().toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return socket.waitForReadyRead(60000);
}

QString expectedResults(const QString &phrase)
{
    const qint64 count = sampleResultCount(phrase);
    return count >= 0 ? QString::number(count) : QString();
}

} // namespace

class TestRunController final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init()
    {
        m_services.setFaultPlan({});
        m_services.clearRequests();
    }
    void cleanupTestCase()
    {
        overrideEndpoints(std::nullopt);
        m_services.stop();
    }

    void hundredSuggestionRunFetchesEveryPageInOrderAfterRealPauses();
    void stopEndsTheRunAndCancelsTheOutstandingDownload_data();
    void stopEndsTheRunAndCancelsTheOutstandingDownload();
    void pressWhileAStopIsCarriedOutIsIgnored();
    void runWithoutRowsEndsWithNoResultsMessage_data();
    void runWithoutRowsEndsWithNoResultsMessage();
    void faultyPageEndsItsDownloadOnceAndTheRunGoesOn_data();
    void faultyPageEndsItsDownloadOnceAndTheRunGoesOn();
    void requestThatStartsNoRun_data();
    void requestThatStartsNoRun();
    void onlineTestAsksFourTimesBeforeGivingUp_data();
    void onlineTestAsksFourTimesBeforeGivingUp();
    void thirdFinishedRunStartsAPauseThatTicksAway();
    void dontCareKeepsTheCountAtThree();
    void pauseCutShortKeepsItsMinutes();
    void shutdownEndsARunSilently();

private:
    SampleServices m_services;
};

void TestRunController::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_services.start());
    overrideEndpoints(m_services.endpoints());
    QVERIFY(buildGzipBodyNow(m_services));
}

void TestRunController::hundredSuggestionRunFetchesEveryPageInOrderAfterRealPauses()
{
    RunHarness h(FetchQueue::DownloadPause);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    h.press(QStringLiteral("Golf Clubs"));
    QCOMPARE(h.view.caption, QStringLiteral("&Stop"));
    QVERIFY(h.waitForEnd(1, 40000));
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    QCOMPARE(h.endings, QList {Ending::Finished});

    // Order, keys and addresses, as the driver issued them and as the server received them.
    const QList<SampleSuggestion> rows = sampleSuggestions(QStringLiteral("Golf Clubs"));
    QStringList expected {keywordDatabaseAddress(QStringLiteral("Golf Clubs")),
                          productPageAddress()};
    for (const SampleSuggestion &row : rows)
        expected << queryAddress(row.phrase);
    QCOMPARE(h.addresses, expected);
    QCOMPARE(h.view.entries("download "), numbers(0, 1) + numbers(0, 99));
    QCOMPARE(m_services.requests().size(), 102);
    QCOMPARE(h.completions, 102);

    // At least 0.2 s before every download on the monotonic clock; waiting costs no CPU.
    QCOMPARE(h.issueTimes.size(), 102);
    for (int i = 0; i < 102; ++i)
        QVERIFY2(h.issueTimes[i] - h.pauseStarts[i] >= 200'000'000, qPrintable(QString::number(i)));
    QVERIFY2(wallSeconds >= 20.4 && wallSeconds < 30, qPrintable(QString::number(wallSeconds)));
    QVERIFY2(cpuSeconds < 0.2 * wallSeconds, qPrintable(QString::number(cpuSeconds)));

    // The bar: maximum 102, moved after the pause in the first phase and before it in the
    // second, reaching its maximum exactly, then 0.
    QCOMPARE(h.view.entries("maximum "), numbers(102, 102));
    QCOMPARE(h.view.entries("progress "), numbers(0, 102) + numbers(102, 102) + numbers(0, 0));
    const QStringList &log = h.view.log;
    QCOMPARE(log.mid(log.indexOf("pause"), 3), (QStringList {"pause", "progress 1", "download 0"}));
    QCOMPARE(log.mid(log.indexOf("progress 3"), 3),
             (QStringList {"progress 3", "pause", "download 0"}));

    // Every page reached its own entry.
    const RunState &state = h.controller.state();
    QCOMPARE(state.suggestionTable.suggestionCount, qint16(100));
    for (int i = 0; i < 100; ++i) {
        const Suggestion &entry = state.suggestionTable.entries[i];
        QCOMPARE(entry.keyword, rows[i].phrase);
        QCOMPARE(entry.results, expectedResults(rows[i].phrase));
        QCOMPARE(entry.hasAds, sampleHasAds(rows[i].phrase));
    }

    // The finished ending, in its order.
    QCOMPARE(h.view.caption, QStringLiteral("&Suggestion"));
    QCOMPARE(h.view.last("status "), CarefulStatus);
    QVERIFY(h.view.entries("warn ").isEmpty());
    QCOMPARE(h.view.reportRows, 100);
    QCOMPARE(log.mid(log.indexOf("getreport")),
             (QStringList {"getreport", "keyword golf clubs", "makeproject Golf Clubs",
                           "keyword Golf Clubs", "resultsshown 1", "buttons"}));
    QCOMPARE(state.reportFileName, QStringLiteral("golf_clubs.kwd"));
    QCOMPARE(state.currentKeyword, QStringLiteral("Golf Clubs"));
    QCOMPARE(state.previousKeyword, QStringLiteral("earlier"));
    QCOMPARE(state.runsSincePause, qint16(1));
    QCOMPARE(state.downloadsInFlight, 0);
    QVERIFY(!h.controller.runUnderWay());
}

void TestRunController::stopEndsTheRunAndCancelsTheOutstandingDownload_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<int>("downloads");
    QTest::newRow("armed, before the first tick") << "armed" << 1;
    QTest::newRow("during the first pause") << "first pause" << 1;
    QTest::newRow("as the 50th result page is issued") << "second phase" << 52;
    QTest::newRow("while a result page stalls") << "stall" << 13;
}

void TestRunController::stopEndsTheRunAndCancelsTheOutstandingDownload()
{
    QFETCH(QString, when);
    QFETCH(int, downloads);
    const QString seed = QStringLiteral("stop test");
    RunHarness h(when == QLatin1String("first pause") ? std::chrono::milliseconds(300)
                                                      : std::chrono::milliseconds(1));
    const auto pressAfter = [&](int ms) {
        QTimer::singleShot(ms, &h.controller, [&] { h.press(); });
    };
    const FetchQueue *driver = &h.controller.driver();
    if (when == QLatin1String("first pause"))
        QObject::connect(driver, &FetchQueue::pauseStarted, &h.controller, [&] { pressAfter(50); });
    if (when == QLatin1String("stall"))
        m_services.setFaultPlan({{}, {{sampleSuggestions(seed)[10].phrase, SampleFault::Stall}}});
    QObject::connect(driver, &FetchQueue::downloadIssued, &h.controller, [&] {
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
    QCOMPARE(h.view.entries("status ").count(QStringLiteral("Canceled download")), 1);
    QCOMPARE(h.view.entries("warn "), QStringList {StopMessage});
    const QStringList &log = h.view.log;
    QCOMPARE(log.mid(log.indexOf("warn " + StopMessage)),
             (QStringList {"warn " + StopMessage, "caption &Suggestion",
                           "status Application is ready to accept another keyword suggestion !"}));
    QVERIFY(log.contains(QStringLiteral("caption &Suggest")));
    QVERIFY(!log.contains(QStringLiteral("getreport")));
    const RunState &state = h.controller.state();
    QCOMPARE(state.currentKeyword, QStringLiteral("earlier"));
    QCOMPARE(state.runsSincePause, qint16(0));
    QCOMPARE(state.downloadsInFlight, 0);
    QVERIFY(h.controller.parseWeb().pendingDownloads().isEmpty());
    QVERIFY(!h.controller.runUnderWay());
}

void TestRunController::pressWhileAStopIsCarriedOutIsIgnored()
{
    RunHarness h(std::chrono::milliseconds(300));
    QObject::connect(&h.controller.driver(), &FetchQueue::pauseStarted, &h.controller, [&] {
        h.press(); // Stop
        h.press(); // Suggest again before the driver has noticed
    });
    h.press(QStringLiteral("golf"));
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.endings, QList {Ending::Stopped});
    QCOMPARE(h.view.entries("reuse ").size(), 1);
    QVERIFY(!h.controller.runUnderWay());
    h.press();
    QCOMPARE(h.view.entries("reuse ").size(), 2);
    QVERIFY(h.controller.runArmed());
}

void TestRunController::runWithoutRowsEndsWithNoResultsMessage_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<SampleFaultPlan>("plan");
    QTest::newRow("database lists no rows") << "nothing" << SampleFaultPlan {};
    // No page is parsed, so the flag keeps the "found" of the run before.
    QTest::newRow("both first-phase pages fail")
        << "golf" << SampleFaultPlan {{{1, SampleFault::NotFound}, {2, SampleFault::NotFound}}, {}};
}

void TestRunController::runWithoutRowsEndsWithNoResultsMessage()
{
    QFETCH(QString, seed);
    QFETCH(SampleFaultPlan, plan);
    m_services.setFaultPlan(plan);
    RunHarness h;
    QCOMPARE(h.run(seed), Ending::NothingFound);

    QCOMPARE(h.view.entries("download "), numbers(0, 1));
    QCOMPARE(h.view.entries("progress "), (QStringList {"0", "1", "2", "102", "0"}));
    const QStringList &log = h.view.log;
    const QString message = "No results found for \"" + seed
        + "\" or denied by database .\r\nTry another keyword and not to visit database frequently "
          "! ";
    QCOMPARE(log.mid(log.indexOf("caption &Suggestion")),
             (QStringList {"caption &Suggestion", "progress 102", "progress 0",
                           "status " + CarefulStatus, "selectall", "warn " + message}));
    QCOMPARE(h.controller.state().currentKeyword, QStringLiteral("earlier"));
    QCOMPARE(h.controller.state().runsSincePause, qint16(0));
}

void TestRunController::faultyPageEndsItsDownloadOnceAndTheRunGoesOn_data()
{
    QTest::addColumn<SampleFault>("fault");
    QTest::addColumn<bool>("onProductPage");
    for (SampleFault fault : allSampleFaults())
        QTest::addRow("%s", qPrintable(sampleFaultName(fault))) << fault << false;
    QTest::newRow("product page 500") << SampleFault::ServerError << true;
}

void TestRunController::faultyPageEndsItsDownloadOnceAndTheRunGoesOn()
{
    QFETCH(SampleFault, fault);
    QFETCH(bool, onProductPage);
    const QString seed = QStringLiteral("fault run");
    const QList<SampleSuggestion> rows = sampleSuggestions(seed);
    SampleFaultPlan plan;
    if (onProductPage)
        plan.byRequest.insert(2, fault);
    else
        plan.byPhrase.insert(rows[5].phrase, fault);
    m_services.setFaultPlan(plan);
    RunHarness h;
    // Sanitized builds run several times slower; the deadline grows with them so that only the
    // faulty page fails.
    h.controller.parseWeb().setDeadlineForTesting(
        qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0 ? 1200 : 400);
    QCOMPARE(h.run(seed), Ending::Finished);

    QCOMPARE(h.view.entries("download "), numbers(0, 1) + numbers(0, 99));
    QCOMPARE(h.completions, 102);
    QCOMPARE(h.view.reportRows, 100);
    const SuggestionTable &table = h.controller.state().suggestionTable;
    for (int i = 0; i < 100; ++i) {
        // Of faulty pages only a redirect still delivers its page; what the fetcher makes of
        // the rest is its own tests' matter.
        if (i != 5 || onProductPage || fault == SampleFault::Redirect)
            QCOMPARE(table.entries[i].results, expectedResults(rows[i].phrase));
    }
}

void TestRunController::requestThatStartsNoRun_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<ReuseOutcome>("reuse");
    QTest::addColumn<bool>("pausing");
    QTest::addColumn<QStringList>("expectedLog");
    const QStringList loaded {"reuse Golf", "resultsshown 1", "buttons", "makeproject Golf",
                              "keyword Golf"};
    QTest::newRow("empty keyword")
        << "" << ReuseOutcome::NoReport << false << QStringList {"warn Please enter keyword !"};
    QTest::newRow("report of this month during a pause")
        << "Golf" << ReuseOutcome::Loaded << true << loaded;
    QTest::newRow("reuse rule failed")
        << "Golf" << ReuseOutcome::Failed << false << QStringList {"reuse Golf"};
    QTest::newRow("pause runs") << "Golf" << ReuseOutcome::NoReport << true
                                << QStringList {"reuse Golf", "inform " + PauseMessage};
}

void TestRunController::requestThatStartsNoRun()
{
    QFETCH(QString, keyword);
    QFETCH(ReuseOutcome, reuse);
    QFETCH(bool, pausing);
    QFETCH(QStringList, expectedLog);
    RunHarness h;
    if (pausing) {
        QVERIFY(h.startPause());
        h.view.log.clear();
    }
    h.onlineAnswers = {false, false, false, false};
    h.onlineAsks = 0;
    h.view.reuseOutcome = reuse;
    h.controller.state().currentKeyword = QStringLiteral("earlier");
    h.press(keyword);
    QCOMPARE(h.view.log, expectedLog);
    QCOMPARE(h.onlineAsks, 0); // neither a reused report nor a refusal needs the network
    QVERIFY(!h.controller.runUnderWay());
    QCOMPARE(h.controller.state().currentKeyword,
             reuse == ReuseOutcome::Loaded ? keyword : QStringLiteral("earlier"));
}

void TestRunController::onlineTestAsksFourTimesBeforeGivingUp_data()
{
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<int>("asks");
    QTest::addColumn<bool>("runs");
    QTest::newRow("online at once") << QList<bool> {true} << 1 << true;
    QTest::newRow("online at the third ask") << QList<bool> {false, false, true} << 3 << true;
    QTest::newRow("offline") << QList<bool> {false, false, false, false} << 4 << false;
}

void TestRunController::onlineTestAsksFourTimesBeforeGivingUp()
{
    QFETCH(QList<bool>, answers);
    QFETCH(int, asks);
    QFETCH(bool, runs);
    RunHarness h;
    h.onlineAnswers = answers;
    QElapsedTimer clock;
    clock.start();
    h.press(QStringLiteral("golf"));
    if (h.controller.connectivity().pending())
        h.press(); // ignored while the test runs
    QVERIFY(QTest::qWaitFor([&] { return !h.controller.connectivity().pending(); }, 3000));
    const qint64 ms = clock.elapsed();
    QCOMPARE(h.onlineAsks, asks);
    QVERIFY2(ms >= 200 * (asks - 1) && ms < 200 * (asks - 1) + 800,
             qPrintable(QString::number(ms)));
    QCOMPARE(h.view.entries("reuse ").size(), 1);
    QCOMPARE(h.controller.runArmed() || h.controller.runUnderWay(), runs);
    if (runs) {
        QCOMPARE(h.view.caption, QStringLiteral("&Stop"));
        QCOMPARE(h.controller.state().currentKeyword, QStringLiteral("golf"));
        QCOMPARE(h.controller.state().pageQueue.value(0),
                 keywordDatabaseAddress(QStringLiteral("golf")));
    } else {
        QCOMPARE(h.view.log.mid(1),
                 (QStringList {"caption &Suggest", "warn You are not on internet !"}));
        QCOMPARE(h.controller.state().currentKeyword, QStringLiteral("earlier"));
    }
}

void TestRunController::thirdFinishedRunStartsAPauseThatTicksAway()
{
    RunHarness h;
    QCOMPARE(h.run(QStringLiteral("one")), Ending::Finished);
    QCOMPARE(h.run(QStringLiteral("nothing")), Ending::NothingFound);
    h.press(QStringLiteral("stopped"));
    h.press();
    QVERIFY(h.waitForEnd(3));
    QCOMPARE(h.run(QStringLiteral("two")), Ending::Finished);
    QCOMPARE(h.controller.state().runsSincePause, qint16(2)); // only finished runs count
    QVERIFY(!h.controller.pauseRunning());
    QCOMPARE(h.run(QStringLiteral("three")), Ending::Finished);
    QVERIFY(h.controller.pauseRunning());
    QCOMPARE(h.controller.state().runsSincePause, qint16(0));
    QCOMPARE(h.view.last("status "), PauseMessage);

    h.controller.setPauseTickInterval(std::chrono::milliseconds(5));
    QVERIFY(QTest::qWaitFor([&] { return !h.controller.pauseRunning(); }, 5000));
    QCOMPARE(h.view.last("status "), QStringLiteral("Ready to accept another keyword suggestion"));
    QCOMPARE(h.view.last("enabled "), QStringLiteral("1"));
    QCOMPARE(h.controller.state().pauseMinutesLeft, qint16(30));
    h.press(QStringLiteral("four"));
    QVERIFY(h.controller.runArmed());
}

void TestRunController::dontCareKeepsTheCountAtThree()
{
    RunHarness h;
    h.controller.setIntervalSetting(99);
    h.view.reportFails = true; // a report that cannot be built does not stop the ending
    const qint16 expected[] = {1, 2, 3, 3};
    for (qint16 count : expected) {
        QCOMPARE(h.run(QStringLiteral("Golf")), Ending::Finished);
        QCOMPARE(h.controller.state().runsSincePause, count);
        QVERIFY(!h.controller.pauseRunning());
    }
    QCOMPARE(h.view.log.mid(h.view.log.lastIndexOf(QStringLiteral("getreport"))),
             (QStringList {"getreport", "keyword golf", "makeproject Golf", "keyword Golf",
                           "resultsshown 1", "buttons"}));
    h.controller.chooseThirtyMinutes();
    QCOMPARE(h.run(QStringLiteral("golf")), Ending::Finished);
    QVERIFY(h.controller.pauseRunning());
}

void TestRunController::pauseCutShortKeepsItsMinutes()
{
    RunHarness h;
    QVERIFY(h.startPause());
    for (int tick = 0; tick < 18; ++tick)
        h.controller.pauseTick();
    h.controller.chooseDontCare();
    QVERIFY(!h.controller.pauseRunning());
    QCOMPARE(h.controller.state().pauseMinutesLeft, qint16(12));

    h.controller.chooseThirtyMinutes();
    for (int minutes : {12, 30}) {
        QVERIFY(h.startPause());
        for (int tick = 1; tick < minutes; ++tick)
            h.controller.pauseTick();
        QVERIFY(h.controller.pauseRunning());
        h.controller.pauseTick();
        QVERIFY(!h.controller.pauseRunning());
    }
}

void TestRunController::shutdownEndsARunSilently()
{
    m_services.setFaultPlan({{}, {{QStringLiteral("golf"), SampleFault::Stall}}});
    RunHarness h;
    h.press(QStringLiteral("golf"));
    QVERIFY(QTest::qWaitFor([&] { return !h.addresses.isEmpty(); }, 2000));
    h.controller.shutdown();
    QVERIFY(h.controller.parseWeb().pendingDownloads().isEmpty());
    QCOMPARE(h.completions, 1);
    QTest::qWait(50);
    QVERIFY(h.endings.isEmpty());
    QVERIFY(h.view.entries("warn ").isEmpty());
    h.press();
    QVERIFY(!h.controller.runUnderWay());
}

QTEST_GUILESS_MAIN(TestRunController)
#include "tst_runcontroller.moc"

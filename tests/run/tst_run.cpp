// Whole runs through the real controller, fetch queue and page fetcher against the loopback
// services, and the pacing between runs. Only the hundred-suggestion run keeps the 0.2 s pause.

#include "core/runcontroller.h"
#include "results/numbers.h"
#include "sources/serviceaddresses.h"
#include "store/settingsstore.h"
#include "tests/support/loopbackservices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <ctime>

using namespace Quorvane;
using namespace std::chrono_literals;
using Ending = FetchQueue::Ending;

Q_DECLARE_METATYPE(Quorvane::SampleFaultPlan)

namespace {

const QString Seed = QStringLiteral("stop test"); // of the runs that end without a report
const QString StopMessage = QStringLiteral("You press the stop button !");
const QString CarefulStatus = QStringLiteral("Be careful not to visit database and Google "
                                             "frequently, otherwise you will be recognised as "
                                             "virus or spyware !");

Settings historyOfOne(const QString &keyword)
{
    Settings settings;
    settings.keywordHistory = {keyword};
    return settings;
}

// A window-less, online run controller in its own report folder, logging what it shows in order.
// Its keyword before any run is "earlier", the history's first entry.
struct RunRecorder
{
    QTemporaryDir folder;
    Settings settings = historyOfOne(QStringLiteral("earlier"));
    RunController controller {ReportFolder(folder.path()), settings, nullptr};
    QStringList log;
    QStringList addresses;
    QElapsedTimer sincePause;
    QList<qint64> waits; // nanoseconds from each pause's start to the next download
    QList<Ending> endings;

    explicit RunRecorder(std::chrono::nanoseconds pause = 1ms)
    {
        controller.setOnlineProbe([] { return true; });
        controller.setDownloadPause(pause);
        RunController *c = &controller;
        const auto note = [this](const char *what) {
            return [this, what](const QString &value) {
                log << QLatin1String(what) + value;
            };
        };
        QObject::connect(c, &RunController::stateChanged, c, [this](RunController::State s) {
            log << QLatin1String("state ")
                    + QMetaEnum::fromType<RunController::State>().valueToKey(int(s));
        });
        QObject::connect(c, &RunController::statusChanged, c, note("status "));
        QObject::connect(c, &RunController::warning, c, note("warn "));
        QObject::connect(c, &RunController::information, c, note("inform "));
        QObject::connect(c, &RunController::keywordShown, c, note("keyword "));
        QObject::connect(c, &RunController::historyChanged, c, [this] { log << "history"; });
        QObject::connect(c, &RunController::keywordSelected, c, [this] { log << "selectall"; });
        QObject::connect(c, &RunController::reportButtonsEnabled, c, [this] { log << "buttons"; });
        QObject::connect(c, &RunController::pauseEnded, c, [this] { log << "pauseended"; });
        QObject::connect(c, &RunController::progressChanged, c, [this](int value, int maximum) {
            log << QStringLiteral("progress %1/%2").arg(value).arg(maximum);
        });
        QObject::connect(c, &RunController::pauseStarted, c, [this] {
            sincePause.start();
            log << QStringLiteral("pause");
        });
        QObject::connect(c, &RunController::requestIssued, c,
                         [this](const QString &url, const QString &key) {
                             waits << sincePause.nsecsElapsed();
                             addresses << url;
                             log << QStringLiteral("download ") + key;
                         });
        QObject::connect(c, &RunController::runEnded, c,
                         [this](Ending ending) { endings << ending; });
    }

    QStringList from(const QString &entry) const { return log.mid(log.indexOf(entry)); }

    void press(const QString &text = QString()) { controller.suggestPressed(text); }
    // A real event loop: qWaitFor sleeps between its looks and would slow every page down.
    bool waitForEnd(qsizetype count = 1, int timeoutMs = 20000)
    {
        QSignalSpy ended(&controller, &RunController::runEnded);
        while (endings.size() < count) {
            if (!ended.wait(timeoutMs))
                return false;
        }
        return true;
    }
    Ending run(const QString &text)
    {
        press(text);
        return waitForEnd(endings.size() + 1) ? endings.last() : Ending(-1);
    }
};

} // namespace

class tst_Run final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The list's cells follow this locale; the result pages' counts are English whatever it is.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_services.start());
    }
    void init() { m_services->setFaultPlan({}); }

    void hundredSuggestionRunFetchesEveryPageInOrderAfterRealPauses()
    {
        const QString seed = QStringLiteral("Golf Clubs");
        RunRecorder h(FetchQueue::DownloadPause);
        const std::clock_t cpuBefore = std::clock();
        QElapsedTimer wall;
        wall.start();
        h.press(seed);
        QVERIFY(h.waitForEnd(1, 40000));
        const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
        const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;

        QStringList expected {keywordDatabaseAddress(seed), productPageAddress()};
        for (const SampleSuggestion &row : sampleSuggestions(seed))
            expected << queryAddress(row.phrase);
        QCOMPARE(h.addresses, expected);

        // At least 0.2 s before every download on the monotonic clock; waiting costs no CPU.
        QCOMPARE(h.log.count(QStringLiteral("pause")), 102);
        for (qint64 wait : h.waits)
            QVERIFY2(wait >= 200'000'000, qPrintable(QString::number(wait)));
        QVERIFY2(wallSeconds >= 20.4 && wallSeconds < 30, qPrintable(QString::number(wallSeconds)));
        QVERIFY2(cpuSeconds < 0.2 * wallSeconds, qPrintable(QString::number(cpuSeconds)));

        // The bar: moved after the pause in the first phase, before it in the second; full, then 0.
        QStringList bar;
        for (int i = 0; i <= 102; ++i)
            bar << QStringLiteral("progress %1/102").arg(i);
        QCOMPARE(h.log.filter(QStringLiteral("progress ")),
                 bar + QStringList({"progress 102/102", "progress 0/102"}));
        QCOMPARE(h.from("pause").mid(0, 3),
                 (QStringList {"pause", "progress 1/102", "download 0"}));
        QCOMPARE(h.from("progress 3/102").mid(0, 3),
                 (QStringList {"progress 3/102", "pause", "download 0"}));

        // Every page reached its own entry, and the list shows them.
        QCOMPARE(TestSupport::differenceFromSample(h.controller.suggestionTable(), seed),
                 QString());
        QCOMPARE(h.controller.results().queryAddress(99), expected.last());
        QCOMPARE(
            h.from("status " + CarefulStatus),
            (QStringList {"status " + CarefulStatus, "history", "keyword Golf Clubs", "buttons"}));
    }

    // Stopped, or nothing found: the keyword before the run comes back, no report, no history.
    void runEndsWithoutAReport_data()
    {
        QTest::addColumn<QString>("stop"); // when Stop is pressed; empty: never
        QTest::addColumn<SampleFaultPlan>("plan");
        QTest::addColumn<int>("downloads");
        const SampleFaultPlan none;
        QTest::newRow("stop armed, before the first tick") << "armed" << none << 1;
        QTest::newRow("Suggest pressed while the stop is carried out")
            << "pause, then Suggest" << none << 1;
        QTest::newRow("stop as the 50th result page is issued") << "second phase" << none << 52;
        QTest::newRow("stop while a result page stalls")
            << "stall"
            << SampleFaultPlan {{}, {{sampleSuggestions(Seed)[10].phrase, SampleFault::Stall}}}
            << 13;
        // No page is parsed, so the flag keeps the "found" of the run before.
        QTest::newRow("both first-phase pages fail")
            << QString()
            << SampleFaultPlan {{{1, SampleFault::NotFound}, {2, SampleFault::NotFound}}, {}} << 2;
    }

    void runEndsWithoutAReport()
    {
        QFETCH(QString, stop);
        QFETCH(SampleFaultPlan, plan);
        QFETCH(int, downloads);
        m_services->setFaultPlan(plan);
        RunRecorder h(stop.contains(u"pause") ? 300ms : 1ms);
        const auto pressAfter = [&](int ms) {
            QTimer::singleShot(ms, &h.controller, [&] {
                h.press();
                if (stop == u"pause, then Suggest")
                    h.press(Seed); // before the queue has noticed the stop: ignored
            });
        };
        if (stop.contains(u"pause"))
            QObject::connect(&h.controller, &RunController::pauseStarted, &h.controller,
                             [&] { pressAfter(50); });
        QObject::connect(&h.controller, &RunController::requestIssued, &h.controller, [&] {
            if (stop == u"second phase" && h.addresses.size() == 52)
                h.press();
            if (stop == u"stall" && h.addresses.size() == 13)
                pressAfter(300);
        });
        h.press(Seed);
        if (stop == u"armed")
            h.press();
        QVERIFY(h.waitForEnd());

        const bool stopped = !stop.isEmpty();
        QCOMPARE(h.endings, QList {stopped ? Ending::Stopped : Ending::NothingFound});
        QCOMPARE(h.addresses.size(), downloads);
        QCOMPARE(h.log.contains(QStringLiteral("state Stopping")), stopped);
        const QString noResults = "No results found for \"" + Seed
            + "\" or denied by database .\r\nTry another keyword and not to visit database "
              "frequently ! ";
        const QStringList ending = stopped
            ? QStringList {"status Canceled download", "warn " + StopMessage, "state Ended",
                           "status Application is ready to accept another keyword suggestion !"}
            : QStringList {"state Ended",    "progress 102/102",
                           "progress 0/102", "status " + CarefulStatus,
                           "selectall",      "warn " + noResults};
        QCOMPARE(h.from(ending.first()), ending);
        QCOMPARE(h.log.filter(QStringLiteral("warn ")).size(), 1);
        QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
        QVERIFY(QDir(h.folder.path()).isEmpty());
        QVERIFY(!h.controller.requestsPending());
    }

    // A keyword database that gave no answer at all is no verdict on the keyword: the run says
    // the source did not answer and points to the sources instead of "No results found", and
    // writes, counts and keeps nothing, as that ending does.
    void keywordDatabaseWithoutAnswerIsToldAsSuch_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("why");
        QTest::newRow("refused connection") << "refused"
                                            << "the connection was refused";
        QTest::newRow("no answer before the deadline") << "stall"
                                                       << "the server did not answer in time";
        QTest::newRow("unknown host") << "unknown host" << QString();
    }

    void keywordDatabaseWithoutAnswerIsToldAsSuch()
    {
        QFETCH(QString, fault);
        QFETCH(QString, why);
        const ServiceEndpoints sample = m_services->endpoints();
        const auto restore = qScopeGuard([&] { overrideEndpoints(sample); });
        if (fault == u"unknown host") {
            ServiceEndpoints elsewhere = sample;
            elsewhere.keywordPrefix = QStringLiteral("http://keyword-database.invalid/?q=");
            overrideEndpoints(elsewhere);
        }
        m_services->setFaultPlan(
            {{{1, fault == u"refused" ? SampleFault::Refused : SampleFault::Stall}}, {}});
        if (fault == u"unknown host")
            m_services->setFaultPlan({});
        RunRecorder h;
        h.controller.setRequestDeadline(fault == u"stall" ? 300 : 5000);
        QCOMPARE(h.run(Seed), Ending::SourceFailed);

        const QStringList warnings = h.log.filter(QRegularExpression(QStringLiteral("^warn ")));
        QCOMPARE(warnings.size(), 1);
        const QString prefix = QStringLiteral("warn The keyword database of the classic pages gave "
                                              "no usable answer (");
        QVERIFY2(warnings.first().startsWith(prefix + why), qPrintable(warnings.first()));
        QVERIFY(
            warnings.first().endsWith(QStringLiteral("choose another source in the settings.")));
        QVERIFY(!warnings.first().contains(QStringLiteral("keyword-database.invalid")));
        // The product page is still asked for, as after any first page.
        QCOMPARE(h.addresses.size(), 2);
        QCOMPARE(h.controller.currentKeyword(), QStringLiteral("earlier"));
        QVERIFY(QDir(h.folder.path()).isEmpty());
        QCOMPARE(h.controller.history(), QStringList {"earlier"});
        QVERIFY(!h.controller.pacing().pausing() && h.controller.pacing().runsSincePause() == 0);
    }

    void onlineTestAsksFourTimesBeforeGivingUp_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<int>("asks");
        QTest::addColumn<QStringList>("shown"); // states and warnings
        const QStringList runs {"state CheckingConnection", "state Fetching"};
        const QList<bool> offline(4, false);
        QTest::newRow("online at once") << "golf" << QList<bool> {true} << 1 << runs;
        QTest::newRow("online at the third ask")
            << "golf" << QList<bool> {false, false, true} << 3 << runs;
        QTest::newRow("offline") << "golf" << offline << 4
                                 << QStringList {"state CheckingConnection", "state Idle",
                                                 "warn You are not on internet !"};
        QTest::newRow("blanks only, refused before any ask")
            << "  \t " << offline << 0 << QStringList {"warn Please enter keyword !"};
    }

    void onlineTestAsksFourTimesBeforeGivingUp()
    {
        QFETCH(QString, keyword);
        QFETCH(QList<bool>, answers);
        QFETCH(int, asks);
        QFETCH(QStringList, shown);
        RunRecorder h;
        int asked = 0;
        h.controller.setOnlineProbe([&] { return answers.value(asked++, true); });
        const auto checking = [&] {
            return h.controller.state() == RunController::State::CheckingConnection;
        };
        QElapsedTimer clock;
        clock.start();
        h.press(keyword);
        if (checking())
            h.press(keyword); // ignored while the test runs
        QVERIFY(QTest::qWaitFor([&] { return !checking(); }, 3000));
        const qint64 ms = clock.elapsed();
        const int pauses = 200 * std::max(asks - 1, 0);
        QVERIFY2(ms >= pauses && ms < pauses + 800, qPrintable(QString::number(ms)));
        QCOMPARE(asked, asks);
        QCOMPARE(h.log.filter(QRegularExpression(QStringLiteral("^(state|warn) "))), shown);
        const bool runs = shown.contains(QStringLiteral("state Fetching"));
        QCOMPARE(h.controller.currentKeyword(), runs ? keyword : QStringLiteral("earlier"));
    }

    // Stopped runs and runs without rows do not count; the third finished run refuses Suggest
    // until the pause's minutes have ticked away.
    void pacingPausesAfterThreeFinishedRuns()
    {
        RunRecorder h;
        QCOMPARE(h.run(QStringLiteral("one")), Ending::Finished);
        QCOMPARE(h.run(QStringLiteral("nothing")), Ending::NothingFound);
        h.press(QStringLiteral("stopped"));
        QCOMPARE(h.run(QString()), Ending::Stopped);
        QCOMPARE(h.run(QStringLiteral("two")), Ending::Finished);
        QVERIFY(!h.controller.pacing().pausing());
        QCOMPARE(h.run(QStringLiteral("three")), Ending::Finished);
        QCOMPARE(h.log.last(), "status Sit back and relax, only 30 minutes delay");
        h.press(QStringLiteral("four"));
        QCOMPARE(h.log.last(), "inform Sit back and relax, only 30 minutes delay");

        h.controller.setPauseMinuteTick(5ms);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QTest::qWaitFor([&] { return !h.controller.pacing().pausing(); }, 5000));
        QVERIFY(clock.elapsed() >= Pacing::PauseMinutes * 5);
        QCOMPARE(h.log.mid(h.log.size() - 2),
                 (QStringList {"pauseended", "status Ready to accept another keyword suggestion"}));
    }

    // "Don't care" ends the pause, keeps its minutes left and holds the count at three. Back to
    // pauses, the next run pauses at once, for those minutes; then 30 again.
    void dontCareKeepsAPausesMinutesForTheNext()
    {
        Settings settings;
        Pacing pacing(settings, nullptr);
        QSignalSpy ended(&pacing, &Pacing::pauseEnded);
        QVERIFY(!pacing.runFinished() && !pacing.runFinished() && pacing.runFinished());
        pacing.setMinutesLeft(12);
        QVERIFY(pacing.chooseInterval(Pacing::NoPause));
        QVERIFY(!pacing.pausing());
        QCOMPARE(pacing.minutesLeft(), 12);
        for (int run = 0; run <= Pacing::RunsBeforePause; ++run)
            QVERIFY(!pacing.runFinished());
        QCOMPARE(pacing.runsSincePause(), Pacing::RunsBeforePause);

        pacing.chooseInterval(Pacing::PauseAfterThreeRuns);
        pacing.setMinuteTick(5ms);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pacing.runFinished());
        QVERIFY(QTest::qWaitFor([&] { return !pacing.pausing(); }, 5000));
        QVERIFY(clock.elapsed() >= 12 * 5);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(pacing.minutesLeft(), Pacing::PauseMinutes);
    }

    // Under a comma-decimal locale the English result pages' counts, with one separator and
    // with two, are read whole: every row with a count gets its popularity per search, shown
    // the user's way, and the services keep no log nobody asked for.
    void countsAreReadWholeUnderAGermanLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto restore = qScopeGuard(
            [] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        const QString seed = QStringLiteral("darts");
        RunRecorder h;
        QCOMPARE(h.run(seed), Ending::Finished);
        const SuggestionTable &table = h.controller.suggestionTable();
        QCOMPARE(TestSupport::differenceFromSample(table, seed), QString());
        const QLocale german(QLocale::German, QLocale::Germany);
        const QList<ListRow> &rows = h.controller.results().list().rows;
        QCOMPARE(rows.size(), 100);
        int twoSeparators = 0;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QString &results = table.entries[std::size_t(i)].results;
            if (results.isEmpty())
                continue;
            twoSeparators += results.size() > 6;
            QCOMPARE(rows[i][ColumnPopularity], formatCount(results.toDouble(), german));
            const double ratio =
                results.toDouble() / table.entries[std::size_t(i)].searches.toDouble();
            QCOMPARE(rows[i][ColumnPopularityPerSearch],
                     std::trunc(ratio) > 999 ? formatThousands(ratio, german) : formatWhole(ratio));
        }
        QVERIFY(twoSeparators > 0);
        QVERIFY(m_services->requests().isEmpty());
    }

    // A damaged report of the keyword is not shown: the user is told, and the run replaces it.
    void damagedReportIsReplacedByARun()
    {
        RunRecorder h;
        const QString report = h.folder.filePath(QStringLiteral("golf.kwd"));
        QFile cut(report);
        QVERIFY(cut.open(QIODevice::WriteOnly)
                && cut.write("Keyword=golf,Total Searches=1\r\n\r\nID") > 0);
        cut.close();
        QCOMPARE(h.run(QStringLiteral("golf")), Ending::Finished);
        QCOMPARE(h.log.filter(QStringLiteral("warn ")),
                 QStringList {"warn " + damagedReportMessage(QStringLiteral("golf"))});
        QVERIFY(findReusableReport(ReportFolder(h.folder.path()), QStringLiteral("golf")));
    }

    void shutdownEndsARunSilently()
    {
        m_services->setFaultPlan({{}, {{QStringLiteral("golf"), SampleFault::Stall}}});
        RunRecorder h;
        h.press(QStringLiteral("golf"));
        QVERIFY(QTest::qWaitFor([&] { return !h.addresses.isEmpty(); }, 2000));
        h.controller.shutdown();
        QVERIFY(!h.controller.requestsPending());
        QTest::qWait(50);
        QVERIFY(h.endings.isEmpty());
        QVERIFY(h.log.filter(QStringLiteral("warn ")).isEmpty());
        h.press(QStringLiteral("golf"));
        QVERIFY(!h.controller.running());
    }

private:
    TestSupport::LoopbackServices m_services;
};

QTEST_GUILESS_MAIN(tst_Run)
#include "tst_run.moc"

// quorvane-cli as a user or a script runs it: the real binary on its sample services, with a
// settings file and a report folder of the test's own.

#include "core/reportlock.h"
#include "core/runcontroller.h"
#include "results/listexport.h"
#include "results/reportfile.h"
#include "sources/serviceaddresses.h"
#include "store/settingsstore.h"
#include "store/sourcesettings.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Quorvane;
using namespace Quorvane::TestSupport;

namespace {

const QString Seed = QStringLiteral("golf clubs");

// Five sample rows of "golf clubs", checked by hand: the total is 60,662; each share is the
// row's searches over it (37,074 / 60,662 = 61.1%); the ratio is popularity over searches,
// rounded (499,934,324 / 37,074 = 13,485); rows 2 and 3 have no count, so their ratio is 0.
const QByteArray Tsv =
    "ID\tSuggestions\tSearches/mo.\tPercent\tSum\tPopularity\tPopularity/Search\tAd\n"
    "1\tgolf clubs\t37,074\t61.1%\t61.1%\t499,934,324\t13,485\t\n"
    "2\tgolf clubs for sale\t22,746\t37.5%\t98.6%\t\t0\t\n"
    "3\tgolf clubs reviews\t400\t0.7%\t99.3%\t\t0\tY\n"
    "4\tcheap golf clubs\t240\t0.4%\t99.7%\t983,869,856\t4,099,458\t\n"
    "5\tbest golf clubs\t202\t0.3%\t100.0%\t9,011,564\t44,612\t\n";

const QByteArray Table =
    "Keyword \"golf clubs\",searches 60,662 (top 5 only)\n"
    "ID  Suggestions          Searches/mo.  Percent     Sum   Popularity  Popularity/Search  Ad\n"
    "1   golf clubs                 37,074    61.1%   61.1%  499,934,324             13,485\n"
    "2   golf clubs for sale        22,746    37.5%   98.6%                               0\n"
    "3   golf clubs reviews            400     0.7%   99.3%                               0   Y\n"
    "4   cheap golf clubs              240     0.4%   99.7%  983,869,856          4,099,458\n"
    "5   best golf clubs               202     0.3%  100.0%    9,011,564             44,612\n";

const QByteArray Csv =
    "\xEF\xBB\xBFID,Suggestions,Searches/mo.,Percent,Sum,Popularity,Popularity/"
    "Search,Ad,Address\r\n"
    "1,golf clubs,37074,61.1,61.1,499934324,13485,,"
    "https://www.google.com/search?hl=en&num=10&q=golf+clubs&btnG=Search\r\n"
    "2,golf clubs for sale,22746,37.5,98.6,,0,,"
    "https://www.google.com/search?hl=en&num=10&q=golf+clubs+for+sale&btnG=Search\r\n"
    "3,golf clubs reviews,400,0.7,99.3,,0,Y,"
    "https://www.google.com/search?hl=en&num=10&q=golf+clubs+reviews&btnG=Search\r\n"
    "4,cheap golf clubs,240,0.4,99.7,983869856,4099458,,"
    "https://www.google.com/search?hl=en&num=10&q=cheap+golf+clubs&btnG=Search\r\n"
    "5,best golf clubs,202,0.3,100.0,9011564,44612,,"
    "https://www.google.com/search?hl=en&num=10&q=best+golf+clubs&btnG=Search\r\n";

const QByteArray Json =
    "{\"date\":\"%DATE%\",\"keyword\":\"golf clubs\",\"rows\":["
    "{\"ad\":false,\"id\":1,\"percent\":61.1,\"phrase\":\"golf clubs\",\"popularity\":499934324,"
    "\"popularityPerSearch\":13485,\"searches\":37074,\"sum\":61.1},"
    "{\"ad\":false,\"id\":2,\"percent\":37.5,\"phrase\":\"golf clubs for "
    "sale\",\"popularity\":null,"
    "\"popularityPerSearch\":0,\"searches\":22746,\"sum\":98.6},"
    "{\"ad\":true,\"id\":3,\"percent\":0.7,\"phrase\":\"golf clubs reviews\",\"popularity\":null,"
    "\"popularityPerSearch\":0,\"searches\":400,\"sum\":99.3},"
    "{\"ad\":false,\"id\":4,\"percent\":0.4,\"phrase\":\"cheap golf "
    "clubs\",\"popularity\":983869856,"
    "\"popularityPerSearch\":4099458,\"searches\":240,\"sum\":99.7},"
    "{\"ad\":false,\"id\":5,\"percent\":0.3,\"phrase\":\"best golf clubs\",\"popularity\":9011564,"
    "\"popularityPerSearch\":44612,\"searches\":202,\"sum\":100}],"
    "\"source\":\"classic\",\"totalSearches\":60662}\n";

// The report's fixed fields: ID 5, Suggestions 65, then 13, 8, 8, 13, 18, and "Ad".
QByteArray reportLine(const QList<QByteArray> &cells)
{
    const int widths[] = {5, 65, 13, 8, 8, 13, 18};
    QByteArray line;
    for (qsizetype i = 0; i < cells.size(); ++i)
        line += i < 7 ? cells[i].leftJustified(widths[i], ' ') : cells[i];
    return line + "\r\n";
}

QByteArray expectedReport()
{
    return "Keyword=golf clubs,Total Searches=60,662\r\n\r\n"
        + reportLine({"ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity",
                      "Popularity/Search", "Ad"})
        + reportLine({"1", "golf clubs", "37,074", "61.1%", "61.1%", "499,934,324", "13,485"})
        + reportLine({"2", "golf clubs for sale", "22,746", "37.5%", "98.6%", "", "0"})
        + reportLine({"3", "golf clubs reviews", "400", "0.7%", "99.3%", "", "0", "Y"})
        + reportLine({"4", "cheap golf clubs", "240", "0.4%", "99.7%", "983,869,856", "4,099,458"})
        + reportLine({"5", "best golf clubs", "202", "0.3%", "100.0%", "9,011,564", "44,612"});
}

// Two months of "golf clubs", made by hand: November kept under months/, December current.
// From one to the other "golf clubs" gains 200 searches, "golf bags" gains a result count it
// lacked, "new wedges" is new and "old putters" gone.
QByteArray novemberReport()
{
    return "Keyword=golf clubs,Total Searches=1,230\r\n\r\n"
        + reportLine({"ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity",
                      "Popularity/Search", "Ad"})
        + reportLine({"1", "golf clubs", "1,000", "81.3%", "81.3%", "50,000", "50"})
        + reportLine({"2", "golf bags", "200", "16.3%", "97.6%", "", "0"})
        + reportLine({"3", "old putters", "30", "2.4%", "100.0%", "900", "30"});
}

QByteArray decemberReport()
{
    return "Keyword=golf clubs,Total Searches=1,410\r\n\r\n"
        + reportLine({"ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity",
                      "Popularity/Search", "Ad"})
        + reportLine({"1", "golf clubs", "1,200", "85.1%", "85.1%", "50,000", "42"})
        + reportLine({"2", "golf bags", "200", "14.2%", "99.3%", "4,000", "20"})
        + reportLine({"3", "new wedges", "10", "0.7%", "100.0%", "100", "10"});
}

// Checked by hand: a missing figure (no phrase, no count) leaves its changes and its
// popularity per search missing too.
const QByteArray CompareTable =
    "Phrase       Searches 2026-11  Searches 2026-12  Searches change  Results 2026-11  Results "
    "2026-12  Results change  Popularity/Search 2026-11  Popularity/Search 2026-12  Mark\n"
    "golf clubs              1,000             1,200             +200           50,000         "
    "  50,000               0                         50                         42  changed\n"
    "golf bags                 200               200                0                -         "
    "   4,000               -                          -                         20  changed\n"
    "new wedges                  -                10                -                -         "
    "     100               -                          -                         10  new\n"
    "old putters                30                 -                -              900         "
    "       -               -                         30                          -  gone\n";

const QByteArray CompareCsv =
    "Phrase,Searches 2026-11,Searches 2026-12,Searches change,Results 2026-11,Results 2026-12,"
    "Results change,Popularity/Search 2026-11,Popularity/Search 2026-12,Mark\r\n"
    "golf clubs,1000,1200,200,50000,50000,0,50,42,changed\r\n"
    "golf bags,200,200,0,,4000,,,20,changed\r\n"
    "new wedges,,10,,,100,,,10,new\r\n"
    "old putters,30,,,900,,,30,,gone\r\n";

struct Outcome
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// One folder of settings and reports, as a user's would be.
struct Home
{
    QTemporaryDir dir;

    QString settings() const { return dir.filePath(QStringLiteral("quorvane.ini")); }
    QString reports() const { return dir.filePath(QStringLiteral("report")); }
    QString report(const QString &keyword) const
    {
        return QDir(reports()).filePath(reportFileName(keyword));
    }

    QStringList places() const
    {
        return {QStringLiteral("--settings"), settings(), QStringLiteral("--report-folder"),
                reports()};
    }

    void start(QProcess &process, const QStringList &arguments, int rows = 5,
               int minuteMs = 0) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORVANE_SAMPLE_ROWS"), QString::number(rows));
        if (minuteMs > 0)
            env.insert(QStringLiteral("QUORVANE_SAMPLE_MINUTE_MS"), QString::number(minuteMs));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        // The places go right after the command word; the keys' commands have none.
        const bool placed = !QStringList {"sources", "set-key"}.contains(arguments.first());
        process.start(QStringLiteral(QUORVANE_CLI),
                      arguments.mid(0, 1) + (placed ? places() : QStringList()) + arguments.mid(1));
    }

    Outcome run(const QStringList &arguments, int rows = 5, int minuteMs = 0,
                const QByteArray &input = {}) const
    {
        QProcess process;
        start(process, arguments, rows, minuteMs);
        if (!input.isEmpty())
            process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QStringList history() const
    {
        Settings settings;
        SettingsStore(SettingsLocation::iniFile(this->settings())).loadSettings(settings);
        return settings.keywordHistory;
    }
};

bool waitForError(QProcess &process, const QByteArray &text, QByteArray &seen)
{
    for (int i = 0; i < 300 && !seen.contains(text); ++i) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
    }
    return seen.contains(text);
}

} // namespace

class tst_Cli final : public QObject
{
    Q_OBJECT

    Home m_home; // one run of Seed, shown in every format

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.dir.isValid());
        const Outcome first = m_home.run({"suggest", "--sample", "--format", "tsv", Seed});
        QCOMPARE(first.status, 0);
        // The list as the run leaves it is the list a load shows.
        QCOMPARE(first.out, Tsv);
    }

    // Every format, of the run just made (reused) and of the stored report; TSV and CSV byte
    // for byte what the window's copy and Save as CSV make of the same list.
    void formats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("table") << "table" << Table;
        QTest::newRow("tsv") << "tsv" << Tsv;
        QTest::newRow("csv") << "csv" << Csv;
        QTest::newRow("json") << "json" << Json;
        QTest::newRow("report") << "report" << expectedReport();
    }

    void formats()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, expected);
        const QFileInfo report(m_home.report(Seed));
        expected.replace("%DATE%",
                         report.lastModified()
                             .toOffsetFromUtc(report.lastModified().offsetFromUtc())
                             .toString(Qt::ISODate)
                             .toUtf8());

        const Outcome shown = m_home.run({"show", "--format", format, Seed});
        QCOMPARE(shown.status, 0);
        QCOMPARE(shown.out, expected);
        QCOMPARE(readAll(report.filePath()), expectedReport());

        ResultList list;
        QVERIFY(loadReport(ReportFolder(m_home.reports()), report.fileName(), list, &queryAddress));
        if (format == QLatin1String("tsv"))
            QCOMPARE(shown.out, tabSeparatedRows(list, allRows(list)).toUtf8());
        if (format == QLatin1String("csv"))
            QCOMPARE(shown.out, csvFileBytes(csvRows(list, allRows(list))));

        // Suggest reuses this month's report and gives the same, save the sample services'
        // own addresses in the CSV.
        if (format != QLatin1String("csv")) {
            const Outcome reused = m_home.run({"suggest", "--sample", "--format", format, Seed});
            QCOMPARE(reused.status, 0);
            QCOMPARE(reused.out, expected);
            QVERIFY(reused.err.contains("this month's stored report"));
        }
    }

    // A seeds file with comments and a blank line; "nothing" finds nothing on the sample
    // services. The others still run, their CSV files are written, and the summary names it.
    void batchWithFailingKeyword()
    {
        Home home;
        const QString seeds = home.dir.filePath(QStringLiteral("seeds.txt"));
        QVERIFY(writeAll(seeds, "# monthly\ntennis rackets\n\nnothing\ngolf\n"));
        const QString out = home.dir.filePath(QStringLiteral("out"));
        const Outcome batch =
            home.run({"suggest", "--sample", "--seeds", seeds, "--format", "csv", "--output", out});
        QCOMPARE(batch.status, 1);
        QVERIFY2(
            batch.err.contains("quorvane-cli: 1 of 3 keywords gave no complete result: nothing\n"),
            batch.err.constData());
        QVERIFY(batch.out.isEmpty());
        QCOMPARE(filesIn(out), QStringList({"golf.csv", "tennis_rackets.csv"}));
        QVERIFY(readAll(QDir(out).filePath("golf.csv")).startsWith("\xEF\xBB\xBFID,"));
        QCOMPARE(home.history(), QStringList({"golf", "tennis rackets"}));

        // The same seeds from standard input: all reused, "nothing" fails again.
        const Outcome again = home.run({"suggest", "--sample", "--seeds", "-", "--format", "json"},
                                       5, 0, "tennis rackets\nnothing\n");
        QCOMPARE(again.status, 1);
        QCOMPARE(again.out.count('\n'), 1);
    }

    // SIGINT or SIGTERM during a run stops it as Stop does: the earlier report keeps its bytes
    // and nothing else is left in the folder.
    void signalStopsRun_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::newRow("Ctrl+C") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    }

    void signalStopsRun()
    {
        QFETCH(int, signal);
        QFETCH(int, status);
        Home home;
        QCOMPARE(home.run({"suggest", "--sample", "--format", "report", Seed}, 3).status, 0);
        const QByteArray earlier = readAll(home.report(Seed));
        const QStringList files = filesIn(home.reports());

        QProcess process;
        home.start(process, {"suggest", "--sample", "--refresh", Seed}, 60);
        QByteArray err;
        QVERIFY2(waitForError(process, "result pages", err), err.constData());
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitCode(), status);
        QVERIFY2(err.contains("stopped; nothing was written"), err.constData());
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QCOMPARE(readAll(home.report(Seed)), earlier);
        QCOMPARE(filesIn(home.reports()), files);
    }

    // The window and the command line at once: the history the window saves during a run is
    // kept beside the run's keyword, and the window cannot start the keyword the run holds.
    void windowBesideRun()
    {
        Home home;
        QCOMPARE(home.run({"suggest", "--sample", "tennis"}, 2).status, 0);

        QProcess process;
        home.start(process, {"suggest", "--sample", Seed}, 40);
        QByteArray err;
        QVERIFY2(waitForError(process, "result pages", err), err.constData());

        SettingsStore store(SettingsLocation::iniFile(home.settings()));
        Settings settings;
        QCOMPARE(store.loadSettings(settings), LoadSettingsResult::Loaded);
        {
            // No network for this controller: a run that was not refused would end offline.
            RunController window(ReportFolder(home.reports()), settings, &store);
            window.setOnlineProbe([] { return false; });
            QSignalSpy warnings(&window, &RunController::warning);
            window.requestSuggestion(Seed);
            QCOMPARE(warnings.size(), 1);
            QCOMPARE(warnings.first().first().toString(), reportLockedText(Seed));
        }
        settings.keywordHistory.prepend(QStringLiteral("chess"));
        QVERIFY(store.saveHistory(settings));

        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(home.history(), QStringList({Seed, "chess", "tennis"}));
        QVERIFY(!QFileInfo::exists(home.report(Seed) + QStringLiteral(".lock")));
    }

    // history, history delete and history clear with the window's rules: the report goes with
    // the entry, a report of a keyword not in the history stays.
    void historyCommands()
    {
        Home home;
        QCOMPARE(home.run({"suggest", "--sample", "golf", "tennis"}, 2).status, 0);
        QVERIFY(writeAll(home.report("chess"), readAll(home.report("golf"))));
        QCOMPARE(home.run({"history"}).out, QByteArray("tennis\ngolf\n"));

        QCOMPARE(home.run({"history", "delete", "GOLF"}).status, 0);
        QCOMPARE(home.history(), QStringList({"tennis"}));
        QVERIFY(!QFileInfo::exists(home.report("golf")));
        QCOMPARE(home.run({"history", "delete", "golf"}).status, 1);

        QCOMPARE(home.run({"history", "clear"}).status, 2);
        QCOMPARE(home.history(), QStringList({"tennis"}));
        QCOMPARE(home.run({"history", "clear", "--yes"}).status, 0);
        QCOMPARE(home.history(), QStringList());
        QCOMPARE(filesIn(home.reports()), QStringList({"chess.kwd"}));
    }

    // A paid source chosen in the settings runs with its key from the keychain (a Secret Service
    // of the test's own); without a key, or with --counts-source naming a source without one,
    // nothing runs and the user is told how to store it.
    void keyedSources()
    {
        if (qEnvironmentVariable("QUORVANE_PRIVATE_KEYCHAIN") != QLatin1String("1"))
            QSKIP("writes keys: runs only in a keychain of its own (ctest's with-keychain.sh)");
        Home home;
        SourceSettings chosen;
        chosen.suggestionSource = chosen.countSource = QStringLiteral("dataforseo");
        {
            SettingsStore store(SettingsLocation::iniFile(home.settings()));
            QVERIFY(saveSourceSettings(store, chosen));
        }
        const QStringList run {"suggest", "--sample", "--format", "tsv", Seed};

        Outcome outcome = home.run(run, 100);
        QCOMPARE(outcome.status, 3);
        QVERIFY2(outcome.err.contains("DataForSEO")
                     && outcome.err.contains("quorvane-cli set-key "
                                             "dataforseo"),
                 outcome.err.constData());
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(!QFile::exists(home.report(Seed)));
        QVERIFY(home.run({"sources"}).out.contains("DataForSEO      no key stored"));

        const QByteArray password = "sample-password-7f3";
        outcome = home.run({"set-key", "dataforseo"}, 5, 0, "sample-login\n" + password + '\n');
        QVERIFY2(outcome.status == 0, outcome.err.constData());
        outcome = home.run({"sources"});
        QVERIFY2(outcome.out.contains("DataForSEO      key stored"), outcome.out.constData());
        QVERIFY(!outcome.out.contains(password) && !outcome.err.contains(password));

        outcome = home.run(run, 100);
        QVERIFY2(outcome.status == 0, outcome.err.constData());
        QCOMPARE(outcome.out.count('\n'), 101); // the header and 100 rows
        QVERIFY2(outcome.err.contains("This run cost $"), outcome.err.constData());
        QVERIFY(!outcome.err.contains(password));

        outcome =
            home.run({"suggest", "--sample", "--refresh", "--counts-source", "serpapi", Seed});
        QCOMPARE(outcome.status, 3);
        QVERIFY2(outcome.err.contains("quorvane-cli set-key serpapi"), outcome.err.constData());
    }

    // Two hand-made months of a keyword, the earlier one kept under months/.
    void compareMonths_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("table, latest two months")
            << QStringList {"compare", "--format", "table", Seed} << 0 << CompareTable;
        QTest::newRow("csv, months named")
            << QStringList {"compare", "--format", "csv",     "--from",
                            "2026-11", "--to",     "2026-12", Seed}
            << 0 << CompareCsv;
        QTest::newRow("a month without a report")
            << QStringList {"compare", "--from", "2026-10", Seed} << 1 << QByteArray();
    }

    void compareMonths()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, expected);
        Home home;
        const QString kept =
            QDir(home.reports()).filePath(QStringLiteral("months/2026-11/") + reportFileName(Seed));
        QVERIFY(QDir().mkpath(QFileInfo(kept).path()));
        QVERIFY(writeAll(kept, novemberReport()));
        QVERIFY(writeAll(home.report(Seed), decemberReport(),
                         QDateTime(QDate(2026, 12, 3), QTime(10, 0))));

        const Outcome outcome = home.run(arguments);
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.out, expected);
        if (status != 0)
            QVERIFY2(outcome.err.contains("No report of \"golf clubs\" for 2026-10"),
                     outcome.err.constData());
    }

    // The exit statuses beyond those above. Four keywords of two rows: the third finished run
    // starts the 30-minute pause unless the settings say "Don't care".
    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("minuteMs");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        const QStringList four {"suggest", "--sample", "a", "b", "c", "d"};
        QTest::newRow("pause met with --no-wait")
            << (QStringList(four) << "--no-wait") << "0" << 0 << 75 << "not run: d";
        QTest::newRow("pause waited out") << four << "0" << 20 << 0 << "Pause between runs";
        QTest::newRow("Don't care: no pause")
            << (QStringList(four) << "--no-wait") << "99" << 0 << 0 << "[4/4] d: 2 rows";
        QTest::newRow("show without a stored report")
            << QStringList {"show", "golf"} << "0" << 0 << 1 << "no stored report of \"golf\"";
        QTest::newRow("usage error") << QStringList {"suggest", "--format", "xml", "golf"} << "0"
                                     << 0 << 2 << "unknown format";
        QTest::newRow("unknown source") << QStringList {"suggest", "--source", "x", "golf"} << "0"
                                        << 0 << 2 << "unknown source";
    }

    void exitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, interval);
        QFETCH(int, minuteMs);
        QFETCH(int, status);
        QFETCH(QString, told);
        Home home;
        QVERIFY(writeAll(home.settings(),
                         "[Software]\nQuorvane%201.2\\Keyword\\Interval=" + interval.toUtf8()
                             + "\nQuorvane%201.2\\Keyword\\KeywordNum=0\n"));
        const Outcome outcome = home.run(arguments, 2, minuteMs);
        QVERIFY2(outcome.err.contains(told.toUtf8()), outcome.err.constData());
        QCOMPARE(outcome.status, status);
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"

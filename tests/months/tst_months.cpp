#include "results/monthcompare.h"
#include "results/monthcomparemodel.h"
#include "results/monthsarchive.h"
#include "results/numbers.h"
#include "results/reportfile.h"
#include "results/seasons.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace Quorvane;
using namespace Quorvane::TestSupport;

namespace {

const QLocale English(QLocale::English, QLocale::UnitedStates);
const QDateTime Now(QDate(2026, 12, 7), QTime(12, 0));

ReportFolder folderAt(const QString &path)
{
    return ReportFolder(path, [] { return Now; });
}

SuggestionTable tableOf(const QList<std::pair<QString, QString>> &phrases)
{
    SuggestionTable table;
    for (const auto &[phrase, searches] : phrases) {
        Suggestion &s = table.entries[std::size_t(table.suggestionCount++)];
        s.keyword = phrase;
        s.searches = searches;
        s.results = QStringLiteral("1000");
    }
    return table;
}

bool writeRun(const ReportFolder &folder, const QString &keyword, const QString &searches,
              QString *error = nullptr)
{
    SuggestionTable table = tableOf({{keyword, searches}});
    ResultList list;
    return writeReport(table, keyword, folder, reportFileName(keyword), list, English, error);
}

ListRow row(const QString &phrase, const QString &searches, const QString &popularity,
            const QString &perSearch)
{
    ListRow r;
    r[ColumnSuggestions] = phrase;
    r[ColumnSearches] = searches;
    r[ColumnPopularity] = popularity;
    r[ColumnPopularityPerSearch] = perSearch;
    return r;
}

// November's and December's reports of "golf clubs", made by hand: one phrase gains
// searches and results, one stays, one had no result count in November, one is new and one
// is gone.
const QList<ListRow> November {
    row(QStringLiteral("golf clubs"), QStringLiteral("1,200"), QStringLiteral("50,000"),
        QStringLiteral("42")),
    row(QStringLiteral("golf clubs for sale"), QStringLiteral("300"), QStringLiteral("9,000"),
        QStringLiteral("30")),
    row(QStringLiteral("used golf clubs"), QStringLiteral("150"), QString(), QStringLiteral("0")),
    row(QStringLiteral("golf club sets"), QStringLiteral("80"), QStringLiteral("4,000"),
        QStringLiteral("50")),
};
const QList<ListRow> December {
    row(QStringLiteral("golf clubs"), QStringLiteral("1,500"), QStringLiteral("52,000"),
        QStringLiteral("35")),
    row(QStringLiteral("golf clubs for sale"), QStringLiteral("300"), QStringLiteral("9,000"),
        QStringLiteral("30")),
    row(QStringLiteral("used golf clubs"), QStringLiteral("180"), QStringLiteral("7,200"),
        QStringLiteral("40")),
    row(QStringLiteral("cheap golf clubs"), QStringLiteral("90"), QStringLiteral("2,700"),
        QStringLiteral("30")),
};

// The rows numbered and given shares, as a report holds them.
QByteArray reportOf(QList<ListRow> rows)
{
    qint64 total = 0;
    for (const ListRow &r : rows)
        total += qint64(*localeNumber(r[ColumnSearches], English));
    double sum = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const double share = *localeNumber(rows[i][ColumnSearches], English) / double(total) * 100;
        sum += share;
        rows[i][ColumnId] = QString::number(i + 1);
        rows[i][ColumnPercent] = formatOneDecimal(share, English) + u'%';
        rows[i][ColumnSum] = formatOneDecimal(sum, English) + u'%';
    }
    return reportBytes(QStringLiteral("golf clubs"), total, rows, English);
}

// Writes November's report under months/ and December's as the current report, December's
// with the seasons of two phrases beside it.
void writeTwoMonths(const QString &path)
{
    QVERIFY(QDir().mkpath(path + QStringLiteral("/months/2026-11")));
    QVERIFY(writeAll(path + QStringLiteral("/months/2026-11/golf_clubs.kwd"), reportOf(November),
                     QDateTime(QDate(2026, 11, 3), QTime(9, 0))));
    const QString current = path + QStringLiteral("/golf_clubs.kwd");
    QVERIFY(writeAll(current, reportOf(December), QDateTime(QDate(2026, 12, 2), QTime(9, 0))));
    QVERIFY(writeSeasons(current,
                         {{QStringLiteral("golf clubs"), {{2026, 11, 1200}, {2026, 10, 1100}}},
                          {QStringLiteral("cheap golf clubs"), {{2026, 11, 80}}}}));
}

// Helper process: replaces an earlier month's report and dies between keeping it and writing
// the new one, as a crash or a kill there would.
int dieBetweenSteps(const QStringList &arguments)
{
    const ReportFolder folder = folderAt(arguments.value(0));
    setAfterKeepingHook([] { std::_Exit(3); });
    writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700"));
    return 0; // not reached when the hook runs
}

} // namespace

class tst_Months : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void earlierMonthIsKeptWhenReplaced_data();
    void earlierMonthIsKeptWhenReplaced();
    void killBetweenKeepingAndWritingLeavesBoth();
    void reportStaysWhenEarlierMonthCannotBeKept();
    void keptMonthsAreListedAndRemovedApart();

    void comparisonPicksMonthsAsAsked_data();
    void comparisonPicksMonthsAsAsked();
    void modelSortsByAnyColumnWithMissingFiguresLast();

    void seasonsAreKeptBesideTheirReport();
    void seasonsOfOtherReportBytesAreNotShown();
    void seasonsAreSortedAndCutToTwelveMonths();

    void compareTextFormats_data();
    void compareTextFormats();
    void compareJsonHasNullsAndMonths();
};

void tst_Months::earlierMonthIsKeptWhenReplaced_data()
{
    QTest::addColumn<QString>("nameOnDisk");
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<QString>("keptAs"); // empty: nothing kept

    QTest::newRow("last month") << "golf_clubs.kwd" << QDateTime(QDate(2026, 11, 30), QTime(23, 0))
                                << "months/2026-11/golf_clubs.kwd";
    QTest::newRow("same month a year ago")
        << "golf_clubs.kwd" << QDateTime(QDate(2025, 12, 20), QTime(8, 0))
        << "months/2025-12/golf_clubs.kwd";
    QTest::newRow("name in other letter case")
        << "Golf_Clubs.kwd" << QDateTime(QDate(2026, 10, 1), QTime(8, 0))
        << "months/2026-10/golf_clubs.kwd";
    QTest::newRow("this month: replaced, not kept")
        << "golf_clubs.kwd" << QDateTime(QDate(2026, 12, 1), QTime(0, 30)) << QString();
}

void tst_Months::earlierMonthIsKeptWhenReplaced()
{
    QFETCH(QString, nameOnDisk);
    QFETCH(QDateTime, written);
    QFETCH(QString, keptAs);
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    const QByteArray earlier = reportOf(November);
    QVERIFY(writeAll(folder.filePath(nameOnDisk), earlier, written));
    QVERIFY(writeSeasons(folder.filePath(nameOnDisk),
                         {{QStringLiteral("golf clubs"), {{2026, 9, 5}}}}));

    QString error;
    QVERIFY2(writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700"), &error),
             qPrintable(error));

    const QByteArray current = readAll(folder.filePath(nameOnDisk));
    QVERIFY(current.contains("Total Searches=700"));
    QCOMPARE(filesIn(dir.path()).filter(QStringLiteral(".kwd")), QStringList {nameOnDisk});
    if (keptAs.isEmpty()) {
        QVERIFY(!QFileInfo::exists(monthsFolderPath(folder)));
        return;
    }
    QCOMPARE(readAll(folder.filePath(keptAs)), earlier);
    QCOMPARE(QFileInfo(folder.filePath(keptAs)).lastModified(), written);
    // Its months went with it and are read beside the kept report.
    QCOMPARE(readSeasons(folder.filePath(keptAs)).value(QStringLiteral("golf clubs")),
             (QList<MonthlySearches> {{2026, 9, 5}}));
    QVERIFY(readSeasons(folder.filePath(nameOnDisk)).isEmpty());
}

void tst_Months::killBetweenKeepingAndWritingLeavesBoth()
{
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    const QByteArray earlier = reportOf(November);
    QVERIFY(writeAll(folder.filePath(QStringLiteral("golf_clubs.kwd")), earlier,
                     QDateTime(QDate(2026, 11, 3), QTime(9, 0))));

    QProcess helper;
    startHelper(helper, QStringLiteral("die-between-steps"), {dir.path()});
    QVERIFY(helper.waitForFinished(30000));
    QCOMPARE(helper.exitCode(), 3);

    QCOMPARE(readAll(folder.filePath(QStringLiteral("golf_clubs.kwd"))), earlier);
    QCOMPARE(readAll(folder.filePath(QStringLiteral("months/2026-11/golf_clubs.kwd"))), earlier);
    // The run done again keeps nothing twice and puts its report in place.
    QVERIFY(writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700")));
    QCOMPARE(keptMonthFiles(folder, QStringLiteral("golf clubs")).size(), 1);
    QVERIFY(readAll(folder.filePath(QStringLiteral("golf_clubs.kwd"))).contains("=700"));
}

void tst_Months::reportStaysWhenEarlierMonthCannotBeKept()
{
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    const QByteArray earlier = reportOf(November);
    QVERIFY(writeAll(folder.filePath(QStringLiteral("golf_clubs.kwd")), earlier,
                     QDateTime(QDate(2026, 11, 3), QTime(9, 0))));
    // A file where the months folder belongs: nothing can be kept there.
    QVERIFY(writeAll(monthsFolderPath(folder), "not a folder"));

    QString error;
    QVERIFY(!writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(folder.filePath(QStringLiteral("golf_clubs.kwd"))), earlier);
}

void tst_Months::keptMonthsAreListedAndRemovedApart()
{
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    writeTwoMonths(dir.path());
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("months/2026-10"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("months/notes"))));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("months/2026-10/golf_clubs.kwd")),
                     reportOf(November)));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("months/2026-10/golf_clubs.months.json")), "{}"));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("months/2026-10/golf.kwd")), reportOf(November)));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("months/notes/golf_clubs.kwd")), "x"));

    const QList<ReportMonth> months = reportMonths(folder, QStringLiteral("Golf Clubs"));
    QStringList keys;
    for (const ReportMonth &m : months)
        keys << m.key() + (m.current ? QStringLiteral("*") : QString());
    QCOMPARE(keys, (QStringList {"2026-10", "2026-11", "2026-12*"}));

    // Delete takes the current report only; the kept months stay.
    QVERIFY(deleteReportFile(folder, QStringLiteral("golf clubs")));
    QCOMPARE(keptMonthFiles(folder, QStringLiteral("golf clubs")).size(), 3);
    QCOMPARE(removeKeptMonths(folder, QStringLiteral("golf clubs")), 3);
    QVERIFY(reportMonths(folder, QStringLiteral("golf clubs")).isEmpty());
    QCOMPARE(filesIn(dir.filePath(QStringLiteral("months"))), (QStringList {"2026-10", "notes"}));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("months/2026-10/golf.kwd"))));
}

void tst_Months::comparisonPicksMonthsAsAsked_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected"); // "from>to", or "error: <part of the reason>"

    QTest::newRow("latest two by default") << ""
                                           << ""
                                           << "2026-11>2026-12";
    QTest::newRow("from given") << "2026-10"
                                << ""
                                << "2026-10>2026-12";
    QTest::newRow("both given") << "2026-10"
                                << "2026-11"
                                << "2026-10>2026-11";
    QTest::newRow("month without a report") << "2026-09"
                                            << ""
                                            << "error: No report of \"golf clubs\" for 2026-09";
    QTest::newRow("same month twice") << "2026-12"
                                      << "2026-12"
                                      << "error: for 2026-12";
}

void tst_Months::comparisonPicksMonthsAsAsked()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    writeTwoMonths(dir.path());
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("months/2026-10"))));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("months/2026-10/golf_clubs.kwd")),
                     reportOf(November)));

    QString error;
    const std::optional<MonthComparison> comparison = compareKeywordMonths(
        folderAt(dir.path()), QStringLiteral("golf clubs"), from, to, &error, English);
    if (expected.startsWith(QLatin1String("error: "))) {
        QVERIFY(!comparison);
        QVERIFY2(error.contains(expected.mid(7)), qPrintable(error));
    } else {
        QVERIFY2(comparison, qPrintable(error));
        QCOMPARE(comparison->fromMonth + u'>' + comparison->toMonth, expected);
    }
}

void tst_Months::modelSortsByAnyColumnWithMissingFiguresLast()
{
    QTemporaryDir dir;
    writeTwoMonths(dir.path());
    MonthCompareModel model;
    model.setComparison(*compareKeywordMonths(folderAt(dir.path()), QStringLiteral("golf clubs"),
                                              {}, {}, nullptr, English));
    const auto shown = [&model] {
        QStringList phrases;
        for (int r = 0; r < model.rowCount(); ++r)
            phrases << model.index(r, CompareColumnPhrase).data().toString();
        return phrases;
    };
    model.sort(CompareColumnSearchesChange, Qt::DescendingOrder);
    QCOMPARE(shown(),
             (QStringList {"golf clubs", "used golf clubs", "golf clubs for sale",
                           "cheap golf clubs", "golf club sets"}));
    model.sort(CompareColumnResultsNow, Qt::AscendingOrder);
    QCOMPARE(shown(),
             (QStringList {"cheap golf clubs", "used golf clubs", "golf clubs for sale",
                           "golf clubs", "golf club sets"}));
    // Stable: phrases of one mark keep the order the sort before gave them.
    model.sort(CompareColumnMark, Qt::AscendingOrder);
    QCOMPARE(shown(),
             (QStringList {"used golf clubs", "golf clubs", "golf club sets", "cheap golf clubs",
                           "golf clubs for sale"}));
}

void tst_Months::seasonsAreKeptBesideTheirReport()
{
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    QVERIFY(writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700")));
    const Seasons seasons {{QStringLiteral("golf clubs"), {{2026, 10, 640}, {2026, 11, 700}}},
                           {QStringLiteral("cheap golf clubs"), {{2026, 11, 15}}}};
    QVERIFY(writeSeasons(folder, QStringLiteral("Golf Clubs"), seasons));

    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("golf_clubs.months.json"))));
    QCOMPARE(readSeasons(folder.filePath(QStringLiteral("golf_clubs.kwd"))), seasons);
    // The report itself keeps its fixed columns.
    QCOMPARE(readReport(folder.filePath(QStringLiteral("golf_clubs.kwd")))->rows.size(), 1);
    QVERIFY(!readAll(folder.filePath(QStringLiteral("golf_clubs.kwd"))).contains("2026"));

    // A run whose source gives no months leaves none beside its report.
    QVERIFY(writeSeasons(folder, QStringLiteral("golf clubs"), {}));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("golf_clubs.months.json"))));
}

void tst_Months::seasonsOfOtherReportBytesAreNotShown()
{
    QTemporaryDir dir;
    const ReportFolder folder = folderAt(dir.path());
    QVERIFY(writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("700")));
    QVERIFY(writeSeasons(folder, QStringLiteral("golf clubs"),
                         {{QStringLiteral("golf clubs"), {{2026, 11, 700}}}}));
    // A later run of the same month rewrites the report but was not given months.
    QVERIFY(writeRun(folder, QStringLiteral("golf clubs"), QStringLiteral("800")));
    QVERIFY(readSeasons(folder.filePath(QStringLiteral("golf_clubs.kwd"))).isEmpty());
}

void tst_Months::seasonsAreSortedAndCutToTwelveMonths()
{
    QList<MonthlySearches> given;
    for (int i = 13; i >= 0; --i) // 2025-10 .. 2026-11, newest first as a source may list them
        given.append({2025 + (9 + i) / 12, (9 + i) % 12 + 1, qint64(100 + i)});
    given.append({2026, 13, 5}); // no such month
    given.append({2026, 11, 999}); // the same month again: the last given wins
    const QList<MonthlySearches> kept =
        normalizedSeasons({{QStringLiteral("golf"), given}}).value(QStringLiteral("golf"));
    QCOMPARE(kept.size(), 12);
    QCOMPARE(kept.first(), (MonthlySearches {2025, 12, 102}));
    QCOMPARE(kept.last(), (MonthlySearches {2026, 11, 999}));
}

void tst_Months::compareTextFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    // Checked by hand: figures right-aligned under their captions, "-" for a missing figure.
    QTest::newRow("table")
        << "table"
        << QString::fromUtf8("Phrase               Searches 2026-11  Searches 2026-12  Searches "
                             "change  Results 2026-11  Results 2026-12  Results change  "
                             "Popularity/Search 2026-11  Popularity/Search 2026-12  Mark\n"
                             "golf clubs                      1,200             1,500             "
                             "+300           50,000           52,000          +2,000               "
                             "          42                         35  changed\n"
                             "golf clubs for sale               300               300              "
                             "  0            9,000            9,000               0                "
                             "         30                         30  same\n"
                             "used golf clubs                   150               180              "
                             "+30                -            7,200               -                "
                             "          -                         40  changed\n"
                             "cheap golf clubs                    -                90              "
                             "  -                -            2,700               -                "
                             "          -                         30  new\n"
                             "golf club sets                     80                 -              "
                             "  -            4,000                -               -                "
                             "         50                          -  gone\n");
    QTest::newRow("tsv")
        << "tsv"
        << "Phrase\tSearches 2026-11\tSearches 2026-12\tSearches change\tResults "
           "2026-11\tResults 2026-12\tResults change\tPopularity/Search "
           "2026-11\tPopularity/Search 2026-12\tMark\n"
           "golf clubs\t1,200\t1,500\t+300\t50,000\t52,000\t+2,000\t42\t35\tchanged\n"
           "golf clubs for sale\t300\t300\t0\t9,000\t9,000\t0\t30\t30\tsame\n"
           "used golf clubs\t150\t180\t+30\t\t7,200\t\t\t40\tchanged\n"
           "cheap golf clubs\t\t90\t\t\t2,700\t\t\t30\tnew\n"
           "golf club sets\t80\t\t\t4,000\t\t\t50\t\tgone\n";
    QTest::newRow("csv, with the months") << "csv"
                                          << "Phrase,Searches 2026-11,Searches 2026-12,Searches "
                                             "change,Results 2026-11,Results 2026-12,Results "
                                             "change,Popularity/Search 2026-11,Popularity/Search "
                                             "2026-12,Mark,2026-10,2026-11\r\n"
                                             "golf clubs,1200,1500,300,50000,52000,2000,42,35,"
                                             "changed,1100,1200\r\n"
                                             "golf clubs for sale,300,300,0,9000,9000,0,30,30,"
                                             "same,,\r\n"
                                             "used golf clubs,150,180,30,,7200,,,40,changed,,\r\n"
                                             "cheap golf clubs,,90,,,2700,,,30,new,,80\r\n"
                                             "golf club sets,80,,,4000,,,50,,gone,,\r\n";
}

void tst_Months::compareTextFormats()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    writeTwoMonths(dir.path());
    const std::optional<MonthComparison> comparison = compareKeywordMonths(
        folderAt(dir.path()), QStringLiteral("golf clubs"), {}, {}, nullptr, English);
    QVERIFY(comparison);
    QCOMPARE(formatComparison(*comparison, *compareFormatFromName(format), English), expected);
}

void tst_Months::compareJsonHasNullsAndMonths()
{
    QTemporaryDir dir;
    writeTwoMonths(dir.path());
    const std::optional<MonthComparison> comparison = compareKeywordMonths(
        folderAt(dir.path()), QStringLiteral("golf clubs"), {}, {}, nullptr, English);
    QVERIFY(comparison);
    const QJsonObject root =
        QJsonDocument::fromJson(formatComparison(*comparison, CompareFormat::Json).toUtf8())
            .object();
    QCOMPARE(root.value("keyword").toString(), "golf clubs");
    QCOMPARE(root.value("from").toString(), "2026-11");
    QCOMPARE(root.value("to").toString(), "2026-12");
    const QJsonArray phrases = root.value("phrases").toArray();
    QCOMPARE(phrases.size(), 5);
    const QJsonObject used = phrases.at(2).toObject();
    QCOMPARE(used.value("phrase").toString(), "used golf clubs");
    QVERIFY(used.value("results_from").isNull());
    QVERIFY(used.value("results_change").isNull());
    QCOMPARE(used.value("searches_change").toInt(), 30);
    QVERIFY(!used.contains("monthly_searches"));
    const QJsonArray months = phrases.at(0).toObject().value("monthly_searches").toArray();
    QCOMPARE(months.size(), 2);
    QCOMPARE(months.at(0).toObject().value("month").toString(), "2026-10");
    QCOMPARE(months.at(1).toObject().value("searches").toInt(), 1200);
    QCOMPARE(phrases.at(4).toObject().value("mark").toString(), "gone");
}

QUORVANE_TEST_MAIN(tst_Months, QCoreApplication, {{"die-between-steps", dieBetweenSteps}})

#include "tst_months.moc"

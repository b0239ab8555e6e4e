#include "reportfile.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using namespace Quorvane::TestSupport;

namespace {

const QDateTime March15(QDate(2024, 3, 15), QTime(12, 0));

QByteArray field(const char *text, int width)
{
    return QByteArray(text).leftJustified(width, ' ');
}

SuggestionTable twoRowTable()
{
    SuggestionTable table;
    table.entries[0] = {"1200000", "golf clubs", "5000000", true};
    table.entries[1] = {"34567", "cheap golf clubs", "", false};
    table.suggestionCount = 2;
    return table;
}

void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = March15)
{
    QVERIFY(writeAll(path, bytes, modified));
}

const QByteArray ValidReport = "Keyword=golf,Total Searches=10\r\n\r\nID\r\n";

} // namespace

class tst_ReportFile final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportNameIsSafeAndOrdinaryNamesStay_data();
    void reportNameIsSafeAndOrdinaryNamesStay();
    void overlongNamesStayShortAndDistinct();
    void writtenReportHasExactBytesAndLoadsBack_data();
    void writtenReportHasExactBytesAndLoadsBack();
    void loadRegroupsRatiosAndRejectsShortFiles();
    void reuseFollowsTheCalendarMonth_data();
    void reuseFollowsTheCalendarMonth();
    void reuseMatchesNamesIgnoringCaseAndSuffix();
    void reuseSkipsAShortReportUntilARunReplacesIt();
    void deletionAndLookupIgnoreCase();
    void unwritableFolderIsAvoidedOrReported();
};

void tst_ReportFile::reportNameIsSafeAndOrdinaryNamesStay_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("name");
    const auto row = [](const char *label, const QString &keyword, const char *name) {
        QTest::newRow(label) << keyword << QString::fromUtf8(name);
    };
    row("capitals, two spaces", "Golf  Clubs", "golf__clubs.kwd");
    row("comma, accent, device-like word", "Über console, x", "über_console,_x.kwd");
    row("parent folders", "../../x", ".._.._x.kwd");
    row("forbidden characters", "a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.kwd");
    row("control characters", QString::fromUtf8("a\tb\x01") + QChar(0), "a_b__.kwd");
    row("device name", "CON", "_con.kwd");
    row("device name with dot", "com1.x", "_com1.x.kwd");
    row("superscript port name", "COM\u00b9", "_com\u00b9.kwd");
    row("superscript port name with a dot", "lpt\u00b2.x", "_lpt\u00b2.x.kwd");
    row("empty", "", "_.kwd");
}

void tst_ReportFile::reportNameIsSafeAndOrdinaryNamesStay()
{
    QFETCH(QString, keyword);
    QTEST(reportFileName(keyword), "name");
    QTemporaryDir dir;
    QCOMPARE(QFileInfo(ReportFolder(dir.path()).filePath(reportFileName(keyword))).absolutePath(),
             QFileInfo(dir.path()).absoluteFilePath());
}

void tst_ReportFile::overlongNamesStayShortAndDistinct()
{
    const QString a(300, u'a');
    const QString wide(150, QChar(0xfc)); // two bytes each
    for (const QString &k : {a, wide})
        QVERIFY(reportFileName(k).toUtf8().size() <= 200 && reportFileName(k).endsWith(".kwd"));
    QVERIFY(reportFileName(a) != reportFileName(a.left(299) + u'b'));
}

void tst_ReportFile::writtenReportHasExactBytesAndLoadsBack_data()
{
    QTest::addColumn<QString>("locale");
    for (const char *locale : {"en_US", "de_DE"})
        QTest::newRow(locale) << locale;
}

void tst_ReportFile::writtenReportHasExactBytesAndLoadsBack()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    const bool de = locale == u"de_DE";
    const QString total = de ? "1.234.567" : "1,234,567";
    QByteArray rows = field("1", 5) + field("golf clubs", 65) + field("1,200,000", 13)
        + field("97.2%", 8) + field("97.2%", 8) + field("5,000,000", 13) + field("4", 18) + "Y\r\n"
        + field("2", 5) + field("cheap golf clubs", 65) + field("34,567", 13) + field("2.8%", 8)
        + field("100.0%", 8) + field("", 13) + field("0", 18) + "\r\n";
    for (char &c : rows)
        c = !de ? c : c == ',' ? '.' : c == '.' ? ',' : c;
    const QByteArray expected = "Keyword=Golf, Clubs,Total Searches=" + total.toLatin1()
        + "\r\n\r\n" + field("ID", 5) + field("Suggestions", 65) + field("Searches/mo.", 13)
        + field("Percent", 8) + field("Sum", 8) + field("Popularity", 13)
        + field("Popularity/Search", 18) + "Ad\r\n" + rows;

    QTemporaryDir dir;
    const ReportFolder folder(dir.filePath("report"), [] { return QDateTime::currentDateTime(); });
    const QString keyword = QStringLiteral("Golf, Clubs"); // a comma in line 1
    SuggestionTable table = twoRowTable();
    ResultList run;
    QVERIFY(writeReport(table, keyword, folder, reportFileName(keyword), run, l));
    QCOMPARE(run.suggestionsCaption, "Keyword \"Golf, Clubs\" searches " + total + " (top 2 only)");
    QCOMPARE(filesIn(folder.path()), QStringList({"golf,_clubs.kwd"}));
    QFile file(folder.filePath(QStringLiteral("golf,_clubs.kwd")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);

    const auto found = findReusableReport(folder, keyword);
    QVERIFY(found);
    ResultList loaded;
    QVERIFY(loadReport(
        folder, *found, loaded, [](const QString &p) { return "q:" + p; }, l));
    QCOMPARE(loaded.rows, run.rows);
    QCOMPARE(loaded.suggestionsCaption,
             "Keyword \"Golf, Clubs\",searches " + total + " (top 2 only)");
    QCOMPARE(loaded.queryAddresses, QStringList({"q:golf clubs", "q:cheap golf clubs"}));
}

void tst_ReportFile::loadRegroupsRatiosAndRejectsShortFiles()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    const QByteArray row = field("1", 5) + field("golf", 65) + field("1", 13) + field("", 16)
        + field("1000", 13) + "1000";
    writeFile(folder.filePath("a.kwd"), ValidReport + row + "\r\n" + row.left(80) + "\r\n");
    ResultList list;
    QVERIFY(loadReport(folder, "a.kwd", list, {}, QLocale(QStringLiteral("en_US"))));
    QCOMPARE(list.listRowCount(), 2);
    QCOMPARE(list.rows[0][ColumnPopularityPerSearch], QStringLiteral("1,000"));
    QCOMPARE(list.rows[0][ColumnAd], QString());
    QCOMPARE(list.rows[1][ColumnSearches], QStringLiteral("1"));
    QCOMPARE(list.rows[1][ColumnPopularity], QString()); // beyond the end of a short line
    QCOMPARE(list.suggestionsCaption, QStringLiteral("Keyword \"golf\",searches 10 (top 2 only)"));

    // Too short or missing: the list keeps what it showed.
    writeFile(folder.filePath("b.kwd"), ValidReport.left(34));
    QVERIFY(!loadReport(folder, "b.kwd", list, {}));
    QVERIFY(!loadReport(folder, "missing.kwd", list, {}));
    QCOMPARE(list.listRowCount(), 2);
}

void tst_ReportFile::reuseFollowsTheCalendarMonth_data()
{
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("reused");
    const auto at = [](int y, int m, int d, int h) {
        return QDateTime(QDate(y, m, d), QTime(h, 59, 59));
    };
    QTest::newRow("first and last hour of a month")
        << at(2024, 3, 1, 0) << at(2024, 3, 31, 23) << true;
    QTest::newRow("month boundary") << at(2024, 2, 29, 23) << at(2024, 3, 1, 0) << false;
    QTest::newRow("year boundary") << at(2023, 12, 31, 23) << at(2024, 1, 1, 0) << false;
    QTest::newRow("same month of another year")
        << at(2023, 3, 15, 12) << at(2024, 3, 15, 12) << false;
}

void tst_ReportFile::reuseFollowsTheCalendarMonth()
{
    QFETCH(QDateTime, modified);
    QFETCH(QDateTime, now);
    QTemporaryDir dir;
    const ReportFolder folder(dir.filePath(QStringLiteral("report")), [now] { return now; });
    QVERIFY(!findReusableReport(folder, QStringLiteral("golf"))); // creates the folder
    writeFile(folder.filePath("golf.kwd"), ValidReport, modified);
    QTEST(findReusableReport(folder, QStringLiteral("golf")).has_value(), "reused");
    QVERIFY(QFile::exists(folder.filePath("golf.kwd"))); // an old one waits for its replacement
}

void tst_ReportFile::reuseMatchesNamesIgnoringCaseAndSuffix()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path(), [] { return March15; });
    for (const char *name : {"Golf_Clubs.KWD", "golf.bak", "golfer.kwd"})
        writeFile(folder.filePath(name), ValidReport);
    QCOMPARE(findReusableReport(folder, "golf CLUBS"), QStringLiteral("Golf_Clubs.KWD"));
    QVERIFY(!findReusableReport(folder, "Golf")); // golf.bak is not golf's report
    ResultList list;
    QVERIFY(loadReport(folder, "golf_clubs.kwd", list, {}));
}

void tst_ReportFile::reuseSkipsAShortReportUntilARunReplacesIt()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    writeFile(folder.filePath("GOLF.kwd"), "Keyword=golf,Total", QDateTime::currentDateTime());
    QVERIFY(!findReusableReport(folder, QStringLiteral("golf")));
    SuggestionTable table = twoRowTable();
    ResultList list;
    QVERIFY(writeReport(table, "golf", folder, reportFileName("golf"), list));
    // The run replaced the file under the name it had on disk.
    QCOMPARE(filesIn(folder.path()), QStringList({"GOLF.kwd"}));
    QCOMPARE(findReusableReport(folder, QStringLiteral("golf")), QStringLiteral("GOLF.kwd"));
}

void tst_ReportFile::deletionAndLookupIgnoreCase()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    writeFile(folder.filePath("Golf_Clubs.KWD"), ValidReport);
    writeFile(folder.filePath("golf_clubs.bak"), ValidReport);
    QCOMPARE(findReportFile(folder, "golf clubs"), folder.filePath("Golf_Clubs.KWD"));
    QVERIFY(deleteReportFile(folder, QStringLiteral("GOLF Clubs")));
    QVERIFY(!deleteReportFile(folder, QStringLiteral("golf clubs")));
    QCOMPARE(findReportFile(folder, "golf clubs"), QString());
    QCOMPARE(filesIn(folder.path()), QStringList({"golf_clubs.bak"}));
}

void tst_ReportFile::unwritableFolderIsAvoidedOrReported()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("plainfile"), "x");
    const QString blocked = dir.filePath(QStringLiteral("plainfile/report"));
    const QString usable = dir.filePath(QStringLiteral("data/report"));
    QCOMPARE(ReportFolder::chooseWritable({blocked, usable}), usable);
    QCOMPARE(ReportFolder::chooseWritable({usable, blocked}), usable);
    QVERIFY(filesIn(usable).isEmpty()); // the write probe leaves nothing behind

    SuggestionTable table = twoRowTable();
    ResultList list;
    QString error;
    QVERIFY(!writeReport(table, "golf", ReportFolder(blocked), "golf.kwd", list, {}, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(list.listRowCount(), 2); // the run's rows are still shown
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"

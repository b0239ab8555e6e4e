#include "reportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;

namespace {

const QDateTime March15(QDate(2024, 3, 15), QTime(12, 0));

QByteArray Field(const char *text, int width)
{
    return QByteArray(text).leftJustified(width, ' ');
}

SuggestionTable TwoRowTable()
{
    SuggestionTable table;
    table.Entries[0] = {"1200000", "golf clubs", "5000000", true};
    table.Entries[1] = {"34567", "cheap golf clubs", "", false};
    table.SuggestionCount = 2;
    return table;
}

void WriteFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = March15)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.flush(); // a later flush would move the time again
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

const QByteArray ValidReport = "Keyword=golf,Total Searches=10\r\n\r\nID\r\n";

QStringList Files(const QString &path)
{
    return QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

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
    row("only dots", "..", "__.kwd");
    row("device name", "CON", "_con.kwd");
    row("device name with dot", "com1.x", "_com1.x.kwd");
    row("empty", "", "_.kwd");
}

void tst_ReportFile::reportNameIsSafeAndOrdinaryNamesStay()
{
    QFETCH(QString, keyword);
    QTEST(ReportFileName(keyword), "name");
    QTemporaryDir dir;
    QCOMPARE(QFileInfo(ReportFolder(dir.path()).filePath(ReportFileName(keyword))).absolutePath(),
             QFileInfo(dir.path()).absoluteFilePath());
}

void tst_ReportFile::overlongNamesStayShortAndDistinct()
{
    const QString a(300, u'a');
    const QString wide(150, QChar(0xfc)); // two bytes each
    for (const QString &k : {a, wide})
        QVERIFY(ReportFileName(k).toUtf8().size() <= 200 && ReportFileName(k).endsWith(".kwd"));
    QVERIFY(ReportFileName(a) != ReportFileName(a.left(299) + u'b'));
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
    QByteArray rows = Field("1", 5) + Field("golf clubs", 65) + Field("1,200,000", 13)
        + Field("97.2%", 8) + Field("97.2%", 8) + Field("5,000,000", 13) + Field("4", 18) + "Y\r\n"
        + Field("2", 5) + Field("cheap golf clubs", 65) + Field("34,567", 13) + Field("2.8%", 8)
        + Field("100.0%", 8) + Field("", 13) + Field("0", 18) + "\r\n";
    for (char &c : rows)
        c = !de ? c : c == ',' ? '.' : c == '.' ? ',' : c;
    const QByteArray expected = "Keyword=Golf, Clubs,Total Searches=" + total.toLatin1()
        + "\r\n\r\n" + Field("ID", 5) + Field("Suggestions", 65) + Field("Searches/mo.", 13)
        + Field("Percent", 8) + Field("Sum", 8) + Field("Popularity", 13)
        + Field("Popularity/Search", 18) + "Ad\r\n" + rows;

    QTemporaryDir dir;
    const ReportFolder folder(dir.filePath("report"), [] { return QDateTime::currentDateTime(); });
    const QString keyword = QStringLiteral("Golf, Clubs"); // a comma in line 1
    SuggestionTable table = TwoRowTable();
    ResultList run;
    QVERIFY(GetReport(table, keyword, folder, ReportFileName(keyword), run, l));
    QCOMPARE(run.SuggestionsCaption, "Keyword \"Golf, Clubs\" searches " + total + " (top 2 only)");
    QCOMPARE(Files(folder.path()), QStringList({"golf,_clubs.kwd"}));
    QFile file(folder.filePath(QStringLiteral("golf,_clubs.kwd")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);

    const auto found = FindReusableReport(folder, keyword);
    QVERIFY(found);
    ResultList loaded;
    QVERIFY(LoadReport(
        folder, *found, loaded, [](const QString &p) { return "q:" + p; }, l));
    QCOMPARE(loaded.Rows, run.Rows);
    QCOMPARE(loaded.SuggestionsCaption,
             "Keyword \"Golf, Clubs\",searches " + total + " (top 2 only)");
    QCOMPARE(loaded.QueryAddresses, QStringList({"q:golf clubs", "q:cheap golf clubs"}));
}

void tst_ReportFile::loadRegroupsRatiosAndRejectsShortFiles()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    const QByteArray row = Field("1", 5) + Field("golf", 65) + Field("1", 13) + Field("", 16)
        + Field("1000", 13) + "1000";
    WriteFile(folder.filePath("a.kwd"), ValidReport + row + "\r\n" + row.left(80) + "\r\n");
    ResultList list;
    QVERIFY(LoadReport(folder, "a.kwd", list, {}, QLocale(QStringLiteral("en_US"))));
    QCOMPARE(list.ListRowCount(), 2);
    QCOMPARE(list.Rows[0][ColumnPopularityPerSearch], QStringLiteral("1,000"));
    QCOMPARE(list.Rows[0][ColumnAd], QString());
    QCOMPARE(list.Rows[1][ColumnSearches], QStringLiteral("1"));
    QCOMPARE(list.Rows[1][ColumnPopularity], QString()); // beyond the end of a short line
    QCOMPARE(list.SuggestionsCaption, QStringLiteral("Keyword \"golf\",searches 10 (top 2 only)"));

    // Too short or missing: the list keeps what it showed.
    WriteFile(folder.filePath("b.kwd"), ValidReport.left(34));
    QVERIFY(!LoadReport(folder, "b.kwd", list, {}));
    QVERIFY(!LoadReport(folder, "missing.kwd", list, {}));
    QCOMPARE(list.ListRowCount(), 2);
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
    QVERIFY(!FindReusableReport(folder, QStringLiteral("golf"))); // creates the folder
    WriteFile(folder.filePath("golf.kwd"), ValidReport, modified);
    QTEST(FindReusableReport(folder, QStringLiteral("golf")).has_value(), "reused");
    QTEST(QFile::exists(folder.filePath("golf.kwd")), "reused"); // an old one is deleted
}

void tst_ReportFile::reuseMatchesNamesIgnoringCaseAndSuffix()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path(), [] { return March15; });
    for (const char *name : {"Golf_Clubs.KWD", "golf.bak", "golfer.kwd"})
        WriteFile(folder.filePath(name), ValidReport);
    QCOMPARE(FindReusableReport(folder, "golf CLUBS"), QStringLiteral("Golf_Clubs.KWD"));
    QCOMPARE(FindReusableReport(folder, "Golf"), QStringLiteral("golf.bak"));
    ResultList list;
    QVERIFY(LoadReport(folder, "golf_clubs.kwd", list, {}));
}

void tst_ReportFile::reuseSkipsAShortReportUntilARunReplacesIt()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    WriteFile(folder.filePath("GOLF.kwd"), "Keyword=golf,Total", QDateTime::currentDateTime());
    QVERIFY(!FindReusableReport(folder, QStringLiteral("golf")));
    SuggestionTable table = TwoRowTable();
    ResultList list;
    QVERIFY(GetReport(table, "golf", folder, ReportFileName("golf"), list));
    // The run replaced the file under the name it had on disk.
    QCOMPARE(Files(folder.path()), QStringList({"GOLF.kwd"}));
    QCOMPARE(FindReusableReport(folder, QStringLiteral("golf")), QStringLiteral("GOLF.kwd"));
}

void tst_ReportFile::deletionAndLookupIgnoreCase()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    WriteFile(folder.filePath("Golf_Clubs.KWD"), ValidReport);
    WriteFile(folder.filePath("golf_clubs.bak"), ValidReport);
    QCOMPARE(FindReportFile(folder, "golf clubs"), folder.filePath("Golf_Clubs.KWD"));
    QVERIFY(DeleteReportFile(folder, QStringLiteral("GOLF Clubs")));
    QVERIFY(!DeleteReportFile(folder, QStringLiteral("golf clubs")));
    QCOMPARE(FindReportFile(folder, "golf clubs"), QString());
    QCOMPARE(Files(folder.path()), QStringList({"golf_clubs.bak"}));
}

void tst_ReportFile::unwritableFolderIsAvoidedOrReported()
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("plainfile"), "x");
    const QString blocked = dir.filePath(QStringLiteral("plainfile/report"));
    const QString usable = dir.filePath(QStringLiteral("data/report"));
    QCOMPARE(ReportFolder::ChooseWritable({blocked, usable}), usable);
    QCOMPARE(ReportFolder::ChooseWritable({usable, blocked}), usable);
    QVERIFY(Files(usable).isEmpty()); // the write probe leaves nothing behind

    SuggestionTable table = TwoRowTable();
    ResultList list;
    QString error;
    QVERIFY(!GetReport(table, "golf", ReportFolder(blocked), "golf.kwd", list, {}, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(list.ListRowCount(), 2); // the run's rows are still shown
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"

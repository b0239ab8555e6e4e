#include "reportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
    table.Entries[0] = {QStringLiteral("1200000"), QStringLiteral("golf clubs"),
                        QStringLiteral("5000000"), true};
    table.Entries[1] = {QStringLiteral("34567"), QStringLiteral("golf, clubs"), QString(), false};
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

QByteArray ValidReport()
{
    return "Keyword=golf,Total Searches=10\r\n\r\nID\r\n";
}

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
    void writtenReportHasExactBytes_data();
    void writtenReportHasExactBytes();
    void loadGivesBackTheRunsRowsAndCaption_data();
    void loadGivesBackTheRunsRowsAndCaption();
    void loadRegroupsRatiosAndRejectsShortFiles();
    void reuseFollowsTheCalendarMonth_data();
    void reuseFollowsTheCalendarMonth();
    void reuseMatchesNamesIgnoringCaseAndSuffix();
    void reuseSkipsAShortReportUntilARunReplacesIt();
    void deletionAndLookupIgnoreCase();
    void writeFailureIsReportedWithRowsKept();
    void unwritableFirstFolderFallsBack();
};

void tst_ReportFile::reportNameIsSafeAndOrdinaryNamesStay_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("name");
    QTest::newRow("capitals and space") << "Golf Clubs"
                                        << "golf_clubs.kwd";
    QTest::newRow("two spaces") << "golf  clubs"
                                << "golf__clubs.kwd";
    QTest::newRow("comma and accent kept") << "Über golf, cheap"
                                           << "über_golf,_cheap.kwd";
    QTest::newRow("device-like word kept") << "console"
                                           << "console.kwd";
    QTest::newRow("parent folders") << "../../x"
                                    << ".._.._x.kwd";
    QTest::newRow("forbidden characters") << "a/b\\c:d*e?f\"g<h>i|j"
                                          << "a_b_c_d_e_f_g_h_i_j.kwd";
    QTest::newRow("control characters") << QString::fromUtf8("a\tb\x01"
                                                             "c")
            + QChar(0) << "a_b_c_.kwd";
    QTest::newRow("only dots") << ".."
                               << "__.kwd";
    QTest::newRow("device name") << "CON"
                                 << "_con.kwd";
    QTest::newRow("device name with dot") << "com1.x"
                                          << "_com1.x.kwd";
    QTest::newRow("empty") << ""
                           << "_.kwd";
}

void tst_ReportFile::reportNameIsSafeAndOrdinaryNamesStay()
{
    QFETCH(QString, keyword);
    QFETCH(QString, name);
    QCOMPARE(ReportFileName(keyword), name);
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    QCOMPARE(QFileInfo(folder.filePath(ReportFileName(keyword))).absolutePath(),
             QFileInfo(dir.path()).absoluteFilePath());
}

void tst_ReportFile::overlongNamesStayShortAndDistinct()
{
    const QString a(300, u'a');
    const QString b = QString(299, u'a') + u'b';
    const QString wide(150, QChar(0xfc)); // two bytes each
    for (const QString &k : {a, b, wide}) {
        QVERIFY(ReportFileName(k).toUtf8().size() <= 200);
        QVERIFY(ReportFileName(k).endsWith(QStringLiteral(".kwd")));
    }
    QVERIFY(ReportFileName(a) != ReportFileName(b));
    QTemporaryDir dir;
    QSaveFile probe(ReportFolder(dir.path()).filePath(ReportFileName(wide)));
    QVERIFY(probe.open(QIODevice::WriteOnly));
    QVERIFY(probe.commit());
}

void tst_ReportFile::writtenReportHasExactBytes_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray heading = Field("ID", 5) + Field("Suggestions", 65) + Field("Searches/mo.", 13)
        + Field("Percent", 8) + Field("Sum", 8) + Field("Popularity", 13)
        + Field("Popularity/Search", 18) + "Ad\r\n";
    QTest::newRow("en_US") << "en_US"
                           << "Keyword=Golf, Clubs,Total Searches=1,234,567\r\n\r\n" + heading
            + Field("1", 5) + Field("golf clubs", 65) + Field("1,200,000", 13) + Field("97.2%", 8)
            + Field("97.2%", 8) + Field("5,000,000", 13) + Field("4", 18) + "Y\r\n" + Field("2", 5)
            + Field("golf, clubs", 65) + Field("34,567", 13) + Field("2.8%", 8) + Field("100.0%", 8)
            + Field("", 13) + Field("0", 18) + "\r\n";
    QTest::newRow("de_DE") << "de_DE"
                           << "Keyword=Golf, Clubs,Total Searches=1.234.567\r\n\r\n" + heading
            + Field("1", 5) + Field("golf clubs", 65) + Field("1.200.000", 13) + Field("97,2%", 8)
            + Field("97,2%", 8) + Field("5.000.000", 13) + Field("4", 18) + "Y\r\n" + Field("2", 5)
            + Field("golf, clubs", 65) + Field("34.567", 13) + Field("2,8%", 8) + Field("100,0%", 8)
            + Field("", 13) + Field("0", 18) + "\r\n";
}

void tst_ReportFile::writtenReportHasExactBytes()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const ReportFolder folder(dir.filePath(QStringLiteral("report")));
    SuggestionTable table = TwoRowTable();
    ResultList list;
    QVERIFY(GetReport(table, QStringLiteral("Golf, Clubs"), folder,
                      ReportFileName(QStringLiteral("Golf, Clubs")), list, QLocale(locale)));
    QFile file(folder.filePath(QStringLiteral("golf,_clubs.kwd")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, expected);
    // A row without the marker ends after column 130.
    QCOMPARE(bytes.split('\n').at(4).size(), 130 + 1);
    QCOMPARE(list.ListRowCount(), 2);
}

void tst_ReportFile::loadGivesBackTheRunsRowsAndCaption_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("total");
    QTest::newRow("en_US") << "en_US"
                           << "1,234,567";
    QTest::newRow("de_DE") << "de_DE"
                           << "1.234.567";
}

void tst_ReportFile::loadGivesBackTheRunsRowsAndCaption()
{
    QFETCH(QString, locale);
    QFETCH(QString, total);
    const QLocale l(locale);
    QTemporaryDir dir;
    const ReportFolder folder(dir.path(), [] { return QDateTime::currentDateTime(); });
    const QString keyword = QStringLiteral("Golf, Clubs");
    SuggestionTable table = TwoRowTable();
    ResultList run;
    QVERIFY(GetReport(table, keyword, folder, ReportFileName(keyword), run, l));
    QCOMPARE(run.SuggestionsCaption,
             QStringLiteral("Keyword \"Golf, Clubs\" searches %1 (top 2 only)").arg(total));

    const auto found = FindReusableReport(folder, keyword);
    QVERIFY(found);
    ResultList loaded;
    QVERIFY(LoadReport(
        folder, *found, loaded, [](const QString &p) { return "q:" + p; }, l));
    QCOMPARE(loaded.Rows, run.Rows);
    QCOMPARE(loaded.SuggestionsCaption,
             QStringLiteral("Keyword \"Golf, Clubs\",searches %1 (top 2 only)").arg(total));
    QCOMPARE(loaded.QueryAddresses, QStringList({"q:golf clubs", "q:golf, clubs"}));
}

void tst_ReportFile::loadRegroupsRatiosAndRejectsShortFiles()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    const QByteArray row = Field("1", 5) + Field("golf", 65) + Field("1", 13) + Field("", 16)
        + Field("1000", 13) + "1000";
    WriteFile(folder.filePath("a.kwd"), ValidReport() + row + "\r\n" + row.left(80) + "\r\n");
    ResultList list;
    QVERIFY(
        LoadReport(folder, QStringLiteral("a.kwd"), list, {}, QLocale(QStringLiteral("en_US"))));
    QCOMPARE(list.ListRowCount(), 2);
    QCOMPARE(list.Rows[0][ColumnPopularityPerSearch], QStringLiteral("1,000"));
    QCOMPARE(list.Rows[0][ColumnAd], QString());
    QCOMPARE(list.Rows[1][ColumnSearches], QStringLiteral("1"));
    QCOMPARE(list.Rows[1][ColumnPopularity], QString()); // beyond the end of a short line
    QCOMPARE(list.SuggestionsCaption, QStringLiteral("Keyword \"golf\",searches 10 (top 2 only)"));

    // Too short: the list keeps what it showed.
    WriteFile(folder.filePath("b.kwd"), "Keyword=golf,Total Searches=10\r\n\r\n");
    QVERIFY(!LoadReport(folder, QStringLiteral("b.kwd"), list, {}));
    QVERIFY(!LoadReport(folder, QStringLiteral("missing.kwd"), list, {}));
    QCOMPARE(list.ListRowCount(), 2);
}

void tst_ReportFile::reuseFollowsTheCalendarMonth_data()
{
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("reused");
    const auto at = [](int y, int m, int d, int h, int min, int s) {
        return QDateTime(QDate(y, m, d), QTime(h, min, s));
    };
    QTest::newRow("first and last second of a month")
        << at(2024, 3, 1, 0, 0, 1) << at(2024, 3, 31, 23, 59, 59) << true;
    QTest::newRow("month boundary")
        << at(2024, 2, 29, 23, 59, 59) << at(2024, 3, 1, 0, 0, 1) << false;
    QTest::newRow("year boundary")
        << at(2023, 12, 31, 23, 59, 59) << at(2024, 1, 1, 0, 0, 1) << false;
    QTest::newRow("same month of another year")
        << at(2023, 3, 15, 12, 0, 0) << at(2024, 3, 15, 12, 0, 0) << false;
}

void tst_ReportFile::reuseFollowsTheCalendarMonth()
{
    QFETCH(QDateTime, modified);
    QFETCH(QDateTime, now);
    QFETCH(bool, reused);
    QTemporaryDir dir;
    const ReportFolder folder(dir.filePath(QStringLiteral("report")), [now] { return now; });
    QVERIFY(!FindReusableReport(folder, QStringLiteral("golf"))); // creates the folder
    WriteFile(folder.filePath("golf.kwd"), ValidReport(), modified);
    QCOMPARE(FindReusableReport(folder, QStringLiteral("golf")).has_value(), reused);
    QCOMPARE(QFile::exists(folder.filePath("golf.kwd")), reused);
}

void tst_ReportFile::reuseMatchesNamesIgnoringCaseAndSuffix()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path(), [] { return March15; });
    WriteFile(folder.filePath("Golf_Clubs.KWD"), ValidReport());
    WriteFile(folder.filePath("golf.bak"), ValidReport());
    WriteFile(folder.filePath("golfer.kwd"), ValidReport());
    QCOMPARE(FindReusableReport(folder, QStringLiteral("golf CLUBS")),
             QStringLiteral("Golf_Clubs.KWD"));
    QCOMPARE(FindReusableReport(folder, QStringLiteral("Golf")), QStringLiteral("golf.bak"));
    ResultList list;
    QVERIFY(LoadReport(folder, QStringLiteral("golf_clubs.kwd"), list, {}));
}

void tst_ReportFile::reuseSkipsAShortReportUntilARunReplacesIt()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path(), [] { return QDateTime::currentDateTime(); });
    WriteFile(folder.filePath("GOLF.kwd"), "Keyword=golf,Total", QDateTime::currentDateTime());
    QVERIFY(!FindReusableReport(folder, QStringLiteral("golf")));
    SuggestionTable table = TwoRowTable();
    ResultList list;
    QVERIFY(GetReport(table, QStringLiteral("golf"), folder, ReportFileName("golf"), list));
    // The run replaced the file under the name it had on disk.
    QCOMPARE(Files(folder.path()), QStringList({"GOLF.kwd"}));
    QCOMPARE(FindReusableReport(folder, QStringLiteral("golf")), QStringLiteral("GOLF.kwd"));
}

void tst_ReportFile::deletionAndLookupIgnoreCase()
{
    QTemporaryDir dir;
    const ReportFolder folder(dir.path());
    WriteFile(folder.filePath("Golf_Clubs.KWD"), ValidReport());
    WriteFile(folder.filePath("golf_clubs.bak"), ValidReport());
    QCOMPARE(FindReportFile(folder, QStringLiteral("golf clubs")),
             folder.filePath(QStringLiteral("Golf_Clubs.KWD")));
    QVERIFY(DeleteReportFile(folder, QStringLiteral("GOLF Clubs")));
    QVERIFY(!DeleteReportFile(folder, QStringLiteral("golf clubs")));
    QCOMPARE(FindReportFile(folder, QStringLiteral("golf clubs")), QString());
    QCOMPARE(Files(folder.path()), QStringList({"golf_clubs.bak"}));
}

void tst_ReportFile::writeFailureIsReportedWithRowsKept()
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("plainfile"), "x");
    const ReportFolder folder(dir.filePath(QStringLiteral("plainfile/report")));
    SuggestionTable table = TwoRowTable();
    ResultList list;
    QString error;
    QVERIFY(!GetReport(table, QStringLiteral("golf"), folder, ReportFileName("golf"), list,
                       QLocale(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(list.ListRowCount(), 2);
}

void tst_ReportFile::unwritableFirstFolderFallsBack()
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("plainfile"), "x");
    const QString blocked = dir.filePath(QStringLiteral("plainfile/report"));
    const QString usable = dir.filePath(QStringLiteral("data/report"));
    QCOMPARE(ReportFolder::ChooseWritable({blocked, usable}), usable);
    QCOMPARE(ReportFolder::ChooseWritable({usable, blocked}), usable);
    QVERIFY(Files(usable).isEmpty()); // the write probe leaves nothing behind
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"

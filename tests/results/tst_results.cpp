#include "results/numbers.h"
#include "results/reportfile.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using namespace Quorvane::TestSupport;

namespace {

// One line of a report: the fields at their widths, then the "Ad" text.
QByteArray line(const QByteArray &id, const QByteArray &phrase, const QByteArray &searches,
                const QByteArray &percent, const QByteArray &sum, const QByteArray &popularity,
                const QByteArray &ratio, const QByteArray &ad)
{
    return id.leftJustified(5) + phrase.leftJustified(65) + searches.leftJustified(13)
        + percent.leftJustified(8) + sum.leftJustified(8) + popularity.leftJustified(13)
        + ratio.leftJustified(18) + ad + "\r\n";
}

SuggestionTable makeTable(const QStringList &searches, const QStringList &results,
                          const QStringList &phrases = {})
{
    SuggestionTable table;
    for (qsizetype i = 0; i < searches.size(); ++i)
        table.entries[std::size_t(i)] = {searches[i], phrases.value(i, QStringLiteral("k")),
                                         results.value(i, QStringLiteral("500")), i == 0};
    table.suggestionCount = qint16(searches.size());
    return table;
}

// Expected texts are written the en_US way; de_DE swaps the two marks.
QStringList localised(const QLocale &locale, QStringList texts)
{
    for (QString &text : texts)
        for (QChar &c : text)
            c = locale.name() != u"de_DE" ? c : c == u',' ? u'.' : c == u'.' ? u',' : c;
    return texts;
}

// Each entry shows a rule of the list's cells; the second is cut to 65 characters, less the
// half of a pair outside the BMP.
SuggestionTable reportTable()
{
    return makeTable(
        {"1000", "0999", "10", "1", "n/a"}, {"1000200", "", "9996", "25270000000", "5"},
        {"golf\nclubs", QString(64, u'p') + QString::fromUtf8("\xF0\x9F\x8F\x8Cx"), "c", "d", "e"});
}

QDateTime at(int y, int m, int d, int h)
{
    return QDateTime(QDate(y, m, d), QTime(h, 59, 59));
}

const QByteArray ValidReport = "Keyword=golf,Total Searches=10\r\n\r\nID\r\n";

} // namespace

class tst_Results final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbersFollowTheLocale_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("input"); // read: written the en_US way
        QTest::addColumn<QString>("en_US");
        QTest::addColumn<QString>("de_DE");
        const auto row = [](const char *label, const char *operation, const char *input,
                            const char *en, const char *de) {
            QTest::newRow(label) << operation << input << en << de;
        };
        row("read leading number after blanks", "read", "  -3.5x", "-3.5", "-3");
        row("read rounds half away from zero", "read", "-2.5", "-3", "-3");
        row("thousands pads and rounds", "0,000", "4.5", "0,005", "0.005");
        row("one decimal of a binary half", "0.0", "1.15", "1.2", "1,2");
        row("one decimal carries", "0.0", "99.96", "100.0", "100,0");
        row("one decimal never negative zero", "0.0", "-0.04", "0.0", "0,0");
        row("nine digits exceeded", "000000000", "1234567890", "1234567890", "1234567890");
    }

    void numbersFollowTheLocale()
    {
        QFETCH(QString, operation);
        QFETCH(QString, input);
        const double value = input.toDouble();
        for (const char *name : {"en_US", "de_DE"}) {
            const QLocale l(QString::fromLatin1(name));
            const double read = valueThroughWholeFormat(localised(l, {input})[0], l);
            QTEST(operation == u"read"        ? QString::number(read, 'g', 12)
                      : operation == u"0,000" ? formatThousands(value, l)
                      : operation == u"0.0"   ? formatOneDecimal(value, l)
                                              : formatNineDigits(value),
                  name);
        }
    }

    void reorderRebuildsSumsRatiosAndAddresses()
    {
        for (const char *name : {"en_US", "de_DE"}) {
            const QLocale l(QString::fromLatin1(name));
            // Ratios 12, 1,234 and 3, and a row without searches (no ratio, sorts as 0).
            SuggestionTable table =
                makeTable({"100", "10", "40", "0"}, {"1200", "12340", "120", "7"},
                          {"twelve", "many hits", "three", "none"});
            ResultList list;
            list.rows = makeListRows(table, totalSearches(table, l), l);
            sortByPopularityPerSearch(list, l);
            // The list sorts on the padded texts; refreshListFigures reads them back.
            for (ListRow &row : list.rows)
                row[ColumnPopularityPerSearch] = paddedForSort(row[ColumnPopularityPerSearch], l);
            refreshListFigures(
                list, [](const QString &p) { return QStringLiteral("q:") + p; }, l);

            QStringList shown; // ID, ratio and sum
            for (const ListRow &row : std::as_const(list.rows))
                shown << row[ColumnId] + u' ' + row[ColumnPopularityPerSearch] + u' '
                        + row[ColumnSum];
            // Sums add the shown one-decimal percentages in the new order.
            QCOMPARE(shown, localised(l, {"4  0.0%", "3 3 26.7%", "1 12 93.4%", "2 1,234 100.1%"}));
            QCOMPARE(list.queryAddresses,
                     QStringList({"q:none", "q:three", "q:twelve", "q:many hits"}));
        }
    }

    void reportNameIsSafeAndOrdinaryNamesStay_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *label, const QString &keyword, const char *name) {
            QTest::newRow(label) << keyword << QString::fromUtf8(name);
        };
        row("only dots", "..", "__.kwd");
        row("forbidden characters", "a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.kwd");
        row("control characters", QString::fromUtf8("a\tb\x01") + QChar(0), "a_b__.kwd");
        row("device name with dot", "com1.x", "_com1.x.kwd");
        row("superscript port name", "COM\u00b9", "_com\u00b9.kwd");
        row("empty", "", "_.kwd");
    }

    void reportNameIsSafeAndOrdinaryNamesStay()
    {
        QFETCH(QString, keyword);
        QTEST(reportFileName(keyword), "name");
    }

    void overlongNamesStayShortAndDistinct()
    {
        const QString a(300, u'a');
        for (const QString &k : {a, QString(150, QChar(0xfc))}) // two bytes each
            QVERIFY(reportFileName(k).toUtf8().size() <= 200 && reportFileName(k).endsWith(".kwd"));
        QVERIFY(reportFileName(a) != reportFileName(a.left(299) + u'b'));
    }

    void writtenReportHasExactBytesAndLoadsBack()
    {
        const QByteArray expected = "Keyword=Golf, Clubs,Total Searches=2,010\r\n\r\n"
            + line("ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity",
                   "Popularity/Search", "Ad")
            + line("1", "golf clubs", "1,000", "49.8%", "49.8%", "1,000,200", "1,000", "Y")
            + line("2", QByteArray(64, 'p'), "0999", "49.7%", "99.5%", "", "0", "")
            + line("3", "c", "10", "0.5%", "100.0%", "9,996", "1000", "")
            + line("4", "d", "1", "0.0%", "100.0%", "25270000000", "25,270,000,000", "")
            + line("5", "e", "n/a", "0.0%", "100.0%", "5", "", "");
        const QLocale l(QStringLiteral("en_US"));
        QTemporaryDir dir;
        const ReportFolder folder(dir.filePath("report"));
        const QString keyword = QStringLiteral("Golf, Clubs"); // a comma in line 1
        SuggestionTable table = reportTable();
        ResultList run;
        QVERIFY(writeReport(table, keyword, folder, reportFileName(keyword), run, l));
        QCOMPARE(run.suggestionsCaption, "Keyword \"Golf, Clubs\" searches 2,010 (top 5 only)");
        QCOMPARE(readAll(folder.filePath("golf,_clubs.kwd")), expected);

        ResultList loaded;
        QVERIFY(loadReport(
            folder, *findReusableReport(folder, keyword), loaded,
            [](const QString &p) { return "q:" + p; }, l));
        // A ratio shown ungrouped after the run reads back grouped.
        QCOMPARE(loaded.rows[2][ColumnPopularityPerSearch], "1,000");
        run.rows[2][ColumnPopularityPerSearch] = QStringLiteral("1,000");
        QCOMPARE(loaded.rows, run.rows);
        QCOMPARE(loaded.suggestionsCaption, "Keyword \"Golf, Clubs\",searches 2,010 (top 5 only)");
        QCOMPARE(loaded.queryAddresses.first(), "q:golf clubs");
    }

    void shortLinesAndFilesOnLoad()
    {
        QTemporaryDir dir;
        const ReportFolder folder(dir.path());
        const QByteArray row = line("1", "golf", "1", "", "", "1000", "1000", "");
        QVERIFY(writeAll(folder.filePath("a.kwd"), ValidReport + row + row.left(80) + "\r\n"));
        ResultList list;
        QVERIFY(loadReport(folder, "a.kwd", list, {}, QLocale(QStringLiteral("en_US"))));
        QCOMPARE(list.listRowCount(), 2);
        // A short line: the fields beyond its end are empty.
        QCOMPARE(list.rows[1][ColumnSearches] + u'|' + list.rows[1][ColumnPopularity], "1|");

        // Too short: the list keeps what it showed.
        QVERIFY(writeAll(folder.filePath("b.kwd"), ValidReport.left(34)));
        QVERIFY(!loadReport(folder, "b.kwd", list, {}));
        QCOMPARE(list.listRowCount(), 2);
    }

    // A report not reused is written again by the run, under the name it has on disk; Delete then
    // takes it whatever its letter case, and nothing else.
    void reuseRule_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QDateTime>("modified");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("reused");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("left");
        const auto row = [](const char *label, const char *file, const QByteArray &content,
                            const QDateTime &modified, const QDateTime &now, const char *keyword,
                            const char *reused, const QStringList &after,
                            const QStringList &left = {}) {
            QTest::newRow(label) << file << content << modified << now << keyword << reused << after
                                 << left;
        };
        const QDateTime march = at(2024, 3, 15, 12);
        row("first and last hour of a month", "Golf.kwd", ValidReport, at(2024, 3, 1, 0),
            at(2024, 3, 31, 23), "golf", "Golf.kwd", {"Golf.kwd"});
        // An earlier month's report stays until the run's report replaces it under its name;
        // it is then kept under months/, which Delete leaves alone.
        row("month boundary", "Golf.kwd", ValidReport, at(2024, 2, 29, 23), at(2024, 3, 1, 0),
            "golf", "", {"Golf.kwd", "months"}, {"months"});
        row("same month of another year", "Golf.kwd", ValidReport, at(2023, 3, 15, 12), march,
            "golf", "", {"Golf.kwd", "months"}, {"months"});
        row("another file of the stem", "golf.bak", ValidReport, march, march, "Golf", "",
            {"golf.bak", "golf.kwd"}, {"golf.bak"});
        row("longer name", "golfer.kwd", ValidReport, at(2020, 1, 1, 0), march, "golf", "",
            {"golf.kwd", "golfer.kwd"}, {"golfer.kwd"});
        row("report cut short", "GOLF.kwd", "Keyword=golf,Total", march, march, "golf", "",
            {"GOLF.kwd"});
    }

    void reuseRule()
    {
        QFETCH(QString, file);
        QFETCH(QDateTime, now);
        QFETCH(QString, keyword);
        QTemporaryDir dir;
        const ReportFolder folder(dir.filePath(QStringLiteral("report")), [now] { return now; });
        QVERIFY(!findReusableReport(folder, keyword)); // creates the folder
        QFETCH(QByteArray, content);
        QFETCH(QDateTime, modified);
        QVERIFY(writeAll(folder.filePath(file), content, modified));
        const QString reused = findReusableReport(folder, keyword).value_or(QString());
        QTEST(reused, "reused");
        SuggestionTable table = reportTable();
        ResultList list;
        QVERIFY(!reused.isEmpty()
                || writeReport(table, keyword, folder, reportFileName(keyword), list));
        QTEST(filesIn(folder.path()), "after");
        QFETCH(QStringList, after);
        QFETCH(QStringList, left);
        QCOMPARE(deleteReportFile(folder, keyword.toUpper()), after != left);
        QTEST(filesIn(folder.path()), "left");
    }

    void unwritableFolderIsAvoided()
    {
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("plainfile"), "x"));
        const QString blocked = dir.filePath(QStringLiteral("plainfile/report"));
        const QString usable = dir.filePath(QStringLiteral("data/report"));
        QCOMPARE(ReportFolder::chooseWritable({blocked, usable}), usable);
        QCOMPARE(ReportFolder::chooseWritable({usable, blocked}), usable);
        QVERIFY(filesIn(usable).isEmpty()); // the write probe leaves nothing behind
    }
};

QTEST_GUILESS_MAIN(tst_Results)
#include "tst_results.moc"

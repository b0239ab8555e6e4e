#include "results/atomicfile.h"
#include "results/numbers.h"
#include "results/reportfile.h"
#include "results/resultformats.h"
#include "tests/support/testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <sys/resource.h>

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

const QByteArray Heading = line("ID", "Suggestions", "Searches/mo.", "Percent", "Sum", "Popularity",
                                "Popularity/Search", "Ad");
const QByteArray ValidReport = "Keyword=golf,Total Searches=10\r\n\r\n" + Heading;

} // namespace

class tst_Results final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A cell read through the whole-number format: a number in the locale is rounded, halves
    // away from zero; any other text keeps its leading number, "." as its decimal mark.
    void wholeFormatReadsCellsInTheLocale_data()
    {
        QTest::addColumn<QString>("cell"); // written the en_US way
        QTest::addColumn<double>("en_US");
        QTest::addColumn<double>("de_DE");
        QTest::newRow("leading number after blanks") << "  -3.5x" << -3.5 << -3.0;
        QTest::newRow("half away from zero") << "-2.5" << -3.0 << -3.0;
        QTest::newRow("grouped thousands") << "1,234" << 1234.0 << 1234.0;
    }

    void wholeFormatReadsCellsInTheLocale()
    {
        QFETCH(QString, cell);
        for (const char *name : {"en_US", "de_DE"}) {
            const QLocale l(QString::fromLatin1(name));
            QTEST(valueThroughWholeFormat(localised(l, {cell})[0], l), name);
        }
    }

    // JSON figures are plain numbers whatever the locale the cells are shown in: separators and
    // "%" gone, an empty count null, the Ad flag a boolean.
    void jsonFiguresArePlainInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("en_US") << "en_US";
        QTest::newRow("de_DE") << "de_DE";
    }

    void jsonFiguresArePlainInEveryLocale()
    {
        QFETCH(QString, locale);
        const QLocale l(locale);
        SuggestionTable table = makeTable({"12345", "3"}, {"1000200", ""}, {"golf", "golf clubs"});
        KeywordResult result;
        result.keyword = QStringLiteral("golf");
        result.source = QStringLiteral("classic");
        result.reportDate = QDateTime(QDate(2026, 12, 1), QTime(3, 0), QTimeZone::utc());
        result.list.rows = makeListRows(table, totalSearches(table, l), l);
        const QByteArray json = formatResult(result, ResultFormat::Json, l);
        QVERIFY(json.endsWith("}\n") && json.count('\n') == 1);
        QCOMPARE(QJsonDocument::fromJson(json).object(), resultJson(result, l));
        QCOMPARE(json,
                 QByteArray("{\"date\":\"2026-12-01T03:00:00Z\",\"keyword\":\"golf\",\"rows\":["
                            "{\"ad\":true,\"id\":1,\"percent\":100,\"phrase\":\"golf\","
                            "\"popularity\":1000200,\"popularityPerSearch\":81,\"searches\":12345,"
                            "\"sum\":100},"
                            "{\"ad\":false,\"id\":2,\"percent\":0,\"phrase\":\"golf clubs\","
                            "\"popularity\":null,\"popularityPerSearch\":0,\"searches\":3,"
                            "\"sum\":100}],"
                            "\"source\":\"classic\",\"totalSearches\":12348}\n"));
    }

    void oneDecimalFormatRoundsHalvesAway_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown"); // the en_US way
        QTest::newRow("a binary half") << 1.15 << "1.2";
        QTest::newRow("carries") << 99.96 << "100.0";
        QTest::newRow("never negative zero") << -0.04 << "0.0";
    }

    void oneDecimalFormatRoundsHalvesAway()
    {
        QFETCH(double, value);
        QFETCH(QString, shown);
        for (const char *name : {"en_US", "de_DE"}) {
            const QLocale l(QString::fromLatin1(name));
            QCOMPARE(formatOneDecimal(value, l), localised(l, {shown})[0]);
        }
    }

    void paddedFormats()
    {
        QCOMPARE(formatThousands(4.5, QLocale(QStringLiteral("en_US"))), "0,005");
        QCOMPARE(formatThousands(4.5, QLocale(QStringLiteral("de_DE"))), "0.005");
        QCOMPARE(formatNineDigits(12.5), "000000013");
        QCOMPARE(formatNineDigits(1234567890), "1234567890"); // more digits stay
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

    // A report whose lines do not have a report's shape (cut short, junk) is damaged: it is
    // neither shown nor reused, and the run's report replaces it.
    void damagedReportIsReplacedNotShown_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        const QByteArray row = line("1", "golf", "10", "100.0%", "100.0%", "1000", "100", "");
        QTest::newRow("sound, a row without the Ad marker") << ValidReport + row << false;
        QTest::newRow("sound, no rows") << ValidReport << false;
        QTest::newRow("cut inside a row") << ValidReport + row + row.left(80) << true;
        QTest::newRow("cut inside the last line break") << ValidReport + row.chopped(1) << true;
        QTest::newRow("a short row") << ValidReport + row.left(80) + "\r\n" + row << true;
        QTest::newRow("junk bytes") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\r\n", 17) << true;
        QTest::newRow("junk lines as long as rows") << ValidReport + QByteArray(140, 'x') + "\r\n"
                                                    << true;
        QTest::newRow("another heading")
            << QByteArray("Keyword=golf,Total Searches=10\r\n\r\nID\r\n") << true;
        QTest::newRow("no total") << "Keyword=golf\r\n\r\n" + Heading << true;
        QTest::newRow("empty file") << QByteArray() << true;
    }

    void damagedReportIsReplacedNotShown()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const ReportFolder folder(dir.path());
        QVERIFY(writeAll(folder.filePath("golf.kwd"), content));
        QCOMPARE(hasDamagedReport(folder, "golf"), damaged);
        QCOMPARE(findReusableReport(folder, "golf").has_value(), !damaged);
        ResultList list;
        list.suggestionsCaption = QStringLiteral("earlier");
        QCOMPARE(loadReport(folder, "golf.kwd", list, {}), !damaged);
        QCOMPARE(list.suggestionsCaption == u"earlier", damaged);
        QCOMPARE(list.listRowCount(), damaged ? 0 : content.count("\r\n") - 3);

        SuggestionTable table = reportTable();
        QVERIFY(writeReport(table, "golf", folder, reportFileName("golf"), list));
        QVERIFY(!hasDamagedReport(folder, "golf") && findReusableReport(folder, "golf"));
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

    // Reports, CSV files and chart images: a write that fails only when its buffer is flushed
    // (a full disk, here a file size limit) fails as a whole and leaves the earlier file.
    void fullDiskKeepsTheEarlierFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.csv"));
        QVERIFY(writeAll(path, "earlier"));
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the test
        rlimit before {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        const rlimit limited {1024, before.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        QString error;
        const bool written = writeFileAtomically(path, QByteArray(4096, 'x'), &error);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &before), 0);
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(path), QByteArray("earlier"));
        QCOMPARE(filesIn(dir.path()), QStringList {QStringLiteral("list.csv")});
    }
};

QTEST_GUILESS_MAIN(tst_Results)
#include "tst_results.moc"

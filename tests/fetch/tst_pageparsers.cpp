#include "pageparsers.h"
#include "pagetext.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

using namespace Quorvane;

namespace {

const QString Begin = QStringLiteral("Begin to parse popularity results ...");
const QString Parsing = QStringLiteral("Parsing ...");
const QString Ads = QStringLiteral("Sponsored links founnd");
const QString Completed = QStringLiteral("Completed popularity analysis for one suggestion");

QString rows(int count)
{
    QString body;
    for (int i = 0; i < count; ++i)
        body += QStringLiteral("<tr><td>%1</td><td>phrase %1</td></tr>").arg(i);
    return body;
}

// "searches|keyword" for every entry up to the count, and the first cell of the next one
QStringList entries(const SuggestionTable &table)
{
    QStringList list;
    for (int i = 0; i < table.suggestionCount; ++i)
        list << table.entries[i].searches + u'|' + table.entries[i].keyword;
    if (table.suggestionCount < MaxSuggestions)
        list << table.entries[table.suggestionCount].searches + QStringLiteral("|");
    return list;
}

} // namespace

class tst_PageParsers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void keywordCellsArePairedInDocumentOrder_data();
    void keywordCellsArePairedInDocumentOrder();
    void keywordWritesStatusAtEveryCellTag();

    void resultPageYieldsCountAndAds_data();
    void resultPageYieldsCountAndAds();
    void resultPageStopsWhenAskedByTheStatusSink();
    void nestedTablesParseInLinearTime_data();
    void nestedTablesParseInLinearTime();

    void pageTextIsTheSystemDecoding();
};

void tst_PageParsers::keywordCellsArePairedInDocumentOrder_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("startCount");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("expected"); // entries, then the next entry's first cell
    QTest::addColumn<bool>("flagBefore"); // NoSuggestions
    QTest::addColumn<bool>("flagAfter");
    QTest::addColumn<int>("statusCount"); // -1: not checked
    // A normal end writes the flag, so it starts as the opposite of what is expected.
    const auto row = [](const char *label, const QStringList &pages, int startCount, bool result,
                        const QStringList &expected, bool noSuggestions) {
        QTest::newRow(label) << pages << startCount << false << result << expected << !noSuggestions
                             << noSuggestions << -1;
    };
    QStringList hundred;
    for (int i = 0; i < 100; ++i)
        hundred << QStringLiteral("%1|phrase %1").arg(i);

    row("three rows of two cells", {"<table><tbody>" + rows(3) + "</tbody></table>"}, 0, true,
        {"0|phrase 0", "1|phrase 1", "2|phrase 2", "|"}, false);
    row("150 rows: the first 100", {"<tbody>" + rows(150)}, 0, true, hundred, false);
    row("a page parsed when the table is full takes nothing", {"<tbody>" + rows(2)}, 100, true,
        QStringList(100, QStringLiteral("|")), false);
    row("a row of three cells shifts the pairing",
        {"<tbody><tr><td>a</td><td>b</td><td>c</td></tr><tr><td>d</td><td>e</td></tr>"}, 0, true,
        {"a|b", "c|d", "e|"}, false);
    row("cells before the body are not taken",
        {"<thead><tr><td>x</td><td>y</td></tr></thead><TBODY class=k>"
         "<tr><TD align=right>5</td><td>z</td></tr>"},
        0, true, {"5|z", "|"}, false);
    row("closing body before any body ends the walk", {"</tbody><tbody>" + rows(2)}, 0, false,
        {"|"}, true);
    row("link with nbsp and a plain line break",
        {"<tbody><td> 7 </td><td> <a href=x>red&nbsp;shoes</a><br> </td>"}, 0, true,
        {"7|red&nbsp;shoes ", "|"}, false);
    row("cell tag with a line break after its name is no cell",
        {"<tbody><td>1</td><td\n>2</td><td>3</td>"}, 0, true, {"1|12", "3|"}, false);
    row("no tag at all", {"just text"}, 0, false, {"|"}, true);
    row("rows of a second page are appended", {"<tbody>" + rows(2), "<tbody><td>x</td><td>y</td>"},
        0, true, {"0|phrase 0", "1|phrase 1", "x|y", "|"}, false);
    // Failure and stop keep the rows taken and leave the flag alone; nothing is written after.
    QTest::newRow("tag without a name after two rows")
        << QStringList {"<tbody>" + rows(2) + "< ><td>9</td><td>z</td>"} << 0 << false << false
        << QStringList {"0|phrase 0", "1|phrase 1", "|"} << true << true << 1 + 1 + 4 * 2;
    QTest::newRow("stop before the first tag") << QStringList {"<tbody>" + rows(2)} << 0 << true
                                               << false << QStringList {"|"} << true << true << 1;
}

void tst_PageParsers::keywordCellsArePairedInDocumentOrder()
{
    QFETCH(QStringList, pages);
    QFETCH(int, startCount);
    QFETCH(bool, stop);
    QFETCH(bool, flagBefore);
    QFETCH(int, statusCount);
    SuggestionTable table;
    table.suggestionCount = qint16(startCount);
    table.noSuggestions = flagBefore;
    QStringList status;
    bool returned = false;
    for (const QString &page : pages)
        returned = parseKeyword(page, u"0", table, stop, [&](const QString &s) { status << s; });
    QTEST(returned, "result");
    QTEST(table.noSuggestions, "flagAfter");
    QTEST(entries(table), "expected");
    if (statusCount >= 0)
        QCOMPARE(status.size(), statusCount);
}

void tst_PageParsers::keywordWritesStatusAtEveryCellTag()
{
    SuggestionTable table;
    const bool stop = false;
    QStringList status;
    parseKeyword(u"<td></td><tbody><tr><td>1</td></tbody><td>", u"0", table, stop,
                 [&](const QString &s) { status << s; });
    const QString c = QStringLiteral("Collecting keyword information ");
    QCOMPARE(status,
             QStringList({"Connecting to keyword database ...", c + "..", c + "...", c + ".",
                          c + "..", c + "..."}));
}

void tst_PageParsers::resultPageYieldsCountAndAds_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("entry"); // the entry the key names; no other entry changes
    QTest::addColumn<QString>("results");
    QTest::addColumn<bool>("hasAds");
    QTest::addColumn<QStringList>("status");
    const auto row = [](const char *label, const QString &page, const char *key, bool result,
                        int entry, const char *results, bool hasAds, const QStringList &status,
                        const char *locale = "en_US") {
        QTest::newRow(label) << page << key << locale << result << entry << results << hasAds
                             << status;
    };
    const QString count = QStringLiteral("<table><tr><td>Results <b>1</b> - <b>10</b> of about "
                                         "<b>1,234,567</b> for x</td></tr></table>");
    const QString ads = QStringLiteral("<table><tr><td>Sponsored <b>Links</b></td></tr></table>");
    const QStringList plain {Begin, Parsing, Completed};

    row("count with digit grouping in the first table", count, "0", true, 0, "1234567", false,
        plain);
    row("count, then sponsored links in a later table; key 7 names entry 7",
        count + ads + "<table>", "7", true, 7, "1234567", true, {Begin, Parsing, Ads, Completed});
    row("marker and sponsored words in one chunk give only the count",
        "<table>RESULTS 1 - 10 OF ABOUT 42 sponsored link</table><p>", "0", true, 0, "42", false,
        plain);
    row("regional number format", "<table>results 1 - 10 of about 9.876.543</table>", "abc", true,
        0, "9876543", false, plain, "de_DE");
    row("a word that is no number is stored lower-cased",
        "<table>results 1 - 10 of about MANY things</table>", "0", true, 0, "many", false, plain);
    row("nbsp is a space before stripping",
        "<table>results&nbsp;1 - 10 of about&nbsp;<b>12</b>&nbsp;x</table>", "0", true, 0, "12",
        false, plain);
    row("fewer than ten results: other phrase, no count", "<table>Results 1 - 3 of 3</table>", "0",
        true, 0, "", false, {Begin, Completed});
    row("a table chunk that yields the count stores it again, word grown",
        "<table></table><table>results 1 - 10 of about 5<table>6 x<table>", "0", true, 0, "56",
        false, {Begin, Parsing, Parsing, Completed});
    row("a less-than inside a style block is no tag", "<style>a <> b</style>" + count, "0", true, 0,
        "1234567", false, plain);
    row("a style block without its end runs to the end of the page", "<STYLE type=x>a {}" + count,
        "0", true, 0, "", false, {Begin, Completed});
    row("script end found in any case",
        "<script>if (a<b) x = '<table>results 1 - 10 of about 3</table>'</SCRIPT>" + ads, "0", true,
        0, "", true, {Begin, Ads, Completed});
    row("key out of range with a page that yields nothing", "<table>nothing here</table>", "100",
        true, 100, "", false, {Begin, Completed});
    // Failures keep what was stored before them.
    row("marker with nothing after it", "<table>results 1 - 10 of about </table>", "0", false, 0,
        "", false, {Begin});
    row("tag without a name after a count", "<table>results 1 - 10 of about 77</table><p><>", "0",
        false, 0, "77", false, {Begin, Parsing});
    row("key outside 0 to 99 at the first store", "<table>results 1 - 10 of about 77</table>", "-1",
        false, -1, "", false, {Begin});
}

void tst_PageParsers::resultPageYieldsCountAndAds()
{
    QFETCH(QString, page);
    QFETCH(QString, key);
    QFETCH(QString, locale);
    QFETCH(int, entry);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    QLocale::setDefault(QLocale(locale));
    SuggestionTable table;
    const bool stop = false;
    QStringList written;
    QTEST(parseGoogleResults(page, key, table, stop, [&](const QString &s) { written << s; }),
          "result");
    QTEST(written, "status");
    QCOMPARE(entryIndexFromKey(key), entry);
    for (int i = 0; i < MaxSuggestions; ++i) {
        QCOMPARE(table.entries[i].results, i == entry ? results : QString());
        QCOMPARE(table.entries[i].hasAds, i == entry && hasAds);
    }
}

void tst_PageParsers::resultPageStopsWhenAskedByTheStatusSink()
{
    SuggestionTable table;
    bool stop = false;
    QStringList written;
    const StatusSink sink = [&](const QString &s) {
        written << s;
        stop = s == Parsing;
    };
    QVERIFY(!parseGoogleResults(u"<table>results 1 - 10 of about 8</table><table>sponsored "
                                u"link</table><p>",
                                u"3", table, stop, sink));
    QCOMPARE(written, QStringList({Begin, Parsing}));
    QCOMPARE(table.entries[3].results, QStringLiteral("8"));
    QVERIFY(!table.entries[3].hasAds);
}

void tst_PageParsers::nestedTablesParseInLinearTime_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("results");
    // Done chunk by chunk, each closing tag would re-read everything inside it: minutes.
    const auto nested = [](const QString &inner) {
        return "<style>td { color: red }</style>"
            + QStringLiteral("<table><tr><td>").repeated(30000) + inner
            + QStringLiteral("</td></tr></table>").repeated(30000) + "link";
    };
    QTest::newRow("sponsored innermost, link after the outermost") << nested("sponsored") << "";
    QTest::newRow("count innermost, found again at every closing tag")
        << nested("results 1 - 10 of about 31") << "31";
    QTest::newRow("count found again by every later table chunk")
        << "</table><table>results 1 - 10 of about 32" + QString("<table> x").repeated(60000)
        << "32";
}

void tst_PageParsers::nestedTablesParseInLinearTime()
{
    QFETCH(QString, page);
    QFETCH(QString, results);
    SuggestionTable table;
    const bool stop = false;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(parseGoogleResults(page, u"0", table, stop, nullptr));
    // Takes milliseconds; the bound only tells linear from quadratic on a busy machine.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(table.entries[0].results, results);
    QVERIFY(!table.entries[0].hasAds);
}

// Page text takes a short cut for ASCII pages; it must read every page as the system decoder
// does, whichever byte first leaves ASCII, and keep an empty page apart from a missing one.
void tst_PageParsers::pageTextIsTheSystemDecoding()
{
    QCOMPARE(pageText(QByteArray()).isNull(), QString::fromLocal8Bit(QByteArray()).isNull());
    QCOMPARE(pageText(QByteArray("")).isNull(), QString::fromLocal8Bit(QByteArray("")).isNull());

    QRandomGenerator random(6);
    const QList<QByteArray> outside = {"\x80",         "\xff", "\xc3\xa9",         "\xe2\x84\xaa",
                                       "\xef\xbb\xbf", "\xc3", "\xf0\x9f\x98\x80", "\xed\xa0\x80"};
    for (int size = 0; size < 70; ++size) {
        QByteArray ascii(size, Qt::Uninitialized);
        for (char &byte : ascii)
            byte = char(random.bounded(0x80)); // NUL included
        QCOMPARE(pageText(ascii), QString::fromLocal8Bit(ascii));
        for (int at = 0; at <= size; ++at) {
            QByteArray page = ascii;
            page.insert(at, outside.at(random.bounded(outside.size())));
            const QString text = pageText(page);
            QCOMPARE(text, QString::fromLocal8Bit(page));
        }
    }
}

QTEST_GUILESS_MAIN(tst_PageParsers)
#include "tst_pageparsers.moc"

#include "pageparsers.h"
#include "pagescan.h"
#include "pagetext.h"
#include "tagscanner.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

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

} // namespace

class tst_PageParsers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void keywordCellsArePairedInDocumentOrder_data();
    void keywordCellsArePairedInDocumentOrder();
    void resultPageYieldsCountAndAds_data();
    void resultPageYieldsCountAndAds();
    void resultPageStopsWhenAskedByTheStatusSink();
    void pageTextIsTheSystemDecoding();
    void byteFoldMatchesLowerCaseForEveryUnit();
};

void tst_PageParsers::keywordCellsArePairedInDocumentOrder_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("startCount");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("expected"); // "searches|keyword" per entry, then the next one
    QTest::addColumn<bool>("noSuggestions");
    const auto row = [](const char *label, const QStringList &pages, int startCount, bool result,
                        const QStringList &expected, bool noSuggestions) {
        QTest::newRow(label) << pages << startCount << result << expected << noSuggestions;
    };
    QStringList hundred;
    for (int i = 0; i < 100; ++i)
        hundred << QStringLiteral("%1|phrase %1").arg(i);

    row("150 rows: the first 100", {"<tbody>" + rows(150)}, 0, true, hundred, false);
    row("a page parsed when the table is full takes nothing", {"<tbody>" + rows(2)}, 100, true,
        QStringList(100, QStringLiteral("|")), false);
    row("a row of three cells shifts the pairing",
        {"<tbody><tr><td>a</td><td>b</td><td>c</td></tr><tr><td>d</td><td>e</td></tr>"}, 0, true,
        {"a|b", "c|d", "e|"}, false);
    row("cells before the body are not taken",
        {"<thead><tr><td>x</td><td>y</td></tr></thead><TBODY class=k><tr><TD align=right>5</td>"
         "<td>z</td></tr>"},
        0, true, {"5|z", "|"}, false);
    row("closing body before any body ends the walk", {"</tbody><tbody>" + rows(2)}, 0, false,
        {"|"}, true);
    row("link with nbsp and a plain line break",
        {"<tbody><td> 7 </td><td> <a href=x>red&nbsp;shoes</a><br> </td>"}, 0, true,
        {"7|red&nbsp;shoes ", "|"}, false);
    row("cell tag with a line break after its name is no cell",
        {"<tbody><td>1</td><td\n>2</td><td>3</td>"}, 0, true, {"1|12", "3|"}, false);
    row("rows of a second page are appended", {"<tbody>" + rows(2), "<tbody><td>x</td><td>y</td>"},
        0, true, {"0|phrase 0", "1|phrase 1", "x|y", "|"}, false);
    // A failure keeps the rows taken and leaves the flag as it was (set here beforehand).
    row("tag without a name after two rows", {"<tbody>" + rows(2) + "< ><td>9</td><td>z</td>"}, 0,
        false, {"0|phrase 0", "1|phrase 1", "|"}, true);
}

void tst_PageParsers::keywordCellsArePairedInDocumentOrder()
{
    QFETCH(QStringList, pages);
    QFETCH(int, startCount);
    QFETCH(bool, result);
    SuggestionTable table;
    table.suggestionCount = qint16(startCount);
    table.noSuggestions = !result; // a normal end writes the flag; a failure does not
    const bool stop = false;
    bool returned = false;
    for (const QString &page : pages)
        returned = parseKeyword(page, u"0", table, stop, nullptr);
    QCOMPARE(returned, result);
    QTEST(table.noSuggestions, "noSuggestions");
    QStringList entries;
    for (int i = 0; i < table.suggestionCount; ++i)
        entries << table.entries[i].searches + u'|' + table.entries[i].keyword;
    if (table.suggestionCount < MaxSuggestions)
        entries << table.entries[table.suggestionCount].searches + QStringLiteral("|");
    QTEST(entries, "expected");
}

void tst_PageParsers::resultPageYieldsCountAndAds_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("results"); // of the entry the key names; no other entry changes
    QTest::addColumn<bool>("hasAds");
    QTest::addColumn<QStringList>("status");
    const auto row = [](const char *label, const QString &page, const char *key, bool result,
                        const char *results, bool hasAds, const QStringList &status) {
        QTest::newRow(label) << page << key << result << results << hasAds << status;
    };
    const QString count = QStringLiteral("<table><tr><td>Results <b>1</b> - <b>10</b> of about "
                                         "<b>1,234,567</b> for x</td></tr></table>");
    const QString ads = QStringLiteral("<table><tr><td>Sponsored <b>Links</b></td></tr></table>");
    const QStringList plain {Begin, Parsing, Completed};

    row("count, then sponsored links in a later table; key 7 names entry 7",
        count + ads + "<table>", "7", true, "1234567", true, {Begin, Parsing, Ads, Completed});
    row("marker and sponsored words in one chunk give only the count",
        "<table>RESULTS 1 - 10 OF ABOUT 42 sponsored link</table><p>", "0", true, "42", false,
        plain);
    row("a word that is no number is stored lower-cased",
        "<table>results 1 - 10 of about MANY things</table>", "0", true, "many", false, plain);
    row("nbsp is a space before stripping",
        "<table>results&nbsp;1 - 10 of about&nbsp;<b>12</b>&nbsp;x</table>", "0", true, "12", false,
        plain);
    row("a table chunk that yields the count stores it again, word grown",
        "<table></table><table>results 1 - 10 of about 5<table>6 x<table>", "0", true, "56", false,
        {Begin, Parsing, Parsing, Completed});
    row("a style block without its end runs to the end of the page", "<STYLE type=x>a {}" + count,
        "0", true, "", false, {Begin, Completed});
    row("script end found in any case",
        "<script>if (a<b) x = '<table>results 1 - 10 of about 3</table>'</SCRIPT>" + ads, "0", true,
        "", true, {Begin, Ads, Completed});
    row("key out of range with a page that yields nothing", "<table>nothing</table>", "100", true,
        "", false, {Begin, Completed});
    // Failures keep what was stored before them.
    row("marker with nothing after it", "<table>results 1 - 10 of about </table>", "0", false, "",
        false, {Begin});
    row("tag without a name after a count", "<table>results 1 - 10 of about 77</table><p><>", "0",
        false, "77", false, {Begin, Parsing});
    row("key outside 0 to 99 at the first store", "<table>results 1 - 10 of about 77</table>", "-1",
        false, "", false, {Begin});
}

void tst_PageParsers::resultPageYieldsCountAndAds()
{
    QFETCH(QString, page);
    QFETCH(QString, key);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    SuggestionTable table;
    const bool stop = false;
    QStringList written;
    QTEST(parseGoogleResults(page, key, table, stop, [&](const QString &s) { written << s; }),
          "result");
    QTEST(written, "status");
    const int entry = entryIndexFromKey(key);
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
    QVERIFY(!parseGoogleResults(
        u"<table>results 1 - 10 of about 8</table><table>sponsored link</table><p>", u"3", table,
        stop, sink));
    QCOMPARE(written, QStringList({Begin, Parsing}));
    QCOMPARE(table.entries[3].results, QStringLiteral("8"));
    QVERIFY(!table.entries[3].hasAds);
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
            QCOMPARE(pageText(page), QString::fromLocal8Bit(page));
        }
    }
}

void tst_PageParsers::byteFoldMatchesLowerCaseForEveryUnit()
{
    // The fast parsers search folded bytes; they must agree with lowerCase() on every unit
    // that lower-cases into ASCII, and never turn anything else into ASCII.
    std::vector<char16_t> units(0x10000);
    for (uint u = 0; u < 0x10000; ++u)
        units[u] = char16_t(u);
    std::vector<unsigned char> folded(units.size());
    PageScan::foldInto(folded.data(), units.data(), units.data() + units.size());
    for (uint u = 0; u < 0x10000; ++u) {
        const char16_t lower = lowerCase(QStringView(&units[u], 1)).at(0).unicode();
        const unsigned char expected = lower < 0x80 ? static_cast<unsigned char>(lower) : 0x80;
        if (folded[u] != expected || PageScan::fold(char16_t(u)) != expected)
            QFAIL(qPrintable(QStringLiteral("unit %1").arg(u, 4, 16, QLatin1Char('0'))));
    }
}

QTEST_GUILESS_MAIN(tst_PageParsers)
#include "tst_pageparsers.moc"

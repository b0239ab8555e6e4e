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
    for (int i = 0; i < table.SuggestionCount; ++i)
        list << table.Entries[i].Searches + u'|' + table.Entries[i].Keyword;
    if (table.SuggestionCount < MaxSuggestions)
        list << table.Entries[table.SuggestionCount].Searches + QStringLiteral("|");
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
    void keywordFailureAndStopKeepRowsAndFlag_data();
    void keywordFailureAndStopKeepRowsAndFlag();
    void keywordWritesStatusAtEveryCellTag();

    void resultPageYieldsCountAndAds_data();
    void resultPageYieldsCountAndAds();
    void resultPageFailsAndKeepsWhatWasStored_data();
    void resultPageFailsAndKeepsWhatWasStored();
    void resultPageStopsWhenAskedByTheStatusSink();
    void nestedTablesParseInLinearTime_data();
    void nestedTablesParseInLinearTime();

    void pageTextIsTheSystemDecoding();
};

void tst_PageParsers::keywordCellsArePairedInDocumentOrder_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("startCount");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("expected"); // entries, then the next entry's first cell
    QTest::addColumn<bool>("noSuggestions");

    QTest::newRow("three rows of two cells")
        << QStringList {"<table><tbody>" + rows(3) + "</tbody></table>"} << 0 << true
        << QStringList {"0|phrase 0", "1|phrase 1", "2|phrase 2", "|"} << false;
    QTest::newRow("150 rows: the first 100")
        << QStringList {"<tbody>" + rows(150)} << 0 << true << QStringList {"0|phrase 0"}
        << false; // only the first entry is checked below
    QTest::newRow("a page parsed when the table is full takes nothing")
        << QStringList {"<tbody>" + rows(2)} << 100 << true << QStringList {} << false;
    QTest::newRow("a row of three cells shifts the pairing")
        << QStringList {"<tbody><tr><td>a</td><td>b</td><td>c</td></tr>"
                        "<tr><td>d</td><td>e</td></tr>"}
        << 0 << true << QStringList {"a|b", "c|d", "e|"} << false;
    QTest::newRow("cells before the body are not taken")
        << QStringList {"<thead><tr><td>x</td><td>y</td></tr></thead><TBODY class=k>"
                        "<tr><TD align=right>5</td><td>z</td></tr>"}
        << 0 << true << QStringList {"5|z", "|"} << false;
    QTest::newRow("closing body before any body ends the walk")
        << QStringList {"</tbody><tbody>" + rows(2)} << 0 << false << QStringList {"|"} << true;
    QTest::newRow("link with nbsp and a plain line break")
        << QStringList {"<tbody><td> 7 </td><td> <a href=x>red&nbsp;shoes</a><br> </td>"} << 0
        << true << QStringList {"7|red&nbsp;shoes ", "|"} << false;
    QTest::newRow("cell tag with a line break after its name is no cell")
        << QStringList {"<tbody><td>1</td><td\n>2</td><td>3</td>"} << 0 << true
        << QStringList {"1|12", "3|"} << false;
    QTest::newRow("no tag at all")
        << QStringList {"just text"} << 0 << false << QStringList {"|"} << true;
    QTest::newRow("rows of a second page are appended")
        << QStringList {"<tbody>" + rows(2), "<tbody><td>x</td><td>y</td>"} << 0 << true
        << QStringList {"0|phrase 0", "1|phrase 1", "x|y", "|"} << false;
}

void tst_PageParsers::keywordCellsArePairedInDocumentOrder()
{
    QFETCH(QStringList, pages);
    QFETCH(int, startCount);
    QFETCH(bool, result);
    QFETCH(QStringList, expected);
    QFETCH(bool, noSuggestions);
    SuggestionTable table;
    table.SuggestionCount = qint16(startCount);
    table.NoSuggestions = !noSuggestions;
    const bool stop = false;
    bool returned = false;
    for (const QString &page : pages)
        returned = ParseKeyword(page, u"0", table, stop, nullptr);
    QCOMPARE(returned, result);
    QCOMPARE(table.NoSuggestions, noSuggestions);
    if (QByteArray(QTest::currentDataTag()).startsWith("150")) {
        QCOMPARE(table.SuggestionCount, qint16(100));
        QCOMPARE(table.Entries[99].Keyword, QStringLiteral("phrase 99"));
    } else if (startCount == 0) {
        QCOMPARE(entries(table), expected);
    } else {
        QCOMPARE(table.SuggestionCount, qint16(startCount));
        QCOMPARE(table.Entries[0].Searches, QString());
    }
}

void tst_PageParsers::keywordFailureAndStopKeepRowsAndFlag_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("stopAtStart");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("tag without a name after two rows") << "<tbody>" + rows(2)
            + "< ><td>9</td><td>z</td>" << false << QStringList {"0|phrase 0", "1|phrase 1", "|"};
    QTest::newRow("stop before the first tag") << "<tbody>" + rows(2) << true << QStringList {"|"};
}

void tst_PageParsers::keywordFailureAndStopKeepRowsAndFlag()
{
    QFETCH(QString, page);
    QFETCH(bool, stopAtStart);
    QFETCH(QStringList, expected);
    SuggestionTable table;
    table.NoSuggestions = true;
    const bool stop = stopAtStart;
    QStringList status;
    QVERIFY(!ParseKeyword(page, u"0", table, stop, [&](const QString &s) { status << s; }));
    QCOMPARE(entries(table), expected);
    QVERIFY(table.NoSuggestions); // unchanged: only a normal end writes it
    QCOMPARE(status.size(), stopAtStart ? 1 : 1 + 1 + 4 * 2); // nothing after the failure
}

void tst_PageParsers::keywordWritesStatusAtEveryCellTag()
{
    SuggestionTable table;
    const bool stop = false;
    QStringList status;
    ParseKeyword(u"<td></td><tbody><tr><td>1</td></tbody><td>", u"0", table, stop,
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
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("results");
    QTest::addColumn<bool>("hasAds");
    QTest::addColumn<QStringList>("status");
    const QString count = QStringLiteral("<table><tr><td>Results <b>1</b> - <b>10</b> of about "
                                         "<b>1,234,567</b> for x</td></tr></table>");
    const QString ads = QStringLiteral("<table><tr><td>Sponsored <b>Links</b></td></tr></table>");

    QTest::newRow("count with digit grouping in the first table")
        << count << "0"
        << "en_US" << 0 << "1234567" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("count, then sponsored links in a later table; key 7 names entry 7")
        << count + ads + "<table>"
        << "7"
        << "en_US" << 7 << "1234567" << true << QStringList {Begin, Parsing, Ads, Completed};
    QTest::newRow("marker and sponsored words in one chunk give only the count")
        << "<table>RESULTS 1 - 10 OF ABOUT 42 sponsored link</table><p>"
        << "0"
        << "en_US" << 0 << "42" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("regional number format")
        << "<table>results 1 - 10 of about 9.876.543</table>"
        << "abc"
        << "de_DE" << 0 << "9876543" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("a word that is no number is stored lower-cased")
        << "<table>results 1 - 10 of about MANY things</table>"
        << "0"
        << "en_US" << 0 << "many" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("nbsp is a space before stripping")
        << "<table>results&nbsp;1 - 10 of about&nbsp;<b>12</b>&nbsp;x</table>"
        << "0"
        << "en_US" << 0 << "12" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("fewer than ten results: other phrase, no count")
        << "<table>Results 1 - 3 of 3</table>"
        << "0"
        << "en_US" << 0 << "" << false << QStringList {Begin, Completed};
    QTest::newRow("a table chunk that yields the count stores it again, word grown")
        << "<table></table><table>results 1 - 10 of about 5<table>6 x<table>"
        << "0"
        << "en_US" << 0 << "56" << false << QStringList {Begin, Parsing, Parsing, Completed};
    QTest::newRow("a less-than inside a style block is no tag")
        << "<style>a <> b</style>" + count << "0"
        << "en_US" << 0 << "1234567" << false << QStringList {Begin, Parsing, Completed};
    QTest::newRow("a style block without its end runs to the end of the page")
        << "<STYLE type=x>a {}" + count << "0"
        << "en_US" << 0 << "" << false << QStringList {Begin, Completed};
    QTest::newRow("script end found in any case")
        << "<script>if (a<b) x = '<table>results 1 - 10 of about 3</table>'</SCRIPT>" + ads << "0"
        << "en_US" << 0 << "" << true << QStringList {Begin, Ads, Completed};
    QTest::newRow("key out of range with a page that yields nothing")
        << "<table>nothing here</table>"
        << "100"
        << "en_US" << 100 << "" << false << QStringList {Begin, Completed};
}

void tst_PageParsers::resultPageYieldsCountAndAds()
{
    QFETCH(QString, page);
    QFETCH(QString, key);
    QFETCH(QString, locale);
    QFETCH(int, entry);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    QFETCH(QStringList, status);
    QLocale::setDefault(QLocale(locale));
    SuggestionTable table;
    const bool stop = false;
    QStringList written;
    QVERIFY(ParseGoogleResults(page, key, table, stop, [&](const QString &s) { written << s; }));
    QCOMPARE(written, status);
    QCOMPARE(EntryIndexFromKey(key), entry);
    if (entry < MaxSuggestions) {
        QCOMPARE(table.Entries[entry].Results, results);
        QCOMPARE(table.Entries[entry].HasAds, hasAds);
    }
}

void tst_PageParsers::resultPageFailsAndKeepsWhatWasStored_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QStringList>("status");
    QTest::newRow("marker with nothing after it") << "<table>results 1 - 10 of about </table>"
                                                  << "0"
                                                  << "" << QStringList {Begin};
    QTest::newRow("tag without a name after a count")
        << "<table>results 1 - 10 of about 77</table><p><>"
        << "0"
        << "77" << QStringList {Begin, Parsing};
    QTest::newRow("key outside 0 to 99 at the first store")
        << "<table>results 1 - 10 of about 77</table>"
        << "-1"
        << "" << QStringList {Begin};
}

void tst_PageParsers::resultPageFailsAndKeepsWhatWasStored()
{
    QFETCH(QString, page);
    QFETCH(QString, key);
    QFETCH(QString, results);
    QFETCH(QStringList, status);
    SuggestionTable table;
    const bool stop = false;
    QStringList written;
    QVERIFY(!ParseGoogleResults(page, key, table, stop, [&](const QString &s) { written << s; }));
    QCOMPARE(written, status);
    QCOMPARE(table.Entries[0].Results, results);
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
    QVERIFY(!ParseGoogleResults(u"<table>results 1 - 10 of about 8</table><table>sponsored "
                                u"link</table><p>",
                                u"3", table, stop, sink));
    QCOMPARE(written, QStringList({Begin, Parsing}));
    QCOMPARE(table.Entries[3].Results, QStringLiteral("8"));
    QVERIFY(!table.Entries[3].HasAds);
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
    QVERIFY(ParseGoogleResults(page, u"0", table, stop, nullptr));
    // Takes milliseconds; the bound only has to tell linear from quadratic on a busy machine.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(table.Entries[0].Results, results);
    QVERIFY(!table.Entries[0].HasAds);
}

// Page text takes a short cut for ASCII pages; it must read every page as the system decoder
// does, whichever byte first leaves ASCII, and keep an empty page apart from a missing one.
void tst_PageParsers::pageTextIsTheSystemDecoding()
{
    QCOMPARE(PageText(QByteArray()).isNull(), QString::fromLocal8Bit(QByteArray()).isNull());
    QCOMPARE(PageText(QByteArray("")).isNull(), QString::fromLocal8Bit(QByteArray("")).isNull());

    QRandomGenerator random(6);
    const QList<QByteArray> outside = {"\x80",         "\xff", "\xc3\xa9",         "\xe2\x84\xaa",
                                       "\xef\xbb\xbf", "\xc3", "\xf0\x9f\x98\x80", "\xed\xa0\x80"};
    for (int size = 0; size < 70; ++size) {
        QByteArray ascii(size, Qt::Uninitialized);
        for (char &byte : ascii)
            byte = char(random.bounded(0x80)); // NUL included
        QCOMPARE(PageText(ascii), QString::fromLocal8Bit(ascii));
        for (int at = 0; at <= size; ++at) {
            QByteArray page = ascii;
            page.insert(at, outside.at(random.bounded(outside.size())));
            const QString text = PageText(page);
            QCOMPARE(text, QString::fromLocal8Bit(page));
        }
    }
}

QTEST_GUILESS_MAIN(tst_PageParsers)
#include "tst_pageparsers.moc"

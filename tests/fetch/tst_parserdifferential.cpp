// The fast parsers against the plain reference on generated pages. QUORVANE_DIFF_PAGES sets
// the number of pages per parser and QUORVANE_DIFF_SEED the generator seed (printed on every
// run, so that a failure can be replayed).

#include "results/splitmix64.h"
#include "tests/fetch/parsercomparison.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

using namespace Quorvane;

namespace {

// The pieces of a page, "|" between them.
QStringList pieces(const char16_t *text)
{
    return QString::fromUtf16(text).split(u'|');
}

struct PageGenerator
{
    SplitMix64 random;

    int below(int n) { return int(random.next() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }
    const QString &pick(const QStringList &list) { return list.at(below(int(list.size()))); }
    // "<>" and "< >" fail a walk at once: they are kept rare.
    QString piece(const QStringList &list)
    {
        const QString &p = pick(list);
        return (p == QLatin1String("<>") || p == QLatin1String("< >")) && chance(80) ? QString()
                                                                                     : p;
    }

    QString resultPage()
    {
        static const QStringList structure = pieces(
            u"<table>|</table>|<TABLE border=0 width=100%>|</TABLE>| <table >|<table&nbsp;x>|"
            u"</table\n>|<tables>|</ table>|<tr>|<td>|</td>|<b>|</b>|<br>|<BR>|<br/>|<br >|<p>|"
            u"<a href=\"/url?q=x\">|</a>|<font size=-1>|</font>|<!-- c -->|<div class=g>");
        static const QStringList blocks = pieces(
            u"<style>|</style>|<STYLE type=text/css>|</Style>|<script>|</script>|<SCRIPT "
            u"language=js>|</SCRIPT>|</style|</scr\u0130pt>|<style>a < b { x: 1 }</style>|"
            u"<script>if (a<b) x = \"</table>\";</script>|<a title=\"</SCRIPT>\">|<b </style>");
        static const QStringList markers = pieces(
            u"results 1 - 10 of about|Results <b>1</b> - <b>10</b> of about |RESULTS 1 - 10 OF "
            u"ABOUT |results 1&nbsp;- 10 of about&nbsp;|results 1 - 10 of about<br>|results 1 - "
            u"10 of| of about |results 1 - <b>10</b> of about <b>|Results 1 - 10 of about  ");
        static const QStringList words = pieces(
            u"1,234,567|12|1.5|abc|-3|9|1,23|<b>2</b>|1e5|\u212A|sponsored|Sponsored Links|"
            u"SPON<b>SORED</b>|link|lin\u212A|li<br>nk|spon|sored|&nbsp;|&NBSP;|&amp;|&nb|sp;| |"
            u"  |\t|\n|<|>|a < b|c > d|x|hello world|\u00fc|\u0130|<>|< >");
        QString page = chance(20)
            ? QStringLiteral("<html><head><style>td { color: red }</style></head>")
            : QString();
        for (int i = below(chance(10) ? 400 : 40); i > 0; --i) {
            const int kind = below(100);
            if (kind < 40)
                page += pick(structure);
            else if (kind < 48)
                page += pick(blocks);
            else if (kind < 60)
                page += pick(markers);
            else if (kind < 70) // nested tables opened or closed
                for (int d = 1 + below(6); d > 0; --d)
                    page += chance(80)
                        ? QLatin1String(kind < 66 ? "<table><tr><td>" : "</td></tr></table>")
                        : piece(kind < 66 ? structure : words);
            else
                page += piece(words);
        }
        return chance(15) ? page.replace(u' ', QStringLiteral("&nbsp;")) : page;
    }

    QString keywordPage()
    {
        static const QStringList tags = pieces(
            u"<table>|<thead>|<th>|</th>|<tbody>|</tbody>|<TBODY class=x>|< tbody >|<tr>|</tr>|"
            u"<td>|<TD align=right>|</td>|</TD >|<td\n>|<td&nbsp;x>|<tdx>|</td\t>|<a href='/x'>|"
            u"</a>|<br>|<br/>|<b>|</b>|<tbody&NBSP;>");
        static const QStringList texts = pieces(
            u"1200|  35 |best&nbsp;shoes|red shoes|&amp;|| |<|>|x > y|caf\u00e9|\u212A|1,000|<>");
        QString page = chance(15) ? QStringLiteral("<td>head</td>") : QString();
        for (int i = below(60); i > 0; --i) {
            const int kind = below(100);
            if (kind < 45) {
                page += pick(tags);
            } else if (kind < 85) {
                page += piece(texts);
            } else {
                const int rows = chance(20) ? 60 + below(90) : below(5);
                for (int r = 0; r < rows; ++r)
                    page += QStringLiteral("<tr><td>%1</td><td> <a href=x>phrase %2</a><br></td>%3"
                                           "</tr>")
                                .arg(below(5000))
                                .arg(r)
                                .arg(chance(5) ? QStringLiteral("<td>extra</td>") : QString());
            }
        }
        return chance(10) ? page.replace(u' ', QStringLiteral("&nbsp;")) : page;
    }

    Reference::ParseCase parseCase(bool keywordPages)
    {
        static const QStringList keys = pieces(u"0|7|99|1|42|100|-1|abc||12x|+3|5 |99999999999");
        static const QList<qint16> counts = {0, 0, 0, 0, 1, 3, 98, 99, 100, 100, -1, 101};
        Reference::ParseCase parse;
        parse.keywordPages = keywordPages;
        parse.pages << (keywordPages ? keywordPage() : resultPage());
        if (keywordPages && chance(25))
            parse.pages << keywordPage(); // the run's second first-phase page
        parse.key = pick(keys);
        if (chance(30)) { // a table part-filled by earlier pages
            for (int i = 0; i < MaxSuggestions; i += 1 + below(30)) {
                parse.table.entries[i].searches = QString::number(i);
                parse.table.entries[i].results = QStringLiteral("old");
                parse.table.entries[i].hasAds = chance(50);
            }
        }
        parse.table.suggestionCount = counts.at(below(int(counts.size())));
        parse.table.noSuggestions = chance(50);
        parse.stopAfter = chance(85) ? -1 : below(12);
        return parse;
    }
};

} // namespace

class tst_ParserDifferential final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fastAndReferenceAgree_data()
    {
        QTest::addColumn<bool>("keywordPages");
        QTest::addColumn<QString>("locale");
        QTest::newRow("result pages, English number format") << false << "en_US";
        QTest::newRow("result pages, German locale") << false << "de_DE";
        QTest::newRow("keyword pages") << true << "en_US";
    }

    void fastAndReferenceAgree()
    {
        QFETCH(bool, keywordPages);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const quint64 seed = qEnvironmentVariableIsSet("QUORVANE_DIFF_SEED")
            ? qEnvironmentVariable("QUORVANE_DIFF_SEED").toULongLong()
            : QRandomGenerator::system()->generate64();
        const int pages = qEnvironmentVariableIsSet("QUORVANE_DIFF_PAGES")
            ? qMax(1, qEnvironmentVariableIntValue("QUORVANE_DIFF_PAGES"))
            : 5000;
        qInfo("QUORVANE_DIFF_SEED=%llu QUORVANE_DIFF_PAGES=%d", seed, pages);
        PageGenerator generator {
            SplitMix64 {seed ^ (quint64(keywordPages) * SplitMix64::Increment) ^ qHash(locale)}};
        // Rows taken or a count read; the table filled up or sponsored links found.
        int taken = 0;
        int full = 0;
        int failed = 0;
        for (int n = 0; n < pages; ++n) {
            const Reference::ParseCase parse = generator.parseCase(keywordPages);
            const QString textDifference = Reference::textDifference(parse.pages.first());
            QVERIFY2(textDifference.isEmpty(), qPrintable(textDifference));
            const Reference::ParseOutcome expected = Reference::parseReference(parse);
            const QString difference =
                Reference::outcomeDifference(Reference::parseFast(parse), expected);
            QVERIFY2(difference.isEmpty(),
                     qPrintable(QStringLiteral("page %1 key [%2] stop after %3\npages: [%4]\n%5")
                                    .arg(n)
                                    .arg(parse.key)
                                    .arg(parse.stopAfter)
                                    .arg(parse.pages.join(QStringLiteral("] [")), difference)));
            const bool took = expected.table.suggestionCount > parse.table.suggestionCount;
            taken += took || expected.status.contains(QStringLiteral("Parsing ..."));
            full += (took && expected.table.suggestionCount == MaxSuggestions)
                || expected.status.contains(QStringLiteral("Sponsored links founnd"));
            failed += !expected.result;
        }
        qInfo("%d pages: %d taking rows or a count, %d filling the table or with sponsored links, "
              "%d returning false",
              pages, taken, full, failed);
        // The generator must keep reaching every outcome, or the comparison proves little.
        if (pages >= 1000)
            QVERIFY(taken > pages / 50 && full > pages / 200 && failed > pages / 50);
    }
};

QTEST_GUILESS_MAIN(tst_ParserDifferential)
#include "tst_parserdifferential.moc"

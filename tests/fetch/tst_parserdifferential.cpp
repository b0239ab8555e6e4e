// The fast parsers against the plain reference on generated pages. QUORVANE_DIFF_PAGES sets
// the number of pages per parser and QUORVANE_DIFF_SEED the generator seed (printed on every
// run, so that a failure can be replayed).

#include "parsercomparison.h"
#include "splitmix64.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

using namespace Quorvane;

namespace {

class PageGenerator
{
public:
    explicit PageGenerator(quint64 seed)
        : m_random {seed}
    { }

    int below(int n) { return int(m_random.next() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template<typename T>
    const T &pick(const QList<T> &list)
    {
        return list.at(below(int(list.size())));
    }

    QString resultPage()
    {
        static const QStringList structure =
            QStringLiteral(
                "<table>|</table>|<TABLE border=0 width=100%>|</TABLE>| <table "
                ">|<table&nbsp;x>|</table\n>|<tables>|</ "
                "table>|<tr>|<td>|</td>|<b>|</b>|<br>|<BR>|<br/>|<br >|<p>|<a "
                "href=\"/url?q=x\">|</a>|<font size=-1>|</font>|<!-- c -->|<div class=g>")
                .split(u'|');
        static const QStringList blocks =
            QStringLiteral(
                "<style>|</style>|<STYLE type=text/css>|</Style>|<script>|</script>|<SCRIPT "
                "language=js>|</SCRIPT>|</style|</scr\u0130pt>|<style>a < b { x: 1 "
                "}</style>|<script>if (a<b) x = \"</table>\";</script>|<a title=\"</SCRIPT>\">|<b "
                "</style>")
                .split(u'|');
        static const QStringList markers =
            QStringLiteral(
                "results 1 - 10 of about|Results <b>1</b> - <b>10</b> of about |RESULTS 1 - 10 OF "
                "ABOUT |results 1&nbsp;- 10 of about&nbsp;|results 1 - 10 of about<br>|results 1 - "
                "10 of| of about |results 1 - <b>10</b> of about <b>|Results 1 - 10 of about  ")
                .split(u'|');
        static const QStringList words =
            QStringLiteral("1,234,567|12|1.5|abc|-3|9|1,23|<b>2</b>|1e5|\u212A|sponsored|Sponsored "
                           "Links|SPON<b>SORED</"
                           "b>|link|lin\u212A|li<br>nk|spon|sored|&nbsp;|&NBSP;|&amp;|&nb|sp;| |  "
                           "|\t|\n|<|>|a < b|c > d|x|hello world|\u00fc|\u0130|<>|< >")
                .split(u'|');
        QString page;
        if (chance(20))
            page += QStringLiteral("<html><head><style>td { color: red }</style></head>");
        const int pieces = below(chance(10) ? 400 : 40);
        for (int i = 0; i < pieces; ++i) {
            const int kind = below(100);
            if (kind < 40) {
                page += pick(structure);
            } else if (kind < 48) {
                // <> and < > fail the walk at once: keep them rare
                const QString &block = pick(blocks);
                page += block;
            } else if (kind < 60) {
                page += pick(markers);
            } else if (kind < 66) {
                const int depth = 1 + below(6);
                for (int d = 0; d < depth; ++d)
                    page += chance(80) ? QStringLiteral("<table><tr><td>") : pick(structure);
            } else if (kind < 70) {
                const int depth = 1 + below(6);
                for (int d = 0; d < depth; ++d)
                    page += chance(80) ? QStringLiteral("</td></tr></table>") : pick(words);
            } else {
                const QString &word = pick(words);
                if ((word == QLatin1String("<>") || word == QLatin1String("< >")) && chance(80))
                    continue;
                page += word;
            }
        }
        if (chance(15))
            page.replace(u' ', QStringLiteral("&nbsp;"));
        return page;
    }

    QString keywordPage()
    {
        static const QStringList tags =
            QStringLiteral("<table>|<thead>|<th>|</th>|<tbody>|</tbody>|<TBODY class=x>|< tbody "
                           ">|<tr>|</tr>|<td>|<TD align=right>|</td>|</TD "
                           ">|<td\n>|<td&nbsp;x>|<tdx>|</td\t>|<a "
                           "href='/x'>|</a>|<br>|<br/>|<b>|</b>|<tbody&NBSP;>")
                .split(u'|');
        static const QStringList texts =
            QStringLiteral(
                "1200|  35 |best&nbsp;shoes|red shoes|&amp;|| |<|>|x > y|caf\u00e9|\u212A|1,000|<>")
                .split(u'|');
        QString page;
        if (chance(15))
            page += QStringLiteral("<td>head</td>");
        const int pieces = below(60);
        for (int i = 0; i < pieces; ++i) {
            const int kind = below(100);
            if (kind < 45) {
                page += pick(tags);
            } else if (kind < 85) {
                const QString &text = pick(texts);
                if (text == QLatin1String("<>") && chance(90))
                    continue;
                page += text;
            } else {
                const int rows = chance(20) ? 60 + below(90) : below(5);
                for (int r = 0; r < rows; ++r) {
                    page += QStringLiteral("<tr><td>%1</td><td> <a href=x>phrase %2</a><br></td>")
                                .arg(below(5000))
                                .arg(r);
                    if (chance(5))
                        page += QStringLiteral("<td>extra</td>");
                    page += QStringLiteral("</tr>");
                }
            }
        }
        if (chance(10))
            page.replace(u' ', QStringLiteral("&nbsp;"));
        return page;
    }

    Reference::ParseCase parseCase(bool keywordPages)
    {
        Reference::ParseCase parse;
        parse.keywordPages = keywordPages;
        parse.pages << (keywordPages ? keywordPage() : resultPage());
        if (keywordPages && chance(25))
            parse.pages << keywordPage(); // the run's second first-phase page
        parse.key = key();
        parse.table = startingTable();
        parse.stopAfter = stopAfter();
        return parse;
    }

private:
    SuggestionTable startingTable()
    {
        static const QList<qint16> counts = {0, 0, 0, 0, 1, 3, 98, 99, 100, 100, -1, 101};
        SuggestionTable table;
        if (chance(30)) {
            for (int i = 0; i < MaxSuggestions; i += 1 + below(30)) {
                table.entries[i].searches = QString::number(i);
                table.entries[i].results = QStringLiteral("old");
                table.entries[i].hasAds = chance(50);
            }
        }
        table.suggestionCount = pick(counts);
        table.noSuggestions = chance(50);
        return table;
    }

    QString key()
    {
        static const QStringList keys =
            QStringLiteral("0|7|99|1|42|100|-1|abc||12x|+3|5 |99999999999").split(u'|');
        return pick(keys);
    }

    // -1: never stop; otherwise the run is stopped after that many status texts
    int stopAfter() { return chance(85) ? -1 : below(12); }

    SplitMix64 m_random;
};

} // namespace

class tst_ParserDifferential final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fastAndReferenceAgree_data();
    void fastAndReferenceAgree();
    void textHelpersAgreeWithReferenceOnRandomText();

private:
    quint64 m_seed = 0;
    int m_pages = 0;
};

void tst_ParserDifferential::initTestCase()
{
    bool ok = false;
    m_seed = qEnvironmentVariable("QUORVANE_DIFF_SEED").toULongLong(&ok);
    if (!ok)
        m_seed = QRandomGenerator::system()->generate64();
    m_pages = qEnvironmentVariableIntValue("QUORVANE_DIFF_PAGES", &ok);
    if (!ok || m_pages <= 0)
        m_pages = 5000;
    qInfo("QUORVANE_DIFF_SEED=%llu QUORVANE_DIFF_PAGES=%d", m_seed, m_pages);
}

void tst_ParserDifferential::fastAndReferenceAgree_data()
{
    QTest::addColumn<bool>("keywordPages");
    QTest::addColumn<QString>("locale");
    QTest::newRow("result pages, English number format") << false << "en_US";
    QTest::newRow("result pages, German number format") << false << "de_DE";
    QTest::newRow("keyword pages") << true << "en_US";
}

void tst_ParserDifferential::fastAndReferenceAgree()
{
    QFETCH(bool, keywordPages);
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    PageGenerator generator(m_seed ^ (keywordPages ? SplitMix64::Increment : 0) ^ qHash(locale));

    int withCount = 0; // result pages: a count stored; keyword pages: rows taken
    int withAds = 0; // result pages: sponsored links; keyword pages: the table filled up
    int failed = 0;
    for (int n = 0; n < m_pages; ++n) {
        const Reference::ParseCase parse = generator.parseCase(keywordPages);
        const Reference::ParseOutcome expected = Reference::parseReference(parse);
        const QString difference =
            Reference::outcomeDifference(Reference::parseFast(parse), expected);
        QVERIFY2(
            difference.isEmpty(),
            qPrintable(QStringLiteral("seed %1 page %2 key [%3] stop after %4\npages: [%5]\n%6")
                           .arg(m_seed)
                           .arg(n)
                           .arg(parse.key)
                           .arg(parse.stopAfter)
                           .arg(parse.pages.join(QStringLiteral("] [")), difference)));
        if (keywordPages) {
            const bool took = expected.table.suggestionCount > parse.table.suggestionCount;
            withCount += took;
            withAds += took && expected.table.suggestionCount == MaxSuggestions;
        } else {
            withCount += expected.status.contains(QStringLiteral("Parsing ..."));
            withAds += expected.status.contains(QStringLiteral("Sponsored links founnd"));
        }
        failed += !expected.result;
    }
    qInfo(keywordPages ? "%d pages: %d taking rows, %d filling the table, %d returning false"
                       : "%d pages: %d with a count, %d with sponsored links, %d returning false",
          m_pages, withCount, withAds, failed);
    // The generator must keep reaching every outcome, or the comparison proves little.
    if (m_pages >= 1000) {
        QVERIFY(withCount > m_pages / 50);
        QVERIFY(withAds > m_pages / 200);
        QVERIFY(failed > m_pages / 50);
    }
}

void tst_ParserDifferential::textHelpersAgreeWithReferenceOnRandomText()
{
    PageGenerator generator(m_seed + 1);
    const QString alphabet = QStringLiteral("<>< bBrR/&nbsp;NBSP\t\n x\u212A\u0130");
    for (int n = 0; n < m_pages; ++n) {
        QString text;
        const int length = generator.below(24);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(generator.below(int(alphabet.size())));
        const QString difference = Reference::textDifference(text);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
}

QTEST_GUILESS_MAIN(tst_ParserDifferential)
#include "tst_parserdifferential.moc"

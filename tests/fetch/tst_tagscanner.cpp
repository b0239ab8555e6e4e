#include "pagescan.h"
#include "tagscanner.h"

#include <QTest>

#include <vector>

using namespace Quorvane;

class tst_TagScanner final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTagFromScanPosition_data();
    void findsTagFromScanPosition();
    void namesTagByFirstLowerCaseWord_data();
    void namesTagByFirstLowerCaseWord();
    void stripsTagsKeepingPlainLineBreaksAsSpaces_data();
    void stripsTagsKeepingPlainLineBreaksAsSpaces();
    void positionZeroLiesBeforeTheFirstCharacter();
    void byteFoldMatchesQtLowerCaseForEveryUnit();
};

void tst_TagScanner::findsTagFromScanPosition_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<qsizetype>("scan");
    QTest::addColumn<qsizetype>("start"); // 0: no tag
    QTest::addColumn<qsizetype>("end");
    const auto row = [](const char *label, const char *page, int scan, int start, int end) {
        QTest::newRow(label) << QString::fromLatin1(page) << qsizetype(scan) << qsizetype(start)
                             << qsizetype(end);
    };
    row("first tag of the page", "ab<c>d", 0, 3, 5);
    row("scan from the previous tag's end", "<a><b>", 3, 4, 6);
    row("less-than in running text pairs with a later greater-than", "1 < 2 and 3 > 2", 0, 3, 13);
    row("a second less-than does not restart the tag", "<a <b>", 0, 1, 6);
    row("no greater-than after the first less-than", "x>y<z", 0, 0, 0);
    row("no less-than", "abc>", 0, 0, 0);
    row("scan past the last tag", "<a>bc", 3, 0, 0);
    row("empty page", "", 0, 0, 0);
}

void tst_TagScanner::findsTagFromScanPosition()
{
    QFETCH(QString, page);
    QFETCH(qsizetype, scan);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, end);
    const std::optional<TagSpan> tag = findNextTag(page, scan);
    QCOMPARE(tag.has_value(), start > 0);
    if (tag) {
        QCOMPARE(tag->start, start);
        QCOMPARE(tag->end, end);
    }
}

void tst_TagScanner::namesTagByFirstLowerCaseWord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name"); // "(none)": the tag has no name
    const auto row = [](const char *label, const char *text, const char *name) {
        QTest::newRow(label) << QString::fromLatin1(text) << QString::fromLatin1(name);
    };
    row("cell with attributes", "td class=x", "td");
    row("closing body in upper case", "/TBODY", "/tbody");
    row("self-closing line break keeps its slash", "br/", "br/");
    row("spaces at both ends", "  table  ", "table");
    row("nbsp in any case ends the name", "td&NBSP;x", "td");
    row("nbsp first gives an empty name", "&nbsp;td", "");
    row("line break after the name belongs to it", "td\nclass=x", "td\nclass=x");
    row("tab is not trimmed", "\ttd", "\ttd");
    row("empty", "", "(none)");
    row("only spaces", "   ", "(none)");
}

void tst_TagScanner::namesTagByFirstLowerCaseWord()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(tagName(text).value_or(QStringLiteral("(none)")), name);
    const QStringView view(text);
    QCOMPARE(PageScan::classifyTag(view.utf16(), view.utf16() + view.size())
                 == PageScan::TagKind::Td,
             name == QLatin1String("td"));
}

void tst_TagScanner::stripsTagsKeepingPlainLineBreaksAsSpaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stripped");
    const auto row = [](const char *label, const char *text, const char *stripped) {
        QTest::newRow(label) << QString::fromLatin1(text) << QString::fromLatin1(stripped);
    };
    row("bold numbers in the count phrase", "results <b>1</b> - <b>10</b> of about <b>2,000</b>",
        "results 1 - 10 of about 2,000");
    row("plain line break, any case", "red<br>shoes<BR>now", "red shoes now");
    row("line break with slash or attributes vanishes", "red<br/>shoes<br />x<br clear=all>y",
        "redshoesxy");
    row("lone less-than stays with what follows", "x<b>y<z and more", "xy<z and more");
    row("no greater-than: unchanged", "a < b", "a < b");
    row("character references stay", "a&amp;b&nbsp;c", "a&amp;b&nbsp;c");
    row("empty tags vanish", "a<>b< >c", "abc");
}

void tst_TagScanner::stripsTagsKeepingPlainLineBreaksAsSpaces()
{
    QFETCH(QString, text);
    QTEST(stripTags(text), "stripped");
}

void tst_TagScanner::positionZeroLiesBeforeTheFirstCharacter()
{
    const QString page = QStringLiteral("abc<d>e");
    QCOMPARE(textBetween(page, 0, 4), QStringLiteral("abc"));
    QCOMPARE(textBetween(page, 4, 6), QStringLiteral("d"));
    QCOMPARE(textBetween(page, 5, 6), QString());
    QCOMPARE(tagText(page, *findNextTag(page, 0)), QStringLiteral("d"));
}

void tst_TagScanner::byteFoldMatchesQtLowerCaseForEveryUnit()
{
    // The fast parsers search folded bytes; they must agree with LowerCase() on every unit
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
    QCOMPARE(lowerCase(u"A\u212A\u0130"), QStringView(u"ak\u0130").toString()); // one unit per unit
}

QTEST_GUILESS_MAIN(tst_TagScanner)
#include "tst_tagscanner.moc"

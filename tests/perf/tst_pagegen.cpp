// The benchmark and the scaling guard are only as good as their pages: each family must keep
// its hostile structure at every size, and the realistic page must make the parser walk all of
// it.

#include "pagegen.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <limits>

using namespace Quorvane;

namespace {

// Depth of <table> nesting reached, counting opening and closing table tags in page order.
int maxTableDepth(const QByteArray &page)
{
    int depth = 0;
    int deepest = 0;
    for (qsizetype at = page.indexOf('<'); at >= 0; at = page.indexOf('<', at + 1)) {
        if (page.mid(at, 6) == "<table")
            deepest = std::max(deepest, ++depth);
        else if (page.mid(at, 8) == "</table>")
            --depth;
    }
    return deepest;
}

} // namespace

class PageGenTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostilePagesHaveExactlyTheSizeAsked_data();
    void hostilePagesHaveExactlyTheSizeAsked();
    void hostileStructureGrowsWithThePage_data();
    void hostileStructureGrowsWithThePage();
    void eachFamilyKeepsItsDefiningTrait();
    void realisticPageCarriesCountFirstAndSponsoredLinksLast();
    void pagesDependOnlyOnTheSeed();
    void keywordPageListsTheRowsAsked();
    void nestedTablesPageIsTheMebibyteOfThirtyThousandTables();
};

void PageGenTest::hostilePagesHaveExactlyTheSizeAsked_data()
{
    QTest::addColumn<HostileFamily>("family");
    QTest::addColumn<qsizetype>("bytes");
    for (HostileFamily family : AllHostileFamilies()) {
        const QByteArray name = HostileFamilyName(family).toLatin1();
        QTest::newRow(name + "-4K") << family << qsizetype(4096);
        QTest::newRow(name + "-512K+7") << family << qsizetype(512 * 1024 + 7);
        QTest::newRow(name + "-2M") << family << qsizetype(2048 * 1024);
    }
}

void PageGenTest::hostilePagesHaveExactlyTheSizeAsked()
{
    QFETCH(HostileFamily, family);
    QFETCH(qsizetype, bytes);
    QCOMPARE(HostilePage(family, bytes).size(), bytes);
}

void PageGenTest::hostileStructureGrowsWithThePage_data()
{
    QTest::addColumn<HostileFamily>("family");
    QTest::addColumn<QByteArray>("unit");
    // How many of `unit` a 512 KiB page holds at least.
    QTest::addColumn<int>("atHalfMebibyte");
    QTest::newRow("nested") << HostileFamily::Nested << QByteArray("<table>") << 10000;
    QTest::newRow("unclosed") << HostileFamily::Unclosed << QByteArray("<table>") << 15000;
    QTest::newRow("lt") << HostileFamily::Lt << QByteArray("<") << 100000;
    QTest::newRow("br") << HostileFamily::Br << QByteArray("<br") << 100000;
    QTest::newRow("style") << HostileFamily::Style << QByteArray("<style>") << 10000;
    QTest::newRow("nbsp") << HostileFamily::Nbsp << QByteArray("&nbsp;") << 50000;
}

void PageGenTest::hostileStructureGrowsWithThePage()
{
    QFETCH(HostileFamily, family);
    QFETCH(QByteArray, unit);
    QFETCH(int, atHalfMebibyte);

    const qsizetype half = HostilePage(family, 512 * 1024).toLower().count(unit);
    const qsizetype two = HostilePage(family, 2048 * 1024).toLower().count(unit);
    QVERIFY2(half >= atHalfMebibyte, qPrintable(QString::number(half)));
    // Four times the page, about four times the structure: the guard compares like with like.
    QVERIFY2(std::abs(two - 4 * half) <= two / 100,
             qPrintable(QStringLiteral("%1 at 512 KiB, %2 at 2 MiB").arg(half).arg(two)));
}

void PageGenTest::eachFamilyKeepsItsDefiningTrait()
{
    constexpr qsizetype Size = 512 * 1024;

    const QByteArray nested = HostilePage(HostileFamily::Nested, Size);
    QVERIFY(maxTableDepth(nested) >= 10000);
    QVERIFY(nested.indexOf("sponsored") < nested.indexOf("</table>"));
    QVERIFY(nested.lastIndexOf("link") > nested.lastIndexOf("</table>"));

    const QByteArray unclosed = HostilePage(HostileFamily::Unclosed, Size);
    const qsizetype marker = unclosed.indexOf("of about");
    QVERIFY(marker > unclosed.indexOf("</table>"));
    QCOMPARE(unclosed.indexOf("</table>", marker), qsizetype(-1));

    const QByteArray lt = HostilePage(HostileFamily::Lt, Size);
    const qsizetype lastClose = lt.lastIndexOf('>');
    QVERIFY(lastClose < 1024);
    QVERIFY(lt.count('<') - lt.left(lastClose).count('<') > 100000);

    // One tag spans nearly the whole page, and no "<" or ">" hides inside its value.
    const QByteArray attribute = HostilePage(HostileFamily::Attribute, Size);
    const qsizetype open = attribute.indexOf("<td title=");
    const qsizetype close = attribute.indexOf('>', open);
    QVERIFY(close - open > Size * 9 / 10);
    QCOMPARE(attribute.mid(open + 1, close - open - 1).indexOf('<'), qsizetype(-1));

    // The line breaks and style blocks sit in one cell, so one chunk and one cell hold them all.
    for (HostileFamily family : {HostileFamily::Br, HostileFamily::Style, HostileFamily::Nbsp}) {
        const QByteArray page = HostilePage(family, Size);
        QCOMPARE(page.count("</td>"), qsizetype(3));
        QVERIFY(page.indexOf("</td>", page.indexOf("<td>7</td>") + 10) > Size * 9 / 10);
    }
}

void PageGenTest::realisticPageCarriesCountFirstAndSponsoredLinksLast()
{
    const QByteArray page = RealisticResultPage();
    QVERIFY2(page.size() > 280000 && page.size() < 330000,
             qPrintable(QString::number(page.size())));

    QString grouped = RealisticResultCount();
    for (qsizetype i = grouped.size() - 3; i > 0; i -= 3)
        grouped.insert(i, u',');
    const qsizetype count =
        page.indexOf("Results <b>1</b> - <b>10</b> of about <b>" + grouped.toLatin1() + "</b>");
    QVERIFY(count > 0);
    QVERIFY(count < page.size() / 2);

    // The result parser stops at the sponsored links: they come last, so a timed parse covers
    // the whole page, and nothing earlier pairs the two words by accident.
    const QByteArray lower = page.toLower();
    QCOMPARE(lower.count("sponsored"), qsizetype(1));
    const qsizetype sponsored = lower.indexOf("sponsored");
    QVERIFY(sponsored > page.size() * 9 / 10);
    QVERIFY(lower.indexOf("link", sponsored) > sponsored);
    QCOMPARE(lower.left(sponsored).indexOf("link"), qsizetype(-1));

    QVERIFY(page.count("<table") >= 20);
    QVERIFY(page.count("<script>") >= 10);
}

void PageGenTest::pagesDependOnlyOnTheSeed()
{
    QCOMPARE(RealisticResultPage(3), RealisticResultPage(3));
    QVERIFY(RealisticResultPage(3) != RealisticResultPage(4));
    QCOMPARE(RealisticResultCount(3), RealisticResultCount(3));
    QCOMPARE(KeywordDatabasePage(100, 9), KeywordDatabasePage(100, 9));
    QVERIFY(KeywordDatabasePage(100, 9) != KeywordDatabasePage(100, 10));
}

void PageGenTest::keywordPageListsTheRowsAsked()
{
    for (int rows : {1, 100, 150}) {
        const QByteArray page = KeywordDatabasePage(rows);
        const qsizetype body = page.indexOf("<tbody>");
        const QByteArray rowsText = page.mid(body, page.indexOf("</tbody>") - body);
        QCOMPARE(rowsText.count("<tr"), qsizetype(rows));
        QCOMPARE(rowsText.count("<td"), qsizetype(2 * rows));
        QCOMPARE(rowsText.count("</td>"), qsizetype(2 * rows));
        // Searches fall row by row, as the database lists its suggestions.
        const QRegularExpression searches(QStringLiteral("<td align=right>([0-9,]+)</td>"));
        qint64 previous = std::numeric_limits<qint64>::max();
        for (const QRegularExpressionMatch &m :
             searches.globalMatch(QString::fromLatin1(rowsText))) {
            const qint64 value = m.captured(1).remove(u',').toLongLong();
            QVERIFY(value <= previous);
            previous = value;
        }
    }
}

void PageGenTest::nestedTablesPageIsTheMebibyteOfThirtyThousandTables()
{
    const QByteArray page = NestedTablesPage();
    QCOMPARE(page.size(), qsizetype(1024 * 1024));
    QCOMPARE(page.count("<table><tr><td>"), qsizetype(30000));
    QCOMPARE(page.count("</td></tr></table>"), qsizetype(30000));
    QCOMPARE(maxTableDepth(page), 30000);
    const qsizetype firstTable = page.indexOf("<table>");
    QVERIFY(page.indexOf("</style>") < firstTable);
    QVERIFY(page.indexOf("<style>") < page.indexOf("</style>"));
    QCOMPARE(page.indexOf("sponsored"), page.lastIndexOf("<table><tr><td>") + 15);
    QVERIFY(page.indexOf("link") > page.lastIndexOf("</table>"));
}

QTEST_GUILESS_MAIN(PageGenTest)
#include "tst_pagegen.moc"

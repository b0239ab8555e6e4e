#include "resultlist.h"

#include <QTest>

using namespace Quorvane;

namespace {

SuggestionTable makeTable(const QStringList &searches, const QStringList &results,
                          const QStringList &phrases = {})
{
    SuggestionTable table;
    for (qsizetype i = 0; i < searches.size(); ++i) {
        table.entries[std::size_t(i)] = {searches[i], phrases.value(i, QStringLiteral("k")),
                                         results.value(i), i == 1};
    }
    table.suggestionCount = qint16(searches.size());
    return table;
}

// Expected texts are written the en_US way; de_DE swaps the two marks.
QStringList localised(const QLocale &locale, QStringList texts)
{
    for (QString &text : texts) {
        for (QChar &c : text)
            c = locale.name() != u"de_DE" ? c : c == u',' ? u'.' : c == u'.' ? u',' : c;
    }
    return texts;
}

QStringList column(const ResultList &list, int column)
{
    QStringList cells;
    for (const ListRow &row : list.rows)
        cells << row[column];
    return cells;
}

} // namespace

class tst_ResultList final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countAndRatioCellsFollowTheRowRule_data();
    void countAndRatioCellsFollowTheRowRule();
    void sharesAndSumsSurviveAnyTotal_data();
    void sharesAndSumsSurviveAnyTotal();
    void longPhraseIsCutInRowAndTable();
    void reorderRebuildsSumsRatiosAndAddresses_data();
    void reorderRebuildsSumsRatiosAndAddresses();
};

void tst_ResultList::countAndRatioCellsFollowTheRowRule_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("in"); // Searches, Results
    QTest::addColumn<QStringList>("cells"); // Searches/mo., Popularity, Popularity/Search
    for (const char *name : {"en_US", "de_DE"}) {
        const QLocale l(QString::fromLatin1(name));
        const auto row = [&](const char *label, const QStringList &in, const QStringList &out) {
            QTest::addRow("%s %s", name, label)
                << l.name() << localised(l, in) << localised(l, out);
        };
        row("999 unchanged", {"999", "999"}, {"999", "999", "1"});
        row("1000 grouped", {"1000", "5000"}, {"1,000", "5,000", "5"});
        row("0999 unchanged", {"0999", "1998"}, {"0999", "1,998", "2"});
        row("ratio 999.4", {"10", "9994"}, {"10", "9,994", "999"});
        row("ratio 999.6 ungrouped", {"10", "9996"}, {"10", "9,996", "1000"});
        row("ratio 1000.2 grouped", {"10", "10002"}, {"10", "10,002", "1,000"});
        row("no result count", {"50", ""}, {"50", "", "0"});
        row("eleven digits fit ungrouped", {"1", "25270000000"},
            {"1", "25270000000", "25,270,000,000"});
    }
}

void tst_ResultList::countAndRatioCellsFollowTheRowRule()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, in);
    SuggestionTable table = makeTable({in[0]}, {in[1]});
    double running = 0;
    const ListRow row = makeListRow(table, 0, 1000, running, QLocale(locale));
    QTEST(QStringList({row[ColumnSearches], row[ColumnPopularity], row[ColumnPopularityPerSearch]}),
          "cells");
}

void tst_ResultList::sharesAndSumsSurviveAnyTotal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("searches");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QStringList>("percents");
    QTest::addColumn<QStringList>("sums");
    QTest::addColumn<QStringList>("ratios");
    for (const char *name : {"en_US", "de_DE"}) {
        const QLocale l(QString::fromLatin1(name));
        QTest::addRow("%s shares add up", name)
            << l.name() << localised(l, {"1,250", "250", "1"}) << qint64(1501)
            << localised(l, {"83.3%", "16.7%", "0.1%"})
            << localised(l, {"83.3%", "99.9%", "100.0%"}) << QStringList {"0", "2", "500"};
    }
    QTest::newRow("zero searches")
        << "en_US" << QStringList {"0", "100"} << qint64(100) << QStringList {"0.0%", "100.0%"}
        << QStringList {"0.0%", "100.0%"} << QStringList {"", "5"};
    QTest::newRow("total of zero")
        << "de_DE" << QStringList {"0", "0"} << qint64(0) << QStringList {"0,0%", "0,0%"}
        << QStringList {"0,0%", "0,0%"} << QStringList {"", ""};
    QTest::newRow("not a number counts as 0")
        << "en_US" << QStringList {"n/a", "", "100"} << qint64(100)
        << QStringList {"0.0%", "0.0%", "100.0%"} << QStringList {"0.0%", "0.0%", "100.0%"}
        << QStringList {"", "", "5"};
}

void tst_ResultList::sharesAndSumsSurviveAnyTotal()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, searches);
    const QLocale l(locale);
    SuggestionTable table =
        makeTable(searches, QStringList(searches.size(), QStringLiteral("500")));
    const qint64 total = totalSearches(table, l);
    QTEST(total, "total");
    ResultList list;
    list.rows = makeListRows(table, total, l);
    QTEST(column(list, ColumnPercent), "percents");
    QTEST(column(list, ColumnSum), "sums");
    QTEST(column(list, ColumnPopularityPerSearch), "ratios");
    QCOMPARE(column(list, ColumnSearches), searches);
    QCOMPARE(column(list, ColumnAd).join(u'/'), searches.size() == 2 ? "/Y" : "/Y/");
}

void tst_ResultList::longPhraseIsCutInRowAndTable()
{
    const QString kept(65, u'p');
    const QString pair = QString::fromUtf8("\xF0\x9F\x8F\x8C"); // outside the BMP
    SuggestionTable table = makeTable({"1", "1", "1", "1"}, {},
                                      {kept, kept + u'x', kept.left(64) + pair, "golf\nclubs"});
    const QList<ListRow> rows = makeListRows(table, 4, QLocale(QStringLiteral("en_US")));
    const QStringList shown {kept, kept, kept.left(64), "golf clubs"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(rows[i][ColumnSuggestions], shown[i]);
        QCOMPARE(table.entries[std::size_t(i)].keyword.size(), shown[i].size());
    }
}

void tst_ResultList::reorderRebuildsSumsRatiosAndAddresses_data()
{
    QTest::addColumn<QString>("locale");
    for (const char *locale : {"en_US", "de_DE"})
        QTest::newRow(locale) << locale;
}

void tst_ResultList::reorderRebuildsSumsRatiosAndAddresses()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    // Ratios 12, 1,234 and 3, and a row without searches (no ratio, sorts as 0).
    SuggestionTable table = makeTable({"100", "10", "40", "0"}, {"1200", "12340", "120", "7"},
                                      {"twelve", "many hits", "three", "none"});
    ResultList list;
    list.rows = makeListRows(table, totalSearches(table, l), l);
    QCOMPARE(paddedForSort(list.rows[1][ColumnPopularityPerSearch], l), "000001234");

    sortByPopularityPerSearch(list, l);
    // The list sorts on the padded texts; RefreshListFigures reads them back.
    for (ListRow &row : list.rows)
        row[ColumnPopularityPerSearch] = paddedForSort(row[ColumnPopularityPerSearch], l);
    refreshListFigures(
        list, [](const QString &p) { return QStringLiteral("q:") + p; }, l);

    QCOMPARE(column(list, ColumnId), QStringList({"4", "3", "1", "2"}));
    QCOMPARE(column(list, ColumnPopularityPerSearch), localised(l, {"", "3", "12", "1,234"}));
    QCOMPARE(column(list, ColumnPercent), localised(l, {"0.0%", "26.7%", "66.7%", "6.7%"}));
    // Sums add the shown one-decimal percentages in the new order.
    QCOMPARE(column(list, ColumnSum), localised(l, {"0.0%", "26.7%", "93.4%", "100.1%"}));
    QCOMPARE(list.queryAddresses, QStringList({"q:none", "q:three", "q:twelve", "q:many hits"}));
}

QTEST_GUILESS_MAIN(tst_ResultList)
#include "tst_resultlist.moc"

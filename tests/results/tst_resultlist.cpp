#include "resultlist.h"

#include <QTest>

using namespace Quorvane;

namespace {

struct Entry
{
    QString searches;
    QString keyword;
    QString results;
    bool ads = false;
};

SuggestionTable Table(const QList<Entry> &entries)
{
    SuggestionTable table;
    for (const Entry &e : entries) {
        table.Entries[std::size_t(table.SuggestionCount++)] = {e.searches, e.keyword, e.results,
                                                               e.ads};
    }
    return table;
}

QString Tr(const QLocale &locale, QString text)
{
    // Expected texts are written the en_US way; de_DE swaps the two marks.
    if (locale.name() != u"de_DE")
        return text;
    for (QChar &c : text)
        c = c == u',' ? u'.' : c == u'.' ? u',' : c;
    return text;
}

QStringList Column(const ResultList &list, int column)
{
    QStringList cells;
    for (const ListRow &row : list.Rows)
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
    void sharesAndRunningSumCoverTheTotal_data();
    void sharesAndRunningSumCoverTheTotal();
    void unusableSearchesNeverBreakTheRows_data();
    void unusableSearchesNeverBreakTheRows();
    void longPhraseIsCutInRowAndTable_data();
    void longPhraseIsCutInRowAndTable();
    void summaryCaptionGroupsTheTotal_data();
    void summaryCaptionGroupsTheTotal();
    void reorderRebuildsSumsRatiosAndAddresses_data();
    void reorderRebuildsSumsRatiosAndAddresses();
};

void tst_ResultList::countAndRatioCellsFollowTheRowRule_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("searches");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("searchesCell");
    QTest::addColumn<QString>("popularityCell");
    QTest::addColumn<QString>("ratioCell");
    for (const char *name : {"en_US", "de_DE"}) {
        const QLocale l(QString::fromLatin1(name));
        const auto row = [&](const char *label) -> QTestData & {
            return QTest::addRow("%s %s", name, label) << l.name();
        };
        row("999 unchanged") << "999"
                             << "999"
                             << "999"
                             << "999"
                             << "1";
        row("1000 grouped") << "1000"
                            << "5000" << Tr(l, "1,000") << Tr(l, "5,000") << "5";
        row("0999 unchanged") << "0999"
                              << "1998"
                              << "0999" << Tr(l, "1,998") << "2";
        row("ratio 999.4") << "10"
                           << "9994"
                           << "10" << Tr(l, "9,994") << "999";
        row("ratio 999.6 without separator") << "10"
                                             << "9996"
                                             << "10" << Tr(l, "9,996") << "1000";
        row("ratio 1000.2 grouped") << "10"
                                    << "10002"
                                    << "10" << Tr(l, "10,002") << Tr(l, "1,000");
        row("no result count") << "50"
                               << ""
                               << "50"
                               << ""
                               << "0";
        row("eleven-digit count fits without separators")
            << "1"
            << "25270000000"
            << "1"
            << "25270000000" << Tr(l, "25,270,000,000");
    }
}

void tst_ResultList::countAndRatioCellsFollowTheRowRule()
{
    QFETCH(QString, locale);
    QFETCH(QString, searches);
    QFETCH(QString, results);
    SuggestionTable table = Table({{searches, QStringLiteral("golf"), results, true}});
    double running = 0;
    const ListRow row = MakeListRow(table, 0, 1000, running, QLocale(locale));
    QTEST(row[ColumnSearches], "searchesCell");
    QTEST(row[ColumnPopularity], "popularityCell");
    QTEST(row[ColumnPopularityPerSearch], "ratioCell");
    QCOMPARE(row[ColumnAd], QStringLiteral("Y"));
    QCOMPARE(row[ColumnId], QStringLiteral("1"));
}

void tst_ResultList::sharesAndRunningSumCoverTheTotal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("en_US") << "en_US";
    QTest::newRow("de_DE") << "de_DE";
}

void tst_ResultList::sharesAndRunningSumCoverTheTotal()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    SuggestionTable table = Table({{"1,250", "a", "1"}, {"250", "b", "2", true}, {"1", "", "3"}});
    table.Entries[0].Searches = Tr(l, "1,250");
    const qint64 total = TotalSearches(table, l);
    QCOMPARE(total, qint64(1501));
    ResultList list;
    list.Rows = MakeListRows(table, total, l);
    QCOMPARE(Column(list, ColumnId), QStringList({"1", "2", "3"}));
    QCOMPARE(Column(list, ColumnPercent),
             QStringList({Tr(l, "83.3%"), Tr(l, "16.7%"), Tr(l, "0.1%")}));
    QCOMPARE(Column(list, ColumnSum),
             QStringList({Tr(l, "83.3%"), Tr(l, "99.9%"), Tr(l, "100.0%")}));
    QCOMPARE(Column(list, ColumnAd), QStringList({"", "Y", ""}));
    // An empty phrase still makes a row.
    QCOMPARE(list.Rows[2][ColumnSuggestions], QString());
}

void tst_ResultList::unusableSearchesNeverBreakTheRows_data()
{
    QTest::addColumn<QStringList>("searches");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QStringList>("percents");
    QTest::addColumn<QStringList>("ratios");
    QTest::newRow("zero searches") << QStringList {"0", "100"} << qint64(100)
                                   << QStringList {"0.0%", "100.0%"} << QStringList {"", "5"};
    QTest::newRow("total of zero") << QStringList {"0", "0"} << qint64(0)
                                   << QStringList {"0.0%", "0.0%"} << QStringList {"", ""};
    QTest::newRow("not a number counts as 0")
        << QStringList {"n/a", "", "100"} << qint64(100) << QStringList {"0.0%", "0.0%", "100.0%"}
        << QStringList {"", "", "5"};
}

void tst_ResultList::unusableSearchesNeverBreakTheRows()
{
    QFETCH(QStringList, searches);
    QList<Entry> entries;
    for (const QString &s : searches)
        entries.append({s, QStringLiteral("k"), QStringLiteral("500")});
    SuggestionTable table = Table(entries);
    const QLocale l(QStringLiteral("en_US"));
    const qint64 total = TotalSearches(table, l);
    QTEST(total, "total");
    ResultList list;
    list.Rows = MakeListRows(table, total, l);
    QTEST(Column(list, ColumnPercent), "percents");
    QTEST(Column(list, ColumnPopularityPerSearch), "ratios");
    QCOMPARE(Column(list, ColumnSearches), searches); // shown as they came
}

void tst_ResultList::longPhraseIsCutInRowAndTable_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("shown");
    const QString sixtyFive(65, u'p');
    QTest::newRow("65 kept") << sixtyFive << sixtyFive;
    QTest::newRow("66 cut to 65") << sixtyFive + u'x' << sixtyFive;
    const QString pair = QString::fromUtf8("\xF0\x9F\x8F\x8C"); // outside the BMP
    QTest::newRow("pair not split") << QString(64, u'p') + pair << QString(64, u'p');
    QTest::newRow("line break shown as space") << "golf\nclubs"
                                               << "golf clubs";
}

void tst_ResultList::longPhraseIsCutInRowAndTable()
{
    QFETCH(QString, phrase);
    QFETCH(QString, shown);
    SuggestionTable table = Table({{"5", phrase, "5"}});
    double running = 0;
    const ListRow row = MakeListRow(table, 0, 5, running, QLocale(QStringLiteral("en_US")));
    QCOMPARE(row[ColumnSuggestions], shown);
    QCOMPARE(table.Entries[0].Keyword.size(), shown.size());
}

void tst_ResultList::summaryCaptionGroupsTheTotal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("caption");
    QTest::newRow("plain up to 999")
        << "en_US" << qint64(999) << "Keyword \"Golf Clubs\" searches 999 (top 7 only)";
    QTest::newRow("en grouped") << "en_US" << qint64(1234567)
                                << "Keyword \"Golf Clubs\" searches 1,234,567 (top 7 only)";
    QTest::newRow("de grouped") << "de_DE" << qint64(12345)
                                << "Keyword \"Golf Clubs\" searches 12.345 (top 7 only)";
}

void tst_ResultList::summaryCaptionGroupsTheTotal()
{
    QFETCH(QString, locale);
    QFETCH(qint64, total);
    QTEST(SummaryCaption(QStringLiteral("Golf Clubs"), total, 7, QLocale(locale)), "caption");
}

void tst_ResultList::reorderRebuildsSumsRatiosAndAddresses_data()
{
    sharesAndRunningSumCoverTheTotal_data();
}

void tst_ResultList::reorderRebuildsSumsRatiosAndAddresses()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    // Ratios 12, 1,234 and 3, plus a row without searches (no ratio, sorts as 0).
    SuggestionTable table = Table({{"100", "twelve", "1200"},
                                   {"10", "many hits", "12340"},
                                   {"40", "three", "120"},
                                   {"0", "none", "7"}});
    ResultList list;
    list.Rows = MakeListRows(table, TotalSearches(table, l), l);
    QCOMPARE(Column(list, ColumnPopularityPerSearch), QStringList({"12", Tr(l, "1,234"), "3", ""}));
    QCOMPARE(PaddedForSort(list.Rows[1][ColumnPopularityPerSearch], l), "000001234");

    SortByPopularityPerSearch(list, l);
    // The sort compares the padded texts; RefreshListFigures must read them back too.
    for (ListRow &row : list.Rows)
        row[ColumnPopularityPerSearch] = PaddedForSort(row[ColumnPopularityPerSearch], l);
    RefreshListFigures(
        list, [](const QString &p) { return QStringLiteral("q:") + p; }, l);

    QCOMPARE(Column(list, ColumnSuggestions),
             QStringList({"none", "three", "twelve", "many hits"}));
    QCOMPARE(Column(list, ColumnId), QStringList({"4", "3", "1", "2"}));
    QCOMPARE(Column(list, ColumnPopularityPerSearch), QStringList({"", "3", "12", Tr(l, "1,234")}));
    QCOMPARE(Column(list, ColumnPercent),
             QStringList({Tr(l, "0.0%"), Tr(l, "26.7%"), Tr(l, "66.7%"), Tr(l, "6.7%")}));
    // Sums add the shown one-decimal percentages in the new order.
    QCOMPARE(Column(list, ColumnSum),
             QStringList({Tr(l, "0.0%"), Tr(l, "26.7%"), Tr(l, "93.4%"), Tr(l, "100.1%")}));
    QCOMPARE(list.QueryAddresses, QStringList({"q:none", "q:three", "q:twelve", "q:many hits"}));
    QCOMPARE(list.ListRowCount(), 4);
}

QTEST_GUILESS_MAIN(tst_ResultList)
#include "tst_resultlist.moc"

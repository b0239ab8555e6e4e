#include "chartwindow.h"
#include "listactions.h"
#include "listexport.h"
#include "programharness.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Qt::StringLiterals;
using namespace Quorvane::Harness;

namespace {

ListRow row(const QStringList &cells)
{
    ListRow r;
    for (int column = 0; column < ListColumnCount; ++column)
        r[column] = cells.value(column);
    return r;
}

// Phrases a spreadsheet must keep whole: a comma, a double quote, a line break, non-ASCII.
// The figures are shown as the locale writes them.
ResultList awkwardList(const QLocale &locale)
{
    ResultList list;
    list.rows << row({u"1"_s, u"golf, clubs"_s, u"1,234"_s, u"12.5%"_s, u"12.5%"_s, u"2,000,000"_s,
                      u"1,621"_s, u"Y"_s})
              << row({u"2"_s, u"the \"best\" club"_s, u"0999"_s, u"0.0%"_s, u"12.5%"_s, u""_s,
                      u"0"_s, u""_s})
              << row({u"3"_s, u"golf\nbag"_s, u"5"_s, u"1.0%"_s, u"13.5%"_s, u"999"_s, u"200"_s})
              << row({u"4"_s, u"golfschläger"_s, u"20"_s, u"2.0%"_s, u"15.5%"_s, u"40"_s, u"2"_s});
    for (ListRow &r : list.rows) {
        for (int column = ColumnSearches; column <= ColumnPopularityPerSearch; ++column) {
            QString &cell = r[column];
            cell.replace(u',', u'\x01').replace(u'.', locale.decimalPoint());
            cell.replace(u'\x01', locale.groupSeparator());
        }
    }
    list.queryAddresses = {u"a1"_s, u"a2"_s, u"a3"_s, u"a4"_s};
    return list;
}

const QString Header = u"ID,Suggestions,Searches/mo.,Percent,Sum,Popularity,Popularity/Search,Ad"_s;

} // namespace

class tst_Features final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QVERIFY(m_services.start());
        overrideEndpoints(m_services.endpoints());
    }
    void cleanupTestCase() { overrideEndpoints(std::nullopt); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_p = std::make_unique<ProgramUnderTest>(m_dir->path());
        m_p->writeDontCare();
        QVERIFY(m_p->start());
        actions().setFileChooser([this](QWidget *, const QString &proposed) {
            m_proposed = proposed;
            return m_answer.isNull() ? proposed : m_answer;
        });
    }
    void cleanup()
    {
        m_p.reset();
        m_answer.clear();
    }

    void exportText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString tsv = u"ID\tSuggestions\tSearches/mo.\tPercent\tSum\tPopularity\t"
                            "Popularity/Search\tAd\n"
                            "1\tgolf, clubs\t1,234\t12.5%\t12.5%\t2,000,000\t1,621\tY\n"
                            "2\t\"the \"\"best\"\" club\"\t0999\t0.0%\t12.5%\t\t0\t\n"
                            "3\t\"golf\nbag\"\t5\t1.0%\t13.5%\t999\t200\t\n"
                            "4\tgolfschläger\t20\t2.0%\t15.5%\t40\t2\t\n"_s;
        const QString csv = Header
            + u",Address\r\n"
              "1,\"golf, clubs\",1234,12.5,12.5,2000000,1621,Y,a1\r\n"
              "2,\"the \"\"best\"\" club\",999,0.0,12.5,,0,,a2\r\n"
              "3,\"golf\nbag\",5,1.0,13.5,999,200,,a3\r\n"
              "4,golfschläger,20,2.0,15.5,40,2,,a4\r\n"_s;
        QTest::newRow("tab-separated, cells as shown") << u"en_US"_s << tsv;
        QTest::newRow("csv, plain figures") << u"en_US"_s << csv;
        QTest::newRow("csv, plain figures from German cells") << u"de_DE"_s << csv;
    }
    void exportText()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const QLocale l(locale);
        const ResultList list = awkwardList(l);
        const bool tabs = QByteArray(QTest::currentDataTag()).startsWith("tab");
        QCOMPARE(tabs ? tabSeparatedRows(list, allRows(list)) : csvRows(list, allRows(list), l),
                 expected);
        // Read back by a real CSV reader: every cell whole, in its column.
        const QString python = QStandardPaths::findExecutable(u"python3"_s);
        if (python.isEmpty())
            QSKIP("no python3 to read the text back");
        QTemporaryDir dir;
        const QString file = dir.filePath(u"list.txt"_s);
        QVERIFY(writeAll(file, tabs ? expected.toUtf8() : csvFileBytes(expected)));
        QProcess reader;
        reader.start(python,
                     {u"-c"_s,
                      u"import csv,json,sys\n"
                      "f=open(sys.argv[1],encoding='utf-8-sig',newline='')\n"
                      "print(json.dumps(list(csv.reader(f,delimiter=sys.argv[2]))))"_s,
                      file, tabs ? u"\t"_s : u","_s});
        QVERIFY(reader.waitForFinished(10000));
        const QJsonArray rows = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(0).toArray().size(), tabs ? 8 : 9);
        QCOMPARE(rows.at(2).toArray().at(1).toString(), u"the \"best\" club"_s);
        QCOMPARE(rows.at(3).toArray().at(1).toString(), u"golf\nbag"_s);
        QCOMPARE(rows.at(4).toArray().at(1).toString(), u"golfschläger"_s);
    }

    void chartPointsFollowTheModel_data()
    {
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QStringList>("popularity");
        QTest::addColumn<QList<double>>("plotted"); // searches of the points, in row order
        QTest::addColumn<int>("leftOut");
        QTest::newRow("all counted, separators read")
            << QStringList {u"1,234"_s, u"5"_s} << QStringList {u"2,000,000"_s, u"999"_s}
            << QList<double> {1234, 5} << 0;
        QTest::newRow("no result count") << QStringList {u"10"_s, u"20"_s}
                                         << QStringList {u""_s, u"7"_s} << QList<double> {20} << 1;
        QTest::newRow("zeros have no place on a log axis")
            << QStringList {u"0"_s, u"20"_s} << QStringList {u"5"_s, u"0"_s} << QList<double> {}
            << 2;
    }
    void chartPointsFollowTheModel()
    {
        QFETCH(QStringList, searches);
        QFETCH(QStringList, popularity);
        QFETCH(QList<double>, plotted);
        QFETCH(int, leftOut);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ResultListModel model;
        ChartWindow chart(model, [] { return u"golf"_s; });
        for (qsizetype i = 0; i < searches.size(); ++i)
            model.list().rows << row({QString::number(i + 1),
                                      u"p"_s + QString::number(i),
                                      searches[i],
                                      {},
                                      {},
                                      popularity[i],
                                      {},
                                      i ? u""_s : u"Y"_s});
        model.refresh();
        QList<double> shown;
        for (const ChartPoint &p : chart.shownPoints().points) {
            shown << p.searches;
            QCOMPARE(p.phrase, model.list().rows.at(p.row)[ColumnSuggestions]);
            QCOMPARE(p.hasAds, p.row == 0);
        }
        QCOMPARE(shown, plotted);
        QCOMPARE(chart.shownPoints().leftOut, leftOut);
    }

    void runThenCopySaveAndChart()
    {
        QLineEdit *edit = m_p->keywordBox()->lineEdit();
        edit->setText(u"golf clubs"_s);
        QSignalSpy ended(&w()->controller(), &RunController::runEnded);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w()->controller().state(), RunController::State::Fetching);
        // Enter again during the run neither stops it nor starts another.
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w()->controller().state(), RunController::State::Fetching);
        QVERIFY(ended.wait(20000));

        QTreeView *list = m_p->child<QTreeView>("lstKeyword");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
        QCOMPARE(lines.size(), 102); // header, 100 rows, the empty piece after the last end
        QCOMPARE(lines.at(1).split(u'\t').size(), ListColumnCount);

        QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(m_proposed, m_p->reportPath(u"golf_clubs.csv"_s));
        const QByteArray csv = readAll(m_proposed);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(csv.count("\r\n"), 101);

        QTest::keyClick(list, Qt::Key_G, Qt::ControlModifier);
        ChartWindow *chart = actions().chart();
        QVERIFY(chart && chart->isVisible());
        QCOMPARE(chart->shownPoints().points.size() + chart->shownPoints().leftOut, 100);
        QVERIFY(chart->windowTitle().contains(u"golf clubs"_s));
        // A point chosen in the chart is the current, selected row of the list.
        Q_EMIT chart->rowChosen(42);
        QCOMPARE(list->currentIndex().row(), 42);
        QVERIFY(list->selectionModel()->isRowSelected(42, {}));
        QVERIFY(chart->savePicture());
        QVERIFY(readAll(m_p->reportPath(u"golf_clubs.png"_s)).startsWith("\x89PNG"));

        // A write that cannot happen is told, with the file.
        m_answer = m_dir->filePath(u"missing/folder/x.csv"_s);
        QVERIFY(!actions().saveCsv());
        QVERIFY2(m_p->boxes.shown.last().contains(u"x.csv"_s),
                 qPrintable(m_p->boxes.shown.join(u'|')));
    }

    void listGrowsWithTheWindow()
    {
        QTreeView *list = m_p->child<QTreeView>("lstKeyword");
        QPushButton *suggest = m_p->button("cmdSuggestion");
        const QRect listAtOpening = list->geometry();
        const QSize opening = w()->size();
        const auto toBottom = [&](QWidget *c) {
            return w()->height() - c->mapTo(w(), QPoint()).y();
        };
        const int suggestToBottom = toBottom(suggest);
        const int exitToBottom = toBottom(m_p->button("cmdExit"));
        w()->resize(1280, 1000);
        const QSize growth = w()->size() - opening;
        QCOMPARE(list->geometry(), listAtOpening.adjusted(0, 0, growth.width(), growth.height()));
        QCOMPARE(toBottom(suggest), suggestToBottom);
        QCOMPARE(toBottom(m_p->button("cmdExit")), exitToBottom);
        const QHeaderView *header = list->header();
        QVERIFY(header->sectionViewportPosition(ColumnAd) + header->sectionSize(ColumnAd)
                <= list->viewport()->width());
        w()->resize(opening);
        QCOMPARE(list->geometry(), listAtOpening);
        QCOMPARE(list->columnWidth(ColumnSuggestions), twips(ListColumnWidthsTwips[1]));
    }

    void secondLaunchRaisesTheFirst()
    {
        w()->showMinimized();
        ProgramUnderTest second(m_dir->path());
        QVERIFY(!second.start());
        QTRY_VERIFY(!w()->isMinimized());
    }

private:
    MainWindow *w() const { return m_p->window(); }
    ListActions &actions() const { return *w()->findChild<ListActions *>(); }

    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;
    QString m_proposed;
    QString m_answer;
};

QTEST_MAIN(tst_Features)
#include "tst_features.moc"

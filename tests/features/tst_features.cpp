#include "chartwindow.h"
#include "listactions.h"
#include "listexport.h"
#include "loopbackservices.h"
#include "programharness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Qt::StringLiterals;
using namespace Quorvane::Harness;

namespace {

ResultList awkwardList(const QLocale &locale)
{
    ResultList list;
    list.rows = {{{"1", "golf, clubs", "1,234", "12.5%", "12.5%", "2,000,000", "1,621", "Y"}},
                 {{"2", "the \"best\" club", "0999", "0.0%", "12.5%", "", "0", ""}},
                 {{"3", "golf\nbag", "5", "1.0%", "13.5%", "999", "200"}},
                 {{"4", "golfschläger", "20", "2.0%", "15.5%", "0", "0"}},
                 {{"5", "zero", "0", "0.0%", "15.5%", "5", "0"}}};
    for (ListRow &r : list.rows) {
        for (int column = ColumnSearches; column <= ColumnPopularityPerSearch; ++column)
            r[column]
                .replace(u',', u'\x01')
                .replace(u'.', locale.decimalPoint())
                .replace(u'\x01', locale.groupSeparator());
    }
    list.queryAddresses = {u"a1"_s, u"a2"_s, u"a3"_s, u"a4"_s, u"a5"_s};
    return list;
}

} // namespace

class tst_Features final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }

    void listLeavesTheWindowWhole_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        const QString csv = u"ID,Suggestions,Searches/mo.,Percent,Sum,Popularity,"
                            "Popularity/Search,Ad,Address\r\n"
                            "1,\"golf, clubs\",1234,12.5,12.5,2000000,1621,Y,a1\r\n"
                            "2,\"the \"\"best\"\" club\",999,0.0,12.5,,0,,a2\r\n"
                            "3,\"golf\nbag\",5,1.0,13.5,999,200,,a3\r\n"
                            "4,golfschläger,20,2.0,15.5,0,0,,a4\r\n"
                            "5,zero,0,0.0,15.5,5,0,,a5\r\n"_s;
        QTest::newRow("tab-separated, cells as shown")
            << QLocale(u"en_US"_s)
            << u"ID\tSuggestions\tSearches/mo.\tPercent\tSum\tPopularity\tPopularity/Search\tAd\n"
               "1\tgolf, clubs\t1,234\t12.5%\t12.5%\t2,000,000\t1,621\tY\n"
               "2\t\"the \"\"best\"\" club\"\t0999\t0.0%\t12.5%\t\t0\t\n"
               "3\t\"golf\nbag\"\t5\t1.0%\t13.5%\t999\t200\t\n"
               "4\tgolfschläger\t20\t2.0%\t15.5%\t0\t0\t\n"
               "5\tzero\t0\t0.0%\t15.5%\t5\t0\t\n"_s;
        QTest::newRow("csv, plain figures") << QLocale(u"en_US"_s) << csv;
        QTest::newRow("csv, plain figures from German cells") << QLocale(u"de_DE"_s) << csv;
    }
    // A spreadsheet and the chart read every figure, whatever the locale shows.
    void listLeavesTheWindowWhole()
    {
        QFETCH(QLocale, locale);
        const ResultList list = awkwardList(locale);
        const bool tabs = QByteArray(QTest::currentDataTag()).startsWith("tab");
        QTEST(tabs ? tabSeparatedRows(list, allRows(list)) : csvRows(list, allRows(list), locale),
              "expected");

        QLocale::setDefault(locale);
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
        ResultListModel model;
        ChartWindow chart(model, [] { return u"golf"_s; });
        model.list() = list;
        model.refresh();
        QList<double> plotted; // searches, in row order
        for (const ChartPoint &p : chart.shownPoints().points) {
            plotted << p.searches;
            QCOMPARE(p.phrase, list.rows.at(p.row)[ColumnSuggestions]);
            QCOMPARE(p.hasAds, p.row == 0);
        }
        // Rows without a count or with a zero have no place on a log axis.
        QCOMPARE(plotted, QList<double>({1234, 5}));
        QCOMPARE(chart.shownPoints().leftOut, 3);
    }

    // One window: Enter, resizing, copy, save, chart and a second launch.
    void windowAfterARun()
    {
        QTemporaryDir dir;
        ProgramUnderTest p(dir.path());
        p.writeDontCare();
        MainWindow *w = p.start();
        QVERIFY(w);
        ListActions &actions = *w->findChild<ListActions *>();
        QString proposed, answer;
        actions.setFileChooser([&](QWidget *, const QString &offered) {
            proposed = offered;
            return answer.isNull() ? offered : answer;
        });
        QLineEdit *edit = p.keywordBox()->lineEdit();
        edit->setText(u"golf clubs"_s);
        QSignalSpy ended(&w->controller(), &RunController::runEnded);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w->controller().state(), RunController::State::Fetching);
        QTest::keyClick(edit, Qt::Key_Return); // neither stops the run nor starts another
        QCOMPARE(w->controller().state(), RunController::State::Fetching);
        QVERIFY(ended.wait(20000));

        QTreeView *list = p.child<QTreeView>("lstKeyword");
        const QRect listAtOpening = list->geometry();
        const int phraseWidth = list->columnWidth(ColumnSuggestions);
        const QSize opening = w->size();
        const auto toBottom = [&](const char *button) {
            return w->height() - p.button(button)->mapTo(w, QPoint()).y();
        };
        const int suggestToBottom = toBottom("cmdSuggestion");
        const int exitToBottom = toBottom("cmdExit");
        w->resize(1280, 1000);
        const QSize growth = w->size() - opening;
        QCOMPARE(list->geometry(), listAtOpening.adjusted(0, 0, growth.width(), growth.height()));
        QCOMPARE(toBottom("cmdSuggestion"), suggestToBottom);
        QCOMPARE(toBottom("cmdExit"), exitToBottom);
        const QHeaderView *header = list->header();
        QVERIFY(header->sectionViewportPosition(ColumnAd) + header->sectionSize(ColumnAd)
                <= list->viewport()->width());
        w->resize(opening);
        QCOMPARE(list->geometry(), listAtOpening);
        QCOMPARE(list->columnWidth(ColumnSuggestions), phraseWidth);

        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
        QCOMPARE(lines.size(), 102); // header, 100 rows, the empty piece after the last end
        QCOMPARE(lines.at(1).split(u'\t').size(), ListColumnCount);

        QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(proposed, p.reportPath(u"golf_clubs.csv"_s));
        const QByteArray csv = readAll(proposed);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(csv.count("\r\n"), 101);

        QTest::keyClick(list, Qt::Key_G, Qt::ControlModifier);
        ChartWindow *chart = actions.chart();
        QVERIFY(chart && chart->isVisible());
        QCOMPARE(chart->shownPoints().points.size() + chart->shownPoints().leftOut, 100);
        QVERIFY(chart->windowTitle().contains(u"golf clubs"_s));
        Q_EMIT chart->rowChosen(42); // a point clicked
        QCOMPARE(list->currentIndex().row(), 42);
        QVERIFY(list->selectionModel()->isRowSelected(42, {}));
        QVERIFY(chart->savePicture());
        QVERIFY(readAll(p.reportPath(u"golf_clubs.png"_s)).startsWith("\x89PNG"));

        answer = dir.filePath(u"missing/folder/x.csv"_s);
        QVERIFY(!actions.saveCsv());
        QVERIFY(p.boxes.shown.last().contains(u"x.csv"_s));

        w->showMinimized();
        ProgramUnderTest second(dir.path());
        QVERIFY(!second.start());
        QTRY_VERIFY(!w->isMinimized());
    }

private:
    TestSupport::LoopbackServices m_services;
};

QTEST_MAIN(tst_Features)
#include "tst_features.moc"

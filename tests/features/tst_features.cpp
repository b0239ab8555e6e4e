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

// Figures as the locale shows them.
ResultList awkwardList(const QLocale &locale)
{
    ResultList list;
    list.rows = {{{"1", "golf, clubs", "1,234", "12.5%", "12.5%", "2,000,000", "1,621", "Y"}},
                 {{"2", "the \"best\" club", "0999", "0.0%", "12.5%", "", "0", ""}},
                 {{"3", "golf\nbag", "5", "1.0%", "13.5%", "999", "200"}},
                 {{"4", "golfschläger", "20", "2.0%", "15.5%", "40", "2"}}};
    for (ListRow &r : list.rows) {
        for (int column = ColumnSearches; column <= ColumnPopularityPerSearch; ++column)
            r[column]
                .replace(u',', u'\x01')
                .replace(u'.', locale.decimalPoint())
                .replace(u'\x01', locale.groupSeparator());
    }
    list.queryAddresses = {u"a1"_s, u"a2"_s, u"a3"_s, u"a4"_s};
    return list;
}

} // namespace

class tst_Features final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
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
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        const QString csv = u"ID,Suggestions,Searches/mo.,Percent,Sum,Popularity,"
                            "Popularity/Search,Ad,Address\r\n"
                            "1,\"golf, clubs\",1234,12.5,12.5,2000000,1621,Y,a1\r\n"
                            "2,\"the \"\"best\"\" club\",999,0.0,12.5,,0,,a2\r\n"
                            "3,\"golf\nbag\",5,1.0,13.5,999,200,,a3\r\n"
                            "4,golfschläger,20,2.0,15.5,40,2,,a4\r\n"_s;
        QTest::newRow("tab-separated, cells as shown")
            << QLocale(u"en_US"_s)
            << u"ID\tSuggestions\tSearches/mo.\tPercent\tSum\tPopularity\tPopularity/Search\tAd\n"
               "1\tgolf, clubs\t1,234\t12.5%\t12.5%\t2,000,000\t1,621\tY\n"
               "2\t\"the \"\"best\"\" club\"\t0999\t0.0%\t12.5%\t\t0\t\n"
               "3\t\"golf\nbag\"\t5\t1.0%\t13.5%\t999\t200\t\n"
               "4\tgolfschläger\t20\t2.0%\t15.5%\t40\t2\t\n"_s;
        QTest::newRow("csv, plain figures") << QLocale(u"en_US"_s) << csv;
        QTest::newRow("csv, plain figures from German cells") << QLocale(u"de_DE"_s) << csv;
    }
    void exportText()
    {
        QFETCH(QLocale, locale);
        const ResultList list = awkwardList(locale);
        const bool tabs = QByteArray(QTest::currentDataTag()).startsWith("tab");
        QTEST(tabs ? tabSeparatedRows(list, allRows(list)) : csvRows(list, allRows(list), locale),
              "expected");
    }

    void chartPointsFollowTheModel_data()
    {
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QStringList>("popularity");
        QTest::addColumn<QList<double>>("plotted"); // searches of the points, in row order
        QTest::addColumn<int>("leftOut");
        QTest::newRow("all counted, separators read")
            << QStringList {"1,234", "5"} << QStringList {"2,000,000", "999"}
            << QList<double> {1234, 5} << 0;
        QTest::newRow("no result count")
            << QStringList {"10", "20"} << QStringList {"", "7"} << QList<double> {20} << 1;
        QTest::newRow("zeros have no place on a log axis")
            << QStringList {"0", "20"} << QStringList {"5", "0"} << QList<double> {} << 2;
    }
    void chartPointsFollowTheModel()
    {
        QFETCH(QStringList, searches);
        QFETCH(QStringList, popularity);
        QFETCH(QList<double>, plotted);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ResultListModel model;
        ChartWindow chart(model, [] { return u"golf"_s; });
        for (qsizetype i = 0; i < searches.size(); ++i)
            model.list().rows << ListRow {{QString::number(i + 1), "p" + QString::number(i),
                                           searches[i], "", "", popularity[i], "", i ? "" : "Y"}};
        model.refresh();
        QList<double> shown;
        for (const ChartPoint &p : chart.shownPoints().points) {
            shown << p.searches;
            QCOMPARE(p.phrase, model.list().rows.at(p.row)[ColumnSuggestions]);
            QCOMPARE(p.hasAds, p.row == 0);
        }
        QCOMPARE(shown, plotted);
        QTEST(chart.shownPoints().leftOut, "leftOut");
    }

    void runThenCopySaveAndChart()
    {
        QLineEdit *edit = m_p->keywordBox()->lineEdit();
        edit->setText(u"golf clubs"_s);
        QSignalSpy ended(&w()->controller(), &RunController::runEnded);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w()->controller().state(), RunController::State::Fetching);
        QTest::keyClick(edit, Qt::Key_Return); // neither stops the run nor starts another
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
        Q_EMIT chart->rowChosen(42); // a point clicked
        QCOMPARE(list->currentIndex().row(), 42);
        QVERIFY(list->selectionModel()->isRowSelected(42, {}));
        QVERIFY(chart->savePicture());
        QVERIFY(readAll(m_p->reportPath(u"golf_clubs.png"_s)).startsWith("\x89PNG"));

        m_answer = m_dir->filePath(u"missing/folder/x.csv"_s);
        QVERIFY(!actions().saveCsv());
        QVERIFY2(m_p->boxes.shown.last().contains(u"x.csv"_s),
                 qPrintable(m_p->boxes.shown.join(u'|')));
    }

    void listGrowsWithTheWindow()
    {
        QTreeView *list = m_p->child<QTreeView>("lstKeyword");
        const QRect listAtOpening = list->geometry();
        const int phraseWidth = list->columnWidth(ColumnSuggestions);
        const QSize opening = w()->size();
        const auto toBottom = [&](const char *button) {
            return w()->height() - m_p->button(button)->mapTo(w(), QPoint()).y();
        };
        const int suggestToBottom = toBottom("cmdSuggestion");
        const int exitToBottom = toBottom("cmdExit");
        w()->resize(1280, 1000);
        const QSize growth = w()->size() - opening;
        QCOMPARE(list->geometry(), listAtOpening.adjusted(0, 0, growth.width(), growth.height()));
        QCOMPARE(toBottom("cmdSuggestion"), suggestToBottom);
        QCOMPARE(toBottom("cmdExit"), exitToBottom);
        const QHeaderView *header = list->header();
        QVERIFY(header->sectionViewportPosition(ColumnAd) + header->sectionSize(ColumnAd)
                <= list->viewport()->width());
        w()->resize(opening);
        QCOMPARE(list->geometry(), listAtOpening);
        QCOMPARE(list->columnWidth(ColumnSuggestions), phraseWidth);
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

    TestSupport::LoopbackServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;
    QString m_proposed;
    QString m_answer;
};

QTEST_MAIN(tst_Features)
#include "tst_features.moc"

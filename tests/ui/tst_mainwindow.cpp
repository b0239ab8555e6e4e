// The main window against the sample services on loopback, with the pieces it is made of.

#include "app/browser.h"
#include "app/chartwindow.h"
#include "app/keywordbox.h"
#include "app/listactions.h"
#include "app/settingsdialog.h"
#include "app/stripes.h"
#include "results/listexport.h"
#include "results/monthsarchive.h"
#include "results/reportfile.h"
#include "results/seasons.h"
#include "sample/sampleapis.h"
#include "sources/classicsource.h"
#include "sources/dataforseo.h"
#include "sources/serviceaddresses.h"
#include "store/keywordhistory.h"
#include "tests/support/loopbackservices.h"
#include "tests/support/programharness.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Quorvane::Harness;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;
using Ending = FetchQueue::Ending;

namespace {

const QDateTime LastMonth = QDateTime::currentDateTime().addMonths(-1);

void clickHeader(QTreeView *list, int section)
{
    QHeaderView *header = list->header();
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
               header->height() / 2));
}

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

class tst_MainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
    void init()
    {
        m_services->setFaultPlan({});
        m_services->setKeywordRowCount(10);
        m_dir = std::make_unique<QTemporaryDir>();
        m_p = std::make_unique<ProgramUnderTest>(m_dir->path());
        QVERIFY(m_p->start());
        QDir().mkpath(m_p->reportFolder());
    }
    void cleanup() { m_p.reset(); }

    // One 100-row run serves the list, the keys, resizing, copy, save, chart, sorting, a second
    // launch and the report's reuse after a restart.
    void wholeRunInTheWindow()
    {
        // Every change of the list, through the run, the sorts and the report shown after the
        // restart, keeps to the item model's contract.
        std::optional<QAbstractItemModelTester> contract;
        contract.emplace(&controller().results(),
                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        ListActions &actions = *w()->findChild<ListActions *>();
        QString proposed, answer;
        actions.setFileChooser([&](QWidget *, const QString &offered) {
            proposed = offered;
            return answer.isNull() ? offered : answer;
        });
        expectStripes(0); // measured before any row exists
        m_services->setKeywordRowCount(100);
        m_p->enter(u"golf clubs"_s);
        QSignalSpy ended(&controller(), &RunController::runEnded);
        // To the box, which has the focus and hands keys to its line edit; sent to the line
        // edit itself, a Return would come back to it through the box a second time.
        QTest::keyClick(box(), Qt::Key_Return);
        QCOMPARE(button("cmdSuggestion")->text(), u"&Stop"_s);
        QTest::keyClick(box(), Qt::Key_Return); // neither stops the run nor starts another
        QVERIFY(ended.wait(20000));
        QCOMPARE(ended.first().first().value<Ending>(), Ending::Finished);

        QCOMPARE(rows(), 100);
        QVERIFY(caption().startsWith(u"Keyword \"golf clubs\" searches "_s));
        QVERIFY(caption().endsWith(u" (top 100 only)"_s));
        QVERIFY(model()->index(0, 6).data(Qt::TextAlignmentRole).value<Qt::Alignment>()
                & Qt::AlignRight);
        QCOMPARE(button("cmdSuggestion")->text(), u"&Suggestion"_s);
        QCOMPARE(m_p->child<QProgressBar>("prgBar")->maximum(), 102);
        QVERIFY(w()->status().startsWith(u"Be careful not to visit database"_s));
        buttonsEnabled(true);
        QCOMPARE(box()->currentText(), u"golf clubs"_s);

        // Export shows the current keyword's report: its header, a blank line, titles, the rows.
        m_p->click("cmdExportTXT");
        ReportViewer *viewer = w()->exporter().lastViewer();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->parentWidget(), w()); // closes with the main window
        QVERIFY(viewer->findChild<QPlainTextEdit *>(u"txtReport"_s)->isReadOnly());
        QVERIFY(viewer->windowTitle().startsWith(u"golf_clubs.kwd"_s));
        QVERIFY(viewer->text().startsWith(u"Keyword=golf clubs,Total Searches="_s));
        QCOMPARE(viewer->text().count(QLatin1Char('\n')), 3 + 100); // line ends as shown

        const QRect listAtOpening = list()->geometry();
        const int phraseWidth = list()->columnWidth(ColumnSuggestions);
        const QSize opening = w()->size();
        const auto toBottom = [&](const char *name) {
            return w()->height() - button(name)->mapTo(w(), QPoint()).y();
        };
        const int suggestToBottom = toBottom("cmdSuggestion");
        w()->resize(1280, 1000);
        const QSize growth = w()->size() - opening;
        QCOMPARE(list()->geometry(), listAtOpening.adjusted(0, 0, growth.width(), growth.height()));
        QCOMPARE(toBottom("cmdSuggestion"), suggestToBottom);
        const QHeaderView *header = list()->header();
        QVERIFY(header->sectionViewportPosition(ColumnAd) + header->sectionSize(ColumnAd)
                <= list()->viewport()->width());
        list()->verticalScrollBar()->setValue(3);
        expectStripes(3);
        w()->resize(opening);
        QCOMPARE(list()->columnWidth(ColumnSuggestions), phraseWidth);

        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
        QCOMPARE(lines.size(), 102); // header, 100 rows, the empty piece after the last end

        QTest::keyClick(list(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(proposed, m_p->reportPath(u"golf_clubs.csv"_s));
        const QByteArray csv = readAll(proposed);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(csv.count("\r\n"), 101);

        QTest::keyClick(list(), Qt::Key_G, Qt::ControlModifier);
        ChartWindow *chart = actions.chart();
        QVERIFY(chart && chart->isVisible());
        QCOMPARE(chart->shownPoints().points.size() + chart->shownPoints().leftOut, 100);
        QVERIFY(chart->windowTitle().contains(u"golf clubs"_s));
        Q_EMIT chart->rowChosen(42); // a point clicked
        QCOMPARE(list()->currentIndex().row(), 42);
        QVERIFY(list()->selectionModel()->isRowSelected(42, {}));
        QVERIFY(chart->savePicture());
        QVERIFY(readAll(m_p->reportPath(u"golf_clubs.png"_s)).startsWith("\x89PNG"));

        answer = m_dir->filePath(u"missing/folder/x.csv"_s);
        QVERIFY(!actions.saveCsv());
        QCOMPARE(shown().size(), 1);
        QVERIFY(shown().first().contains(u"x.csv"_s));

        // Only the popularity header sorts, and a second click restores the run's order.
        const QStringList phrases = column(1);
        clickHeader(list(), 3); // "Percent"
        QCOMPARE(column(1), phrases);
        clickHeader(list(), 6);
        QVERIFY(column(1) != phrases);
        clickHeader(list(), 6);
        QCOMPARE(column(1), phrases);

        // A double-click on a row sorted away from its place opens that row's result page; a
        // refusal shows the address.
        clickHeader(list(), 6);
        m_p->desktopOpens = false;
        list()->scrollToTop();
        list()->horizontalScrollBar()->setValue(0);
        const QPoint top = list()->visualRect(model()->index(0, 0)).center();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, top); // a person's double-click
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, top);
        const QString address = queryAddress(column(1).first());
        QCOMPARE(m_p->opened, QList<QUrl> {QUrl(address)});
        QCOMPARE(shown().last(), "warn: " + addressNotOpenedMessage(address));
        m_p->boxes.shown.clear();

        w()->showMinimized();
        ProgramUnderTest second(m_dir->path());
        QVERIFY(!second.start());
        QTRY_VERIFY(!w()->isMinimized());

        // The history survives a restart; nothing is loaded until Suggest. Offline and in other
        // letter case, the stored report needs neither the network nor a run.
        QVERIFY(m_p->start());
        contract.emplace(&controller().results(),
                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(box()->currentText(), u"golf clubs"_s);
        buttonsEnabled(true);
        QCOMPARE(rows(), 0);
        m_services->recordRequests();
        controller().setOnlineProbe([] { return false; });
        m_p->type(u"Golf Clubs"_s);
        m_p->click("cmdSuggestion");
        QCOMPARE(column(1), phrases);
        QVERIFY(caption().startsWith(u"Keyword \"golf clubs\",searches "_s));
        QTest::qWait(50);
        QVERIFY(m_services->requests().isEmpty());
        QVERIFY(shown().isEmpty());
        // A request shown from a report is recorded as it was typed, in place of the older
        // spelling.
        QCOMPARE(controller().history(), QStringList {u"Golf Clubs"_s});
    }

    void copiedRowsAreTabSeparatedAsShown()
    {
        const ResultList list = awkwardList(QLocale(u"en_US"_s));
        QCOMPARE(tabSeparatedRows(list, allRows(list)),
                 u"ID\tSuggestions\tSearches/mo.\tPercent\tSum\tPopularity\tPopularity/Search\tAd\n"
                 "1\tgolf, clubs\t1,234\t12.5%\t12.5%\t2,000,000\t1,621\tY\n"
                 "2\t\"the \"\"best\"\" club\"\t0999\t0.0%\t12.5%\t\t0\t\n"
                 "3\t\"golf\nbag\"\t5\t1.0%\t13.5%\t999\t200\t\n"
                 "4\tgolfschläger\t20\t2.0%\t15.5%\t0\t0\t\n"
                 "5\tzero\t0\t0.0%\t15.5%\t5\t0\t\n"_s);
    }

    void csvRowsCarryPlainFigures_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("English cells") << QLocale(u"en_US"_s);
        QTest::newRow("German cells") << QLocale(u"de_DE"_s);
    }
    // A spreadsheet reads every figure, whatever the locale shows.
    void csvRowsCarryPlainFigures()
    {
        QFETCH(QLocale, locale);
        const ResultList list = awkwardList(locale);
        QCOMPARE(csvRows(list, allRows(list), locale),
                 u"ID,Suggestions,Searches/mo.,Percent,Sum,Popularity,"
                 "Popularity/Search,Ad,Address\r\n"
                 "1,\"golf, clubs\",1234,12.5,12.5,2000000,1621,Y,a1\r\n"
                 "2,\"the \"\"best\"\" club\",999,0.0,12.5,,0,,a2\r\n"
                 "3,\"golf\nbag\",5,1.0,13.5,999,200,,a3\r\n"
                 "4,golfschläger,20,2.0,15.5,0,0,,a4\r\n"
                 "5,zero,0,0.0,15.5,5,0,,a5\r\n"_s);
    }

    // The chart reads the list's figures by the user's locale and leaves out what a logarithmic
    // axis cannot place.
    void chartPlotsRowsWithBothCounts()
    {
        const QLocale german(u"de_DE"_s);
        QLocale::setDefault(german);
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
        const ResultList list = awkwardList(german);
        ResultListModel model;
        ChartWindow chart(model, [] { return u"golf"_s; });
        model.setList(list, u"golf.kwd"_s);
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

    void chartLeavesRoomBeyondTheOuterPoints_data()
    {
        QTest::addColumn<QList<QPointF>>("points"); // searches, popularity
        QTest::newRow("extremes on whole decades")
            << QList<QPointF> {{10, 100}, {1000, 1000000}, {100, 10000}};
        QTest::newRow("extremes between decades") << QList<QPointF> {{12, 345}, {9876, 5432100}};
        QTest::newRow("one point") << QList<QPointF> {{1000, 1000}};
        QTest::newRow("equal searches") << QList<QPointF> {{500, 20}, {500, 2000000000}};
    }
    // Every marker is whole, in the window and so in the picture saved from it.
    void chartLeavesRoomBeyondTheOuterPoints()
    {
        QFETCH(QList<QPointF>, points);
        ResultList list;
        for (const QPointF &p : points) {
            ListRow row;
            row[ColumnSuggestions] = u"phrase"_s;
            row[ColumnSearches] = QLocale().toString(qint64(p.x()));
            row[ColumnPopularity] = QLocale().toString(qint64(p.y()));
            list.rows << row;
        }
        ResultListModel model;
        ChartWindow chart(model, [] { return u"golf"_s; });
        model.setList(list, u"golf.kwd"_s);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        QChart *plot = chart.findChild<QChartView *>()->chart();
        const QRectF area = plot->plotArea();
        int markers = 0;
        for (QAbstractSeries *series : plot->series()) {
            auto *scatter = static_cast<QScatterSeries *>(series);
            const qreal half = scatter->markerSize() / 2;
            for (const QPointF &p : scatter->points()) {
                const QPointF at = plot->mapToPosition(p, scatter);
                ++markers;
                QVERIFY2(area.adjusted(half, half, -half, -half).contains(at),
                         qPrintable(u"(%1, %2) at %3, %4 in %5, %6 .. %7, %8"_s.arg(p.x())
                                        .arg(p.y())
                                        .arg(at.x())
                                        .arg(at.y())
                                        .arg(area.left())
                                        .arg(area.top())
                                        .arg(area.right())
                                        .arg(area.bottom())));
            }
        }
        QCOMPARE(markers, points.size());
    }

    void addressTheDesktopRefusesIsShown_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("help link") << QByteArray("cmdHelp") << QByteArray("lblHelp");
        QTest::newRow("about link") << QByteArray("cmdAbout") << QByteArray("lblWebPage");
    }
    void addressTheDesktopRefusesIsShown()
    {
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, link);
        m_p->desktopOpens = false;
        m_p->click(button);
        QTest::mouseClick(m_p->child<QLabel>(link), Qt::LeftButton);
        QCOMPARE(m_p->opened, QList<QUrl> {QUrl(productWebPage())});
        QCOMPARE(shown(), QStringList {"warn: " + addressNotOpenedMessage(productWebPage())});
        QVERIFY(addressNotOpenedMessage(productWebPage()).contains(productWebPage()));
    }

    // Only golf.kwd counts, and one of an earlier month stays until a run writes its successor.
    void reuseRuleKeepsFilesUntilReplaced_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("messages");
        QTest::newRow("stopped run") << u"stop"_s << u"warn: You press the stop button !"_s;
        QTest::newRow("pause") << u"pause"_s
                               << u"inform: Sit back and relax, only 30 minutes delay"_s;
        QTest::newRow("offline") << u"offline"_s << u"warn: You are not on internet !"_s;
        QTest::newRow("replaced by a run") << u"run"_s << QString();
    }
    void reuseRuleKeepsFilesUntilReplaced()
    {
        QFETCH(QString, request);
        const bool replaced = request == "run"_L1;
        const QMap<QString, QByteArray> files {{".golf", store(".golf", "hidden")},
                                               {"golf.bak", store("golf.bak", "backup")},
                                               {"golf.kwd", store("golf.kwd", "golf", LastMonth)},
                                               {"golf.txt", store("golf.txt", "notes", LastMonth)}};
        if (request == "pause"_L1)
            startPause();
        if (request == "offline"_L1)
            controller().setOnlineProbe([] { return false; });
        if (request == "stop"_L1)
            connect(&controller(), &RunController::requestIssued, this,
                    [this] { m_p->click("cmdSuggestion"); });
        settle(u"golf"_s);

        QTEST(shown().join(u'|'), "messages");
        QCOMPARE(m_p->child<QProgressBar>("prgBar")->value(), 0); // a stop, too, empties the bar
        // The replaced report of last month is kept, bytes unchanged, under months/.
        QCOMPARE(filesIn(m_p->reportFolder()), files.keys() + QStringList(replaced, u"months"_s));
        if (replaced)
            QCOMPARE(readAll(m_p->reportPath("months/" + monthKey(LastMonth.date()) + "/golf.kwd")),
                     files["golf.kwd"]);
        for (const QString &name : files.keys())
            QCOMPARE(readAll(m_p->reportPath(name)) == files[name],
                     !replaced || name != "golf.kwd");
        QCOMPARE(readReport(m_p->reportPath("golf.kwd"))->rows.size(), replaced ? 10 : 1);
        QCOMPARE(controller().results().rowCount(), replaced ? 10 : 0);
    }

    // A report of this month is shown in a pause, which the settings end for good. Entries
    // match ignoring case; Delete takes the shown report, Delete All the history's; Export needs
    // its report; unwritable settings are told once.
    void entriesDeleteExportAndSettingsFollowTheUser()
    {
        store("golf.kwd", "golf");
        store("chess.kwd", "chess"); // not in the history
        startPause();
        settle(u"golf"_s);
        QCOMPARE(rows(), 1);
        QVERIFY(shown().isEmpty());
        m_p->click("cmdSetting");
        auto *dialog = w()->findChild<SettingsDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(dialog->option(0)->isChecked());
        QTest::mouseClick(dialog->option(1), Qt::LeftButton);
        QVERIFY(!controller().pacing().pausing());
        QCOMPARE(stored({"Interval"}), QStringList {"99"}); // at once, not at the next save
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(m_p->suggest(u"tennis"_s, 20000), Ending::Finished);
        settle(u"TENNIS"_s);
        QCOMPARE(controller().history(), QStringList({"TENNIS", "golf"}));
        QPushButton *exportButton = button("cmdExportTXT");
        QVERIFY(exportButton->isEnabled());

        m_p->boxes.answers = {false}; // No changes nothing
        m_p->click("cmdDelete");
        QCOMPARE(box()->count(), 2);
        QCOMPARE(rows(), 10);
        m_p->click("cmdDelete");
        QCOMPARE(controller().history(), QStringList {"golf"});
        QCOMPARE(filesIn(m_p->reportFolder()), (QStringList {"chess.kwd", "golf.kwd"}));
        QCOMPARE(rows(), 0);
        QCOMPARE(caption(), u"Suggestions"_s);
        QCOMPARE(box()->count(), 1);
        QCOMPARE(box()->currentText(), u"golf"_s);
        QVERIFY(button("cmdDelete")->isEnabled());
        QVERIFY(!exportButton->isEnabled());
        QCOMPARE(stored({"KeywordNum", "Keyword1", "Keyword2", "Interval"}),
                 (QStringList {"1", "golf", "", "99"})); // the settings' choice kept

        settle(u"golf"_s);
        QVERIFY(exportButton->isEnabled());
        QFile::remove(m_p->reportPath("golf.kwd")); // gone behind the program's back
        m_p->click("cmdExportTXT");
        QVERIFY(!w()->exporter().lastViewer());
        QVERIFY(!exportButton->isEnabled());

        store("golf.kwd", "golf");
        m_p->click("cmdDeleteAll");
        QCOMPARE(filesIn(m_p->reportFolder()), QStringList {"chess.kwd"});
        QCOMPARE(box()->count(), 0);
        QCOMPARE(box()->currentText(), QString());
        buttonsEnabled(false);
        QCOMPARE(stored({"KeywordNum", "Keyword1", "Interval"}), (QStringList {"0", "", "99"}));

        const QString ini = m_dir->filePath("quorvane.ini");
        QVERIFY(QFile::remove(ini) && QDir().mkdir(ini)); // no file can be written there
        controller().chooseInterval(Pacing::PauseAfterThreeRuns);
        settle(u"chess"_s); // a second failed write, not told again
        QCOMPARE(controller().history(), QStringList {"chess"});
        const QStringList told = shown().filter(u"could not be written"_s);
        QCOMPARE(told.size(), 1);
        const QString start = "warn: The settings file \"" + ini + "\" could not be written: ";
        QVERIFY(told[0].startsWith(start) && told[0].size() > start.size() + 3); // a reason
        QCOMPARE(m_p->program()->currentSettings().intervalSetting, Pacing::PauseAfterThreeRuns);
    }

    // A run that was stopped or found nothing leaves the earlier report in the list: files made
    // from the list are named after that report, not after the run.
    void savedFilesAreNamedAfterTheShownReport_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::newRow("stopped run") << u"darts"_s;
        QTest::newRow("nothing found") << u"nothing"_s;
    }
    void savedFilesAreNamedAfterTheShownReport()
    {
        QFETCH(QString, seed);
        store(u"café.kwd"_s, u"Café"_s);
        settle(u"Café"_s);
        QCOMPARE(rows(), 1);
        if (seed == "darts"_L1)
            connect(&controller(), &RunController::requestIssued, this,
                    [this] { m_p->click("cmdSuggestion"); });
        QVERIFY(m_p->suggest(seed, 10000).has_value());
        QCOMPARE(column(1), QStringList {u"Café row"_s});

        ListActions &actions = *w()->findChild<ListActions *>();
        QStringList proposed;
        actions.setFileChooser([&](QWidget *, const QString &offered) {
            proposed << offered;
            return QString(); // the dialog cancelled
        });
        QTest::keyClick(w(), Qt::Key_S, Qt::ControlModifier);
        actions.showChart()->savePicture();
        QCOMPARE(proposed,
                 QStringList({m_p->reportPath(u"café.csv"_s), m_p->reportPath(u"café.png"_s)}));
    }

    void fullHistoryTellsWhatItCannotHold_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("new keyword")
            << u"golf"_s
            << QStringList {u"warn: The keyword history is full (32,767 keywords), so \"golf\" "
                            "was not added to it: its report is shown now but cannot be chosen "
                            "from the history.\r\nDelete keywords you no longer need to make "
                            "room."_s};
        QTest::newRow("keyword already there") << u"x"_s << QStringList();
    }
    void fullHistoryTellsWhatItCannotHold()
    {
        QFETCH(QString, keyword);
        QStringList &history = m_p->program()->currentSettings().keywordHistory;
        history = QStringList(MaxHistoryEntries, u"x"_s);
        store(reportFileName(keyword), keyword);
        settle(keyword);
        QCOMPARE(rows(), 1); // the report is shown all the same
        QTEST(shown(), "messages");
        QCOMPARE(history.size(), MaxHistoryEntries);
    }

    // Delete, Delete All, Export and Suggest for the box's text: an entry matches ignoring
    // letter case; without a match Suggest waits while a run is being started.
    void keywordBoxButtons_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("runStarting");
        QTest::addColumn<QString>("states"); // Delete, Delete All, Export, Suggest
        const QStringList some {"tennis", "golf"};
        QTest::newRow("empty history, empty box") << QStringList() << QString() << false << "0000";
        QTest::newRow("empty history, a keyword") << QStringList() << "golf" << false << "0001";
        QTest::newRow("empty box") << some << QString() << false << "0100";
        QTest::newRow("entry with capitals, typed lower, run starting")
            << QStringList {"Golf Clubs"} << "golf clubs" << true << "1111";
        QTest::newRow("no match") << some << "gol" << false << "0101";
        QTest::newRow("no match, run starting") << some << "chess" << true << "0100";
    }
    void keywordBoxButtons()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, text);
        QFETCH(bool, runStarting);
        const ButtonStates s = buttonStateRule(history, text, runStarting);
        QString states;
        for (const bool enabled : {s.deleteOne, s.deleteAll, s.exportReport, s.suggest})
            states += enabled ? u'1' : u'0';
        QTEST(states, "states");
    }

    // A run's ending names its own keyword, and tells of result pages without counts. Whatever
    // happens to the box or the history meanwhile, the Stop button stays.
    void runEndingTellsTheTruth_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QString>("during"); // the run's first download
        QTest::addColumn<int>("failing"); // result pages answered 404, of 10
        QTest::addColumn<QString>("messages");
        const QString fewCounts =
            u"warn: Only %1 of the 10 result pages gave a result count (%2 could "
            "not be downloaded), so popularity figures are missing from this "
            "report.\r\nDelete the keyword to run it again later, or choose another source "
            "for the counts in the settings (Ctrl+K)."_s;
        QTest::newRow("box emptied") << u"golf clubs"_s << u"type"_s << 0 << QString();
        QTest::newRow("Delete All") << u"golf clubs"_s << u"delete all"_s << 0
                                    << u"confirm: Are you sure you want to delete all keywords ?"_s;
        QTest::newRow("box emptied, nothing found")
            << u"nothing"_s << u"type"_s << 0
            << u"warn: No results found for \"nothing\" or denied by database .\r\nTry another "
               "keyword and not to visit database frequently ! "_s;
        QTest::newRow("no counts") << u"uncounted"_s << u""_s << 0 << fewCounts.arg(0).arg(0);
        QTest::newRow("6 of 10 pages fail") << u"golf"_s << u""_s << 6 << fewCounts.arg(4).arg(6);
        QTest::newRow("5 of 10 pages fail") << u"golf"_s << u""_s << 5 << QString();
    }
    void runEndingTellsTheTruth()
    {
        QFETCH(QString, seed);
        QFETCH(QString, during);
        QFETCH(int, failing);
        SampleFaultPlan plan;
        for (int page = 0; page < failing; ++page)
            plan.byRequest.insert(3 + page, SampleFault::NotFound); // after the first phase
        m_services->setFaultPlan(plan);
        store("chess.kwd", "chess");
        settle(u"chess"_s); // a history, for Delete All
        bool stopOffered = true;
        connect(&controller(), &RunController::requestIssued, this,
                [&](const QString &, const QString &key) {
                    if (key != "1"_L1 || during.isEmpty())
                        return;
                    during == "type"_L1 ? m_p->type(QString()) : m_p->click("cmdDeleteAll");
                    stopOffered = button("cmdSuggestion")->isEnabled();
                });
        const bool found = seed != "nothing"_L1;
        QCOMPARE(m_p->suggest(seed, 10000), found ? Ending::Finished : Ending::NothingFound);
        QVERIFY(stopOffered);
        QTEST(shown().join(u'|'), "messages");
        if (!found)
            return;
        const QString report = m_p->reportPath(reportFileName(seed));
        QVERIFY(readAll(report).startsWith("Keyword=" + seed.toUtf8() + ','));
        QCOMPARE(readReport(report)->rows.size(), 10);
        QVERIFY(caption().startsWith("Keyword \"" + seed + "\" searches "));
        QCOMPARE(controller().history().first(), seed);
    }

    // A paid run asks first, with its cost at list prices and the balance known, unless it costs
    // under the user's amount; it says what it cost, shows where the figures came from, and
    // leaves each phrase's months beside its report, apart from the classic report.
    void paidRunAsksTellsItsCostAndKeepsItsMonths_data()
    {
        QTest::addColumn<double>("askUnlessUnder");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("runs");
        QTest::newRow("asked, Yes") << 0.0 << true << true << true;
        QTest::newRow("asked, No: nothing sent") << 0.0 << false << true << false;
        QTest::newRow("under the amount: not asked") << 1.0 << false << false << true;
        QTest::newRow("over the amount: asked") << 0.27 << true << true << true;
    }
    void paidRunAsksTellsItsCostAndKeepsItsMonths()
    {
        QFETCH(double, askUnlessUnder);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, runs);
        const QString seed = u"golf clubs"_s;
        m_services->setKeywordRowCount(100);
        auto source =
            std::make_shared<DataForSeoSource>(SourceCredentials {u"login"_s, u"s3cret-Pw"_s},
                                               Market(), QUrl(m_services->apiBaseAddress()));
        controller().setSources(source, source);
        controller().setPaidRunRule(true, askUnlessUnder);
        controller().setKnownBalance(SampleDataForSeoBalance);
        m_p->boxes.answers = {answer};
        auto *sourcePanel = m_p->child<QLabel>("sbSourcePanel");
        QVERIFY(!sourcePanel->isVisible());
        int sent = 0;
        connect(&controller(), &RunController::requestIssued, this, [&] { ++sent; });

        const std::optional<Ending> ending = m_p->suggest(seed, runs ? 20000 : 300);
        const QString question = u"confirm: Suggestions for \"golf clubs\" will cost up to $0.275 "
                                 "at list prices: one keyword ideas task from DataForSEO ($0.075) "
                                 "and up to 100 results pages from DataForSEO ($0.002 each). The "
                                 "balance is $42.50. The report is then reused free for the rest "
                                 "of the month.\n\nGo on?"_s;
        QCOMPARE(shown(), asked ? QStringList {question} : QStringList {});
        const QString report =
            QDir(m_p->reportFolder()).filePath(u"dataforseo+dataforseo/golf_clubs.kwd"_s);
        if (!runs) {
            QVERIFY(!ending);
            QCOMPARE(sent, 0);
            QVERIFY(!QFile::exists(report));
            QCOMPARE(button("cmdSuggestion")->text(), u"&Suggest"_s);
            return;
        }
        QCOMPARE(ending, Ending::Finished);
        QCOMPARE(rows(), 100);
        // What the sample service charged: one keywords task and a results page per phrase.
        QCOMPARE(w()->status(), u"This run cost $0.275."_s);
        QVERIFY(sourcePanel->isVisible());
        QCOMPARE(sourcePanel->text(), u"Figures from DataForSEO"_s);
        QCOMPARE(list()->toolTip(), sourcePanel->text());
        QVERIFY(!QFile::exists(m_p->reportPath(u"golf_clubs.kwd"_s)));

        // The months of the service's answer for the seed, as its documentation lays them out.
        const SourceRequest asked_ = DataForSeo::keywordsRequest(
            QUrl(m_services->apiBaseAddress()), SourceCredentials {u"l"_s, u"p"_s}, Market(), seed);
        const QByteArray target = asked_.url.path(QUrl::FullyEncoded).toUtf8();
        const SampleApiAnswer documented =
            sampleApiAnswer(target, sampleApiRequest("POST", target, "Basic bDpw", asked_.body),
                            SampleApiFault::None);
        Seasons expected;
        const QJsonArray ideas =
            QJsonDocument::fromJson(documented.body).object()[u"tasks"_s][0][u"result"_s].toArray();
        for (const QJsonValue &idea : ideas) {
            for (const QJsonValue &month : idea[u"monthly_searches"_s].toArray())
                expected[idea[u"keyword"_s].toString()].append(
                    {month[u"year"_s].toInt(), month[u"month"_s].toInt(),
                     month[u"search_volume"_s].toInteger()});
        }
        const Seasons kept = readSeasons(report);
        QCOMPARE(kept.size(), 100);
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
            QCOMPARE(it.value(), normalizedSeasons({{it.key(), expected[it.key()]}})[it.key()]);
        }

        // This month's report comes back free: nothing is asked or sent again.
        m_p->boxes.shown.clear();
        sent = 0;
        settle(seed);
        QCOMPARE(shown(), QStringList {});
        QCOMPARE(sent, 0);
        QCOMPARE(rows(), 100);

        // A classic run takes the panel away again.
        auto classic = std::make_shared<ClassicSource>();
        controller().setSources(classic, classic);
        m_services->setKeywordRowCount(10);
        QCOMPARE(m_p->suggest(u"tennis"_s, 10000), Ending::Finished);
        QCOMPARE(shown(), QStringList {});
        QVERIFY(!sourcePanel->isVisible());
        QVERIFY(list()->toolTip().isEmpty());
        QVERIFY(w()->status().startsWith(u"Be careful not to visit database"_s));
    }

    void exitDuringARunEndsItQuietly()
    {
        QSignalSpy downloads(&controller(), &RunController::requestIssued);
        QSignalSpy closed(w(), &MainWindow::closed);
        m_p->enter(u"golf clubs"_s);
        m_p->click("cmdSuggestion");
        QVERIFY(downloads.wait());
        m_p->click("cmdExit");
        QCOMPARE(closed.size(), 1);
        QVERIFY(!w()->isVisible());
        const int issued = downloads.size();
        QTest::qWait(150);
        QCOMPARE(downloads.size(), issued);
        QVERIFY(shown().isEmpty());
    }

    void corruptSettingEndsStartupWithMessage()
    {
        m_p->stop();
        SettingsStore(m_p->places().settings).writeRegValue(SettingsKey, u"KeywordNum"_s, u"abc"_s);
        QVERIFY(!m_p->start());
        QCOMPARE(shown(), QStringList {u"warn: Severe error has occured !"_s});
    }

    void messageBoxesShowPlainText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("warning") << "warn";
        QTest::newRow("confirmation") << "confirm";
    }
    void messageBoxesShowPlainText()
    {
        QFETCH(QString, kind);
        const QString text = u"Delete the keyword \"salt <b>hot</b>\" ?"_s;
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->done(QMessageBox::No);
            seen = true;
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), text);
            QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse); // to copy
        });
        WidgetMessageBoxes boxes;
        kind == "confirm"_L1 ? void(boxes.confirm(text)) : boxes.warn(text);
        QVERIFY(seen);
    }

    void browserProgramIsTakenFromCommandText_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("program");
        QTest::newRow("quoted path, switch and quoted placeholder")
            << u"\"C:\\B\\b.exe\" -osint -url \"%1\""_s << u"C:\\B\\b.exe"_s;
        QTest::newRow("plain path and switch")
            << u"C:\\PROGRA~1\\browser.exe -nohome"_s << u"C:\\PROGRA~1\\browser.exe"_s;
        QTest::newRow("path alone") << u"C:\\B\\b.exe"_s << u"C:\\B\\b.exe"_s;
        QTest::newRow("quote never closed") << u"\"C:\\My B\\b.exe"_s << u"C:\\My B\\b.exe"_s;
    }
    void browserProgramIsTakenFromCommandText()
    {
        QFETCH(QString, command);
        QTEST(browserProgramFromCommand(command), "program");
    }

    // The desktop's handler, and a report gone missing (the window's run shows one in the viewer).
    void exportUsesDesktopHandlerElseOwnViewer()
    {
        const QString path = m_dir->filePath(u"golf.kwd"_s);
        TextExport &exporter = w()->exporter();
        QList<QUrl> asked;
        exporter.setDocumentOpener([&](const QUrl &url) {
            asked << url;
            return true;
        });
        exporter.exportReport(path);
        QVERIFY(asked.isEmpty()); // a missing file is told in the program's own viewer
        QVERIFY(exporter.lastViewer()->text().startsWith(u"Cannot open "_s + path));
        delete exporter.lastViewer();
        QVERIFY(writeAll(path, "Keyword=golf\r\n"));
        exporter.exportReport(path);
        QCOMPARE(asked, QList<QUrl> {QUrl::fromLocalFile(path)});
        QVERIFY(!exporter.lastViewer());
    }

private:
    MainWindow *w() const { return m_p->window(); }
    RunController &controller() const { return w()->controller(); }
    QStringList shown() const { return m_p->boxes.shown; }
    QPushButton *button(const char *name) const { return m_p->button(name); }
    QComboBox *box() const { return m_p->keywordBox(); }
    QTreeView *list() const { return m_p->child<QTreeView>("lstKeyword"); }
    QAbstractItemModel *model() const { return list()->model(); }
    int rows() const { return model()->rowCount(); }
    QString caption() const { return model()->headerData(1, Qt::Horizontal).toString(); }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int i = 0; i < rows(); ++i)
            texts << model()->index(i, c).data().toString();
        return texts;
    }
    void buttonsEnabled(bool enabled) const
    {
        for (const char *name : {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"})
            QVERIFY2(button(name)->isEnabled() == enabled, name);
    }
    // Bands alternate under display positions, seen at the viewport's right edge, right of
    // every text.
    void expectStripes(int firstShownRow) const
    {
        const auto *stripes = list()->findChild<StripedRows *>(u"stripes"_s);
        const int h =
            rows() ? list()->visualRect(model()->index(0, 0)).height() : stripes->rowHeight();
        const QImage image = list()->viewport()->grab().toImage();
        QVERIFY(image.height() / h >= 4);
        for (int band = 0; band < image.height() / h; ++band)
            QCOMPARE(image.pixelColor(image.width() - 3, band * h + h / 2),
                     (firstShownRow + band) % 2 == 0 ? stripes->first() : stripes->second());
    }
    QStringList stored(std::initializer_list<const char *> values) const
    {
        QStringList texts;
        for (const char *value : values)
            texts << iniValues(m_p->places().settings.path).value(QString::fromLatin1(value));
        return texts;
    }
    QByteArray store(const QString &name, const QString &keyword,
                     const QDateTime &modified = QDateTime::currentDateTime())
    {
        const QByteArray bytes =
            reportBytes(keyword, 10,
                        {ListRow {{"1", keyword + " row", "10", "100.0%", "100.0%", "", "0", ""}}});
        if (!writeAll(m_p->reportPath(name), bytes, modified))
            qFatal("cannot store %s", qPrintable(name));
        return bytes;
    }
    void startPause()
    {
        controller().chooseInterval(Pacing::PauseAfterThreeRuns);
        for (int run = 0; run < Pacing::RunsBeforePause; ++run)
            controller().countFinishedRunForTesting();
    }
    // Suggest for text, and wait until nothing of it is under way.
    void settle(const QString &text)
    {
        m_p->enter(text);
        m_p->click("cmdSuggestion");
        QVERIFY(QTest::qWaitFor([&] {
            return !controller().running()
                && controller().state() != RunController::State::CheckingConnection;
        }));
    }

    LoopbackServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

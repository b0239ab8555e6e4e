#include "loopbackservices.h"
#include "programharness.h"
#include "reportfile.h"
#include "sampleservices.h"
#include "serviceaddresses.h"
#include "settingsdialog.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Qt::StringLiterals;
using namespace Quorvane::Harness;
using Ending = FetchQueue::Ending;

namespace {

const QStringList Buttons {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"};

// A person's double-click: press and release, then the double-click and its release.
void doubleClick(QWidget *widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

void clickHeader(QTreeView *list, int section)
{
    QHeaderView *header = list->header();
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
               header->height() / 2));
}

} // namespace

class tst_MainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase() { QVERIFY(m_services.start()); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_p = std::make_unique<ProgramUnderTest>(m_dir->path());
        m_services->setKeywordRowCount(100);
        QVERIFY(m_p->start());
    }
    void cleanup() { m_p.reset(); }

    void wholeRunFillsListWritesReportAndHistory()
    {
        QSignalSpy downloads(&w()->controller().queue(), &FetchQueue::downloadIssued);
        QSignalSpy ended(&w()->controller(), &RunController::runEnded);
        startRun(u"golf clubs"_s);
        QCOMPARE(button("cmdSuggestion")->text(), u"&Stop"_s);
        QVERIFY(ended.wait(20000));
        QCOMPARE(ended.first().first().value<Ending>(), Ending::Finished);
        QCOMPARE(downloads.size(), 102);

        QCOMPARE(rows(), 100);
        const QString summary = caption();
        QVERIFY2(summary.startsWith(u"Keyword \"golf clubs\" searches "_s), qPrintable(summary));
        QVERIFY(summary.endsWith(u" (top 100 only)"_s));
        QCOMPARE(column(0).first(), u"1"_s);
        QCOMPARE(column(0).last(), u"100"_s);
        QVERIFY(model()->index(0, 6).data(Qt::TextAlignmentRole).value<Qt::Alignment>()
                & Qt::AlignRight);
        QCOMPARE(button("cmdSuggestion")->text(), u"&Suggestion"_s);
        QCOMPARE(m_p->child<QProgressBar>("prgBar")->value(), 0);
        QCOMPARE(m_p->child<QProgressBar>("prgBar")->maximum(), 102);
        QVERIFY(w()->status().startsWith(u"Be careful not to visit database"_s));
        buttonsEnabled(true);
        QVERIFY(QFile::exists(m_p->reportPath(u"golf_clubs.kwd"_s)));
        QCOMPARE(box()->currentText(), u"golf clubs"_s);
        QVERIFY(m_p->boxes.shown.isEmpty());

        // Export shows the current keyword's report: its header, a blank line, titles, the rows.
        m_p->click("cmdExportTXT");
        ReportViewer *viewer = w()->exporter().lastViewer();
        QVERIFY(viewer);
        QVERIFY(viewer->text().startsWith(u"Keyword=golf clubs,Total Searches="_s));
        QCOMPARE(viewer->text().count(QLatin1Char('\n')), 3 + 100);

        // The history survives a restart; nothing is loaded until Suggest. Offline and in other
        // letter case, the stored report needs neither the network nor a run, and the request is
        // recorded as typed.
        const QStringList phrases = column(1);
        QVERIFY(m_p->start());
        QCOMPARE(box()->currentText(), u"golf clubs"_s);
        buttonsEnabled(true);
        QCOMPARE(rows(), 0);
        m_services->clearRequests();
        w()->controller().connectivity().setProbe([] { return false; });
        QSignalSpy reran(&w()->controller(), &RunController::runEnded);
        startRun(u"Golf Clubs"_s);
        QCOMPARE(column(1), phrases);
        QVERIFY(caption().startsWith(u"Keyword \"golf clubs\",searches "_s));
        QTest::qWait(50);
        QVERIFY(m_services->requests().isEmpty());
        QVERIFY(reran.isEmpty());
        QVERIFY(m_p->boxes.shown.isEmpty());
        QCOMPARE(w()->controller().currentKeyword(), u"Golf Clubs"_s);
        // A request shown from a report is recorded as it was typed, in place of the older
        // spelling.
        QCOMPARE(box()->count(), 1);
        QCOMPARE(box()->itemText(0), u"Golf Clubs"_s);
        QCOMPARE(QDir(m_p->reportFolder()).entryList(QDir::Files),
                 QStringList {u"golf_clubs.kwd"_s});
    }

    void stopEndsRunWithoutReport()
    {
        QCOMPARE(runToEnd(u"chess"_s, 3), Ending::Finished);
        m_services->setKeywordRowCount(100);
        w()->controller().queue().setDownloadPause(std::chrono::milliseconds(30));
        QSignalSpy downloads(&w()->controller().queue(), &FetchQueue::downloadIssued);
        QSignalSpy ended(&w()->controller(), &RunController::runEnded);
        startRun(u"tennis rackets"_s);
        QTRY_VERIFY(downloads.size() >= 5);
        // Neither an empty box nor an emptied history may take the Stop button away.
        m_p->type(QString());
        QVERIFY(button("cmdSuggestion")->isEnabled());
        m_p->click("cmdDeleteAll");
        QCOMPARE(box()->count(), 0);
        QVERIFY(button("cmdSuggestion")->isEnabled());
        m_p->boxes.shown.clear();

        m_p->click("cmdSuggestion");
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<Ending>(), Ending::Stopped);
        QCOMPARE(m_p->boxes.shown, QStringList {u"warn: You press the stop button !"_s});
        QCOMPARE(button("cmdSuggestion")->text(), u"&Suggestion"_s);
        QCOMPARE(m_p->child<QProgressBar>("prgBar")->value(), 0);
        QVERIFY(!QFile::exists(m_p->reportPath(u"tennis_rackets.kwd"_s)));
    }

    void pauseRefusesRunsUntilSettingsEndIt()
    {
        w()->controller().pacing().runFinished();
        w()->controller().pacing().runFinished();
        QCOMPARE(runToEnd(u"golf"_s, 3), Ending::Finished);
        QVERIFY(w()->controller().pacing().pausing());
        QCOMPARE(w()->status(), u"Sit back and relax, only 30 minutes delay"_s);

        startRun(u"chess"_s);
        QCOMPARE(m_p->boxes.shown,
                 QStringList {u"inform: Sit back and relax, only 30 minutes delay"_s});
        startRun(u"golf"_s); // a report of this month is still shown
        QCOMPARE(rows(), 3);
        QCOMPARE(m_p->boxes.shown.size(), 1);

        m_p->click("cmdSetting");
        auto *dialog = w()->findChild<SettingsDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(dialog->option(0)->isChecked());
        QTest::mouseClick(dialog->option(1), Qt::LeftButton);
        QVERIFY(!w()->controller().pacing().pausing());
        QCOMPARE(m_p->program()->currentSettings().intervalSetting, qint16(99));
        QCOMPARE(stored({"Interval"}), QStringList {"99"});
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(runToEnd(u"chess"_s, 3), Ending::Finished);
        QCOMPARE(stored({"Interval"}), QStringList {"99"}); // a later history save keeps the choice
    }

    void popularityHeaderTogglesOrderAndDoubleClickOpensTheRow()
    {
        QCOMPARE(runToEnd(u"golf clubs"_s, 20), Ending::Finished);
        const QStringList phrases = column(1);
        const QStringList sums = column(4);

        clickHeader(list(), 3); // "Percent": nothing happens
        QCOMPARE(column(1), phrases);

        clickHeader(list(), 6);
        QVERIFY(w()->controller().results().list().popularitySorted);
        QVERIFY(column(1) != phrases);
        double previous = -1;
        for (const QString &ratio : column(6)) {
            const double value = QLocale().toDouble(ratio);
            QVERIFY2(value >= previous, qPrintable(ratio));
            previous = value;
        }
        QCOMPARE(column(4).first(), column(3).first());
        QVERIFY(column(0) != phrases); // IDs keep their run numbers, so are out of order now

        clickHeader(list(), 6);
        QVERIFY(!w()->controller().results().list().popularitySorted);
        QCOMPARE(column(1), phrases);
        QCOMPARE(column(4), sums);
        QCOMPARE(column(0).first(), u"1"_s);
        QVERIFY(caption().contains(u",searches "_s));
        QVERIFY(m_p->boxes.shown.isEmpty());

        // A double-click below the rows, with nothing selected, does nothing; on a row sorted
        // away from its place it opens that row's result page.
        doubleClick(list()->viewport(), QPoint(20, list()->viewport()->height() - 3));
        QVERIFY(m_p->opened.isEmpty());
        clickHeader(list(), 6);
        list()->horizontalScrollBar()->setValue(0);
        const QModelIndex top = model()->index(0, 0);
        QVERIFY(top.data().toString() != u"1"_s);
        doubleClick(list()->viewport(), list()->visualRect(top).center());
        QCOMPARE(m_p->opened, QList<QUrl> {QUrl(queryAddress(column(1).first()))});
    }

    void deleteAndDeleteAllRemoveEntriesAndFiles()
    {
        QCOMPARE(runToEnd(u"golf"_s, 3), Ending::Finished);
        QCOMPARE(runToEnd(u"tennis"_s, 4), Ending::Finished);
        QVERIFY(writeAll(m_p->reportPath(u"chess.kwd"_s), {}));
        QCOMPARE(box()->itemText(0), u"tennis"_s);

        // No changes nothing.
        m_p->boxes.answers = {false};
        m_p->click("cmdDelete");
        QCOMPARE(
            m_p->boxes.shown,
            QStringList {u"confirm: Are you sure you want to delete this keyword \"tennis\" ?"_s});
        QCOMPARE(box()->count(), 2);
        QVERIFY(QFile::exists(m_p->reportPath(u"tennis.kwd"_s)));

        // Yes: the shown keyword's report goes, and the list with it.
        m_p->click("cmdDelete");
        QVERIFY(!QFile::exists(m_p->reportPath(u"tennis.kwd"_s)));
        QCOMPARE(rows(), 0);
        QCOMPARE(caption(), u"Suggestions"_s);
        QCOMPARE(box()->count(), 1);
        QCOMPARE(box()->currentText(), u"golf"_s);
        QVERIFY(button("cmdDelete")->isEnabled());
        QCOMPARE(stored({"KeywordNum", "Keyword1", "Keyword2"}), (QStringList {"1", "golf", ""}));

        m_p->boxes.shown.clear();
        m_p->click("cmdDeleteAll");
        QCOMPARE(m_p->boxes.shown,
                 QStringList {u"confirm: Are you sure you want to delete all keywords ?"_s});
        QVERIFY(!QFile::exists(m_p->reportPath(u"golf.kwd"_s)));
        QVERIFY(QFile::exists(m_p->reportPath(u"chess.kwd"_s))); // not in the history
        QCOMPARE(box()->count(), 0);
        QCOMPARE(box()->currentText(), QString());
        buttonsEnabled(false);
        QCOMPARE(stored({"KeywordNum", "Keyword1", "Interval"}), (QStringList {"0", "", "0"}));
    }

    void closingDuringRunEndsItQuietly()
    {
        w()->controller().queue().setDownloadPause(std::chrono::milliseconds(20));
        QSignalSpy downloads(&w()->controller().queue(), &FetchQueue::downloadIssued);
        QSignalSpy closed(w(), &MainWindow::closed);
        startRun(u"golf clubs"_s);
        QTRY_VERIFY(downloads.size() >= 4);
        m_p->click("cmdExit");
        QCOMPARE(closed.size(), 1);
        QVERIFY(!w()->isVisible());
        QVERIFY(!w()->controller().queue().running());
        QVERIFY(w()->controller().record().stopRequested);
        const int issued = downloads.size();
        QTest::qWait(150);
        QCOMPARE(downloads.size(), issued);
        QVERIFY(m_p->boxes.shown.isEmpty());
        QVERIFY(!QFile::exists(m_p->reportPath(u"golf_clubs.kwd"_s)));
        m_p->stop(); // the window goes while its run's traces are still about
    }

    void corruptSettingEndsStartupWithMessage_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("content");
        QTest::newRow("history count not a number") << u"KeywordNum"_s << u"abc"_s;
        QTest::newRow("interval not a number") << u"Interval"_s << u"x"_s;
    }

    void corruptSettingEndsStartupWithMessage()
    {
        QFETCH(QString, value);
        QFETCH(QString, content);
        m_p->stop();
        {
            SettingsStore store(m_p->places().settings);
            QVERIFY(store.writeDefaultSettings(Settings {}));
            store.writeRegValue(SettingsKey, value, content);
        }
        QVERIFY(!m_p->start());
        QVERIFY(!m_p->program()->window());
        QCOMPARE(m_p->boxes.shown, QStringList {u"warn: Severe error has occured !"_s});
    }

private:
    MainWindow *w() const { return m_p->window(); }
    QPushButton *button(const char *name) const { return m_p->button(name); }
    QComboBox *box() const { return m_p->keywordBox(); }
    QTreeView *list() const { return m_p->child<QTreeView>("lstKeyword"); }
    QAbstractItemModel *model() const { return list()->model(); }
    int rows() const { return model()->rowCount(); }
    QString caption() const { return model()->headerData(1, Qt::Horizontal).toString(); }
    void buttonsEnabled(bool enabled) const
    {
        for (const QString &name : Buttons)
            QVERIFY2(button(qPrintable(name))->isEnabled() == enabled, qPrintable(name));
    }
    QStringList stored(std::initializer_list<const char *> values) const
    {
        const SettingsStore store(m_p->places().settings);
        QStringList texts;
        for (const char *value : values)
            texts << store.readRegValue(SettingsKey, QString::fromLatin1(value));
        return texts;
    }

    Ending runToEnd(const QString &keyword, int rows)
    {
        m_services->setKeywordRowCount(rows);
        QSignalSpy ended(&w()->controller(), &RunController::runEnded);
        startRun(keyword);
        if (!ended.wait(20000))
            qFatal("run for %s did not end", qPrintable(keyword));
        return ended.first().first().value<Ending>();
    }
    void startRun(const QString &keyword) // typed, then Suggest
    {
        m_p->type(keyword);
        m_p->click("cmdSuggestion");
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int i = 0; i < rows(); ++i)
            texts << model()->index(i, c).data().toString();
        return texts;
    }

    TestSupport::LoopbackServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

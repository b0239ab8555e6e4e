// Faults a user met: reports and users' files lost, reports naming the wrong keyword, markup in
// message boxes, and failures kept silent or shown as results.

#include "browser.h"
#include "programharness.h"
#include "reportfile.h"
#include "sampleservices.h"
#include "serviceaddresses.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Quorvane::Harness;
using namespace Qt::StringLiterals;
using Ending = FetchQueue::Ending;

namespace {

const QDateTime LastMonth = QDateTime::currentDateTime().addMonths(-1);

// A one-row report of keyword, last modified at `modified`; its bytes.
QByteArray storeReport(const QString &folder, const QString &name, const QString &keyword,
                       const QDateTime &modified = QDateTime::currentDateTime())
{
    ListRow row;
    row[ColumnSuggestions] = keyword + u" row"_s;
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(reportBytes(keyword, 10, {row})) < 0
        || !file.flush() || !file.setFileTime(modified, QFileDevice::FileModificationTime))
        qFatal("cannot store %s", qPrintable(name));
    return reportBytes(keyword, 10, {row});
}

} // namespace

class tst_Faults final : public QObject
{
    Q_OBJECT

    RunController &controller() { return m_p->window()->controller(); }
    QStringList shown() const { return m_p->boxes.shown; }
    // Suggest for text; returns once the request is over (refused, shown or run to its end).
    void settle(const QString &text)
    {
        m_p->enter(text);
        m_p->click("cmdSuggestion");
        QVERIFY(QTest::qWaitFor([&] {
            RunController &c = controller();
            return !c.runArmed() && !c.queue().running() && !c.connectivity().pending();
        }));
    }

    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_services.start());
        overrideEndpoints(m_services.endpoints());
    }
    void cleanupTestCase() { overrideEndpoints(std::nullopt); }
    void init()
    {
        m_services.setFaultPlan({});
        m_services.clearRequests();
        m_services.setKeywordRowCount(10);
        m_dir = std::make_unique<QTemporaryDir>();
        m_p = std::make_unique<ProgramUnderTest>(m_dir->path());
        m_p->writeDontCare();
        QVERIFY(m_p->start());
        QDir().mkpath(m_p->reportFolder());
    }
    void cleanup() { m_p.reset(); }

    void earlierReportStaysUntilReplaced_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("stopped run") << "stop" << QStringList {"warn: You press the stop button !"};
        QTest::newRow("pause") << "pause"
                               << QStringList {"inform: Sit back and relax, only 30 minutes delay"};
        QTest::newRow("offline") << "offline" << QStringList {"warn: You are not on internet !"};
        QTest::newRow("run finishes") << "run" << QStringList();
    }
    void earlierReportStaysUntilReplaced()
    {
        QFETCH(QString, request);
        const QString path = m_p->reportPath(u"golf.kwd"_s);
        const QByteArray earlier = storeReport(m_p->reportFolder(), "golf.kwd", "golf", LastMonth);
        if (request == "pause"_L1) {
            controller().chooseInterval(Pacing::PauseAfterThreeRuns);
            for (int run = 0; run < Pacing::RunsBeforePause; ++run)
                controller().pacing().runFinished();
        }
        if (request == "offline"_L1)
            controller().connectivity().setProbe([] { return false; });
        if (request == "stop"_L1)
            connect(&controller().queue(), &FetchQueue::downloadIssued, this,
                    [this] { m_p->click("cmdSuggestion"); });
        settle(u"golf"_s);

        QTEST(shown(), "messages");
        QCOMPARE(QDir(m_p->reportFolder()).entryList(QDir::Files), QStringList {"golf.kwd"});
        if (request != "run"_L1)
            QCOMPARE(readAll(path), earlier);
        else
            QCOMPARE(readReport(path)->rows.size(), 10); // the run's report, whole
    }

    void onlyTheKeywordsOwnReportIsTouched_data()
    {
        QTest::addColumn<QDateTime>("modified");
        QTest::newRow("golf.kwd of this month") << QDateTime::currentDateTime();
        QTest::newRow("golf.kwd of an earlier month") << LastMonth;
    }
    void onlyTheKeywordsOwnReportIsTouched()
    {
        QFETCH(QDateTime, modified);
        const QString folder = m_p->reportFolder();
        const QMap<QString, QByteArray> files {
            {".golf", storeReport(folder, ".golf", "hidden")},
            {"golf.bak", storeReport(folder, "golf.bak", "backup")},
            {"golf.kwd", storeReport(folder, "golf.kwd", "golf", modified)},
            {"golf.txt", storeReport(folder, "golf.txt", "notes", LastMonth)}};
        controller().connectivity().setProbe([] { return false; });
        settle(u"golf"_s);

        const bool loaded = modified.date().month() == QDate::currentDate().month();
        QCOMPARE(shown(), loaded ? QStringList() : QStringList {"warn: You are not on internet !"});
        const QList<ListRow> &rows = controller().results().list().rows;
        QCOMPARE(rows.size(), loaded ? 1 : 0);
        QVERIFY(!loaded || rows[0][ColumnSuggestions] == "golf row"_L1);
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QCOMPARE(readAll(m_p->reportPath(it.key())), it.value());
    }

    void endingNamesTheRunsKeyword_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QString>("during");
        QTest::newRow("box edited") << u"golf clubs"_s << u"type"_s;
        QTest::newRow("Delete All") << u"golf clubs"_s << u"delete all"_s;
        QTest::newRow("box edited, nothing found") << u"nothing"_s << u"type"_s;
    }
    void endingNamesTheRunsKeyword()
    {
        QFETCH(QString, seed);
        QFETCH(QString, during);
        storeReport(m_p->reportFolder(), "chess.kwd", "chess");
        settle(u"chess"_s); // a history, for Delete All
        connect(&controller().queue(), &FetchQueue::downloadIssued, this,
                [&](const QString &, const QString &key) {
                    if (key == "1"_L1 && during == "type"_L1)
                        m_p->type(u"tennis"_s);
                    else if (key == "1"_L1)
                        m_p->click("cmdDeleteAll");
                });
        const bool found = seed != "nothing"_L1;
        QCOMPARE(m_p->suggest(seed, 10000), found ? Ending::Finished : Ending::NothingFound);
        if (!found) {
            QVERIFY(shown().last().startsWith("warn: No results found for \"nothing\" "_L1));
            return;
        }
        QVERIFY(readAll(m_p->reportPath("golf_clubs.kwd")).startsWith("Keyword=golf clubs,"));
        const QString caption = controller().results().list().suggestionsCaption;
        QVERIFY2(caption.startsWith("Keyword \"golf clubs\" searches "_L1), qPrintable(caption));
        QCOMPARE(controller().history().first(), seed);
    }

    void messageBoxesShowPlainText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("warning") << "warn";
        QTest::newRow("note") << "inform";
        QTest::newRow("confirmation") << "confirm";
    }
    void messageBoxesShowPlainText()
    {
        QFETCH(QString, kind);
        const QString text =
            u"Are you sure you want to delete this keyword \"salt <b>hot</b>\" ?"_s;
        Qt::TextFormat format = Qt::AutoText;
        QString boxText;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            format = box->textFormat();
            boxText = box->text();
            QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse); // to copy
            box->done(QMessageBox::No);
        });
        WidgetMessageBoxes boxes;
        if (kind == "warn"_L1)
            boxes.warn(text);
        else if (kind == "inform"_L1)
            boxes.inform(text);
        else
            boxes.confirm(text);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(boxText, text);
    }

    void historyMatchesIgnoringCase()
    {
        storeReport(m_p->reportFolder(), "r4.kwd", "r4");
        settle(u"r4"_s);
        settle(u"R4"_s);
        QCOMPARE(controller().history(), QStringList {"R4"});
        QCOMPARE(m_p->keywordBox()->count(), 1);
        // Deleting the one entry takes its report; no entry is left without one.
        m_p->click("cmdDelete");
        QVERIFY(controller().history().isEmpty());
        QVERIFY(QDir(m_p->reportFolder()).isEmpty());
    }

    void unwritableSettingsAreToldOnce()
    {
        QVERIFY(writeAll(m_dir->filePath("plainfile"), "x")); // no folder can be made under it
        const QString path = m_dir->filePath("plainfile/quorvane.ini");
        SettingsStore store(SettingsLocation::iniFile(path));
        Settings settings;
        RunController c(ReportFolder(m_p->reportFolder()), settings, &store);
        QStringList warnings;
        connect(&c, &RunController::warning, this, [&](const QString &text) { warnings << text; });
        storeReport(m_p->reportFolder(), "golf.kwd", "golf");
        storeReport(m_p->reportFolder(), "tennis.kwd", "tennis");
        c.chooseInterval(Pacing::NoPause);
        c.suggestPressed(u"golf"_s);
        c.suggestPressed(u"tennis"_s);
        c.deleteKeyword(u"golf"_s);

        QCOMPARE(warnings.size(), 1);
        const QString told = "The settings file \"" + path + "\" could not be written: ";
        QVERIFY2(warnings[0].startsWith(told), qPrintable(warnings[0]));
        QVERIFY(warnings[0].size() > told.size() + 3); // with the reason
        QCOMPARE(settings.keywordHistory, QStringList {"tennis"}); // going on from memory
        QCOMPARE(settings.intervalSetting, Pacing::NoPause);
    }

    void exportFollowsOnlyAnExistingReport()
    {
        storeReport(m_p->reportFolder(), "golf.kwd", "golf");
        storeReport(m_p->reportFolder(), "tennis.kwd", "tennis");
        settle(u"golf"_s);
        settle(u"tennis"_s);
        QPushButton *exportButton = m_p->button("cmdExportTXT");
        QVERIFY(exportButton->isEnabled());
        m_p->click("cmdDelete"); // tennis, the report shown; golf stays in the box
        QCOMPARE(m_p->keywordBox()->currentText(), u"golf"_s);
        QVERIFY(!exportButton->isEnabled());
        QVERIFY(!controller().reportToExport());

        settle(u"golf"_s);
        QVERIFY(exportButton->isEnabled());
        QCOMPARE(controller().reportToExport(), m_p->reportPath("golf.kwd"));
        QFile::remove(m_p->reportPath("golf.kwd")); // gone behind the program's back
        m_p->click("cmdExportTXT");
        QVERIFY(!m_p->window()->exporter().lastViewer());
        QVERIFY(!exportButton->isEnabled());
    }

    void addressTheDesktopRefusesIsShown_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("double-click on a row") << "row";
        QTest::newRow("help link") << "cmdHelp";
        QTest::newRow("about link") << "cmdAbout";
    }
    void addressTheDesktopRefusesIsShown()
    {
        QFETCH(QString, where);
        m_p->desktopOpens = false;
        QString address = productWebPage();
        if (where == "row"_L1) {
            storeReport(m_p->reportFolder(), "golf.kwd", "golf");
            settle(u"golf"_s);
            auto *list = m_p->child<QTreeView>("lstKeyword");
            const QPoint at = list->visualRect(controller().results().index(0, 1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            address = queryAddress(u"golf row"_s);
        } else {
            m_p->click(qPrintable(where));
            auto *link = m_p->window()->findChild<QLabel *>(
                where == "cmdHelp"_L1 ? u"lblHelp"_s : u"lblWebPage"_s);
            QVERIFY(link);
            QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
        }
        QCOMPARE(m_p->opened, QList<QUrl> {QUrl(address)});
        QCOMPARE(shown(), QStringList {"warn: " + addressNotOpenedMessage(address)});
        QVERIFY(addressNotOpenedMessage(address).contains(address));
    }

    void runWithTooFewCountsSaysSo_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<int>("failing"); // result pages answered 404, of 10
        QTest::addColumn<QStringList>("messages");
        const auto told = [](int counted, int failed) {
            return QStringList {
                u"warn: Only %1 of the 10 result pages gave a result count (%2 "
                "could not be downloaded), so popularity figures are missing "
                "from this report.\r\nDelete the keyword to run it again later."_s.arg(counted)
                    .arg(failed)};
        };
        QTest::newRow("no page shows a count") << "uncounted" << 0 << told(0, 0);
        QTest::newRow("six of ten pages fail") << "golf" << 6 << told(4, 6);
        QTest::newRow("half the pages fail") << "golf" << 5 << QStringList();
    }
    void runWithTooFewCountsSaysSo()
    {
        QFETCH(QString, seed);
        QFETCH(int, failing);
        SampleFaultPlan plan;
        for (int page = 0; page < failing; ++page)
            plan.byRequest.insert(3 + page, SampleFault::NotFound); // after the first phase
        m_services.setFaultPlan(plan);
        QCOMPARE(m_p->suggest(seed, 10000), Ending::Finished);
        QTEST(shown(), "messages");
        // The list and the report stay as they are.
        QCOMPARE(controller().results().rowCount(), 10);
        QCOMPARE(readReport(m_p->reportPath(reportFileName(seed)))->rows.size(), 10);
    }
};

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"

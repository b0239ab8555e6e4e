// Faults a user met, one grouped case per mended behaviour.

#include "browser.h"
#include "loopbackservices.h"
#include "programharness.h"
#include "reportfile.h"
#include "serviceaddresses.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeView>

using namespace Quorvane;
using namespace Quorvane::Harness;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;
using Ending = FetchQueue::Ending;

static const QDateTime LastMonth = QDateTime::currentDateTime().addMonths(-1);

class tst_Faults final : public QObject
{
    Q_OBJECT

    RunController &controller() { return m_p->window()->controller(); }
    QStringList shown() const { return m_p->boxes.shown; }
    QByteArray store(const QString &name, const QString &keyword,
                     const QDateTime &modified = QDateTime::currentDateTime())
    {
        const QByteArray bytes = reportBytes(keyword, 10, {ListRow {{"", keyword + " row"}}});
        if (!writeAll(m_p->reportPath(name), bytes, modified))
            qFatal("cannot store %s", qPrintable(name));
        return bytes;
    }
    void settle(const QString &text)
    {
        m_p->enter(text);
        m_p->click("cmdSuggestion");
        QVERIFY(QTest::qWaitFor([&] {
            RunController &c = controller();
            return !c.runArmed() && !c.queue().running() && !c.connectivity().pending();
        }));
    }

    LoopbackServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
    void init()
    {
        m_services->setFaultPlan({});
        m_services->clearRequests();
        m_services->setKeywordRowCount(10);
        m_dir = std::make_unique<QTemporaryDir>();
        m_p = std::make_unique<ProgramUnderTest>(m_dir->path());
        m_p->writeDontCare();
        QVERIFY(m_p->start());
        QDir().mkpath(m_p->reportFolder());
    }
    void cleanup() { m_p.reset(); }

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

        QTEST(shown().join(u'|'), "messages");
        QCOMPARE(filesIn(m_p->reportFolder()), files.keys());
        for (const QString &name : files.keys())
            QCOMPARE(readAll(m_p->reportPath(name)) == files[name],
                     !replaced || name != "golf.kwd");
        QCOMPARE(readReport(m_p->reportPath("golf.kwd"))->rows.size(), replaced ? 10 : 1);
        QCOMPARE(controller().results().rowCount(), replaced ? 10 : 0);
    }

    void messageBoxesShowPlainText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("warning") << "warn";
        QTest::newRow("note") << "inform";
        QTest::newRow("confirmation") << "confirm";
        QTest::newRow("warning with detail") << "detail";
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
        kind == "confirm"_L1      ? void(boxes.confirm(text))
            : kind == "warn"_L1   ? boxes.warn(text)
            : kind == "detail"_L1 ? boxes.warnWithDetail(text, u"<i>file</i>"_s)
                                  : boxes.inform(text);
        QVERIFY(seen);
    }

    // Entries match ignoring case; Export needs its report; unwritable settings are told once.
    void entriesExportAndSettingsFollowTheUser()
    {
        const QString ini = m_dir->filePath("quorvane.ini");
        QVERIFY(QFile::remove(ini) && QDir().mkdir(ini)); // no file can be written there
        store("golf.kwd", "golf");
        store("tennis.kwd", "tennis");
        controller().chooseInterval(Pacing::PauseAfterThreeRuns);
        settle(u"golf"_s);
        settle(u"tennis"_s);
        settle(u"TENNIS"_s);
        QCOMPARE(controller().history(), QStringList({"TENNIS", "golf"}));
        QCOMPARE(m_p->keywordBox()->count(), 2);
        QPushButton *exportButton = m_p->button("cmdExportTXT");
        QVERIFY(exportButton->isEnabled());
        m_p->click("cmdDelete"); // TENNIS, the report shown; golf stays in the box
        QCOMPARE(controller().history(), QStringList {"golf"});
        QCOMPARE(filesIn(m_p->reportFolder()), QStringList {"golf.kwd"});
        QCOMPARE(m_p->keywordBox()->currentText(), u"golf"_s);
        QVERIFY(!exportButton->isEnabled());

        settle(u"golf"_s);
        QVERIFY(exportButton->isEnabled());
        QCOMPARE(controller().reportToExport(), m_p->reportPath("golf.kwd"));
        QFile::remove(m_p->reportPath("golf.kwd")); // gone behind the program's back
        m_p->click("cmdExportTXT");
        QVERIFY(!m_p->window()->exporter().lastViewer());
        QVERIFY(!exportButton->isEnabled());

        const QString told = "warn: The settings file \"" + ini + "\" could not be written: ";
        QCOMPARE(shown().filter(u"could not be written"_s).size(), 1);
        QVERIFY(shown()[0].startsWith(told) && shown()[0].size() > told.size() + 3); // a reason
        QCOMPARE(m_p->program()->currentSettings().intervalSetting, Pacing::PauseAfterThreeRuns);
    }

    void addressTheDesktopRefusesIsShown_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("double-click on a row") << QByteArray() << QByteArray();
        QTest::newRow("help link") << QByteArray("cmdHelp") << QByteArray("lblHelp");
        QTest::newRow("about link") << QByteArray("cmdAbout") << QByteArray("lblWebPage");
    }
    void addressTheDesktopRefusesIsShown()
    {
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, link);
        m_p->desktopOpens = false;
        QString address = productWebPage();
        if (button.isEmpty()) {
            store("golf.kwd", "golf");
            settle(u"golf"_s);
            auto *list = m_p->child<QTreeView>("lstKeyword");
            const QPoint at = list->visualRect(controller().results().index(0, 1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            address = queryAddress(u"golf row"_s);
        } else {
            m_p->click(button);
            QTest::mouseClick(m_p->child<QLabel>(link), Qt::LeftButton);
        }
        QCOMPARE(m_p->opened, QList<QUrl> {QUrl(address)});
        QCOMPARE(shown(), QStringList {"warn: " + addressNotOpenedMessage(address)});
        QVERIFY(addressNotOpenedMessage(address).contains(address));
    }

    // A run's ending names its own keyword, and tells of result pages without counts.
    void runEndingTellsTheTruth_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QString>("during"); // the run's first download
        QTest::addColumn<int>("failing"); // result pages answered 404, of 10
        QTest::addColumn<QString>("messages");
        const QString fewCounts =
            u"warn: Only %1 of the 10 result pages gave a result count (%2 could "
            "not be downloaded), so popularity figures are missing from this "
            "report.\r\nDelete the keyword to run it again later."_s;
        QTest::newRow("box edited") << u"golf clubs"_s << u"type"_s << 0 << QString();
        QTest::newRow("Delete All") << u"golf clubs"_s << u"delete all"_s << 0
                                    << u"confirm: Are you sure you want to delete all keywords ?"_s;
        QTest::newRow("box edited, nothing found")
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
        connect(&controller().queue(), &FetchQueue::downloadIssued, this,
                [&](const QString &, const QString &key) {
                    if (key == "1"_L1 && !during.isEmpty())
                        during == "type"_L1 ? m_p->type(u"tennis"_s) : m_p->click("cmdDeleteAll");
                });
        const bool found = seed != "nothing"_L1;
        QCOMPARE(m_p->suggest(seed, 10000), found ? Ending::Finished : Ending::NothingFound);
        QTEST(shown().join(u'|'), "messages");
        if (!found)
            return;
        const QString report = m_p->reportPath(reportFileName(seed));
        QVERIFY(readAll(report).startsWith("Keyword=" + seed.toUtf8() + ','));
        QCOMPARE(readReport(report)->rows.size(), 10);
        QCOMPARE(controller().results().rowCount(), 10);
        QVERIFY(controller().results().list().suggestionsCaption.startsWith("Keyword \"" + seed
                                                                            + "\" searches "));
        QCOMPARE(controller().history().first(), seed);
    }
};

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"

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
QByteArray storeReport(const QString &folder, const QString &fileName, const QString &keyword,
                       const QDateTime &modified = QDateTime::currentDateTime())
{
    SuggestionTable table;
    table.entries[0] = {u"10"_s, keyword + u" row"_s, u"7"_s, false};
    table.suggestionCount = 1;
    ResultList list;
    writeReport(table, keyword, ReportFolder(folder), fileName, list);
    QFile file(QDir(folder).filePath(fileName));
    if (!file.open(QIODevice::ReadWrite)
        || !file.setFileTime(modified, QFileDevice::FileModificationTime))
        qFatal("cannot store %s", qPrintable(fileName));
    file.close();
    return readAll(file.fileName());
}

} // namespace

class tst_Faults final : public QObject
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

    void earlierReportStaysUntilReplaced_data();
    void earlierReportStaysUntilReplaced();
    void onlyTheKeywordsOwnReportIsTouched_data();
    void onlyTheKeywordsOwnReportIsTouched();
    void endingNamesTheRunsKeyword_data();
    void endingNamesTheRunsKeyword();
    void messageBoxesShowPlainText_data();
    void messageBoxesShowPlainText();
    void historyMatchesIgnoringCase();
    void unwritableSettingsAreToldOnce_data();
    void unwritableSettingsAreToldOnce();
    void exportFollowsOnlyAnExistingReport();
    void addressTheDesktopRefusesIsShown_data();
    void addressTheDesktopRefusesIsShown();
    void blankKeywordIsRefused_data();
    void blankKeywordIsRefused();
    void runWithTooFewCountsSaysSo_data();
    void runWithTooFewCountsSaysSo();

private:
    RunController &controller() { return m_p->window()->controller(); }
    // Suggest for text; returns once the request is over (refused, shown or run to its end).
    void suggestAndSettle(const QString &text)
    {
        m_p->enter(text);
        m_p->click("cmdSuggestion");
        QVERIFY(QTest::qWaitFor(
            [&] {
                const RunController::State state = controller().state();
                return !controller().runArmed() && state != RunController::State::CheckingConnection
                    && state != RunController::State::Fetching
                    && state != RunController::State::Stopping;
            },
            10000));
    }

    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ProgramUnderTest> m_p;
};

void tst_Faults::earlierReportStaysUntilReplaced_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("message");
    QTest::newRow("stopped run") << "stop"
                                 << "warn: You press the stop button !";
    QTest::newRow("pause runs") << "pause"
                                << "inform: Sit back and relax, only 30 minutes delay";
    QTest::newRow("offline") << "offline"
                             << "warn: You are not on internet !";
    QTest::newRow("run finishes") << "run"
                                  << "";
}

void tst_Faults::earlierReportStaysUntilReplaced()
{
    QFETCH(QString, request);
    QFETCH(QString, message);
    const QString path = m_p->reportPath(u"golf.kwd"_s);
    const QByteArray earlier =
        storeReport(m_p->reportFolder(), u"golf.kwd"_s, u"golf"_s, LastMonth);
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
    suggestAndSettle(u"golf"_s);

    QCOMPARE(m_p->boxes.shown, message.isEmpty() ? QStringList() : QStringList {message});
    QCOMPARE(QDir(m_p->reportFolder()).entryList(QDir::Files), QStringList {u"golf.kwd"_s});
    if (request != "run"_L1) {
        QCOMPARE(readAll(path), earlier);
        return;
    }
    QVERIFY(readAll(path).startsWith("Keyword=golf,"));
    QCOMPARE(readReport(path)->rows.size(), 10); // the run's, whole
}

void tst_Faults::onlyTheKeywordsOwnReportIsTouched_data()
{
    QTest::addColumn<QDateTime>("reportModified");
    QTest::newRow("golf.kwd of this month") << QDateTime::currentDateTime();
    QTest::newRow("golf.kwd of an earlier month") << LastMonth;
}

void tst_Faults::onlyTheKeywordsOwnReportIsTouched()
{
    QFETCH(QDateTime, reportModified);
    const QString folder = m_p->reportFolder();
    const QMap<QString, QByteArray> files {
        {u".golf"_s, storeReport(folder, u".golf"_s, u"hidden"_s)},
        {u"golf.bak"_s, storeReport(folder, u"golf.bak"_s, u"backup"_s)},
        {u"golf.kwd"_s, storeReport(folder, u"golf.kwd"_s, u"golf"_s, reportModified)},
        {u"golf.txt"_s, storeReport(folder, u"golf.txt"_s, u"notes"_s, LastMonth)}};
    controller().connectivity().setProbe([] { return false; });
    suggestAndSettle(u"golf"_s);

    const bool thisMonth = reportModified.date().month() == QDate::currentDate().month();
    QCOMPARE(m_p->boxes.shown,
             thisMonth ? QStringList() : QStringList {u"warn: You are not on internet !"_s});
    QCOMPARE(controller().results().list().rows.size(), thisMonth ? 1 : 0);
    if (thisMonth)
        QCOMPARE(controller().results().list().rows[0][ColumnSuggestions], u"golf row"_s);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QCOMPARE(readAll(m_p->reportPath(it.key())), it.value());
}

void tst_Faults::endingNamesTheRunsKeyword_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<QString>("during");
    QTest::newRow("box edited") << "golf clubs"
                                << "type";
    QTest::newRow("Delete All") << "golf clubs"
                                << "delete all";
    QTest::newRow("box edited, nothing found") << "nothing"
                                               << "type";
}

void tst_Faults::endingNamesTheRunsKeyword()
{
    QFETCH(QString, seed);
    QFETCH(QString, during);
    storeReport(m_p->reportFolder(), u"chess.kwd"_s, u"chess"_s);
    suggestAndSettle(u"chess"_s); // a history for Delete All
    connect(&controller().queue(), &FetchQueue::downloadIssued, this,
            [&](const QString &, const QString &key) {
                if (key != "1"_L1)
                    return;
                if (during == "type"_L1)
                    m_p->type(u"tennis"_s);
                else
                    m_p->click("cmdDeleteAll");
            });
    const bool found = seed != "nothing"_L1;
    QCOMPARE(m_p->suggest(seed, 10000), found ? Ending::Finished : Ending::NothingFound);

    if (!found) {
        QVERIFY(m_p->boxes.shown.last().startsWith(u"warn: No results found for \"nothing\" "_s));
        return;
    }
    QVERIFY(readAll(m_p->reportPath(u"golf_clubs.kwd"_s)).startsWith("Keyword=golf clubs,"));
    QVERIFY(controller().results().list().suggestionsCaption.startsWith(
        u"Keyword \"golf clubs\" searches "_s));
    QCOMPARE(controller().history().first(), seed);
}

void tst_Faults::messageBoxesShowPlainText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("warning") << "warn";
    QTest::newRow("note") << "inform";
    QTest::newRow("confirmation") << "confirm";
}

void tst_Faults::messageBoxesShowPlainText()
{
    QFETCH(QString, kind);
    const QString text = u"Are you sure you want to delete this keyword \"salt <b>hot</b>\" ?"_s;
    QPointer<QMessageBox> seen;
    Qt::TextFormat format = Qt::AutoText;
    QString shownText;
    QTimer::singleShot(0, this, [&] {
        seen = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(seen);
        format = seen->textFormat();
        shownText = seen->text();
        QVERIFY(seen->textInteractionFlags() & Qt::TextSelectableByMouse); // an address to copy
        seen->done(QMessageBox::No);
    });
    WidgetMessageBoxes boxes;
    if (kind == "warn"_L1)
        boxes.warn(text);
    else if (kind == "inform"_L1)
        boxes.inform(text);
    else
        boxes.confirm(text);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shownText, text);
}

void tst_Faults::historyMatchesIgnoringCase()
{
    storeReport(m_p->reportFolder(), u"r4.kwd"_s, u"r4"_s);
    suggestAndSettle(u"r4"_s);
    suggestAndSettle(u"R4"_s);
    QCOMPARE(controller().history(), QStringList {u"R4"_s});
    QCOMPARE(m_p->keywordBox()->count(), 1);
    // Deleting the one entry takes its report; no entry is left without one.
    m_p->click("cmdDelete");
    QVERIFY(controller().history().isEmpty());
    QVERIFY(QDir(m_p->reportFolder()).isEmpty());
}

void tst_Faults::unwritableSettingsAreToldOnce_data()
{
    QTest::addColumn<bool>("intervalFirst");
    QTest::newRow("history saved first") << false;
    QTest::newRow("interval stored first") << true;
}

void tst_Faults::unwritableSettingsAreToldOnce()
{
    QFETCH(bool, intervalFirst);
    QVERIFY(writeAll(m_dir->filePath(u"plainfile"_s), "x")); // no folder can be made under it
    const QString path = m_dir->filePath(u"plainfile/quorvane.ini"_s);
    SettingsStore store(SettingsLocation::iniFile(path));
    Settings settings;
    RunController c(ReportFolder(m_p->reportFolder()), settings, &store);
    QStringList warnings;
    connect(&c, &RunController::warning, this, [&](const QString &text) { warnings << text; });
    for (const char *keyword : {"golf", "tennis"})
        storeReport(m_p->reportFolder(), reportFileName(QString::fromLatin1(keyword)),
                    QString::fromLatin1(keyword));
    if (intervalFirst)
        c.chooseInterval(Pacing::NoPause);
    c.suggestPressed(u"golf"_s);
    c.suggestPressed(u"tennis"_s);
    c.chooseInterval(Pacing::NoPause);
    c.deleteKeyword(u"golf"_s);

    QCOMPARE(warnings.size(), 1);
    QVERIFY2(
        warnings[0].startsWith(u"The settings file \""_s + path + u"\" could not be written: "_s),
        qPrintable(warnings[0]));
    QVERIFY(!warnings[0].section(u": "_s, 1).trimmed().isEmpty()); // the reason
    QCOMPARE(settings.keywordHistory, QStringList {u"tennis"_s}); // going on with memory
    QCOMPARE(settings.intervalSetting, Pacing::NoPause);
}

void tst_Faults::exportFollowsOnlyAnExistingReport()
{
    for (const char *keyword : {"golf", "tennis"})
        storeReport(m_p->reportFolder(), QString::fromLatin1(keyword) + u".kwd"_s,
                    QString::fromLatin1(keyword));
    suggestAndSettle(u"golf"_s);
    suggestAndSettle(u"tennis"_s);
    QPushButton *exportButton = m_p->button("cmdExportTXT");
    QVERIFY(exportButton->isEnabled());
    m_p->click("cmdDelete"); // tennis, the report shown
    QCOMPARE(m_p->keywordBox()->currentText(), u"golf"_s);
    QVERIFY(!exportButton->isEnabled());
    QVERIFY(!controller().reportToExport());

    suggestAndSettle(u"golf"_s);
    QVERIFY(exportButton->isEnabled());
    QCOMPARE(controller().reportToExport(), m_p->reportPath(u"golf.kwd"_s));
    QFile::remove(m_p->reportPath(u"golf.kwd"_s)); // gone behind the program's back
    m_p->click("cmdExportTXT");
    QVERIFY(!m_p->window()->exporter().lastViewer());
    QVERIFY(!exportButton->isEnabled());
}

void tst_Faults::addressTheDesktopRefusesIsShown_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("double-click on a row") << "row";
    QTest::newRow("help link") << "cmdHelp";
    QTest::newRow("about link") << "cmdAbout";
}

void tst_Faults::addressTheDesktopRefusesIsShown()
{
    QFETCH(QString, where);
    m_p->desktopOpens = false;
    QString address = productWebPage();
    if (where == "row"_L1) {
        storeReport(m_p->reportFolder(), u"golf.kwd"_s, u"golf"_s);
        suggestAndSettle(u"golf"_s);
        auto *list = m_p->child<QTreeView>("lstKeyword");
        const QPoint at = list->visualRect(controller().results().index(0, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        address = queryAddress(u"golf row"_s);
    } else {
        m_p->click(qPrintable(where));
        auto *link = m_p->window()->findChild<QLabel *>(where == "cmdHelp"_L1 ? u"lblHelp"_s
                                                                              : u"lblWebPage"_s);
        QVERIFY(link);
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    }
    QCOMPARE(m_p->opened, QList<QUrl> {QUrl(address)});
    QCOMPARE(m_p->boxes.shown, QStringList {u"warn: "_s + addressNotOpenedMessage(address)});
    QVERIFY(addressNotOpenedMessage(address).contains(address));
}

void tst_Faults::blankKeywordIsRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("spaces") << "   ";
    QTest::newRow("tab and no-break space") << "\t\u00a0 ";
}

void tst_Faults::blankKeywordIsRefused()
{
    QFETCH(QString, text);
    suggestAndSettle(text);
    QCOMPARE(m_p->boxes.shown, QStringList {u"warn: Please enter keyword !"_s});
    QVERIFY(m_services.requests().isEmpty());
    QVERIFY(QDir(m_p->reportFolder()).isEmpty());
}

void tst_Faults::runWithTooFewCountsSaysSo_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("failing"); // result pages answered 404, of 10
    QTest::addColumn<QString>("message");
    const auto told = [](int counted, int failed) {
        return u"warn: Only %1 of the 10 result pages gave a result count (%2 could not be "
               "downloaded), so popularity figures are missing from this report.\r\nDelete the "
               "keyword to run it again later."_s.arg(counted)
                   .arg(failed);
    };
    QTest::newRow("no page shows a count") << "uncounted" << 0 << told(0, 0);
    QTest::newRow("six of ten pages fail") << "golf" << 6 << told(4, 6);
    QTest::newRow("half the pages fail") << "golf" << 5 << QString();
}

void tst_Faults::runWithTooFewCountsSaysSo()
{
    QFETCH(QString, seed);
    QFETCH(int, failing);
    QFETCH(QString, message);
    SampleFaultPlan plan;
    for (int page = 0; page < failing; ++page)
        plan.byRequest.insert(3 + page, SampleFault::NotFound); // after the two first-phase pages
    // The sample golf pages all carry a count but for the 8th, which stays among the fetched.
    m_services.setFaultPlan(plan);
    QCOMPARE(m_p->suggest(seed, 10000), Ending::Finished);
    QCOMPARE(m_p->boxes.shown, message.isEmpty() ? QStringList() : QStringList {message});
    // The list and the report stay as they are.
    QCOMPARE(controller().results().rowCount(), 10);
    QCOMPARE(readReport(m_p->reportPath(reportFileName(seed)))->rows.size(), 10);
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"

#include "frmquorvane.h"
#include "frmsetting.h"
#include "messageboxes.h"
#include "program.h"
#include "reportfile.h"
#include "runcontroller.h"
#include "sampleservices.h"
#include "serviceaddresses.h"
#include "settingsstore.h"
#include "textexport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Quorvane;
using Ending = FetchQueueDriver::Ending;

namespace {

// Answers every message box instead of a person and remembers what was shown.
class ScriptedBoxes final : public MessageBoxes
{
public:
    QStringList shown;
    QList<bool> answers; // for confirmations, in order; Yes when none is left

    void warn(const QString &text) override { shown << QStringLiteral("warn: ") + text; }
    void inform(const QString &text) override { shown << QStringLiteral("inform: ") + text; }
    bool confirm(const QString &text) override
    {
        shown << QStringLiteral("confirm: ") + text;
        return answers.isEmpty() ? true : answers.takeFirst();
    }
};

// A person's double-click: press and release, then the double-click and its release.
void doubleClick(QWidget *widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

} // namespace

class tst_MainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void firstStartHasEmptyHistoryAndDisabledButtons();
    void wholeRunFillsListWritesReportAndHistory();
    void sameKeywordThisMonthIsReusedWithoutDownload();
    void emptyKeywordStartsNothing();
    void stopEndsRunWithoutReport();
    void pauseRefusesRunsUntilSettingsEndIt();
    void popularitySearchHeaderTogglesOrder();
    void doubleClickOpensAddressOfRowShown();
    void deleteAndDeleteAllRemoveEntriesAndFiles();
    void exportShowsReportOfCurrentKeyword();
    void unwritableReportIsToldButRowsStay();
    void closingDuringRunEndsItQuietly();
    void secondInstanceEndsWithoutWindow();
    void corruptKeywordNumEndsStartupWithMessage_data();
    void corruptKeywordNumEndsStartupWithMessage();

private:
    ProgramPlaces places() const;
    frmQuorvane *start();
    template<class T>
    T *child(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    void type(const QString &text);
    Ending runToEnd(const QString &keyword, int rows);
    QTreeWidget *list() const { return child<QTreeWidget>("lstKeyword"); }
    QStringList column(int c) const;
    QString reportPath(const QString &name) const { return m_dir->filePath("report/" + name); }

    SampleServices m_services;
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedBoxes m_boxes;
    std::unique_ptr<Program> m_program;
    frmQuorvane *m_window = nullptr;
    QList<QUrl> m_opened;
};

void tst_MainWindow::initTestCase()
{
    QVERIFY(m_services.start());
    OverrideEndpoints(m_services.endpoints());
}

void tst_MainWindow::cleanupTestCase()
{
    OverrideEndpoints(std::nullopt);
}

void tst_MainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_boxes = ScriptedBoxes();
    m_opened.clear();
    m_services.setKeywordRowCount(100);
}

void tst_MainWindow::cleanup()
{
    m_window = nullptr;
    m_program.reset();
}

ProgramPlaces tst_MainWindow::places() const
{
    return {SettingsLocation::iniFile(m_dir->filePath(QStringLiteral("quorvane.ini"))),
            m_dir->filePath(QStringLiteral("report")), QString()};
}

frmQuorvane *tst_MainWindow::start()
{
    m_window = nullptr;
    m_program.reset();
    m_program = std::make_unique<Program>(places(), m_boxes);
    const StartupOutcome outcome = m_program->Start([this](frmQuorvane &w) {
        w.Controller().Connectivity().SetProbe([] { return true; });
        // Runs go at test speed; the order and count of downloads stay the same.
        w.Controller().Driver().SetDownloadPause(std::chrono::milliseconds(1));
        w.setUrlOpener([this](const QUrl &url) { m_opened << url; });
        w.setBrowserOpener([this](const QString &a) { m_opened << QUrl(a); });
        w.Exporter().setDocumentOpener([](const QUrl &) { return false; });
    });
    if (outcome != StartupOutcome::ShowMainWindow)
        return nullptr;
    m_window = m_program->Window();
    return m_window;
}

void tst_MainWindow::type(const QString &text)
{
    QLineEdit *edit = child<QComboBox>("cmbKeyword")->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

Ending tst_MainWindow::runToEnd(const QString &keyword, int rows)
{
    m_services.setKeywordRowCount(rows);
    QSignalSpy ended(&m_window->Controller(), &RunController::RunEnded);
    type(keyword);
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    if (!ended.wait(20000))
        qFatal("run for %s did not end", qPrintable(keyword));
    return ended.first().first().value<Ending>();
}

QStringList tst_MainWindow::column(int c) const
{
    QStringList texts;
    for (int i = 0; i < list()->topLevelItemCount(); ++i)
        texts << list()->topLevelItem(i)->text(c);
    return texts;
}

void tst_MainWindow::controlsSitWhereTheLayoutPutsThem_data()
{
    // Twips at 15 per pixel, relative to each control's container.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    auto row = [](const char *name, const char *container, int l, int t, int w, int h,
                  const char *caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container)
                            << QRect(l, t, w, h) << QString::fromLatin1(caption);
    };
    row("tabTool", "frmQuorvane", 0, 0, 11880, 7575, "");
    row("picSuggestion", "frmQuorvane", 0, 315, 11895, 7260, "");
    row("fmeSuggestion", "picSuggestion", 120, 120, 11655, 7140, "Keyword Suggestion List");
    row("lstKeyword", "fmeSuggestion", 120, 240, 11415, 6240, "");
    row("Label1", "fmeSuggestion", 120, 6630, 1365, 195, "Keyword History");
    row("cmbKeyword", "fmeSuggestion", 1560, 6600, 6015, 315, "");
    row("cmdDelete", "fmeSuggestion", 7680, 6600, 1200, 300, "&Delete");
    row("cmdDeleteAll", "fmeSuggestion", 9000, 6600, 1200, 300, "Deleta &All");
    row("cmdSuggestion", "fmeSuggestion", 10320, 6600, 1200, 300, "&Suggest");
    row("cmdSetting", "frmQuorvane", 240, 7680, 1095, 300, "&Setting");
    row("cmdExportTXT", "frmQuorvane", 1440, 7680, 1095, 300, "&Export");
    row("cmdHelp", "frmQuorvane", 2640, 7680, 1095, 300, "&Help");
    row("cmdAbout", "frmQuorvane", 3840, 7680, 1095, 300, "A&bout");
    row("cmdExit", "frmQuorvane", 10560, 7680, 1095, 300, "E&xit");
    row("sbStatus", "frmQuorvane", 0, 8115, 11880, 375, "");
    row("prgBar", "frmQuorvane", 8280, 8220, 3495, 210, "");
    row("txtDumb", "frmQuorvane", 12000, 1440, 735, 285, "");
}

void tst_MainWindow::controlsSitWhereTheLayoutPutsThem()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QVERIFY(start());
    QCOMPARE(m_window->size(), QSize(792, 566));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Quorvane 1.2"));
    auto *control = m_window->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(
        control->geometry(),
        QRect(Twips(twips.x()), Twips(twips.y()), Twips(twips.width()), Twips(twips.height())));
    QVERIFY(control->font().bold());
    QCOMPARE(control->font().pointSizeF(), 8.25);
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->palette().color(QPalette::Button), QColor(224, 224, 224));
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        QCOMPARE(label->text(), caption);
    } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
        QCOMPARE(frame->title(), caption);
    }
    // Only txtDumb lies beyond the visible client area.
    const QRect inWindow(control->mapTo(m_window, QPoint(0, 0)), control->size());
    QCOMPARE(QRect(QPoint(0, 0), m_window->size()).intersects(inWindow), name != "txtDumb");
}

void tst_MainWindow::firstStartHasEmptyHistoryAndDisabledButtons()
{
    QVERIFY(start());
    QCOMPARE(child<QComboBox>("cmbKeyword")->currentText(), QString());
    QCOMPARE(child<QComboBox>("cmbKeyword")->count(), 0);
    for (const char *name : {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"})
        QVERIFY2(!child<QPushButton>(name)->isEnabled(), name);
    QCOMPARE(m_window->Status(), QStringLiteral("Ready to accept keyword"));
    QCOMPARE(child<QTabWidget>("tabTool")->tabText(0), QStringLiteral("&Keyword Suggestion Tool"));
    QCOMPARE(list()->columnCount(), 8);
    QCOMPARE(list()->topLevelItemCount(), 0);
    QCOMPARE(child<QProgressBar>("prgBar")->maximum(), 100);
    QCOMPARE(child<QLineEdit>("txtDumb")->text(), QStringLiteral("Text1"));
    // The settings were written with their defaults.
    const SettingsStore store(places().settings);
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Interval")), QStringLiteral("0"));
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("KeywordNum")), QStringLiteral("0"));
    QVERIFY(m_boxes.shown.isEmpty());
}

void tst_MainWindow::wholeRunFillsListWritesReportAndHistory()
{
    QVERIFY(start());
    QSignalSpy downloads(&m_window->Controller().Driver(), &FetchQueueDriver::DownloadIssued);
    type(QStringLiteral("golf clubs"));
    QVERIFY(child<QPushButton>("cmdSuggestion")->isEnabled());
    QSignalSpy ended(&m_window->Controller(), &RunController::RunEnded);
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QCOMPARE(child<QPushButton>("cmdSuggestion")->text(), QStringLiteral("&Stop"));
    QVERIFY(ended.wait(20000));
    QCOMPARE(ended.first().first().value<Ending>(), Ending::Finished);
    QCOMPARE(downloads.size(), 102);

    QCOMPARE(list()->topLevelItemCount(), 100);
    const QString caption = list()->headerItem()->text(1);
    QVERIFY2(caption.startsWith(QStringLiteral("Keyword \"golf clubs\" searches ")),
             qPrintable(caption));
    QVERIFY(caption.endsWith(QStringLiteral(" (top 100 only)")));
    QCOMPARE(column(0).first(), QStringLiteral("1"));
    QCOMPARE(column(0).last(), QStringLiteral("100"));
    QCOMPARE(list()->topLevelItem(0)->textAlignment(6) & Qt::AlignRight, int(Qt::AlignRight));
    QCOMPARE(child<QPushButton>("cmdSuggestion")->text(), QStringLiteral("&Suggestion"));
    QCOMPARE(child<QProgressBar>("prgBar")->value(), 0);
    QCOMPARE(child<QProgressBar>("prgBar")->maximum(), 102);
    QVERIFY(m_window->Status().startsWith(QStringLiteral("Be careful not to visit database")));
    for (const char *name : {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"})
        QVERIFY2(child<QPushButton>(name)->isEnabled(), name);
    QVERIFY(QFile::exists(reportPath(QStringLiteral("golf_clubs.kwd"))));
    QCOMPARE(child<QComboBox>("cmbKeyword")->currentText(), QStringLiteral("golf clubs"));
    QVERIFY(m_boxes.shown.isEmpty());

    // The history survives a restart.
    QVERIFY(start());
    QCOMPARE(child<QComboBox>("cmbKeyword")->currentText(), QStringLiteral("golf clubs"));
    QCOMPARE(child<QComboBox>("cmbKeyword")->count(), 1);
    for (const char *name : {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"})
        QVERIFY2(child<QPushButton>(name)->isEnabled(), name);
    QCOMPARE(list()->topLevelItemCount(), 0); // nothing is loaded until Suggest
}

void tst_MainWindow::sameKeywordThisMonthIsReusedWithoutDownload()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("Golf Clubs"), 12), Ending::Finished);
    const QStringList phrases = column(1);
    m_services.clearRequests();

    // Offline and again: the stored report needs neither the network nor a run.
    m_window->Controller().Connectivity().SetProbe([] { return false; });
    QSignalSpy ended(&m_window->Controller(), &RunController::RunEnded);
    type(QStringLiteral("golf clubs"));
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QCOMPARE(list()->topLevelItemCount(), 12);
    QCOMPARE(column(1), phrases);
    QVERIFY(list()->headerItem()->text(1).startsWith(
        QStringLiteral("Keyword \"Golf Clubs\",searches ")));
    QVERIFY(list()->headerItem()->text(1).endsWith(QStringLiteral(" (top 12 only)")));
    QTest::qWait(50);
    QVERIFY(m_services.requests().isEmpty());
    QVERIFY(ended.isEmpty());
    QVERIFY(m_boxes.shown.isEmpty());
    QCOMPARE(m_window->Controller().State().CurrentKeyword, QStringLiteral("golf clubs"));
    // A request shown from a report is recorded as it was typed.
    QCOMPARE(child<QComboBox>("cmbKeyword")->count(), 2);
    QCOMPARE(child<QComboBox>("cmbKeyword")->itemText(0), QStringLiteral("golf clubs"));
    QCOMPARE(QDir(m_dir->filePath("report")).entryList(QDir::Files),
             QStringList {QStringLiteral("golf_clubs.kwd")});
}

void tst_MainWindow::emptyKeywordStartsNothing()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("chess"), 3), Ending::Finished);
    type(QString());
    // An empty box offers no Suggest; a request for it is refused with its message.
    QVERIFY(!child<QPushButton>("cmdSuggestion")->isEnabled());
    QVERIFY(child<QPushButton>("cmdDeleteAll")->isEnabled());
    m_window->Controller().RequestSuggestion(QString());
    QCOMPARE(m_boxes.shown, QStringList {QStringLiteral("warn: Please enter keyword !")});
    QCOMPARE(child<QPushButton>("cmdSuggestion")->text(), QStringLiteral("&Suggestion"));
    QCOMPARE(list()->topLevelItemCount(), 3);
}

void tst_MainWindow::stopEndsRunWithoutReport()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("chess"), 3), Ending::Finished);
    m_services.setKeywordRowCount(100);
    m_window->Controller().Driver().SetDownloadPause(std::chrono::milliseconds(30));
    QSignalSpy downloads(&m_window->Controller().Driver(), &FetchQueueDriver::DownloadIssued);
    QSignalSpy ended(&m_window->Controller(), &RunController::RunEnded);
    type(QStringLiteral("tennis rackets"));
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QTRY_VERIFY(downloads.size() >= 5);
    // Neither an empty box nor an emptied history may take the Stop button away.
    type(QString());
    QVERIFY(child<QPushButton>("cmdSuggestion")->isEnabled());
    QTest::mouseClick(child<QPushButton>("cmdDeleteAll"), Qt::LeftButton);
    QCOMPARE(child<QComboBox>("cmbKeyword")->count(), 0);
    QVERIFY(child<QPushButton>("cmdSuggestion")->isEnabled());
    m_boxes.shown.clear();

    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.first().first().value<Ending>(), Ending::Stopped);
    QCOMPARE(m_boxes.shown, QStringList {QStringLiteral("warn: You press the stop button !")});
    QCOMPARE(child<QPushButton>("cmdSuggestion")->text(), QStringLiteral("&Suggestion"));
    QCOMPARE(child<QProgressBar>("prgBar")->value(), 0);
    QCOMPARE(m_window->Status(),
             QStringLiteral("Application is ready to accept another keyword suggestion !"));
    QCOMPARE(m_window->Controller().State().CurrentKeyword, QStringLiteral("chess"));
    QVERIFY(!QFile::exists(reportPath(QStringLiteral("tennis_rackets.kwd"))));
    QCOMPARE(child<QComboBox>("cmbKeyword")->count(), 0);
    const int issued = downloads.size();
    QTest::qWait(100);
    QCOMPARE(downloads.size(), issued);
}

void tst_MainWindow::pauseRefusesRunsUntilSettingsEndIt()
{
    QVERIFY(start());
    m_window->Controller().State().RunsSincePause = 2;
    QCOMPARE(runToEnd(QStringLiteral("golf"), 3), Ending::Finished);
    QVERIFY(m_window->Controller().PauseRunning());
    QCOMPARE(m_window->Status(), QStringLiteral("Sit back and relax, only 30 minutes delay"));

    type(QStringLiteral("chess"));
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QCOMPARE(m_boxes.shown,
             QStringList {QStringLiteral("inform: Sit back and relax, only 30 minutes delay")});
    QVERIFY(child<QPushButton>("cmdSuggestion")->text() != QStringLiteral("&Stop"));

    // The stored report is still shown during the pause.
    type(QStringLiteral("golf"));
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QCOMPARE(list()->topLevelItemCount(), 3);
    QCOMPARE(m_boxes.shown.size(), 1);

    QTest::mouseClick(child<QPushButton>("cmdSetting"), Qt::LeftButton);
    auto *dialog = m_window->findChild<frmSetting *>();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(dialog->option(0)->isChecked());
    QTest::mouseClick(dialog->option(1), Qt::LeftButton);
    QVERIFY(!m_window->Controller().PauseRunning());
    QCOMPARE(m_program->CurrentSettings().IntervalSetting, qint16(99));
    QCOMPARE(SettingsStore(places().settings).ReadRegValue(SettingsKey, QStringLiteral("Interval")),
             QStringLiteral("99"));
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(!m_window->findChild<frmSetting *>());

    QCOMPARE(runToEnd(QStringLiteral("chess"), 3), Ending::Finished);
    QCOMPARE(m_boxes.shown.size(), 1);
    QVERIFY(!m_window->Controller().PauseRunning());
    // A later save of the history keeps the choice.
    QCOMPARE(SettingsStore(places().settings).ReadRegValue(SettingsKey, QStringLiteral("Interval")),
             QStringLiteral("99"));
}

void tst_MainWindow::popularitySearchHeaderTogglesOrder()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("golf clubs"), 40), Ending::Finished);
    const QStringList stored = column(1);
    const QStringList storedSums = column(4);
    QHeaderView *header = list()->header();
    list()->horizontalScrollBar()->setValue(list()->horizontalScrollBar()->maximum());
    auto clickHeader = [header](int section) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                   header->height() / 2));
    };

    clickHeader(3); // "Percent": nothing happens
    QCOMPARE(column(1), stored);

    clickHeader(6);
    QVERIFY(m_window->List().PopularitySorted);
    QVERIFY(column(1) != stored);
    double previous = -1;
    for (const QString &ratio : column(6)) {
        const double value = QLocale().toDouble(ratio);
        QVERIFY2(value >= previous, qPrintable(ratio));
        previous = value;
    }
    QCOMPARE(column(4).first(), column(3).first());
    QVERIFY(column(0) != stored); // IDs keep their run numbers, so are out of order now

    clickHeader(6);
    QVERIFY(!m_window->List().PopularitySorted);
    QCOMPARE(column(1), stored);
    QCOMPARE(column(4), storedSums);
    QCOMPARE(column(0).first(), QStringLiteral("1"));
    QVERIFY(list()->headerItem()->text(1).contains(QStringLiteral(",searches ")));
    QVERIFY(m_boxes.shown.isEmpty());
}

void tst_MainWindow::doubleClickOpensAddressOfRowShown()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("golf"), 20), Ending::Finished);
    // Nothing selected: a double-click below the rows does nothing.
    doubleClick(list()->viewport(), QPoint(20, list()->viewport()->height() - 3));
    QVERIFY(m_opened.isEmpty());

    QHeaderView *header = list()->header();
    list()->horizontalScrollBar()->setValue(list()->horizontalScrollBar()->maximum());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(6) + 5, header->height() / 2));
    list()->horizontalScrollBar()->setValue(0);
    QVERIFY(m_window->List().PopularitySorted);
    QTreeWidgetItem *top = list()->topLevelItem(0);
    QVERIFY(top->text(0) != QStringLiteral("1"));
    doubleClick(list()->viewport(), list()->visualItemRect(top).center());
    QCOMPARE(m_opened, QList<QUrl> {QUrl(QueryAddress(top->text(1)))});
}

void tst_MainWindow::deleteAndDeleteAllRemoveEntriesAndFiles()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("golf"), 3), Ending::Finished);
    QCOMPARE(runToEnd(QStringLiteral("tennis"), 4), Ending::Finished);
    QFile other(reportPath(QStringLiteral("chess.kwd")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    auto *box = child<QComboBox>("cmbKeyword");
    QCOMPARE(box->itemText(0), QStringLiteral("tennis"));

    // No changes nothing.
    m_boxes.answers = {false};
    QTest::mouseClick(child<QPushButton>("cmdDelete"), Qt::LeftButton);
    QCOMPARE(m_boxes.shown,
             QStringList {QStringLiteral(
                 "confirm: Are you sure you want to delete this keyword \"tennis\" ?")});
    QCOMPARE(box->count(), 2);
    QVERIFY(QFile::exists(reportPath(QStringLiteral("tennis.kwd"))));

    // Yes: the shown keyword's report goes, and the list with it.
    QTest::mouseClick(child<QPushButton>("cmdDelete"), Qt::LeftButton);
    QVERIFY(!QFile::exists(reportPath(QStringLiteral("tennis.kwd"))));
    QCOMPARE(list()->topLevelItemCount(), 0);
    QCOMPARE(list()->headerItem()->text(1), QStringLiteral("Suggestions"));
    QCOMPARE(box->count(), 1);
    QCOMPARE(box->currentText(), QStringLiteral("golf"));
    QVERIFY(child<QPushButton>("cmdDelete")->isEnabled());
    const SettingsStore store(places().settings);
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("KeywordNum")), QStringLiteral("1"));
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Keyword1")), QStringLiteral("golf"));
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Keyword2")), QString());

    m_boxes.shown.clear();
    QTest::mouseClick(child<QPushButton>("cmdDeleteAll"), Qt::LeftButton);
    QCOMPARE(
        m_boxes.shown,
        QStringList {QStringLiteral("confirm: Are you sure you want to delete all keywords ?")});
    QVERIFY(!QFile::exists(reportPath(QStringLiteral("golf.kwd"))));
    QVERIFY(QFile::exists(reportPath(QStringLiteral("chess.kwd")))); // not in the history
    QCOMPARE(box->count(), 0);
    QCOMPARE(box->currentText(), QString());
    for (const char *name : {"cmdDelete", "cmdDeleteAll", "cmdExportTXT", "cmdSuggestion"})
        QVERIFY2(!child<QPushButton>(name)->isEnabled(), name);
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("KeywordNum")), QStringLiteral("0"));
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Keyword1")), QString());
    QCOMPARE(store.ReadRegValue(SettingsKey, QStringLiteral("Interval")), QStringLiteral("0"));
}

void tst_MainWindow::exportShowsReportOfCurrentKeyword()
{
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("Golf Clubs"), 5), Ending::Finished);
    QTest::mouseClick(child<QPushButton>("cmdExportTXT"), Qt::LeftButton);
    ReportViewer *viewer = m_window->Exporter().lastViewer();
    QVERIFY(viewer);
    QVERIFY(viewer->text().startsWith(QStringLiteral("Keyword=Golf Clubs,Total Searches=")));
    QCOMPARE(viewer->text().count(QLatin1Char('\n')), 3 + 5);
}

void tst_MainWindow::unwritableReportIsToldButRowsStay()
{
    // A plain file where the report folder should be: no report can be written there.
    QFile blocker(m_dir->filePath(QStringLiteral("report")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(start());
    QCOMPARE(runToEnd(QStringLiteral("golf"), 4), Ending::Finished);
    QCOMPARE(m_boxes.shown.size(), 1);
    QVERIFY2(m_boxes.shown.first().startsWith(
                 QStringLiteral("warn: The report file \"golf.kwd\" could not be written")),
             qPrintable(m_boxes.shown.first()));
    QCOMPARE(list()->topLevelItemCount(), 4);
    QCOMPARE(child<QComboBox>("cmbKeyword")->itemText(0), QStringLiteral("golf"));
}

void tst_MainWindow::closingDuringRunEndsItQuietly()
{
    QVERIFY(start());
    m_window->Controller().Driver().SetDownloadPause(std::chrono::milliseconds(20));
    QSignalSpy downloads(&m_window->Controller().Driver(), &FetchQueueDriver::DownloadIssued);
    QSignalSpy closed(m_window, &frmQuorvane::Closed);
    type(QStringLiteral("golf clubs"));
    QTest::mouseClick(child<QPushButton>("cmdSuggestion"), Qt::LeftButton);
    QTRY_VERIFY(downloads.size() >= 4);
    QTest::mouseClick(child<QPushButton>("cmdExit"), Qt::LeftButton);
    QCOMPARE(closed.size(), 1);
    QVERIFY(!m_window->isVisible());
    QVERIFY(!m_window->Controller().RunUnderWay());
    QVERIFY(m_window->Controller().State().StopRequested);
    const int issued = downloads.size();
    QTest::qWait(150);
    QCOMPARE(downloads.size(), issued);
    QVERIFY(m_boxes.shown.isEmpty());
    QVERIFY(!QFile::exists(reportPath(QStringLiteral("golf_clubs.kwd"))));
    m_window = nullptr;
    m_program.reset(); // the window goes while its run's traces are still about
}

void tst_MainWindow::secondInstanceEndsWithoutWindow()
{
    QVERIFY(start());
    ScriptedBoxes secondBoxes;
    Program second(places(), secondBoxes);
    QCOMPARE(second.Start(), StartupOutcome::AnotherInstance);
    QVERIFY(!second.Window());
    QVERIFY(secondBoxes.shown.isEmpty());
    QVERIFY(m_window->isVisible());
}

void tst_MainWindow::corruptKeywordNumEndsStartupWithMessage_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("content");
    QTest::newRow("letters") << QStringLiteral("KeywordNum") << QStringLiteral("abc");
    QTest::newRow("empty") << QStringLiteral("KeywordNum") << QString();
    QTest::newRow("interval not a number") << QStringLiteral("Interval") << QStringLiteral("x");
}

void tst_MainWindow::corruptKeywordNumEndsStartupWithMessage()
{
    QFETCH(QString, value);
    QFETCH(QString, content);
    {
        SettingsStore store(places().settings);
        QVERIFY(store.WriteDefaultSettings(Settings {}));
        store.WriteRegValue(SettingsKey, value, content);
    }
    QVERIFY(!start());
    QVERIFY(!m_program->Window());
    QCOMPARE(m_boxes.shown, QStringList {QStringLiteral("warn: Severe error has occured !")});
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

#include "mainwindow.h"

#include "aboutwindow.h"
#include "browser.h"
#include "helpwindow.h"
#include "keywordhistory.h"
#include "messageboxes.h"
#include "runcontroller.h"
#include "serviceaddresses.h"
#include "settingsdialog.h"
#include "settingsstore.h"
#include "stripes.h"
#include "textexport.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>

namespace Quorvane {

namespace {

const QColor ButtonFace(224, 224, 224);
const QColor OddRows(200, 125, 68);
const QColor EvenRows(254, 209, 199);
const QString StopCaption = QStringLiteral("&Stop");
const QChar Quote(u'"');

// Bold 8.25 points in the classic dialog face where the system has it, else the closest
// sans-serif at hand.
QFont windowFont()
{
    const QStringList available = QFontDatabase::families();
    QString family = QStringLiteral("Sans Serif");
    for (const char *candidate :
         {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arimo", "DejaVu Sans"}) {
        if (available.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
            family = QLatin1String(candidate);
            break;
        }
    }
    QFont font(family);
    font.setPointSizeF(8.25);
    font.setBold(true);
    // The wide fallback face in its condensed cut keeps captions such as "Keyword History"
    // within their boxes.
    if (family.startsWith(QLatin1String("DejaVu")))
        font.setStretch(QFont::Condensed);
    return font;
}

QPushButton *button(const char *name, const char *caption, int left, int top, int width, int height,
                    QWidget *parent)
{
    auto *b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(twips(left), twips(top), twips(width), twips(height));
    QPalette p = b->palette();
    p.setColor(QPalette::Button, ButtonFace);
    b->setPalette(p);
    b->setAutoDefault(false);
    return b;
}

} // namespace

MainWindow::MainWindow(SettingsStore &store, Settings &settings, ReportFolder folder,
                       MessageBoxes *boxes, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_settings(settings)
    , m_folder(std::move(folder))
    , m_ownBoxes(boxes ? nullptr : new WidgetMessageBoxes(this))
    , m_boxes(boxes ? boxes : m_ownBoxes.get())
    , m_openUrl([](const QUrl &url) { QDesktopServices::openUrl(url); })
    , m_openInBrowser(&openInBrowser)
{
    buildControls();
    m_export = std::make_unique<TextExport>(this);
    m_controller = std::make_unique<RunController>(*this);
    m_controller->setIntervalSetting(m_settings.intervalSetting);
    fillKeywordBox();
}

MainWindow::~MainWindow()
{
    // The run talks to this window until its very end.
    m_controller.reset();
}

void MainWindow::buildControls()
{
    setObjectName(QStringLiteral("frmQuorvane"));
    setWindowTitle(QString::fromLatin1(ProgramCaption));
    setWindowIcon(programIcon());
    setFont(windowFont());
    setFixedSize(twips(11880), twips(8490));

    m_tabTool = new QTabWidget(this);
    m_tabTool->setObjectName(QStringLiteral("tabTool"));
    m_tabTool->addTab(new QWidget, QStringLiteral("&Keyword Suggestion Tool"));
    m_tabTool->setGeometry(0, 0, twips(11880), twips(7575));

    // Lies over the tab strip's page and holds the frame with the list and the keyword row.
    m_picSuggestion = new QWidget(this);
    m_picSuggestion->setObjectName(QStringLiteral("picSuggestion"));
    m_picSuggestion->setGeometry(0, twips(315), twips(11895), twips(7260));
    m_picSuggestion->setAutoFillBackground(true);

    m_fmeSuggestion = new QGroupBox(QStringLiteral("Keyword Suggestion List"), m_picSuggestion);
    m_fmeSuggestion->setObjectName(QStringLiteral("fmeSuggestion"));
    m_fmeSuggestion->setGeometry(twips(120), twips(120), twips(11655), twips(7140));

    m_lstKeyword = new QTreeWidget(m_fmeSuggestion);
    m_lstKeyword->setObjectName(QStringLiteral("lstKeyword"));
    m_lstKeyword->setGeometry(twips(120), twips(240), twips(11415), twips(6240));
    m_lstKeyword->setColumnCount(8);
    m_lstKeyword->setRootIsDecorated(false);
    m_lstKeyword->setItemsExpandable(false);
    m_lstKeyword->setUniformRowHeights(true);
    m_lstKeyword->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstKeyword->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstKeyword->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lstKeyword->setSortingEnabled(false);
    m_lstKeyword->header()->setSectionsClickable(true);
    m_lstKeyword->header()->setSectionsMovable(false);
    m_lstKeyword->header()->setStretchLastSection(false);
    auto *header = m_lstKeyword->headerItem();
    for (int column = 0; column < ListColumnCount; ++column) {
        header->setText(column, listColumnCaption(column));
        header->setTextAlignment(column,
                                 (ListColumnRightAligned[column] ? Qt::AlignRight : Qt::AlignLeft)
                                     | Qt::AlignVCenter);
        m_lstKeyword->setColumnWidth(column, twips(ListColumnWidthsTwips[column]));
    }

    m_label1 = new QLabel(QStringLiteral("Keyword History"), m_fmeSuggestion);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twips(120), twips(6630), twips(1365), twips(195));

    m_cmbKeyword = new QComboBox(m_fmeSuggestion);
    m_cmbKeyword->setObjectName(QStringLiteral("cmbKeyword"));
    m_cmbKeyword->setEditable(true);
    m_cmbKeyword->setInsertPolicy(QComboBox::NoInsert);
    m_cmbKeyword->setDuplicatesEnabled(true);
    // The box completes nothing by itself: what is typed is what is requested.
    m_cmbKeyword->setCompleter(nullptr);
    m_cmbKeyword->setGeometry(twips(1560), twips(6600), twips(6015), twips(315));
    m_label1->setBuddy(m_cmbKeyword);

    m_cmdDelete = button("cmdDelete", "&Delete", 7680, 6600, 1200, 300, m_fmeSuggestion);
    m_cmdDeleteAll = button("cmdDeleteAll", "Deleta &All", 9000, 6600, 1200, 300, m_fmeSuggestion);
    m_cmdSuggestion = button("cmdSuggestion", "&Suggest", 10320, 6600, 1200, 300, m_fmeSuggestion);

    m_cmdSetting = button("cmdSetting", "&Setting", 240, 7680, 1095, 300, this);
    m_cmdExportTXT = button("cmdExportTXT", "&Export", 1440, 7680, 1095, 300, this);
    m_cmdHelp = button("cmdHelp", "&Help", 2640, 7680, 1095, 300, this);
    m_cmdAbout = button("cmdAbout", "A&bout", 3840, 7680, 1095, 300, this);
    m_cmdExit = button("cmdExit", "E&xit", 10560, 7680, 1095, 300, this);

    m_sbStatus = new QStatusBar(this);
    m_sbStatus->setObjectName(QStringLiteral("sbStatus"));
    m_sbStatus->setSizeGripEnabled(false);
    m_sbStatus->setGeometry(0, twips(8115), twips(11880), twips(375));
    // A permanent panel: temporary status-bar messages never hide it.
    m_statusPanel = new QLabel(QStringLiteral("Ready to accept keyword"));
    m_statusPanel->setObjectName(QStringLiteral("sbStatusPanel"));
    m_sbStatus->addPermanentWidget(m_statusPanel, 1);

    m_prgBar = new QProgressBar(this);
    m_prgBar->setObjectName(QStringLiteral("prgBar"));
    m_prgBar->setRange(0, 100);
    m_prgBar->setValue(0);
    m_prgBar->setTextVisible(false);
    m_prgBar->setGeometry(twips(8280), twips(8220), twips(3495), twips(210));
    m_prgBar->raise();

    // Beyond the right edge: it only takes the focus away from the keyword box and buttons.
    m_txtDumb = new QLineEdit(QStringLiteral("Text1"), this);
    m_txtDumb->setObjectName(QStringLiteral("txtDumb"));
    m_txtDumb->setGeometry(twips(12000), twips(1440), twips(735), twips(285));

    m_stripes = setStripedRows(m_lstKeyword, OddRows, EvenRows);

    connect(m_cmdSuggestion, &QPushButton::clicked, this, &MainWindow::cmdSuggestionClick);
    connect(m_cmbKeyword, &QComboBox::editTextChanged, this, &MainWindow::cmbKeywordChange);
    connect(m_cmdDelete, &QPushButton::clicked, this, &MainWindow::cmdDeleteClick);
    connect(m_cmdDeleteAll, &QPushButton::clicked, this, &MainWindow::cmdDeleteAllClick);
    connect(m_cmdExportTXT, &QPushButton::clicked, this, &MainWindow::cmdExportTxtClick);
    connect(m_cmdSetting, &QPushButton::clicked, this, &MainWindow::cmdSettingClick);
    connect(m_lstKeyword->header(), &QHeaderView::sectionClicked, this,
            &MainWindow::lstKeywordColumnClick);
    connect(m_lstKeyword, &QTreeWidget::itemDoubleClicked, this, &MainWindow::lstKeywordDblClick);
    connect(m_cmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_cmdHelp, &QPushButton::clicked, this,
            [this] { (new HelpWindow(this, m_openInBrowser))->open(); });
    connect(m_cmdAbout, &QPushButton::clicked, this,
            [this] { (new AboutWindow(this, m_openInBrowser))->open(); });
}

// The load handler's filling rule: the history newest first, its newest entry in the box.
void MainWindow::fillKeywordBox()
{
    const KeywordBoxFill fill = Quorvane::fillKeywordBox(m_settings.keywordHistory);
    showKeywordBox(fill.items, fill.text);
    if (!m_settings.keywordHistory.isEmpty())
        m_controller->state().currentKeyword = m_settings.keywordHistory.first();
    setFourButtons(fill.buttonsEnabled);
}

void MainWindow::showKeywordBox(const QStringList &items, const QString &text)
{
    m_cmbKeyword->clear();
    m_cmbKeyword->addItems(items);
    m_cmbKeyword->setEditText(text);
}

void MainWindow::setFourButtons(bool enabled)
{
    for (QPushButton *b : {m_cmdDelete, m_cmdDeleteAll, m_cmdExportTXT})
        b->setEnabled(enabled);
    // A run under way keeps its Stop button whatever happens to the history.
    m_cmdSuggestion->setEnabled(enabled || suggestCaption() == StopCaption);
}

// The widget mirrors the list record: rows in display order and the caption of column 1.
void MainWindow::showList()
{
    m_lstKeyword->clear();
    m_lstKeyword->headerItem()->setText(ColumnSuggestions, m_list.suggestionsCaption);
    QList<QTreeWidgetItem *> items;
    items.reserve(m_list.rows.size());
    for (const ListRow &row : std::as_const(m_list.rows)) {
        auto *item = new QTreeWidgetItem;
        for (int column = 0; column < ListColumnCount; ++column) {
            item->setText(column, row[column]);
            item->setTextAlignment(column,
                                   (ListColumnRightAligned[column] ? Qt::AlignRight : Qt::AlignLeft)
                                       | Qt::AlignVCenter);
        }
        items.append(item);
    }
    m_lstKeyword->addTopLevelItems(items);
}

QString MainWindow::suggestCaption() const
{
    return m_cmdSuggestion->text();
}

void MainWindow::setSuggestCaption(const QString &caption)
{
    m_cmdSuggestion->setText(caption);
}

void MainWindow::setSuggestEnabled(bool enabled)
{
    m_cmdSuggestion->setEnabled(enabled);
}

void MainWindow::focusTxtDumb()
{
    m_txtDumb->setFocus();
}

int MainWindow::progressValue() const
{
    return m_prgBar->value();
}

int MainWindow::progressMaximum() const
{
    return m_prgBar->maximum();
}

void MainWindow::setProgressValue(int value)
{
    m_prgBar->setValue(value);
}

void MainWindow::setProgressMaximum(int maximum)
{
    m_prgBar->setMaximum(maximum);
}

void MainWindow::setStatus(const QString &text)
{
    m_statusPanel->setText(text);
}

QString MainWindow::status() const
{
    return m_statusPanel->text();
}

void MainWindow::warn(const QString &text)
{
    m_boxes->warn(text);
}

void MainWindow::inform(const QString &text)
{
    m_boxes->inform(text);
}

QString MainWindow::keywordText() const
{
    return m_cmbKeyword->currentText();
}

void MainWindow::setKeywordText(const QString &text)
{
    m_cmbKeyword->setEditText(text);
}

void MainWindow::selectAllKeywordText()
{
    if (QLineEdit *edit = m_cmbKeyword->lineEdit())
        edit->selectAll();
}

ReuseOutcome MainWindow::reuseStoredReport(const QString &keyword, RunState &run)
{
    const std::optional<QString> stored = findReusableReport(m_folder, keyword);
    // A report that cannot be read counts as none: the run that follows replaces it.
    if (!stored || !loadReport(m_folder, *stored, m_list, &queryAddress))
        return ReuseOutcome::NoReport;
    run.reportFileName = stored->toLower();
    run.queryAddresses = m_list.queryAddresses;
    m_list.popularitySorted = false;
    showList();
    return ReuseOutcome::Loaded;
}

void MainWindow::getReport(const RunState &run)
{
    // The row rule shortens overlong phrases in the table it works on; the run's own table
    // stays as the parsers left it.
    SuggestionTable table = run.suggestionTable;
    QString error;
    const bool written = Quorvane::writeReport(table, keywordText(), m_folder, run.reportFileName,
                                             m_list, QLocale(), &error);
    // The window keeps its own copy of the rows' addresses: a later run that is stopped
    // rebuilds the run's list while these rows stay shown.
    m_list.queryAddresses = run.queryAddresses;
    m_list.popularitySorted = false;
    showList();
    if (!written)
        warn(QStringLiteral("The report file ") + Quote + run.reportFileName + Quote
             + QStringLiteral(" could not be written: ") + error);
}

void MainWindow::makeProject(const QString &newKeyword)
{
    if (!addKeywordToHistory(m_settings.keywordHistory, newKeyword))
        return;
    m_store.saveHistory(m_settings);
    showKeywordBox(m_settings.keywordHistory, QString());
}

void MainWindow::enableReportButtons()
{
    m_cmdExportTXT->setEnabled(true);
    m_cmdDelete->setEnabled(true);
    m_cmdDeleteAll->setEnabled(true);
}

void MainWindow::setResultsShown(bool shown)
{
    m_list.resultsShown = shown;
}

void MainWindow::cmdSuggestionClick()
{
    m_list.popularitySorted = false;
    m_controller->requestSuggestion(keywordText());
    m_cmdSuggestion->setEnabled(false);
    m_cmdSuggestion->setEnabled(true);
}

void MainWindow::cmbKeywordChange()
{
    const ButtonStates states = buttonStateRule(m_settings.keywordHistory, keywordText(),
                                                m_controller && m_controller->runArmed());
    m_cmdDelete->setEnabled(states.Delete);
    m_cmdDeleteAll->setEnabled(states.deleteAll);
    m_cmdExportTXT->setEnabled(states.Export);
    // While a run is under way the button is Stop: editing the box must not take it away.
    m_cmdSuggestion->setEnabled(states.suggest || suggestCaption() == StopCaption);
}

void MainWindow::cmdDeleteClick()
{
    const QString text = keywordText();
    if (!m_boxes->confirm(QStringLiteral("Are you sure you want to delete this keyword ") + Quote
                          + text + Quote + QStringLiteral(" ?")))
        return;
    // The entry the button was offered for; its report goes with it.
    const std::optional<qsizetype> entry = historyEntryToDelete(m_settings.keywordHistory, text);
    const QString keyword = entry ? m_settings.keywordHistory.at(*entry) : text;
    if (deleteReportFile(m_folder, keyword)) {
        // The list showed the report just deleted.
        const QString shown = m_controller->state().currentKeyword;
        if (reportFileName(shown).compare(reportFileName(keyword), Qt::CaseInsensitive) == 0) {
            m_list.clearResults();
            showList();
            m_cmdExportTXT->setEnabled(false);
        }
    }
    deleteKeywordFromHistory(m_settings.keywordHistory, text);
    const KeywordBoxFill fill = Quorvane::fillKeywordBox(m_settings.keywordHistory);
    showKeywordBox(fill.items, fill.text);
    setFourButtons(fill.buttonsEnabled);
    m_store.saveHistory(m_settings);
}

void MainWindow::cmdDeleteAllClick()
{
    if (!m_boxes->confirm(QStringLiteral("Are you sure you want to delete all keywords ?")))
        return;
    const QStringList removed = deleteAllFromHistory(m_settings.keywordHistory);
    for (const QString &keyword : removed)
        deleteReportFile(m_folder, keyword);
    showKeywordBox({}, QString());
    m_list.clearResults();
    showList();
    setFourButtons(false);
    m_store.saveHistory(m_settings);
}

void MainWindow::cmdExportTxtClick()
{
    const QString keyword = m_controller->state().currentKeyword;
    QString path = findReportFile(m_folder, keyword);
    if (path.isEmpty())
        path = m_folder.filePath(reportFileName(keyword));
    m_export->Export(path);
}

void MainWindow::cmdSettingClick()
{
    (new SettingsDialog(
         m_settings.intervalSetting, [this](qint16 setting) { chooseInterval(setting); }, this))
        ->open();
}

void MainWindow::chooseInterval(qint16 setting)
{
    m_settings.intervalSetting = setting;
    if (setting == SettingsDialog::PauseAfterThree)
        m_controller->chooseThirtyMinutes();
    else
        m_controller->chooseDontCare();
    m_store.writeRegValue(SettingsKey, QStringLiteral("Interval"), QString::number(setting));
}

void MainWindow::lstKeywordColumnClick(int column)
{
    if (suggestCaption() == StopCaption || !m_list.resultsShown)
        return;
    if (m_lstKeyword->headerItem()->text(column) != listColumnCaption(ColumnPopularityPerSearch))
        return;
    if (!m_list.popularitySorted) {
        sortByPopularityPerSearch(m_list);
        m_list.popularitySorted = true;
        refreshListFigures(m_list, &queryAddress);
        showList();
        return;
    }
    // Back to the stored order: the report of this month is shown again.
    m_list.popularitySorted = false;
    m_controller->requestSuggestion(m_controller->state().currentKeyword);
}

void MainWindow::lstKeywordDblClick()
{
    QTreeWidgetItem *item = m_lstKeyword->currentItem();
    if (!item || !item->isSelected())
        return;
    const int position = m_lstKeyword->indexOfTopLevelItem(item);
    if (position < 0 || position >= m_list.queryAddresses.size())
        return;
    m_openUrl(QUrl(m_list.queryAddresses.at(position)));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    // Nothing of a run goes on after the window: no timer, no download, no message.
    m_controller->shutdown();
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            child->close();
    }
    Q_EMIT closed();
}

} // namespace Quorvane

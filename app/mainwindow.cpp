#include "app/mainwindow.h"

#include "app/aboutwindow.h"
#include "app/browser.h"
#include "app/helpwindow.h"
#include "app/listactions.h"
#include "app/messageboxes.h"
#include "app/settingsdialog.h"
#include "app/stripes.h"
#include "app/textexport.h"
#include "sources/serviceaddresses.h"
#include "store/keywordhistory.h"

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
#include <QTreeView>

namespace Quorvane {

namespace {

const QColor ButtonFace(224, 224, 224);
const QColor OddRows(200, 125, 68);
const QColor EvenRows(254, 209, 199);
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

MainWindow::MainWindow(RunController &controller, MessageBoxes *boxes, QWidget *parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_ownBoxes(boxes ? nullptr : new WidgetMessageBoxes(this))
    , m_boxes(boxes ? boxes : m_ownBoxes.get())
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , m_openInBrowser(&openInBrowser)
{
    buildControls();
    m_export = std::make_unique<TextExport>(this);
    connectController();
    new ListActions(*this, *m_lstKeyword, *m_cmbKeyword, *m_cmdSuggestion, m_controller, *m_boxes);
    // The history newest first, its newest entry in the box.
    const KeywordBoxFill fill = fillKeywordBox(m_controller.history());
    showKeywordBox(fill.items, fill.text);
    setFourButtons(fill.buttonsEnabled);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    setObjectName(QStringLiteral("frmQuorvane"));
    setWindowTitle(QString::fromLatin1(ProgramCaption));
    setWindowIcon(programIcon());
    setFont(windowFont());
    // Opens at its classic size; larger sizes grow the list (ListActions).
    resize(twips(11880), twips(8490));
    setMinimumSize(size());

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

    m_lstKeyword = new QTreeView(m_fmeSuggestion);
    m_lstKeyword->setObjectName(QStringLiteral("lstKeyword"));
    m_lstKeyword->setGeometry(twips(120), twips(240), twips(11415), twips(6240));
    // Measured before the list gets its rows' model, which sets the columns.
    m_stripes = setStripedRows(m_lstKeyword, OddRows, EvenRows);
    m_lstKeyword->setModel(&m_controller.results());
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
    for (int column = 0; column < ListColumnCount; ++column)
        m_lstKeyword->setColumnWidth(column, twips(ListColumnWidthsTwips[column]));

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
    // "Deleta" is the button's own spelling, kept on purpose.
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

    connect(m_cmdSuggestion, &QPushButton::clicked, this, &MainWindow::cmdSuggestionClick);
    connect(m_cmbKeyword, &QComboBox::editTextChanged, this, &MainWindow::cmbKeywordChange);
    connect(m_cmdDelete, &QPushButton::clicked, this, &MainWindow::cmdDeleteClick);
    connect(m_cmdDeleteAll, &QPushButton::clicked, this, &MainWindow::cmdDeleteAllClick);
    connect(m_cmdExportTXT, &QPushButton::clicked, this, &MainWindow::cmdExportTxtClick);
    connect(m_cmdSetting, &QPushButton::clicked, this, &MainWindow::cmdSettingClick);
    connect(m_lstKeyword->header(), &QHeaderView::sectionClicked, &m_controller,
            &RunController::columnClicked);
    connect(m_lstKeyword, &QTreeView::doubleClicked, this, &MainWindow::lstKeywordDblClick);
    connect(m_cmdExit, &QPushButton::clicked, this, &QWidget::close);
    const auto openLink = [this](const QString &address) {
        tellIfNotOpened(m_openInBrowser(address), address);
    };
    connect(m_cmdHelp, &QPushButton::clicked, this,
            [this, openLink] { (new HelpWindow(this, openLink))->open(); });
    connect(m_cmdAbout, &QPushButton::clicked, this,
            [this, openLink] { (new AboutWindow(this, openLink))->open(); });
}

void MainWindow::connectController()
{
    RunController *c = &m_controller;
    connect(c, &RunController::stateChanged, this, &MainWindow::showState);
    connect(c, &RunController::statusChanged, m_statusPanel, &QLabel::setText);
    connect(c, &RunController::progressChanged, this, [this](int value, int maximum) {
        m_prgBar->setMaximum(maximum);
        m_prgBar->setValue(value);
    });
    connect(c, &RunController::warning, this, [this](const QString &text) { m_boxes->warn(text); });
    connect(c, &RunController::information, this,
            [this](const QString &text) { m_boxes->inform(text); });
    connect(c, &RunController::historyChanged, this,
            [this] { showKeywordBox(m_controller.history(), QString()); });
    connect(c, &RunController::keywordShown, this,
            [this](const QString &text) { m_cmbKeyword->setEditText(text); });
    connect(c, &RunController::keywordSelected, this, [this] {
        if (QLineEdit *edit = m_cmbKeyword->lineEdit())
            edit->selectAll();
    });
    connect(c, &RunController::reportButtonsEnabled, this, [this] {
        for (QPushButton *b : {m_cmdDelete, m_cmdDeleteAll})
            b->setEnabled(true);
        m_cmdExportTXT->setEnabled(reportToExportExists());
    });
    connect(c, &RunController::exportAvailable, m_cmdExportTXT, &QPushButton::setEnabled);
    connect(c, &RunController::pauseEnded, m_cmdSuggestion,
            [this] { m_cmdSuggestion->setEnabled(true); });
}

// The button's caption is the run state as the user sees it.
void MainWindow::showState(RunController::State state)
{
    switch (state) {
    case RunController::State::CheckingConnection:
        return;
    case RunController::State::Fetching:
        m_cmdSuggestion->setText(QStringLiteral("&Stop"));
        m_txtDumb->setFocus();
        return;
    case RunController::State::Stopping:
        m_cmdSuggestion->setText(QStringLiteral("&Suggest"));
        m_txtDumb->setFocus();
        return;
    case RunController::State::Idle:
        m_cmdSuggestion->setText(QStringLiteral("&Suggest"));
        return;
    case RunController::State::Ended:
        m_cmdSuggestion->setText(QStringLiteral("&Suggestion"));
        return;
    }
}

void MainWindow::showKeywordBox(const QStringList &items, const QString &text)
{
    m_cmbKeyword->clear();
    m_cmbKeyword->addItems(items);
    m_cmbKeyword->setEditText(text);
}

void MainWindow::setFourButtons(bool enabled)
{
    for (QPushButton *b : {m_cmdDelete, m_cmdDeleteAll})
        b->setEnabled(enabled);
    m_cmdExportTXT->setEnabled(enabled && reportToExportExists());
    // A run under way keeps its Stop button whatever happens to the history.
    m_cmdSuggestion->setEnabled(enabled || m_controller.state() == RunController::State::Fetching);
}

QString MainWindow::status() const
{
    return m_statusPanel->text();
}

QString MainWindow::keywordText() const
{
    return m_cmbKeyword->currentText();
}

void MainWindow::cmdSuggestionClick()
{
    m_controller.suggestPressed(keywordText());
    m_cmdSuggestion->setEnabled(false);
    m_cmdSuggestion->setEnabled(true);
}

void MainWindow::cmbKeywordChange()
{
    const ButtonStates states =
        buttonStateRule(m_controller.history(), keywordText(), m_controller.runArmed());
    m_cmdDelete->setEnabled(states.deleteOne);
    m_cmdDeleteAll->setEnabled(states.deleteAll);
    m_cmdExportTXT->setEnabled(states.exportReport && reportToExportExists());
    // While a run is under way the button is Stop: editing the box must not take it away.
    m_cmdSuggestion->setEnabled(states.suggest
                                || m_controller.state() == RunController::State::Fetching);
}

void MainWindow::cmdDeleteClick()
{
    const QString text = keywordText();
    if (!m_boxes->confirm(QStringLiteral("Are you sure you want to delete this keyword ") + Quote
                          + text + Quote + QStringLiteral(" ?")))
        return;
    m_controller.deleteKeyword(text);
    const KeywordBoxFill fill = fillKeywordBox(m_controller.history());
    showKeywordBox(fill.items, fill.text);
    setFourButtons(fill.buttonsEnabled);
}

void MainWindow::cmdDeleteAllClick()
{
    if (!m_boxes->confirm(QStringLiteral("Are you sure you want to delete all keywords ?")))
        return;
    m_controller.deleteAllKeywords();
    showKeywordBox({}, QString());
    setFourButtons(false);
}

void MainWindow::cmdExportTxtClick()
{
    if (const std::optional<QString> path = m_controller.reportToExport())
        m_export->exportReport(*path);
    else
        m_cmdExportTXT->setEnabled(false); // the report went while the button was offered
}

// Export opens the shown keyword's report; without that file it has nothing to open.
bool MainWindow::reportToExportExists() const
{
    return m_controller.reportToExport().has_value();
}

void MainWindow::cmdSettingClick()
{
    RunController &controller = m_controller;
    (new SettingsDialog(
         controller.pacing().interval(),
         [&controller](qint16 setting) { controller.chooseInterval(setting); }, this))
        ->open();
}

void MainWindow::lstKeywordDblClick(const QModelIndex &index)
{
    if (!index.isValid() || !m_lstKeyword->selectionModel()->isRowSelected(index.row(), {}))
        return;
    const QString address = m_controller.results().queryAddress(index.row());
    if (!address.isEmpty())
        tellIfNotOpened(m_openUrl(QUrl(address)), address);
}

// Without a browser the click would do nothing visible: the address is shown to be copied.
void MainWindow::tellIfNotOpened(bool opened, const QString &address)
{
    if (!opened)
        m_boxes->warn(addressNotOpenedMessage(address));
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    // Nothing of a run goes on after the window: no timer, no download, no message.
    m_controller.shutdown();
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            child->close();
    }
    Q_EMIT closed();
}

} // namespace Quorvane

#include "app/mainwindow.h"

#include "app/aboutwindow.h"
#include "app/browser.h"
#include "app/helpwindow.h"
#include "app/keywordbox.h"
#include "app/listactions.h"
#include "app/messageboxes.h"
#include "app/programidentity.h"
#include "app/settingsdialog.h"
#include "app/stripes.h"
#include "app/textexport.h"
#include "sources/classicsource.h"
#include "sources/serviceaddresses.h"

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
    new ListActions(*this,
                    {.tabs = *m_tabs,
                     .workArea = *m_workArea,
                     .listFrame = *m_listFrame,
                     .resultList = *m_resultList,
                     .historyLabel = *m_historyLabel,
                     .keywordBox = *m_keywordBox,
                     .deleteButton = *m_deleteButton,
                     .deleteAllButton = *m_deleteAllButton,
                     .suggestButton = *m_suggestButton,
                     .settingsButton = *m_settingsButton,
                     .exportButton = *m_exportButton,
                     .helpButton = *m_helpButton,
                     .aboutButton = *m_aboutButton,
                     .exitButton = *m_exitButton,
                     .statusBar = *m_statusBar,
                     .progressBar = *m_progressBar,
                     .focusSink = *m_focusSink},
                    m_controller, *m_boxes);
    // The history newest first, its newest entry in the box.
    const KeywordBoxFill fill = fillKeywordBox(m_controller.history());
    showKeywordBox(fill.items, fill.text);
    setFourButtons(fill.buttonsEnabled);
}

MainWindow::~MainWindow()
{
    m_controller.setPaidRunConfirmation({});
}

void MainWindow::buildControls()
{
    setObjectName(QStringLiteral("frmQuorvane"));
    setWindowTitle(QString::fromLatin1(ProgramCaption));
    setWindowIcon(programIcon());
    setFont(windowFont());
    // Opens at its classic size; larger sizes grow the list (ListActions).
    resize(twips(11880), twips(8490));
    setMinimumSize(size());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabTool"));
    m_tabs->addTab(new QWidget, QStringLiteral("&Keyword Suggestion Tool"));
    m_tabs->setGeometry(0, 0, twips(11880), twips(7575));

    // Lies over the tab strip's page and holds the frame with the list and the keyword row.
    m_workArea = new QWidget(this);
    m_workArea->setObjectName(QStringLiteral("picSuggestion"));
    m_workArea->setGeometry(0, twips(315), twips(11895), twips(7260));
    m_workArea->setAutoFillBackground(true);

    m_listFrame = new QGroupBox(QStringLiteral("Keyword Suggestion List"), m_workArea);
    m_listFrame->setObjectName(QStringLiteral("fmeSuggestion"));
    m_listFrame->setGeometry(twips(120), twips(120), twips(11655), twips(7140));

    m_resultList = new QTreeView(m_listFrame);
    m_resultList->setObjectName(QStringLiteral("lstKeyword"));
    m_resultList->setGeometry(twips(120), twips(240), twips(11415), twips(6240));
    // Measured before the list gets its rows' model, which sets the columns.
    m_stripes = setStripedRows(m_resultList, OddRows, EvenRows);
    m_resultList->setModel(&m_controller.results());
    m_resultList->setRootIsDecorated(false);
    m_resultList->setItemsExpandable(false);
    m_resultList->setUniformRowHeights(true);
    m_resultList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_resultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_resultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_resultList->setSortingEnabled(false);
    m_resultList->header()->setSectionsClickable(true);
    m_resultList->header()->setSectionsMovable(false);
    m_resultList->header()->setStretchLastSection(false);
    for (int column = 0; column < ListColumnCount; ++column)
        m_resultList->setColumnWidth(column, twips(ListColumnWidthsTwips[column]));

    m_historyLabel = new QLabel(QStringLiteral("Keyword History"), m_listFrame);
    m_historyLabel->setObjectName(QStringLiteral("Label1"));
    m_historyLabel->setGeometry(twips(120), twips(6630), twips(1365), twips(195));

    m_keywordBox = new QComboBox(m_listFrame);
    m_keywordBox->setObjectName(QStringLiteral("cmbKeyword"));
    m_keywordBox->setEditable(true);
    m_keywordBox->setInsertPolicy(QComboBox::NoInsert);
    m_keywordBox->setDuplicatesEnabled(true);
    // The box completes nothing by itself: what is typed is what is requested.
    m_keywordBox->setCompleter(nullptr);
    m_keywordBox->setGeometry(twips(1560), twips(6600), twips(6015), twips(315));
    m_historyLabel->setBuddy(m_keywordBox);

    m_deleteButton = button("cmdDelete", "&Delete", 7680, 6600, 1200, 300, m_listFrame);
    // "Deleta" is the button's own spelling, kept on purpose.
    m_deleteAllButton = button("cmdDeleteAll", "Deleta &All", 9000, 6600, 1200, 300, m_listFrame);
    m_suggestButton = button("cmdSuggestion", "&Suggest", 10320, 6600, 1200, 300, m_listFrame);

    m_settingsButton = button("cmdSetting", "&Setting", 240, 7680, 1095, 300, this);
    m_exportButton = button("cmdExportTXT", "&Export", 1440, 7680, 1095, 300, this);
    m_helpButton = button("cmdHelp", "&Help", 2640, 7680, 1095, 300, this);
    m_aboutButton = button("cmdAbout", "A&bout", 3840, 7680, 1095, 300, this);
    m_exitButton = button("cmdExit", "E&xit", 10560, 7680, 1095, 300, this);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("sbStatus"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->setGeometry(0, twips(8115), twips(11880), twips(375));
    // A permanent panel: temporary status-bar messages never hide it.
    m_statusPanel = new QLabel(QStringLiteral("Ready to accept keyword"));
    m_statusPanel->setObjectName(QStringLiteral("sbStatusPanel"));
    m_statusBar->addPermanentWidget(m_statusPanel, 1);
    // Left of the status text, and only while the figures came from a service: the window opens
    // as it always has.
    m_sourcePanel = new QLabel(m_statusBar);
    m_sourcePanel->setObjectName(QStringLiteral("sbSourcePanel"));
    m_sourcePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_sourcePanel->setContentsMargins(2, 0, 2, 0);
    m_sourcePanel->hide();
    m_statusBar->insertPermanentWidget(0, m_sourcePanel);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("prgBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setGeometry(twips(8280), twips(8220), twips(3495), twips(210));
    m_progressBar->raise();

    // Beyond the right edge: it only takes the focus away from the keyword box and buttons.
    m_focusSink = new QLineEdit(QStringLiteral("Text1"), this);
    m_focusSink->setObjectName(QStringLiteral("txtDumb"));
    m_focusSink->setGeometry(twips(12000), twips(1440), twips(735), twips(285));

    connect(m_suggestButton, &QPushButton::clicked, this, &MainWindow::onSuggestClicked);
    connect(m_keywordBox, &QComboBox::editTextChanged, this, &MainWindow::onKeywordTextChanged);
    connect(m_deleteButton, &QPushButton::clicked, this, &MainWindow::onDeleteClicked);
    connect(m_deleteAllButton, &QPushButton::clicked, this, &MainWindow::onDeleteAllClicked);
    connect(m_exportButton, &QPushButton::clicked, this, &MainWindow::onExportClicked);
    connect(m_settingsButton, &QPushButton::clicked, this, &MainWindow::onSettingsClicked);
    connect(m_resultList->header(), &QHeaderView::sectionClicked, &m_controller,
            &RunController::columnClicked);
    connect(m_resultList, &QTreeView::doubleClicked, this, &MainWindow::onResultDoubleClicked);
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);
    const auto openLink = [this](const QString &address) {
        tellIfNotOpened(m_openInBrowser(address), address);
    };
    connect(m_helpButton, &QPushButton::clicked, this,
            [this, openLink] { (new HelpWindow(this, openLink))->open(); });
    connect(m_aboutButton, &QPushButton::clicked, this,
            [this, openLink] { (new AboutWindow(this, openLink))->open(); });
}

void MainWindow::connectController()
{
    RunController *c = &m_controller;
    connect(c, &RunController::stateChanged, this, &MainWindow::showState);
    connect(c, &RunController::statusChanged, m_statusPanel, &QLabel::setText);
    connect(c, &RunController::shownSourceChanged, this, &MainWindow::showSourceName);
    showSourceName(c->shownSourceName());
    c->setPaidRunConfirmation(
        [this](const QString &question) { return m_boxes->confirm(question); });
    connect(c, &RunController::progressChanged, this, [this](int value, int maximum) {
        m_progressBar->setMaximum(maximum);
        m_progressBar->setValue(value);
    });
    connect(c, &RunController::warning, this, [this](const QString &text) { m_boxes->warn(text); });
    connect(c, &RunController::information, this,
            [this](const QString &text) { m_boxes->inform(text); });
    connect(c, &RunController::historyChanged, this,
            [this] { showKeywordBox(m_controller.history(), QString()); });
    connect(c, &RunController::keywordShown, this,
            [this](const QString &text) { m_keywordBox->setEditText(text); });
    connect(c, &RunController::keywordSelected, this, [this] {
        if (QLineEdit *edit = m_keywordBox->lineEdit())
            edit->selectAll();
    });
    connect(c, &RunController::reportButtonsEnabled, this, [this] {
        for (QPushButton *b : {m_deleteButton, m_deleteAllButton})
            b->setEnabled(true);
        m_exportButton->setEnabled(reportToExportExists());
    });
    connect(c, &RunController::exportAvailable, m_exportButton, &QPushButton::setEnabled);
    connect(c, &RunController::pauseEnded, m_suggestButton,
            [this] { m_suggestButton->setEnabled(true); });
}

void MainWindow::showSourceName(const QString &name)
{
    const bool fromService = !name.isEmpty() && name != ClassicSource().displayName();
    m_sourcePanel->setText(fromService ? QStringLiteral("Figures from ") + name : QString());
    m_sourcePanel->setVisible(fromService);
    m_resultList->setToolTip(fromService ? m_sourcePanel->text() : QString());
}

// The button's caption is the run state as the user sees it.
void MainWindow::showState(RunController::State state)
{
    switch (state) {
    case RunController::State::CheckingConnection:
        return;
    case RunController::State::Fetching:
        m_suggestButton->setText(QStringLiteral("&Stop"));
        m_focusSink->setFocus();
        return;
    case RunController::State::Stopping:
        m_suggestButton->setText(QStringLiteral("&Suggest"));
        m_focusSink->setFocus();
        return;
    case RunController::State::Idle:
        m_suggestButton->setText(QStringLiteral("&Suggest"));
        return;
    case RunController::State::Ended:
        m_suggestButton->setText(QStringLiteral("&Suggestion"));
        return;
    }
}

void MainWindow::showKeywordBox(const QStringList &items, const QString &text)
{
    m_keywordBox->clear();
    m_keywordBox->addItems(items);
    m_keywordBox->setEditText(text);
}

void MainWindow::setFourButtons(bool enabled)
{
    for (QPushButton *b : {m_deleteButton, m_deleteAllButton})
        b->setEnabled(enabled);
    m_exportButton->setEnabled(enabled && reportToExportExists());
    // A run under way keeps its Stop button whatever happens to the history.
    m_suggestButton->setEnabled(enabled || m_controller.state() == RunController::State::Fetching);
}

QString MainWindow::status() const
{
    return m_statusPanel->text();
}

QString MainWindow::keywordText() const
{
    return m_keywordBox->currentText();
}

void MainWindow::onSuggestClicked()
{
    m_controller.suggestPressed(keywordText());
    m_suggestButton->setEnabled(false);
    m_suggestButton->setEnabled(true);
}

void MainWindow::onKeywordTextChanged()
{
    const ButtonStates states =
        buttonStateRule(m_controller.history(), keywordText(), m_controller.runArmed());
    m_deleteButton->setEnabled(states.deleteOne);
    m_deleteAllButton->setEnabled(states.deleteAll);
    m_exportButton->setEnabled(states.exportReport && reportToExportExists());
    // While a run is under way the button is Stop: editing the box must not take it away.
    m_suggestButton->setEnabled(states.suggest
                                || m_controller.state() == RunController::State::Fetching);
}

void MainWindow::onDeleteClicked()
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

void MainWindow::onDeleteAllClicked()
{
    if (!m_boxes->confirm(QStringLiteral("Are you sure you want to delete all keywords ?")))
        return;
    m_controller.deleteAllKeywords();
    showKeywordBox({}, QString());
    setFourButtons(false);
}

void MainWindow::onExportClicked()
{
    if (const std::optional<QString> path = m_controller.reportToExport())
        m_export->exportReport(*path);
    else
        m_exportButton->setEnabled(false); // the report went while the button was offered
}

// Export opens the shown keyword's report; without that file it has nothing to open.
bool MainWindow::reportToExportExists() const
{
    return m_controller.reportToExport().has_value();
}

void MainWindow::onSettingsClicked()
{
    RunController &controller = m_controller;
    (new SettingsDialog(
         std::as_const(controller).pacing().interval(),
         [&controller](qint16 setting) { controller.chooseInterval(setting); }, this))
        ->open();
}

void MainWindow::onResultDoubleClicked(const QModelIndex &index)
{
    if (!index.isValid() || !m_resultList->selectionModel()->isRowSelected(index.row(), {}))
        return;
    const QString address = index.data(ResultListModel::QueryAddressRole).toString();
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

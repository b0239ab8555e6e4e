#include "app/sourceswindow.h"

#include "app/sourcessetup.h"
#include "sources/dataforseo.h"
#include "sources/markets.h"
#include "sources/serpapi.h"
#include "sources/sourcecatalog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Quorvane {

namespace {

QComboBox *sourceBox(const QStringList &ids, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    for (const QString &id : ids)
        box->addItem(findSource(id)->displayName, id);
    return box;
}

QLineEdit *secretEdit(QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

SourcesWindow::SourcesWindow(SourcesSetup *setup, QWidget *parent)
    : QDialog(parent)
    , m_setup(setup)
{
    m_setup->setParent(this);
    setObjectName(QStringLiteral("frmSources"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Sources"));

    m_suggestions = sourceBox(suggestionSourceIds(), this);
    m_suggestions->setObjectName(QStringLiteral("cmbSuggestionSource"));
    m_counts = sourceBox(countSourceIds(), this);
    m_counts->setObjectName(QStringLiteral("cmbCountSource"));
    m_market = new QComboBox(this);
    m_market->setObjectName(QStringLiteral("cmbMarket"));
    for (const MarketChoice &choice : marketChoices())
        m_market->addItem(choice.countryName, choice.market.countryCode);

    m_dataForSeo = new QGroupBox(DataForSeo::Name, this);
    m_dataForSeoLogin = new QLineEdit(m_dataForSeo);
    m_dataForSeoLogin->setObjectName(QStringLiteral("txtDataForSeoLogin"));
    m_dataForSeoPassword = secretEdit(m_dataForSeo);
    m_dataForSeoPassword->setObjectName(QStringLiteral("txtDataForSeoPassword"));
    auto *testDataForSeo = new QPushButton(QStringLiteral("&Test"), m_dataForSeo);
    testDataForSeo->setObjectName(QStringLiteral("cmdTestDataForSeo"));
    auto *dataForSeoForm = new QFormLayout(m_dataForSeo);
    dataForSeoForm->addRow(QStringLiteral("API login:"), m_dataForSeoLogin);
    dataForSeoForm->addRow(QStringLiteral("API password:"), m_dataForSeoPassword);
    dataForSeoForm->addRow(QString(), testDataForSeo);

    m_serpApi = new QGroupBox(SerpApi::Name, this);
    m_serpApiKey = secretEdit(m_serpApi);
    m_serpApiKey->setObjectName(QStringLiteral("txtSerpApiKey"));
    auto *testSerpApi = new QPushButton(QStringLiteral("T&est"), m_serpApi);
    testSerpApi->setObjectName(QStringLiteral("cmdTestSerpApi"));
    auto *serpApiForm = new QFormLayout(m_serpApi);
    serpApiForm->addRow(QStringLiteral("API key:"), m_serpApiKey);
    serpApiForm->addRow(QString(), testSerpApi);

    m_ask = new QCheckBox(QStringLiteral("Ask before a paid run unless it costs under"), this);
    m_ask->setObjectName(QStringLiteral("chkAskBeforePaidRuns"));
    m_threshold = new QDoubleSpinBox(this);
    m_threshold->setObjectName(QStringLiteral("txtAskUnlessUnder"));
    m_threshold->setPrefix(QStringLiteral("$"));
    m_threshold->setDecimals(2);
    m_threshold->setRange(0, 1000);
    m_threshold->setSingleStep(0.25);
    auto *askRow = new QHBoxLayout;
    askRow->addWidget(m_ask);
    askRow->addWidget(m_threshold);
    askRow->addStretch();

    m_cost = new QLabel(this);
    m_cost->setObjectName(QStringLiteral("lblCost"));
    m_cost->setWordWrap(true);
    m_answer = new QLabel(this);
    m_answer->setObjectName(QStringLiteral("lblAnswer"));
    m_answer->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Suggestions from:"), m_suggestions);
    form->addRow(QStringLiteral("Result counts from:"), m_counts);
    form->addRow(QStringLiteral("Market:"), m_market);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_dataForSeo);
    layout->addWidget(m_serpApi);
    layout->addLayout(askRow);
    layout->addWidget(m_cost);
    layout->addWidget(m_answer);
    layout->addWidget(buttons);
    setMinimumWidth(440);

    connect(m_suggestions, &QComboBox::currentIndexChanged, this, [this] { updateKeyFields(); });
    connect(m_counts, &QComboBox::currentIndexChanged, this, [this] { updateKeyFields(); });
    connect(m_ask, &QCheckBox::toggled, m_threshold, &QWidget::setEnabled);
    const auto test = [this](const QString &id) {
        takeFields();
        m_answer->setText(QStringLiteral("Asking %1 ...").arg(findSource(id)->displayName));
        m_setup->test(id, [this](const QString &words) { m_answer->setText(words); });
    };
    connect(testDataForSeo, &QPushButton::clicked, this, [test] { test(DataForSeo::Id); });
    connect(testSerpApi, &QPushButton::clicked, this, [test] { test(SerpApi::Id); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { saveAndClose(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    showSettings();
    m_setup->load([this] { showSettings(); });
}

void SourcesWindow::showSettings()
{
    // Copies: filling one box would otherwise take the others' old contents into the settings.
    const SourceSettings settings = m_setup->settings();
    const SourceCredentials dataForSeo = m_setup->entered(DataForSeo::Id);
    const SourceCredentials serpApi = m_setup->entered(SerpApi::Id);
    m_filling = true;
    m_suggestions->setCurrentIndex(qMax(0, m_suggestions->findData(settings.suggestionSource)));
    m_counts->setCurrentIndex(qMax(0, m_counts->findData(settings.countSource)));
    m_market->setCurrentIndex(qMax(0, m_market->findData(settings.countryCode)));
    m_ask->setChecked(settings.askBeforePaidRuns);
    m_threshold->setEnabled(settings.askBeforePaidRuns);
    m_threshold->setValue(settings.askUnlessUnderDollars);
    // The keychain answers later; what the user typed meanwhile stays.
    const auto fill = [](QLineEdit *edit, const QString &text) {
        if (edit->text().isEmpty())
            edit->setText(text);
    };
    fill(m_dataForSeoLogin, dataForSeo.login);
    fill(m_dataForSeoPassword, dataForSeo.secret);
    fill(m_serpApiKey, serpApi.secret);
    if (!m_setup->keychainNote().isEmpty())
        m_answer->setText(m_setup->keychainNote());
    m_filling = false;
    updateKeyFields();
}

void SourcesWindow::takeFields()
{
    SourceSettings &settings = m_setup->settings();
    settings.suggestionSource = m_suggestions->currentData().toString();
    settings.countSource = m_counts->currentData().toString();
    const Market market = marketFor(m_market->currentData().toString(), QString());
    settings.countryCode = market.countryCode;
    settings.languageCode = market.languageCode;
    settings.askBeforePaidRuns = m_ask->isChecked();
    settings.askUnlessUnderDollars = m_threshold->value();
    m_setup->enter(DataForSeo::Id, {m_dataForSeoLogin->text(), m_dataForSeoPassword->text()});
    m_setup->enter(SerpApi::Id, {QString(), m_serpApiKey->text()});
}

void SourcesWindow::updateKeyFields()
{
    if (m_filling)
        return;
    takeFields();
    const QStringList inUse = m_setup->sourcesInUse();
    m_dataForSeo->setEnabled(inUse.contains(DataForSeo::Id));
    m_serpApi->setEnabled(inUse.contains(SerpApi::Id));
    const RunCost cost =
        estimateRunCost(m_setup->settings().suggestionSource, m_setup->settings().countSource);
    m_cost->setText(cost.isPaid()
                        ? QStringLiteral("One run of 100 phrases costs up to %1 at list prices.")
                              .arg(dollarsText(cost.dollars))
                        : QStringLiteral("The classic pages cost nothing."));
}

void SourcesWindow::saveAndClose()
{
    takeFields();
    const QString problem = m_setup->problem();
    if (!problem.isEmpty()) {
        m_answer->setText(problem);
        return;
    }
    m_answer->setText(QStringLiteral("Saving ..."));
    m_setup->save([this](const QString &words) {
        m_answer->setText(words);
        if (words.startsWith(QLatin1String("Saved.")) && !m_setup->keychainNote().isEmpty())
            return; // stays open so the note about the keychain is read
        accept();
    });
}

} // namespace Quorvane

#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace Quorvane {

class SourcesSetup;

// Where the figures come from: the source of each phase, the keys of the paid sources (kept in
// the system keychain), the market, "Test" and when to ask before a paid run. Shows and forwards
// only; SourcesSetup holds the logic.
class SourcesWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourcesWindow)

public:
    // Takes ownership of `setup`.
    explicit SourcesWindow(SourcesSetup *setup, QWidget *parent = nullptr);

    SourcesSetup &setup() { return *m_setup; }

private:
    void showSettings();
    void takeFields();
    void updateKeyFields();
    void saveAndClose();

    SourcesSetup *m_setup;
    QComboBox *m_suggestions;
    QComboBox *m_counts;
    QGroupBox *m_dataForSeo;
    QLineEdit *m_dataForSeoLogin;
    QLineEdit *m_dataForSeoPassword;
    QGroupBox *m_serpApi;
    QLineEdit *m_serpApiKey;
    QComboBox *m_market;
    QCheckBox *m_ask;
    QDoubleSpinBox *m_threshold;
    QLabel *m_cost;
    QLabel *m_answer;
    bool m_filling = false;
};

} // namespace Quorvane

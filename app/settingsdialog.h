#pragma once

#include <QDialog>

#include <functional>

class QRadioButton;

namespace Quorvane {

// The pacing choice: a pause of 30 minutes after every three runs or none ("Don't care"). A click
// on an option takes effect and is stored at once; the dialog has no Cancel.
class SettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsDialog)

public:
    // choose receives Pacing::PauseAfterThreeRuns or Pacing::NoPause on every click of an
    // option; it keeps the value in memory, stores "Interval" and, for NoPause, ends a pause.
    SettingsDialog(qint16 intervalSetting, std::function<void(qint16)> choose,
                   QWidget *parent = nullptr);

    QRadioButton *option(int index) const { return m_intervalOptions[index]; }

    // What "Sources..." (the dialog's context menu, Ctrl+K) opens; nothing when unset.
    static void setSourcesOpener(std::function<void(QWidget *parent)> opener);

private:
    void onIntervalChosen(int index);

    std::function<void(qint16)> m_choose;
    QRadioButton *m_intervalOptions[2];
};

} // namespace Quorvane

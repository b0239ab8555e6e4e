#include "core/pacing.h"

#include "store/settingsstore.h"

namespace Quorvane {

Pacing::Pacing(Settings &settings, SettingsStore *store, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_store(store)
{
    m_timer.setInterval(MinuteTick);
    connect(&m_timer, &QTimer::timeout, this, &Pacing::minuteTick);
}

qint16 Pacing::interval() const
{
    return m_settings.intervalSetting;
}

bool Pacing::chooseInterval(qint16 setting)
{
    m_settings.intervalSetting = setting;
    if (setting != PauseAfterThreeRuns)
        m_timer.stop();
    if (!m_store)
        return true;
    return m_store->saveInterval(setting);
}

bool Pacing::runFinished()
{
    ++m_runsSincePause;
    if (m_runsSincePause < RunsBeforePause)
        return false;
    if (m_settings.intervalSetting != PauseAfterThreeRuns) {
        // Held at the threshold: switching back to pauses pauses after the next run.
        m_runsSincePause = RunsBeforePause;
        return false;
    }
    m_runsSincePause = 0;
    m_timer.start();
    return true;
}

void Pacing::minuteTick()
{
    if (--m_minutesLeft > 0)
        return;
    m_minutesLeft = PauseMinutes;
    m_timer.stop();
    Q_EMIT pauseEnded();
}

} // namespace Quorvane

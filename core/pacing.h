#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace Quorvane {

class SettingsStore;
struct Settings;

// Pacing between runs, so the services do not take the program for a robot: with the normal
// setting, three finished runs are followed by a pause of 30 minutes in which no run starts.
// It owns the interval setting (kept in the settings record, stored as "Interval"), the count
// of runs since the last pause and the pause's minutes and timer.
class Pacing final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Pacing)

public:
    // The stored values of the interval setting.
    static constexpr qint16 PauseAfterThreeRuns = 0;
    static constexpr qint16 NoPause = 99; // the settings dialog's "Don't care"
    static constexpr int PauseMinutes = 30;
    static constexpr int RunsBeforePause = 3;
    static constexpr std::chrono::milliseconds MinuteTick {60000};

    // settings must outlive the pacing; store may be null (nothing is stored).
    Pacing(Settings &settings, SettingsStore *store, QObject *parent = nullptr);

    qint16 interval() const;
    // The settings dialog's choice: kept in memory and stored at once. NoPause ends a pause under
    // way and keeps the minutes it had left. False when storing failed; the choice holds anyway.
    bool chooseInterval(qint16 setting);

    bool pausing() const { return m_timer.isActive(); }
    int minutesLeft() const { return m_minutesLeft; }
    // Tests stand in for a pause cut short.
    void setMinutesLeft(int minutes) { m_minutesLeft = minutes; }
    int runsSincePause() const { return m_runsSincePause; }

    // A run finished with a report: counts it, and after the third starts the pause when the
    // setting asks for one. True when a pause began.
    bool runFinished();
    // The program ends: no more ticks.
    void stop() { m_timer.stop(); }

    // Tests shorten the minute.
    void setMinuteTick(std::chrono::milliseconds tick) { m_timer.setInterval(tick); }

Q_SIGNALS:
    void pauseEnded();

private:
    void minuteTick();

    Settings &m_settings;
    SettingsStore *m_store;
    QTimer m_timer;
    int m_runsSincePause = 0;
    int m_minutesLeft = PauseMinutes;
};

} // namespace Quorvane

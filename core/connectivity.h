#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace Quorvane {

// One yes/no ask whether the computer has a connection.
using OnlineProbe = std::function<bool()>;

// The system's answer: Qt's reachability where a network information backend reports one,
// otherwise whether any interface other than loopback is up and running.
bool systemReportsOnline();

// isOnline asks the probe, and after a no asks again up to three times, 0.2 s apart, without
// blocking the event loop. The answer is delivered once per call.
class OnlineCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnlineCheck)

public:
    static constexpr int Retries = 3;
    static constexpr std::chrono::milliseconds RetryPause {200};

    explicit OnlineCheck(QObject *parent = nullptr);

    // Tests and the sample-data program decide the answer.
    void setProbe(OnlineProbe probe);

    // A yes from the first ask is answered before this returns; otherwise the answer comes
    // later from the event loop. A call while a check is pending replaces its answer.
    void isOnline(std::function<void(bool)> answer);
    bool pending() const { return bool(m_answer); }
    // Drops a pending answer; it is never delivered.
    void cancel();

private:
    void retry();
    void deliver(bool online);

    OnlineProbe m_probe;
    std::function<void(bool)> m_answer;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_retriesLeft = 0;
};

} // namespace Quorvane

#include "core/connectivity.h"

#include <QNetworkInformation>
#include <QNetworkInterface>

namespace Quorvane {

namespace {

bool anyInterfaceUp()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : interfaces) {
        const auto flags = candidate.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning))
            return true;
    }
    return false;
}

} // namespace

bool systemReportsOnline()
{
    // Loading is tried once; without a backend every ask falls back to the interfaces.
    static const bool haveBackend =
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    if (haveBackend) {
        if (const QNetworkInformation *info = QNetworkInformation::instance()) {
            switch (info->reachability()) {
            case QNetworkInformation::Reachability::Online:
                return true;
            case QNetworkInformation::Reachability::Disconnected:
            case QNetworkInformation::Reachability::Local:
            case QNetworkInformation::Reachability::Site:
                return false;
            case QNetworkInformation::Reachability::Unknown:
                break;
            }
        }
    }
    return anyInterfaceUp();
}

OnlineCheck::OnlineCheck(QObject *parent)
    : QObject(parent)
    , m_probe(&systemReportsOnline)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OnlineCheck::retry);
}

void OnlineCheck::setProbe(OnlineProbe probe)
{
    m_probe = probe ? std::move(probe) : OnlineProbe(&systemReportsOnline);
}

void OnlineCheck::isOnline(std::function<void(bool)> answer)
{
    cancel();
    if (m_probe()) {
        answer(true);
        return;
    }
    m_answer = std::move(answer);
    m_retriesLeft = Retries;
    m_clock.start();
    m_timer.start(RetryPause);
}

void OnlineCheck::cancel()
{
    m_timer.stop();
    m_answer = nullptr;
}

void OnlineCheck::retry()
{
    // A timer may fire a little early: the pause is measured, not assumed.
    const auto waited = std::chrono::nanoseconds(m_clock.nsecsElapsed());
    if (waited < RetryPause) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(RetryPause - waited);
        m_timer.start(std::max(left, std::chrono::milliseconds(1)));
        return;
    }
    if (m_probe()) {
        deliver(true);
        return;
    }
    if (--m_retriesLeft <= 0) {
        deliver(false);
        return;
    }
    m_clock.start();
    m_timer.start(RetryPause);
}

void OnlineCheck::deliver(bool online)
{
    auto answer = std::move(m_answer);
    m_answer = nullptr;
    if (answer)
        answer(online);
}

} // namespace Quorvane

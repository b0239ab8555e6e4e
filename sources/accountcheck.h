#pragma once

#include "sources/sourcecatalog.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QTimer;

namespace Quorvane {

// Sends one request and hands back its outcome: the Sources window's "Test". Errors are told
// in words of our own, as Qt's carry the address and the address may carry a key.
class RequestSender final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RequestSender)

public:
    explicit RequestSender(QObject *parent = nullptr);
    ~RequestSender() override;

    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    // A request still under way is cancelled (its callback gets a cancelled outcome).
    void send(const SourceRequest &request, std::function<void(const FetchOutcome &)> done);
    void cancel();
    bool busy() const { return m_reply != nullptr; }

private:
    void finish(FetchOutcome outcome);

    QNetworkAccessManager *m_network;
    QTimer *m_timer;
    QPointer<QNetworkReply> m_reply;
    std::function<void(const FetchOutcome &)> m_done;
    std::chrono::milliseconds m_timeout {30000};
    bool m_timedOut = false;
};

// Retry-After in seconds (its date form is read too); nothing when absent or unreadable.
std::optional<std::chrono::seconds> retryAfterSeconds(const QByteArray &header,
                                                      const QDateTime &now);

} // namespace Quorvane

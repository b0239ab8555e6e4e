#include "sources/accountcheck.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace Quorvane {

namespace {

QString errorWords(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("the connection was refused");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("the host was not found");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("no answer in time");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("the connection was closed");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("the secure connection failed");
    default:
        return QStringLiteral("a network error");
    }
}

} // namespace

std::optional<std::chrono::seconds> retryAfterSeconds(const QByteArray &header,
                                                      const QDateTime &now)
{
    const QByteArray text = header.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong seconds = text.toLongLong(&ok);
    if (ok)
        return seconds >= 0 ? std::optional(std::chrono::seconds(seconds)) : std::nullopt;
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!at.isValid())
        return std::nullopt;
    return std::chrono::seconds(qMax<qint64>(0, now.secsTo(at)));
}

RequestSender::RequestSender(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_reply) {
            m_timedOut = true;
            m_reply->abort();
        }
    });
}

RequestSender::~RequestSender()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void RequestSender::send(const SourceRequest &request,
                         std::function<void(const FetchOutcome &)> done)
{
    cancel();
    QNetworkRequest networkRequest(request.url);
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    m_done = std::move(done);
    m_timedOut = false;
    m_reply = request.method == "GET"
        ? m_network->get(networkRequest)
        : m_network->sendCustomRequest(networkRequest, request.method, request.body);
    QNetworkReply *reply = m_reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (reply != m_reply)
            return;
        FetchOutcome outcome;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && !m_timedOut) {
            outcome.answered = true;
            outcome.httpStatus = status.toInt();
            outcome.body = reply->readAll();
            outcome.retryAfter =
                retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        } else {
            outcome.errorText =
                errorWords(m_timedOut ? QNetworkReply::TimeoutError : reply->error());
        }
        finish(outcome);
    });
    m_timer->start(m_timeout);
}

void RequestSender::cancel()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    FetchOutcome outcome;
    outcome.cancelled = true;
    finish(outcome);
}

void RequestSender::finish(FetchOutcome outcome)
{
    m_timer->stop();
    if (m_reply) {
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (auto done = std::exchange(m_done, nullptr))
        done(outcome);
}

} // namespace Quorvane

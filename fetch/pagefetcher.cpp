#include "fetch/pagefetcher.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace Quorvane {

namespace {

// What Qt reads from the network ahead of us; the page itself is gathered in our own buffer.
constexpr qint64 ReplyBufferBytes = 256 * 1024;
// Room taken at once for a declared length; a head that declares much but sends little costs
// no more than this.
constexpr qint64 ReserveBytes = 1024 * 1024;
// Connections Qt keeps for reuse are let go once no page has been read for this long: a run's
// pages, 0.2 s apart, still share them, and nothing stays open after the run.
constexpr int IdleConnectionMs = 1000;
// Qt 6.4's fixed number of HTTP/1.1 connections per host in one network access manager.
constexpr int ConnectionsPerManager = 6;

bool canRead(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// The system's proxy settings for this fetcher's reads alone, rather than switched on for every
// network access in the process.
class SystemProxies final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// The statuses Qt follows when the answer names a new address.
bool isFollowedRedirect(int code)
{
    return code == 301 || code == 302 || code == 303 || code == 305 || code == 307 || code == 308;
}

bool isDigits(const QByteArray &text)
{
    return !text.isEmpty()
        && std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

// The declared body length, or nullopt when none is declared. Qt joins repeated headers with
// ", ", so disagreeing declarations arrive as a list; every value must be the same number.
// Returns -1 for a length that cannot be trusted.
std::optional<qint64> declaredLength(const QNetworkReply &reply)
{
    if (!reply.hasRawHeader("Content-Length"))
        return std::nullopt;
    std::optional<qint64> length;
    for (const QByteArray &part : reply.rawHeader("Content-Length").split(',')) {
        const QByteArray digits = part.trimmed();
        bool ok = isDigits(digits) && digits.size() <= 18;
        const qint64 value = ok ? digits.toLongLong(&ok) : -1;
        if (!ok || (length && *length != value))
            return -1;
        length = value;
    }
    return length;
}

// Seconds to wait from a Retry-After header: a number of seconds or an HTTP date.
std::optional<std::chrono::seconds> retryAfter(const QNetworkReply &reply)
{
    const QByteArray value = reply.rawHeader("Retry-After").trimmed();
    if (value.isEmpty())
        return std::nullopt;
    if (isDigits(value))
        return std::chrono::seconds(qMin(value.toLongLong(), qint64(24 * 3600)));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return std::chrono::seconds(
        std::clamp<qint64>(QDateTime::currentDateTimeUtc().secsTo(when), 0, 24 * 3600));
}

// Qt's own error texts name the address, and one service carries its key there: the words
// for a failure are ours.
QString transportErrorText(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("the connection was refused");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("the server's name is unknown");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("the server did not answer in time");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("no secure connection could be made");
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("the server redirected too often or to an unsafe address");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return QStringLiteral("the proxy did not pass the request on");
    default:
        return QStringLiteral("the connection broke before the answer was complete");
    }
}

// Errors Qt reports for an answer whose status is an error: the answer itself arrived.
bool isStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied
            && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError
            && error <= QNetworkReply::UnknownServerError)
        || error == QNetworkReply::ProtocolInvalidOperationError;
}

} // namespace

struct PageFetcher::Private
{
    struct Download
    {
        quint64 id = 0;
        QString key;
        QNetworkReply *reply = nullptr;
        QNetworkAccessManager *network = nullptr; // the one it was sent through
        QTimer deadline;
        QByteArray body;
        std::optional<qint64> declared; // the answer's Content-Length, once its head is in
        bool headSeen = false;
        int status = 0;
        std::optional<std::chrono::seconds> retryAfter;
    };

    PageFetcher *q;
    StatusSink status;
    // Qt 6.4 opens at most six HTTP/1.1 connections per host and manager, and the rest of a
    // source's parallel requests would wait in its queue: a run sending more at once (ten
    // metered answers of two seconds each) spreads them over further managers, one per six.
    // One request at a time, as the classic pages go, always uses the first.
    std::vector<std::unique_ptr<QNetworkAccessManager>> networks;
    QStringList pending; // positions 1 to n; the placeholder at position 0 is implicit
    std::vector<std::unique_ptr<Download>> active; // in the order the reads started
    quint64 nextId = 1;
    int deadlineMs = DeadlineMs;
    QTimer idle;

    Private(PageFetcher *owner, StatusSink sink)
        : q(owner)
        , status(sink ? std::move(sink) : [](const QString &) {})
    {
        addNetwork();
        idle.setSingleShot(true);
        idle.setInterval(IdleConnectionMs);
        QObject::connect(&idle, &QTimer::timeout, q, [this] {
            if (active.empty()) {
                for (const auto &network : networks)
                    network->clearConnectionCache();
            }
        });
    }

    QNetworkAccessManager &addNetwork()
    {
        networks.push_back(std::make_unique<QNetworkAccessManager>());
        // The manager owns the factory.
        networks.back()->setProxyFactory(new SystemProxies);
        return *networks.back();
    }

    // The first manager with a connection to spare, or a new one.
    QNetworkAccessManager &freeNetwork()
    {
        for (const auto &network : networks) {
            const auto busy = std::count_if(active.begin(), active.end(), [&](const auto &d) {
                return d->reply && d->network == network.get();
            });
            if (busy < ConnectionsPerManager)
                return *network;
        }
        return addNetwork();
    }

    void write(const QString &text) const { status(text); }

    Download *find(quint64 id) const
    {
        for (const auto &download : active) {
            if (download->id == id)
                return download.get();
        }
        return nullptr;
    }

    // Deleting a reply that is still running ends its request and drops its connection.
    // Not abort(): that reports an error of its own, and Qt warns when the error it had
    // already queued for an error status (404, 500) arrives after it.
    void stopReply(Download &download)
    {
        if (QNetworkReply *reply = download.reply) {
            download.reply = nullptr;
            QObject::disconnect(reply, nullptr, q, nullptr);
            reply->deleteLater();
        }
    }

    // Takes the download out of the active list and stops its read for good, so that nothing
    // is concluded twice.
    std::unique_ptr<Download> detach(quint64 id)
    {
        const auto it = std::find_if(active.begin(), active.end(),
                                     [id](const auto &download) { return download->id == id; });
        if (it == active.end())
            return nullptr;
        std::unique_ptr<Download> download = std::move(*it);
        active.erase(it);
        download->deadline.stop();
        stopReply(*download);
        if (active.empty())
            idle.start();
        return download;
    }

    void read(Download &download, const SourceRequest &request);
    void onHead(quint64 id);
    void onData(quint64 id);
    void onFinished(quint64 id);
    bool takeData(Download &download);
    void fail(quint64 id, const QString &why);
    void complete(quint64 id);
};

void PageFetcher::Private::read(Download &download, const SourceRequest &asked)
{
    QNetworkRequest request(asked.url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("Mozilla/5.0 (compatible; Quorvane/1.2)"));
    request.setRawHeader("Accept", "text/html, */*");
    // The source's own headers (a key, a body's type) may replace the defaults above.
    for (const auto &[name, value] : asked.headers)
        request.setRawHeader(name, value);
    // Asked for plainly, a compressed answer is refused at its head instead of being inflated
    // without bound.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    // HTTP/1.1 only: its framing is what the checks below rely on.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    QNetworkAccessManager &network = freeNetwork();
    download.network = &network;
    QNetworkReply *reply = asked.method == "GET"
        ? network.get(request)
        : network.sendCustomRequest(request, asked.method, asked.body);
    reply->setReadBufferSize(ReplyBufferBytes);
    download.reply = reply;
    const quint64 id = download.id;
    QObject::connect(reply, &QNetworkReply::redirected, q, [this, id] {
        if (find(id))
            write(QStringLiteral("Redirecting now ..."));
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, q, [this, id] { onHead(id); });
    QObject::connect(reply, &QNetworkReply::readyRead, q, [this, id] { onData(id); });
    QObject::connect(reply, &QNetworkReply::finished, q, [this, id] { onFinished(id); });
}

// The head of the final answer: the page's status, coding and declared length are known.
void PageFetcher::Private::onHead(quint64 id)
{
    Download *download = find(id);
    if (!download || !download->reply || download->headSeen)
        return;
    QNetworkReply &reply = *download->reply;
    const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Qt shows the head of every redirect it follows; the page's own head comes later.
    if (code == 0 || isFollowedRedirect(code))
        return;
    download->headSeen = true;
    download->status = code;
    if (code == 429 || code == 503)
        download->retryAfter = retryAfter(reply);
    const QPointer<PageFetcher> self(q);
    write(QStringLiteral("Processing ..."));
    if (!self || !find(id))
        return;
    const QByteArray coding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity") {
        fail(id, QStringLiteral("the answer came compressed though it was asked for plainly"));
        return;
    }
    // With a transfer coding the body's end is the coding's to say, not a declared length.
    if (!reply.hasRawHeader("Transfer-Encoding"))
        download->declared = declaredLength(reply);
    if (download->declared && (*download->declared < 0 || *download->declared > MaxPageBytes)) {
        fail(id, QStringLiteral("the answer's declared size is unreadable or too large"));
        return;
    }
    if (download->declared)
        download->body.reserve(qMin(*download->declared, ReserveBytes));
}

void PageFetcher::Private::onData(quint64 id)
{
    Download *download = find(id);
    if (!download || !download->reply)
        return;
    if (!download->headSeen)
        onHead(id);
    download = find(id);
    if (download && !takeData(*download))
        fail(id, QStringLiteral("the answer was larger than 16 MiB"));
}

// Moves what the reply holds into the page; false once the page would pass the limit.
bool PageFetcher::Private::takeData(Download &download)
{
    QNetworkReply &reply = *download.reply;
    if (download.body.size() + reply.bytesAvailable() > MaxPageBytes)
        return false;
    download.body += reply.readAll();
    return true;
}

void PageFetcher::Private::onFinished(quint64 id)
{
    Download *download = find(id);
    if (!download || !download->reply)
        return;
    const QNetworkReply::NetworkError error = download->reply->error();
    // An error status is an answer too: its body says why (a refused key, a limit reached).
    if (error != QNetworkReply::NoError && !(isStatusError(error) && download->headSeen)) {
        fail(id, transportErrorText(error));
        return;
    }
    if (!download->headSeen)
        onHead(id);
    download = find(id);
    if (!download)
        return;
    // Qt can end a read cut short without an error; the declared length tells. A redirect that
    // was not followed is no answer.
    if (!download->headSeen || !takeData(*download)
        || (download->declared && download->body.size() != *download->declared)) {
        fail(id,
             download->headSeen ? QStringLiteral("the answer was cut short")
                                : QStringLiteral("the server sent no usable answer"));
        return;
    }
    complete(id);
}

void PageFetcher::Private::fail(quint64 id, const QString &why)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    // Step A: the first pending position holding the key goes, found or not the event follows.
    const qsizetype at = pending.indexOf(download->key);
    if (at >= 0)
        pending.removeAt(at);
    FetchOutcome outcome;
    outcome.errorText = why;
    Q_EMIT q->requestEnded(download->key, outcome);
}

void PageFetcher::Private::complete(quint64 id)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    const bool page = download->status >= 200 && download->status < 300;
    if (page) {
        // Step B: only the oldest pending key is taken off; a later key stays listed.
        if (!pending.isEmpty() && pending.first() == download->key)
            pending.removeFirst();
    } else {
        // An error status ends the read as a failure does (step A).
        const qsizetype at = pending.indexOf(download->key);
        if (at >= 0)
            pending.removeAt(at);
    }
    FetchOutcome outcome;
    outcome.answered = true;
    outcome.httpStatus = download->status;
    outcome.body = std::move(download->body);
    outcome.retryAfter = download->retryAfter;
    // Only a 2xx answer is the page the request asked for.
    if (page) {
        const QPointer<PageFetcher> self(q);
        write(QStringLiteral("Completed download"));
        if (!self)
            return;
    }
    Q_EMIT q->requestEnded(download->key, outcome);
}

PageFetcher::PageFetcher(StatusSink status, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(status)))
{ }

PageFetcher::~PageFetcher()
{
    if (!d->pending.isEmpty())
        cancelAll();
    // Reads started from within a cancel event are stopped without an event: nobody is left
    // to hear it.
    while (!d->active.empty())
        d->detach(d->active.front()->id);
}

void PageFetcher::send(const SourceRequest &request, const QString &key)
{
    d->pending.append(key);
    d->idle.stop();
    auto download = std::make_unique<Private::Download>();
    const quint64 id = d->nextId++;
    download->id = id;
    download->key = key;
    download->deadline.setSingleShot(true);
    // A coarse timer may fire up to 5% early; a page gets its whole time.
    download->deadline.setTimerType(Qt::PreciseTimer);
    connect(&download->deadline, &QTimer::timeout, this,
            [this, id] { d->fail(id, QStringLiteral("the server did not answer in time")); });
    download->deadline.start(d->deadlineMs);
    Private::Download &started = *download;
    d->active.push_back(std::move(download));
    if (canRead(request.url)) {
        d->read(started, request);
    } else {
        // An address that is not a web page fails like any read, after this call has returned.
        QMetaObject::invokeMethod(
            this, [this, id] { d->fail(id, QStringLiteral("the address is not a web address")); },
            Qt::QueuedConnection);
    }
}

bool PageFetcher::cancelAll()
{
    const QStringList keys = d->pending;
    const QPointer<PageFetcher> self(this);
    for (const QString &key : keys) {
        // The oldest read under this key; a key whose read has already ended cancels nothing.
        const auto it = std::find_if(d->active.begin(), d->active.end(),
                                     [&key](const auto &download) { return download->key == key; });
        if (it != d->active.end())
            d->detach((*it)->id);
        d->write(QStringLiteral("Canceled download"));
        FetchOutcome outcome;
        outcome.cancelled = true;
        outcome.errorText = QStringLiteral("cancelled");
        Q_EMIT requestEnded(key, outcome);
        if (!self)
            return true;
    }
    // The keys taken at the start go; a download begun from within an event stays listed.
    for (const QString &key : keys)
        d->pending.removeOne(key);
    return true;
}

QStringList PageFetcher::pendingRequests() const
{
    return d->pending;
}

void PageFetcher::setDeadlineForTesting(int milliseconds)
{
    d->deadlineMs = milliseconds;
}

} // namespace Quorvane

#include "fetch/pagefetcher.h"

#include "fetch/pagetext.h"

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

} // namespace

struct PageFetcher::Private
{
    struct Download
    {
        quint64 id = 0;
        QString key;
        QNetworkReply *reply = nullptr;
        QTimer deadline;
        QByteArray body;
        std::optional<qint64> declared; // the answer's Content-Length, once its head is in
        bool headSeen = false;
    };

    PageFetcher *q;
    SuggestionTable &table;
    const bool &stopRequested;
    const qint16 &parsePhase;
    StatusSink status;
    QNetworkAccessManager network;
    QStringList pending; // positions 1 to n; the placeholder at position 0 is implicit
    std::vector<std::unique_ptr<Download>> active; // in the order the reads started
    quint64 nextId = 1;
    int deadlineMs = DeadlineMs;
    QTimer idle;

    Private(PageFetcher *owner, SuggestionTable &t, const bool &stop, const qint16 &phase,
            StatusSink sink)
        : q(owner)
        , table(t)
        , stopRequested(stop)
        , parsePhase(phase)
        , status(sink ? std::move(sink) : [](const QString &) {})
    {
        // The manager owns the factory.
        network.setProxyFactory(new SystemProxies);
        idle.setSingleShot(true);
        idle.setInterval(IdleConnectionMs);
        QObject::connect(&idle, &QTimer::timeout, q, [this] {
            if (active.empty())
                network.clearConnectionCache();
        });
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

    void read(Download &download, const QUrl &url);
    void onHead(quint64 id);
    void onData(quint64 id);
    void onFinished(quint64 id);
    bool takeData(Download &download);
    void fail(quint64 id);
    void complete(quint64 id);
};

void PageFetcher::Private::read(Download &download, const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("Mozilla/5.0 (compatible; Quorvane/1.2)"));
    request.setRawHeader("Accept", "text/html, */*");
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

    QNetworkReply *reply = network.get(request);
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
    const QPointer<PageFetcher> self(q);
    write(QStringLiteral("Processing ..."));
    if (!self || !find(id))
        return;
    // Only a 2xx answer is the page; an error status, or a redirect not followed, is not.
    if (code < 200 || code >= 300) {
        fail(id);
        return;
    }
    const QByteArray coding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity") {
        fail(id);
        return;
    }
    // With a transfer coding the body's end is the coding's to say, not a declared length.
    if (!reply.hasRawHeader("Transfer-Encoding"))
        download->declared = declaredLength(reply);
    if (download->declared && (*download->declared < 0 || *download->declared > MaxPageBytes)) {
        fail(id);
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
        fail(id);
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
    if (download->reply->error() != QNetworkReply::NoError) {
        fail(id);
        return;
    }
    if (!download->headSeen)
        onHead(id);
    download = find(id);
    if (!download)
        return;
    // Qt can end a read cut short without an error; the declared length tells.
    if (!download->headSeen || !takeData(*download)
        || (download->declared && download->body.size() != *download->declared)) {
        fail(id);
        return;
    }
    complete(id);
}

void PageFetcher::Private::fail(quint64 id)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    // Step A: the first pending position holding the key goes, found or not the event follows.
    const qsizetype at = pending.indexOf(download->key);
    if (at >= 0)
        pending.removeAt(at);
    const QPointer<PageFetcher> self(q);
    Q_EMIT q->downloadFailed(download->key);
    if (self)
        Q_EMIT q->downloadHtmlComplete();
}

void PageFetcher::Private::complete(quint64 id)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    // Step B: only the oldest pending key is taken off; a later key stays listed.
    if (!pending.isEmpty() && pending.first() == download->key)
        pending.removeFirst();
    write(QStringLiteral("Completed download"));
    const QString html = pageText(download->body);
    if (parsePhase == 0)
        parseKeyword(html, download->key, table, stopRequested, status);
    else if (parsePhase == 1)
        parseGoogleResults(html, download->key, table, stopRequested, status);
    Q_EMIT q->downloadHtmlComplete();
}

PageFetcher::PageFetcher(SuggestionTable &table, const bool &stopRequested,
                         const qint16 &parsePhase, StatusSink status, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, table, stopRequested, parsePhase, std::move(status)))
{ }

PageFetcher::~PageFetcher()
{
    if (!d->pending.isEmpty())
        cancelAllDownload();
    // Reads started from within a cancel event are stopped without an event: nobody is left
    // to hear it.
    while (!d->active.empty())
        d->detach(d->active.front()->id);
}

void PageFetcher::beginDownload(const QString &url, const QString &saveFile)
{
    d->pending.append(saveFile);
    d->idle.stop();
    auto download = std::make_unique<Private::Download>();
    const quint64 id = d->nextId++;
    download->id = id;
    download->key = saveFile;
    download->deadline.setSingleShot(true);
    // A coarse timer may fire up to 5% early; a page gets its whole time.
    download->deadline.setTimerType(Qt::PreciseTimer);
    connect(&download->deadline, &QTimer::timeout, this, [this, id] { d->fail(id); });
    download->deadline.start(d->deadlineMs);
    Private::Download &started = *download;
    d->active.push_back(std::move(download));
    const QUrl address(url);
    if (canRead(address)) {
        d->read(started, address);
    } else {
        // An address that is not a web page fails like any read, after this call has returned.
        QMetaObject::invokeMethod(
            this, [this, id] { d->fail(id); }, Qt::QueuedConnection);
    }
}

bool PageFetcher::cancelAllDownload()
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
        Q_EMIT downloadHtmlComplete();
        if (!self)
            return true;
    }
    // The keys taken at the start go; a download begun from within an event stays listed.
    for (const QString &key : keys)
        d->pending.removeOne(key);
    return true;
}

QStringList PageFetcher::pendingDownloads() const
{
    return d->pending;
}

void PageFetcher::setDeadlineForTesting(int milliseconds)
{
    d->deadlineMs = milliseconds;
}

} // namespace Quorvane

#include "pagefetcher.h"

#include "pageread.h"
#include "pagetext.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

namespace Quorvane {

struct ocxParseWeb::Private
{
    struct Download
    {
        quint64 id = 0;
        QString key;
        PageRead *read = nullptr;
        int redirects = 0;
        QTimer deadline;
    };

    ocxParseWeb *q;
    SuggestionTable &table;
    const bool &stopRequested;
    const qint16 &parsePhase;
    StatusSink status;
    QStringList pending; // positions 1 to n; the placeholder at position 0 is implicit
    std::vector<std::unique_ptr<Download>> active; // in the order the reads started
    quint64 nextId = 1;
    int deadlineMs = DeadlineMs;

    Private(ocxParseWeb *owner, SuggestionTable &t, const bool &stop, const qint16 &phase,
            StatusSink sink)
        : q(owner)
        , table(t)
        , stopRequested(stop)
        , parsePhase(phase)
        , status(sink ? std::move(sink) : [](const QString &) {})
    { }

    void write(const QString &text) const { status(text); }

    Download *find(quint64 id) const
    {
        for (const auto &download : active) {
            if (download->id == id)
                return download.get();
        }
        return nullptr;
    }

    static void stopRead(Download &download)
    {
        if (PageRead *read = download.read) {
            download.read = nullptr;
            read->abort();
            read->deleteLater();
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
        stopRead(*download);
        return download;
    }

    void read(quint64 id, const QUrl &url);
    void onRedirected(quint64 id, const QUrl &target);
    void fail(quint64 id);
    void complete(quint64 id, const QByteArray &bytes);
};

void ocxParseWeb::Private::read(quint64 id, const QUrl &url)
{
    Download *download = find(id);
    if (!download)
        return;
    auto *read = new PageRead(url, MaxPageBytes, q);
    download->read = read;
    QObject::connect(read, &PageRead::responseStarted, q, [this, id] {
        if (find(id))
            write(QStringLiteral("Processing ..."));
    });
    QObject::connect(read, &PageRead::redirected, q,
                     [this, id](const QUrl &target) { onRedirected(id, target); });
    QObject::connect(read, &PageRead::succeeded, q,
                     [this, id](const QByteArray &body) { complete(id, body); });
    QObject::connect(read, &PageRead::failed, q, [this, id] { fail(id); });
    read->start();
}

void ocxParseWeb::Private::onRedirected(quint64 id, const QUrl &target)
{
    Download *download = find(id);
    if (!download)
        return;
    const QUrl from = download->read ? download->read->url() : QUrl();
    stopRead(*download);
    // Never from an encrypted page to a plain one.
    const bool downgrade = from.scheme().toLower() == QLatin1String("https")
        && target.scheme().toLower() != QLatin1String("https");
    if (++download->redirects > MaxRedirects || !PageRead::canRead(target) || downgrade) {
        fail(id);
        return;
    }
    write(QStringLiteral("Redirecting now ..."));
    read(id, target);
}

void ocxParseWeb::Private::fail(quint64 id)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    // Step A: the first pending position holding the key goes, found or not the event follows.
    const qsizetype at = pending.indexOf(download->key);
    if (at >= 0)
        pending.removeAt(at);
    Q_EMIT q->DownloadHtmlComplete();
}

void ocxParseWeb::Private::complete(quint64 id, const QByteArray &bytes)
{
    const std::unique_ptr<Download> download = detach(id);
    if (!download)
        return;
    // Step B: only the oldest pending key is taken off; a later key stays listed.
    if (!pending.isEmpty() && pending.first() == download->key)
        pending.removeFirst();
    write(QStringLiteral("Completed download"));
    try {
        const QString html = PageText(bytes);
        if (parsePhase == 0)
            ParseKeyword(html, download->key, table, stopRequested, status);
        else if (parsePhase == 1)
            ParseGoogleResults(html, download->key, table, stopRequested, status);
    } catch (...) {
        // A page that cannot be handed over still ends with its one event.
    }
    Q_EMIT q->DownloadHtmlComplete();
}

ocxParseWeb::ocxParseWeb(SuggestionTable &table, const bool &stopRequested,
                         const qint16 &parsePhase, StatusSink status, QObject *parent)
    : QObject(parent)
    , d(new Private(this, table, stopRequested, parsePhase, std::move(status)))
{ }

ocxParseWeb::~ocxParseWeb()
{
    if (!d->pending.isEmpty())
        CancelAllDownload();
    // Reads started from within a cancel event are stopped without an event: nobody is left
    // to hear it.
    while (!d->active.empty())
        d->detach(d->active.front()->id);
    delete d;
}

void ocxParseWeb::BeginDownload(const QString &URL, const QString &SaveFile)
{
    d->pending.append(SaveFile);
    auto download = std::make_unique<Private::Download>();
    const quint64 id = d->nextId++;
    download->id = id;
    download->key = SaveFile;
    download->deadline.setSingleShot(true);
    connect(&download->deadline, &QTimer::timeout, this, [this, id] { d->fail(id); });
    download->deadline.start(d->deadlineMs);
    d->active.push_back(std::move(download));
    // An address that is not a web page fails like any read, after this call has returned.
    d->read(id, QUrl(URL));
}

bool ocxParseWeb::CancelAllDownload()
{
    const QStringList keys = d->pending;
    const QPointer<ocxParseWeb> self(this);
    for (const QString &key : keys) {
        // The oldest read under this key; a key whose read has already ended cancels nothing.
        const auto it = std::find_if(d->active.begin(), d->active.end(),
                                     [&key](const auto &download) { return download->key == key; });
        if (it != d->active.end())
            d->detach((*it)->id);
        d->write(QStringLiteral("Canceled download"));
        Q_EMIT DownloadHtmlComplete();
        if (!self)
            return true;
    }
    // The keys taken at the start go; a download begun from within an event stays listed.
    for (const QString &key : keys)
        d->pending.removeOne(key);
    return true;
}

QStringList ocxParseWeb::PendingDownloads() const
{
    return d->pending;
}

void ocxParseWeb::setDeadlineForTesting(int milliseconds)
{
    d->deadlineMs = milliseconds;
}

} // namespace Quorvane

#include "sample/sampleservices.h"

#include "sample/samplepages.h"

#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>

#define ZLIB_CONST
#include <zlib.h>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace Quorvane {

namespace {

struct FaultName
{
    SampleFault fault;
    const char *name;
};

const std::array<FaultName, 19> FaultNames = {{
    {SampleFault::Refused, "refused"},
    {SampleFault::ResetMidBody, "reset-mid-body"},
    {SampleFault::Stall, "stall"},
    {SampleFault::NotFound, "404"},
    {SampleFault::ServerError, "500"},
    {SampleFault::Redirect, "redirect"},
    {SampleFault::RedirectLoop, "redirect-loop"},
    {SampleFault::OversizeDeclared, "oversize"},
    {SampleFault::OversizeChunked, "oversize-chunked"},
    {SampleFault::Garbage, "garbage"},
    {SampleFault::EmptyBody, "empty"},
    {SampleFault::ShortBody, "short-body"},
    {SampleFault::ChunkedCut, "chunked-cut"},
    {SampleFault::Drip, "drip"},
    {SampleFault::RedirectToSilent, "redirect-silent"},
    {SampleFault::DoubleContentLength, "double-length"},
    {SampleFault::BadChunkSize, "bad-chunk"},
    {SampleFault::GzipBomb, "gzip-bomb"},
    {SampleFault::ResetBeforeStatus, "reset-before-status"},
}};

const QString DefaultInner = QStringLiteral("/update/check.html");
constexpr qsizetype MaxRequestHead = 64 * 1024;
constexpr qint64 StreamPiece = 256 * 1024;
constexpr qint64 MaxRequestBody = 1024 * 1024;

// A header's value from a request head, the name compared without regard to case.
QByteArray headerValue(const QByteArray &head, const QByteArray &name)
{
    const QList<QByteArray> lines = head.split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QString decodeQueryValue(QByteArray value)
{
    value.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
}

// The first "term" or "q" parameter of a target.
std::optional<QString> phraseOf(const QByteArray &target)
{
    const qsizetype question = target.indexOf('?');
    if (question < 0)
        return std::nullopt;
    const QList<QByteArray> pairs = target.mid(question + 1).split('&');
    for (const QByteArray &pair : pairs) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = equals < 0 ? pair : pair.left(equals);
        if (key == "term" || key == "q")
            return decodeQueryValue(equals < 0 ? QByteArray() : pair.mid(equals + 1));
    }
    return std::nullopt;
}

std::optional<int> intParameter(const QByteArray &target, const QByteArray &name)
{
    const qsizetype question = target.indexOf('?');
    if (question < 0)
        return std::nullopt;
    const QList<QByteArray> pairs = target.mid(question + 1).split('&');
    for (const QByteArray &pair : pairs) {
        if (pair.startsWith(name + '=')) {
            bool ok = false;
            const int value = pair.mid(name.size() + 1).toInt(&ok);
            if (ok)
                return value;
        }
    }
    return std::nullopt;
}

// Zeros that inflate to GzipInflatedBytes.
const QByteArray &gzipBomb()
{
    static const QByteArray body = [] {
        const QByteArray plain(SampleServices::GzipInflatedBytes, '\0');
        z_stream stream {};
        // Window bits above 15 ask zlib for gzip framing rather than its own.
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        QByteArray gz(qsizetype(deflateBound(&stream, uLong(plain.size()))), Qt::Uninitialized);
        stream.next_in = reinterpret_cast<const Bytef *>(plain.constData());
        stream.avail_in = uInt(plain.size());
        stream.next_out = reinterpret_cast<Bytef *>(gz.data());
        stream.avail_out = uInt(gz.size());
        deflate(&stream, Z_FINISH);
        gz.resize(qsizetype(stream.total_out));
        deflateEnd(&stream);
        return gz;
    }();
    return body;
}

QByteArray garbage()
{
    QByteArray bytes(24 * 1024, '\0');
    quint32 x = 0x2545f491U;
    for (char &b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x & 0xff);
    }
    return bytes;
}

QByteArray errorPage(int status, const char *reason)
{
    return QStringLiteral("<html><head><title>%1 %2</title></head><body><h1>%2</h1><p>The "
                          "server could not answer this request.</p></body></html>\n")
        .arg(status)
        .arg(QLatin1String(reason))
        .toUtf8();
}

} // namespace

QString sampleFaultName(SampleFault fault)
{
    for (const FaultName &entry : FaultNames) {
        if (entry.fault == fault)
            return QLatin1String(entry.name);
    }
    return QStringLiteral("none");
}

std::optional<SampleFault> sampleFaultFromName(const QString &name)
{
    if (name == QLatin1String("none"))
        return SampleFault::None;
    for (const FaultName &entry : FaultNames) {
        if (name == QLatin1String(entry.name))
            return entry.fault;
    }
    return std::nullopt;
}

QList<SampleFault> allSampleFaults()
{
    QList<SampleFault> faults;
    for (const FaultName &entry : FaultNames)
        faults.append(entry.fault);
    return faults;
}

namespace SampleDetail {

struct Shared
{
    mutable QMutex mutex;
    SampleFaultPlan plan;
    int requestCount = 0;
    QList<SampleRequest> log;
    bool recording = false;
    int rowCount = 100;
    std::atomic<quint16> port {0};
    std::atomic<quint16> silentPort {0};
    std::atomic<quint16> closedPort {0};
    std::atomic<int> openConnections {0};
    std::atomic<int> answeringConnections {0};
    SampleApiPlan apiPlan;
    QSet<QString> limitedOnce; // phrases that have had their one 429
    int apiDelayMs = 0;
};

namespace {

struct Page
{
    int status = 200;
    QByteArray reason = "OK";
    QByteArray body;
};

// One accepted connection: reads one request, answers it (or fails to, as the fault says) and
// closes. Lives in the worker thread.
class Connection final : public QObject
{
public:
    Connection(QTcpSocket *socket, Shared &shared, QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_shared(shared)
    {
        m_socket->setParent(this);
        ++m_shared.openConnections;
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { onBytesWritten(); });
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket->state() == QAbstractSocket::UnconnectedState)
                finish();
        });
        if (m_socket->bytesAvailable() > 0)
            onReadyRead();
    }

    ~Connection() override
    {
        --m_shared.openConnections;
        if (m_answering)
            --m_shared.answeringConnections;
    }

    void closeNow()
    {
        m_timer.stop();
        m_socket->abort();
        finish();
    }

private:
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_timer.stop();
        deleteLater();
    }

    void onReadyRead()
    {
        if (m_handled) {
            m_socket->readAll(); // one request per connection; the rest is ignored
            return;
        }
        m_in += m_socket->readAll();
        // Not HTTP at all (a TLS handshake, say): answer at once instead of waiting for a head.
        if (!m_in.isEmpty() && (m_in.at(0) < 'A' || m_in.at(0) > 'Z')) {
            m_handled = true;
            send(400, "Bad Request", errorPage(400, "Bad Request"));
            return;
        }
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_in.size() > MaxRequestHead)
                m_socket->abort();
            return;
        }
        // A POST to the sample APIs carries a body; it is read whole before the answer.
        const QByteArray head = m_in.left(end);
        const qint64 length = headerValue(head, "content-length").toLongLong();
        if (length < 0 || length > MaxRequestBody) {
            m_socket->abort();
            return;
        }
        if (m_in.size() < end + 4 + length)
            return;
        m_body = m_in.mid(end + 4, length);
        m_authorization = headerValue(head, "authorization");
        m_handled = true;
        m_answering = true;
        ++m_shared.answeringConnections;
        const QByteArray line = m_in.left(m_in.indexOf("\r\n"));
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3 || !parts.at(1).startsWith('/')) {
            send(400, "Bad Request", errorPage(400, "Bad Request"));
            return;
        }
        handle(parts.at(0), parts.at(1));
    }

    void handle(const QByteArray &method, const QByteArray &target)
    {
        SampleRequest request;
        request.method = method;
        request.target = QString::fromLatin1(target);
        QByteArray inner = target;
        std::optional<SampleFault> pathFault;
        bool hop = false;
        if (target.startsWith("/hop/")) {
            inner = target.mid(4);
            hop = true;
        } else if (target.startsWith("/fault/")) {
            const qsizetype slash = target.indexOf('/', 7);
            const QByteArray name = target.mid(7, slash < 0 ? -1 : slash - 7);
            inner = slash < 0 ? DefaultInner.toLatin1() : target.mid(slash);
            pathFault = sampleFaultFromName(QString::fromLatin1(name));
            if (!pathFault)
                pathFault = SampleFault::NotFound;
        }
        if (!pathFault && !hop && answerApi(method, inner, request))
            return;
        const std::optional<QString> phrase = phraseOf(inner);
        request.phrase = phrase.value_or(QString());
        request.hasPhrase = phrase.has_value();
        const qsizetype question = inner.indexOf('?');
        request.path = QString::fromLatin1(question < 0 ? inner : inner.left(question));

        int rowCount = 100;
        {
            QMutexLocker lock(&m_shared.mutex);
            request.number = ++m_shared.requestCount;
            if (pathFault) {
                request.fault = *pathFault;
            } else if (!hop) {
                request.fault = m_shared.plan.byRequest.value(request.number, SampleFault::None);
                if (request.fault == SampleFault::None && phrase)
                    request.fault = m_shared.plan.byPhrase.value(*phrase, SampleFault::None);
            }
            rowCount = m_shared.rowCount;
            if (m_shared.recording)
                m_shared.log.append(request);
        }
        rowCount = intParameter(inner, "rows").value_or(rowCount);
        respond(request.fault, inner, pageFor(request, rowCount));
    }

    // The sample DataForSEO and SerpApi, after the delay set for them. False for other paths.
    bool answerApi(const QByteArray &method, const QByteArray &target, SampleRequest &request)
    {
        const SampleApiRequest api = sampleApiRequest(method, target, m_authorization, m_body);
        if (!api.isApi)
            return false;
        request.phrase = api.phrase;
        request.hasPhrase = !api.phrase.isEmpty();
        const qsizetype question = target.indexOf('?');
        request.path = QString::fromLatin1(question < 0 ? target : target.left(question));
        SampleApiFault fault = SampleApiFault::None;
        int retryAfter = 1;
        int delay = 0;
        {
            QMutexLocker lock(&m_shared.mutex);
            request.number = ++m_shared.requestCount;
            if (m_shared.recording)
                m_shared.log.append(request);
            const SampleApiPlan &plan = m_shared.apiPlan;
            fault = plan.byPhrase.value(api.phrase, plan.all);
            if (fault == SampleApiFault::RateLimitedOnce) {
                if (m_shared.limitedOnce.contains(api.phrase))
                    fault = SampleApiFault::None;
                else
                    m_shared.limitedOnce.insert(api.phrase);
            }
            retryAfter = plan.retryAfterSeconds;
            delay = m_shared.apiDelayMs;
        }
        const SampleApiAnswer answer = sampleApiAnswer(target, api, fault, retryAfter);
        auto reply = [this, answer] {
            m_socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + answer.reason
                            + "\r\nServer: quorvane-sample\r\nContent-Type: application/json; "
                              "charset=utf-8\r\n"
                            + answer.extraHeaders + lengthHeader(answer.body.size())
                            + "Connection: close\r\n\r\n" + answer.body);
            closeWhenWritten();
        };
        if (delay > 0) {
            // A coarse timer may fire early; the delay stands for a service's least time.
            m_timer.setTimerType(Qt::PreciseTimer);
            m_timer.setSingleShot(true);
            m_timer.callOnTimeout(this, reply);
            m_timer.start(delay);
        } else {
            reply();
        }
        return true;
    }

    static Page pageFor(const SampleRequest &request, int rowCount)
    {
        if (request.path == QLatin1String("/suggest"))
            return {200, "OK", sampleKeywordPage(request.phrase, rowCount)};
        if (request.path == QLatin1String("/search"))
            return {200, "OK", sampleResultPage(request.phrase)};
        if (request.path == DefaultInner)
            return {200, "OK", sampleProductPage()};
        if (request.path == QLatin1String("/"))
            return {200, "OK",
                    QByteArrayLiteral("<html><body><p>Sample services</p></body></html>\n")};
        return {404, "Not Found", errorPage(404, "Not Found")};
    }

    QByteArray head(int status, const QByteArray &reason, const QByteArray &extra) const
    {
        return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
            + "\r\nServer: quorvane-sample\r\nContent-Type: text/html; charset=UTF-8\r\n" + extra
            + "Connection: close\r\n\r\n";
    }

    static QByteArray lengthHeader(qint64 length)
    {
        return "Content-Length: " + QByteArray::number(length) + "\r\n";
    }

    void send(int status, const QByteArray &reason, const QByteArray &body,
              const QByteArray &extra = QByteArray())
    {
        m_socket->write(head(status, reason, extra + lengthHeader(body.size())) + body);
        closeWhenWritten();
    }

    void redirect(const QByteArray &location)
    {
        send(302, "Found", errorPage(302, "Found"), "Location: " + location + "\r\n");
    }

    void closeWhenWritten()
    {
        m_afterWritten = [this] {
            m_socket->disconnectFromHost();
        };
        onBytesWritten();
    }

    // Linger 0 turns the close into a TCP reset.
    void reset()
    {
#ifdef Q_OS_UNIX
        const qintptr fd = m_socket->socketDescriptor();
        if (fd >= 0) {
            const linger hard {1, 0};
            ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
#endif
        m_socket->abort();
        finish();
    }

    // Runs `then` once the written bytes have left for the client, plus a moment for them to
    // arrive before a reset can overtake them.
    void resetWhenWritten()
    {
        m_afterWritten = [this] {
            m_timer.setSingleShot(true);
            m_timer.callOnTimeout(this, [this] { reset(); });
            m_timer.start(100);
        };
        onBytesWritten();
    }

    void stream(const QByteArray &start, const QByteArray &page, qint64 total, bool chunked)
    {
        m_socket->write(start);
        m_streamPage = page;
        m_streamTotal = total;
        m_streamChunked = chunked;
        m_streaming = true;
        onBytesWritten();
    }

    void onBytesWritten()
    {
        if (m_streaming) {
            while (m_socket->bytesToWrite() < 2 * StreamPiece && m_streamSent < m_streamTotal) {
                const qint64 size = qMin(StreamPiece, m_streamTotal - m_streamSent);
                QByteArray piece;
                if (m_streamSent < m_streamPage.size())
                    piece = m_streamPage.mid(m_streamSent, size);
                piece.append(QByteArray(size - piece.size(), ' '));
                if (m_streamChunked)
                    m_socket->write(QByteArray::number(size, 16) + "\r\n" + piece + "\r\n");
                else
                    m_socket->write(piece);
                m_streamSent += size;
            }
            if (m_streamSent < m_streamTotal)
                return;
            m_streaming = false;
            if (m_streamChunked)
                m_socket->write("0\r\n\r\n");
            closeWhenWritten();
            return;
        }
        if (m_afterWritten && m_socket->bytesToWrite() == 0) {
            auto then = std::move(m_afterWritten);
            m_afterWritten = nullptr;
            then();
        }
    }

    void drip()
    {
        if (m_dripSent >= m_dripBody.size()) {
            m_timer.stop();
            closeWhenWritten();
            return;
        }
        m_socket->write(m_dripBody.mid(m_dripSent, 1));
        ++m_dripSent;
    }

    QByteArray local(quint16 port, const QByteArray &inner) const
    {
        return "http://127.0.0.1:" + QByteArray::number(port) + inner;
    }

    void respond(SampleFault fault, const QByteArray &inner, const Page &page)
    {
        const QByteArray &body = page.body;
        switch (fault) {
        case SampleFault::None:
            send(page.status, page.reason, body);
            return;
        case SampleFault::Refused:
            redirect(local(m_shared.closedPort, inner));
            return;
        case SampleFault::ResetMidBody:
            m_socket->write(head(page.status, page.reason, lengthHeader(body.size()))
                            + body.left(body.size() / 2));
            resetWhenWritten();
            return;
        case SampleFault::Stall:
            return;
        case SampleFault::NotFound:
            send(404, "Not Found", errorPage(404, "Not Found"));
            return;
        case SampleFault::ServerError:
            send(500, "Internal Server Error", errorPage(500, "Internal Server Error"));
            return;
        case SampleFault::Redirect:
            redirect("/hop" + inner);
            return;
        case SampleFault::RedirectLoop: {
            // Two addresses that send to each other: Qt mishandles a redirect to the very
            // address it came from, so a plain self-redirect would not test the hop limit.
            QByteArray other = inner;
            if (other.endsWith("?loop") || other.endsWith("&loop"))
                other.chop(5);
            else
                other += other.contains('?') ? "&loop" : "?loop";
            redirect("/fault/redirect-loop" + other);
            return;
        }
        case SampleFault::OversizeDeclared:
            stream(head(200, "OK", lengthHeader(SampleServices::OversizeBytes)), body,
                   SampleServices::OversizeBytes, false);
            return;
        case SampleFault::OversizeChunked:
            stream(head(200, "OK", "Transfer-Encoding: chunked\r\n"), body,
                   SampleServices::OversizeBytes, true);
            return;
        case SampleFault::Garbage:
            send(200, "OK", garbage());
            return;
        case SampleFault::EmptyBody:
            send(200, "OK", QByteArray());
            return;
        case SampleFault::ShortBody:
            m_socket->write(head(200, "OK", lengthHeader(body.size()))
                            + body.left(body.size() / 2));
            closeWhenWritten();
            return;
        case SampleFault::ChunkedCut: {
            const QByteArray half = body.left(body.size() / 2);
            m_socket->write(head(200, "OK", "Transfer-Encoding: chunked\r\n")
                            + QByteArray::number(half.size(), 16) + "\r\n" + half + "\r\n");
            closeWhenWritten();
            return;
        }
        case SampleFault::Drip:
            m_socket->write(head(200, "OK", lengthHeader(body.size())));
            m_dripBody = body;
            m_timer.callOnTimeout(this, [this] { drip(); });
            m_timer.start(SampleServices::DripIntervalMs);
            return;
        case SampleFault::RedirectToSilent:
            redirect(local(m_shared.silentPort, inner));
            return;
        case SampleFault::DoubleContentLength:
            m_socket->write(
                head(200, "OK", lengthHeader(body.size()) + lengthHeader(body.size() / 3)) + body);
            closeWhenWritten();
            return;
        case SampleFault::BadChunkSize:
            m_socket->write(head(200, "OK", "Transfer-Encoding: chunked\r\n") + "zz\r\n"
                            + body.left(512) + "\r\n0\r\n\r\n");
            closeWhenWritten();
            return;
        case SampleFault::GzipBomb:
            send(200, "OK", gzipBomb(), "Content-Encoding: gzip\r\n");
            return;
        case SampleFault::ResetBeforeStatus:
            reset();
            return;
        }
    }

    QTcpSocket *m_socket;
    Shared &m_shared;
    QByteArray m_in;
    QByteArray m_body;
    QByteArray m_authorization;
    bool m_handled = false;
    bool m_answering = false; // counted in answeringConnections
    bool m_finished = false;
    QTimer m_timer;
    std::function<void()> m_afterWritten;
    bool m_streaming = false;
    bool m_streamChunked = false;
    QByteArray m_streamPage;
    qint64 m_streamTotal = 0;
    qint64 m_streamSent = 0;
    QByteArray m_dripBody;
    qsizetype m_dripSent = 0;
};

} // namespace

// Owns the listening sockets; lives in the services' thread.
class Worker final : public QObject
{
public:
    explicit Worker(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    { }

    bool listen()
    {
        {
            // Bound and released at once: nothing listens there afterwards.
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            m_shared->closedPort = probe.serverPort();
        }
        m_server = new QTcpServer(this);
        m_silent = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, 0)
            || !m_silent->listen(QHostAddress::LocalHost, 0))
            return false;
        m_server->setMaxPendingConnections(128);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            m_connections.removeAll(nullptr);
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                m_connections.append(new Connection(socket, *m_shared, this));
        });
        // Accepts and holds every connection without reading or answering.
        connect(m_silent, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_silent->nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                m_held.removeAll(nullptr);
                m_held.append(socket);
            }
        });
        m_shared->port = m_server->serverPort();
        m_shared->silentPort = m_silent->serverPort();
        return true;
    }

    void shutdown()
    {
        if (m_server)
            m_server->close();
        if (m_silent)
            m_silent->close();
        for (const QPointer<Connection> &connection : std::as_const(m_connections)) {
            if (connection)
                connection->closeNow();
        }
        for (const QPointer<QTcpSocket> &socket : std::as_const(m_held)) {
            if (socket)
                socket->abort();
        }
        m_connections.clear();
        m_held.clear();
    }

private:
    std::shared_ptr<Shared> m_shared;
    QTcpServer *m_server = nullptr;
    QTcpServer *m_silent = nullptr;
    QList<QPointer<Connection>> m_connections;
    QList<QPointer<QTcpSocket>> m_held;
};

} // namespace SampleDetail

SampleServices::SampleServices()
    : m_shared(std::make_shared<SampleDetail::Shared>())
{ }

SampleServices::~SampleServices()
{
    stop();
}

bool SampleServices::start()
{
    if (m_thread)
        return true;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("sample services"));
    m_worker = new SampleDetail::Worker(m_shared);
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    bool listening = false;
    SampleDetail::Worker *worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker, &listening] { listening = worker->listen(); },
        Qt::BlockingQueuedConnection);
    if (!listening)
        stop();
    return listening;
}

void SampleServices::stop()
{
    if (!m_thread)
        return;
    SampleDetail::Worker *worker = m_worker;
    QMetaObject::invokeMethod(
        m_worker, [worker] { worker->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_worker = nullptr;
    m_shared->port = 0;
    m_shared->silentPort = 0;
}

quint16 SampleServices::port() const
{
    return m_shared->port;
}

QString SampleServices::baseAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

ServiceEndpoints SampleServices::endpoints() const
{
    const QString base = baseAddress();
    return {base + QStringLiteral("/suggest?hl=en&term="), QStringLiteral("&src=q"),
            base + QStringLiteral("/search?hl=en&num=10&q="), QStringLiteral("&btnG=Search"),
            base + DefaultInner};
}

QString SampleServices::faultAddress(SampleFault fault, const QString &inner) const
{
    return baseAddress() + QStringLiteral("/fault/") + sampleFaultName(fault) + inner;
}

QString SampleServices::refusedAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_shared->closedPort.load());
}

void SampleServices::setKeywordRowCount(int rows)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->rowCount = rows;
}

int SampleServices::keywordRowCount() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->rowCount;
}

void SampleServices::setFaultPlan(const SampleFaultPlan &plan)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->plan = plan;
    m_shared->requestCount = 0;
}

void SampleServices::setApiPlan(const SampleApiPlan &plan)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->apiPlan = plan;
    m_shared->limitedOnce.clear();
}

void SampleServices::setApiDelay(int milliseconds)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->apiDelayMs = qMax(0, milliseconds);
}

QList<SampleRequest> SampleServices::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->log;
}

void SampleServices::recordRequests()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->log.clear();
    m_shared->recording = true;
}

int SampleServices::openConnections() const
{
    return m_shared->openConnections;
}

int SampleServices::answeringConnections() const
{
    return m_shared->answeringConnections;
}

} // namespace Quorvane

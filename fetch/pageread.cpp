#include "pageread.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

namespace Quorvane {

namespace {

constexpr qint64 SocketBufferBytes = 256 * 1024;

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

PageRead::PageRead(const QUrl &url, qint64 maxBodyBytes, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_maxBodyBytes(maxBodyBytes)
{ }

PageRead::~PageRead()
{
    stopSocket();
}

bool PageRead::canRead(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void PageRead::start()
{
    if (!canRead(m_url)) {
        QMetaObject::invokeMethod(
            this, [this] { finishFailure(); }, Qt::QueuedConnection);
        return;
    }
    const bool secure = m_url.scheme().toLower() == QLatin1String("https");
    if (secure && !QSslSocket::supportsSsl()) {
        QMetaObject::invokeMethod(
            this, [this] { finishFailure(); }, Qt::QueuedConnection);
        return;
    }
    m_socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket->setReadBufferSize(SocketBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { onEndOfInput(); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // A close by the server (a reset included) is the end of the input; whether the
        // answer was whole by then is for the framing to say.
        if (e == QAbstractSocket::RemoteHostClosedError)
            onEndOfInput();
        else
            finishFailure();
    });
    const quint16 port = static_cast<quint16>(m_url.port(secure ? 443 : 80));
    if (secure) {
        auto *ssl = static_cast<QSslSocket *>(m_socket);
        connect(ssl, &QSslSocket::encrypted, this, [this] { sendRequest(); });
        ssl->connectToHostEncrypted(m_url.host(), port);
    } else {
        connect(m_socket, &QTcpSocket::connected, this, [this] { sendRequest(); });
        m_socket->connectToHost(m_url.host(), port);
    }
}

void PageRead::abort()
{
    m_ended = true;
    m_stage = Stage::Over;
    stopSocket();
}

void PageRead::stopSocket()
{
    if (!m_socket)
        return;
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void PageRead::sendRequest()
{
    if (m_stage != Stage::Connecting)
        return;
    // QUrl percent-encodes spaces and control characters, so nothing typed can break the
    // request line.
    QByteArray target =
        m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/');
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int port = m_url.port();
    const int defaultPort = m_url.scheme().toLower() == QLatin1String("https") ? 443 : 80;
    if (port != -1 && port != defaultPort)
        host += ':' + QByteArray::number(port);
    m_socket->write("GET " + target + " HTTP/1.1\r\nHost: " + host
                    + "\r\nUser-Agent: Mozilla/5.0 (compatible; Quorvane/1.2)\r\n"
                      "Accept: text/html, */*\r\nAccept-Encoding: identity\r\n"
                      "Connection: close\r\n\r\n");
    m_stage = Stage::StatusLine;
}

void PageRead::onReadyRead()
{
    if (!m_socket || m_stage == Stage::Over)
        return;
    m_in += m_socket->readAll();
    process();
}

void PageRead::onEndOfInput()
{
    if (m_stage == Stage::Over)
        return;
    if (m_socket && m_socket->bytesAvailable() > 0) {
        m_in += m_socket->readAll();
        process();
        if (m_stage == Stage::Over)
            return;
    }
    // Only a body without a declared length may end with the connection.
    if (m_stage == Stage::CloseBody)
        finishSuccess();
    else
        finishFailure();
}

std::optional<QByteArray> PageRead::takeLine()
{
    const qsizetype end = m_in.indexOf('\n', m_inPos);
    if (end < 0) {
        if (m_in.size() - m_inPos > MaxHeadBytes)
            finishFailure();
        return std::nullopt;
    }
    if (end - m_inPos > MaxHeadBytes) {
        finishFailure();
        return std::nullopt;
    }
    QByteArray line = m_in.mid(m_inPos, end - m_inPos);
    m_inPos = end + 1;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Moves up to m_remaining bytes of input into the body; true when m_remaining is reached.
bool PageRead::takeBody()
{
    const qint64 take = qMin<qint64>(m_in.size() - m_inPos, m_remaining);
    m_body.append(m_in.constData() + m_inPos, take);
    m_inPos += take;
    m_remaining -= take;
    return m_remaining == 0;
}

void PageRead::process()
{
    processInput();
    // Consumed input goes once per delivery, not once per line or chunk: a body of many tiny
    // chunks would otherwise cost time quadratic in its size.
    m_in.remove(0, m_inPos);
    m_inPos = 0;
}

void PageRead::processInput()
{
    while (m_stage != Stage::Over) {
        switch (m_stage) {
        case Stage::Connecting:
        case Stage::Over:
            return;
        case Stage::StatusLine: {
            const std::optional<QByteArray> line = takeLine();
            if (!line)
                return;
            if (!parseStatusLine(*line)) {
                finishFailure();
                return;
            }
            m_headBytes = line->size();
            m_headers.clear();
            m_stage = Stage::Headers;
            break;
        }
        case Stage::Headers: {
            const std::optional<QByteArray> line = takeLine();
            if (!line)
                return;
            m_headBytes += line->size() + 2;
            if (m_headBytes > MaxHeadBytes) {
                finishFailure();
                return;
            }
            if (line->isEmpty()) {
                headersDone();
                break;
            }
            const qsizetype colon = line->indexOf(':');
            if (colon <= 0 || line->left(colon).contains(' ') || line->left(colon).contains('\t')) {
                finishFailure();
                return;
            }
            m_headers.append({line->left(colon).toLower(), line->mid(colon + 1).trimmed()});
            break;
        }
        case Stage::LengthBody:
            if (!takeBody())
                return;
            finishSuccess();
            return;
        case Stage::CloseBody:
            // Past the limit by one byte at most: that byte is enough to fail it.
            m_remaining = m_maxBodyBytes + 1 - m_body.size();
            takeBody();
            if (m_body.size() > m_maxBodyBytes)
                finishFailure();
            return;
        case Stage::ChunkSize: {
            const std::optional<QByteArray> line = takeLine();
            if (!line)
                return;
            QByteArray size = line->trimmed();
            const qsizetype extension = size.indexOf(';');
            if (extension >= 0)
                size = size.left(extension).trimmed();
            bool ok = size.size() <= 15;
            const qint64 bytes = ok ? size.toLongLong(&ok, 16) : 0;
            if (!ok || bytes < 0 || size.contains('+') || size.contains('-')
                || size.startsWith("0x") || size.startsWith("0X")) {
                finishFailure();
                return;
            }
            if (bytes == 0) {
                m_stage = Stage::Trailers;
                break;
            }
            if (m_body.size() + bytes > m_maxBodyBytes) {
                finishFailure();
                return;
            }
            m_remaining = bytes;
            m_stage = Stage::ChunkData;
            break;
        }
        case Stage::ChunkData:
            if (!takeBody())
                return;
            m_stage = Stage::ChunkDataEnd;
            break;
        case Stage::ChunkDataEnd: {
            const std::optional<QByteArray> line = takeLine();
            if (!line)
                return;
            if (!line->isEmpty()) {
                finishFailure();
                return;
            }
            m_stage = Stage::ChunkSize;
            break;
        }
        case Stage::Trailers: {
            const std::optional<QByteArray> line = takeLine();
            if (!line)
                return;
            m_headBytes += line->size() + 2;
            if (m_headBytes > 2 * MaxHeadBytes) {
                finishFailure();
                return;
            }
            if (line->isEmpty()) {
                finishSuccess();
                return;
            }
            break;
        }
        }
    }
}

bool PageRead::parseStatusLine(const QByteArray &line)
{
    // "HTTP/1.1 200 OK"; the reason may be empty.
    if (!line.startsWith("HTTP/1.") || line.size() < 12 || line.at(8) != ' ')
        return false;
    const QByteArray code = line.mid(9, 3);
    if (!isDigits(code) || (line.size() > 12 && line.at(12) != ' '))
        return false;
    m_status = code.toInt();
    return m_status >= 100;
}

QByteArray PageRead::header(const QByteArray &name) const
{
    QByteArray value;
    for (const auto &[key, text] : m_headers) {
        if (key == name) {
            if (!value.isEmpty())
                value += ", ";
            value += text;
        }
    }
    return value;
}

// The declared body length. Several declarations must agree, as must the values of a list;
// anything else makes the length untrustworthy (valid = false).
std::optional<qint64> PageRead::contentLength(bool &valid) const
{
    valid = true;
    std::optional<qint64> length;
    for (const auto &[key, text] : m_headers) {
        if (key != "content-length")
            continue;
        for (const QByteArray &part : text.split(',')) {
            const QByteArray digits = part.trimmed();
            bool ok = isDigits(digits) && digits.size() <= 18;
            const qint64 value = ok ? digits.toLongLong(&ok) : -1;
            if (!ok || (length && *length != value)) {
                valid = false;
                return std::nullopt;
            }
            length = value;
        }
    }
    return length;
}

void PageRead::headersDone()
{
    if (m_status >= 100 && m_status < 200) {
        // An interim answer; the real one follows on the same connection.
        if (m_status == 101) {
            finishFailure();
            return;
        }
        m_stage = Stage::StatusLine;
        return;
    }
    if (isRedirectStatus(m_status)) {
        const QByteArray location = header("location");
        if (!location.isEmpty() && !location.contains(',')) {
            finishRedirect(m_url.resolved(QUrl::fromEncoded(location)));
            return;
        }
    }

    const QPointer<PageRead> self(this);
    Q_EMIT responseStarted();
    if (!self || m_ended)
        return;

    if (m_status < 200 || m_status >= 300) {
        finishFailure();
        return;
    }
    // Asked for identity; a body in any other coding would not be the page's text.
    const QByteArray coding = header("content-encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity") {
        finishFailure();
        return;
    }
    if (m_status == 204) {
        finishSuccess();
        return;
    }
    const QByteArray transfer = header("transfer-encoding").toLower();
    if (!transfer.isEmpty()) {
        // Chunked must be the last coding; without it the body runs to the close.
        const QList<QByteArray> codings = transfer.split(',');
        if (codings.last().trimmed() == "chunked") {
            if (codings.size() > 1) {
                finishFailure();
                return;
            }
            m_stage = Stage::ChunkSize;
        } else {
            m_stage = Stage::CloseBody;
        }
        return;
    }
    bool valid = true;
    const std::optional<qint64> length = contentLength(valid);
    if (!valid || (length && *length > m_maxBodyBytes)) {
        finishFailure();
        return;
    }
    if (!length) {
        m_stage = Stage::CloseBody;
        return;
    }
    if (*length == 0) {
        finishSuccess();
        return;
    }
    m_remaining = *length;
    m_stage = Stage::LengthBody;
}

void PageRead::finishRedirect(const QUrl &target)
{
    if (m_ended)
        return;
    m_ended = true;
    m_stage = Stage::Over;
    stopSocket();
    Q_EMIT redirected(target);
}

void PageRead::finishSuccess()
{
    if (m_ended)
        return;
    m_ended = true;
    m_stage = Stage::Over;
    stopSocket();
    Q_EMIT succeeded(m_body);
}

void PageRead::finishFailure()
{
    if (m_ended)
        return;
    m_ended = true;
    m_stage = Stage::Over;
    stopSocket();
    Q_EMIT failed();
}

} // namespace Quorvane

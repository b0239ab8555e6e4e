#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QUrl>

#include <optional>

class QTcpSocket;

namespace Quorvane {

// One HTTP/1.1 GET of a web page over a connection of its own, with the body's framing checked
// byte for byte: a body that ends before its declared length or before its last chunk is a
// failure. (Qt's own HTTP client can end such a read without an error, and nothing in its
// interface tells a chunked body cut short from a whole one.)
// Ends with exactly one of redirected, succeeded or failed, and reports nothing after it.
class PageRead final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageRead)

public:
    // Longest status line, header line or chunk-size line, and the most header bytes in all.
    static constexpr qsizetype MaxHeadBytes = 64 * 1024;

    PageRead(const QUrl &url, qint64 maxBodyBytes, QObject *parent = nullptr);
    ~PageRead() override;

    // Only http and https addresses with a host can be read; anything else fails at once.
    static bool canRead(const QUrl &url);

    void start();
    // Stops the read for good; no signal follows.
    void abort();

    QUrl url() const { return m_url; }
    int statusCode() const { return m_status; }

Q_SIGNALS:
    // The answer was a redirect to target (already resolved against this read's address).
    void redirected(const QUrl &target);
    // The head of the final answer (not a redirect) has arrived.
    void responseStarted();
    // A 2xx answer with its whole body.
    void succeeded(const QByteArray &body);
    void failed();

private:
    enum class Stage {
        Connecting,
        StatusLine,
        Headers,
        LengthBody,
        CloseBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        Over
    };

    void sendRequest();
    void onReadyRead();
    void onEndOfInput();
    void process();
    void processInput();
    std::optional<QByteArray> takeLine();
    bool takeBody();
    void headersDone();
    bool parseStatusLine(const QByteArray &line);
    std::optional<qint64> contentLength(bool &valid) const;
    QByteArray header(const QByteArray &name) const;

    void finishRedirect(const QUrl &target);
    void finishSuccess();
    void finishFailure();
    void stopSocket();

    QUrl m_url;
    qint64 m_maxBodyBytes;
    QTcpSocket *m_socket = nullptr;
    Stage m_stage = Stage::Connecting;
    QByteArray m_in;
    qsizetype m_inPos = 0; // input before this position has been consumed
    QByteArray m_body;
    int m_status = 0;
    qsizetype m_headBytes = 0;
    QList<QPair<QByteArray, QByteArray>> m_headers; // names in lower case
    qint64 m_remaining = 0;
    bool m_ended = false;
};

} // namespace Quorvane

#pragma once

#include "sample/sampleapis.h"
#include "sources/serviceaddresses.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QThread>

#include <memory>
#include <optional>

namespace Quorvane {

namespace SampleDetail {
struct Shared;
class Worker;
} // namespace SampleDetail

// Ways a response can go wrong. Faults that "serve the page" use the page the request (or, for
// the /fault/ path form, the inner address) would otherwise get.
enum class SampleFault {
    None,
    Refused, // a redirect to a closed port; refusedAddress() reaches that port directly
    ResetMidBody, // part of the body, then a TCP reset
    Stall, // the request is read and never answered
    NotFound, // 404 with a body
    ServerError, // 500 with a body
    Redirect, // one 302 hop, then the page
    RedirectLoop, // 302 to itself, forever
    OversizeDeclared, // Content-Length of 17 MiB, body streamed
    OversizeChunked, // 17 MiB in chunks, no declared length
    Garbage, // 24 KiB of binary bytes with status 200
    EmptyBody, // 200 with Content-Length 0
    ShortBody, // half the declared Content-Length, then a clean close
    ChunkedCut, // chunked body that closes cleanly before its last chunk
    Drip, // one byte every DripIntervalMs
    RedirectToSilent, // 302 to a second server that accepts and never answers
    DoubleContentLength, // two Content-Length headers that disagree
    BadChunkSize, // chunked body whose first chunk size is not hexadecimal
    GzipBomb, // Content-Encoding: gzip, 32 KiB that inflate to 32 MiB
    ResetBeforeStatus, // the request is read, then a TCP reset without a byte of response
};

QString sampleFaultName(SampleFault fault);
std::optional<SampleFault> sampleFaultFromName(const QString &name);
QList<SampleFault> allSampleFaults(); // every fault except None

// Which requests go wrong. Numbers count every request the main server receives since the
// plan was set, from 1. A redirect hop is a request of its own; its target ("/hop/...") is
// always answered normally. A client that retries a failed request sends a new number.
struct SampleFaultPlan
{
    QMap<int, SampleFault> byRequest;
    QMap<QString, SampleFault> byPhrase; // the decoded seed or phrase, exactly
};

// Which requests to the sample APIs go wrong: a phrase's own fault, else `all`.
struct SampleApiPlan
{
    SampleApiFault all = SampleApiFault::None;
    QMap<QString, SampleApiFault> byPhrase; // the seed or phrase, exactly
    int retryAfterSeconds = 1;
};

struct SampleRequest
{
    int number = 0; // as counted for SampleFaultPlan::byRequest
    QByteArray method;
    QString target; // as received, e.g. "/search?hl=en&q=golf+clubs"
    QString path; // without the query and without a /fault/ or /hop prefix, e.g. "/search"
    QString phrase; // the "term" or "q" value, decoded ("+" as space, UTF-8 percent escapes)
    bool hasPhrase = false;
    SampleFault fault = SampleFault::None;
};

// A keyword database, a product page and a search engine on 127.0.0.1, answered on a thread of
// its own, with fault routes for tests. Fault by path: "/fault/<name>" followed by the address
// whose page the fault serves (faultAddress()).
class SampleServices final
{
    Q_DISABLE_COPY_MOVE(SampleServices)

public:
    static constexpr int DripIntervalMs = 600;
    static constexpr qint64 OversizeBytes = 17 * 1024 * 1024;
    static constexpr qint64 GzipInflatedBytes = 32 * 1024 * 1024;

    SampleServices();
    ~SampleServices();

    bool start();
    void stop();

    quint16 port() const;
    QString baseAddress() const; // "http://127.0.0.1:<port>"
    // Keyword database, search engine and product page on this server. Keyword pages list
    // keywordRowCount() rows (or the "rows" parameter of the address).
    ServiceEndpoints endpoints() const;

    QString faultAddress(SampleFault fault,
                         const QString &inner = QStringLiteral("/update/check.html")) const;
    // An address on a port nothing listens on.
    QString refusedAddress() const;

    void setKeywordRowCount(int rows);
    int keywordRowCount() const;

    // Replaces the plan and starts counting requests from 1 again.
    void setFaultPlan(const SampleFaultPlan &plan);

    // The sample APIs (DataForSEO's and SerpApi's documented paths on this server): failures on
    // request, and a delay before every answer, standing in for a live service's seconds.
    void setApiPlan(const SampleApiPlan &plan);
    void setApiDelay(int milliseconds);
    // The base address both API sources take here.
    QString apiBaseAddress() const { return baseAddress(); }

    // The requests received since recordRequests() was last called. Nothing is kept before that
    // call, so the sample program, which serves run after run, does not grow.
    QList<SampleRequest> requests() const;
    // Forgets what was recorded and keeps every request from now on.
    void recordRequests();

    // Connections currently open on the main server (stalled ones included).
    int openConnections() const;
    // Of those, the ones a request has arrived on; a client's idle connection, kept for a
    // request it may send later, is not counted.
    int answeringConnections() const;

private:
    std::shared_ptr<SampleDetail::Shared> m_shared;
    std::unique_ptr<QThread> m_thread;
    SampleDetail::Worker *m_worker = nullptr;
};

} // namespace Quorvane

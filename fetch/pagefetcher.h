#pragma once

#include "fetch/fetchrequest.h"
#include "fetch/pageparsers.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Quorvane {

// Sends the run's requests through Qt's network access (system proxy settings, TLS) and hands
// back each one's bytes and outcome with exactly one requestEnded (answered, failed or
// cancelled). What the bytes mean is the source's business. An answer of any status is handed
// back whole, within the deadline and the size limit; failures are told in words of our own,
// never with the request's address.
// Chunked framing is Qt's to check, and Qt 6.4 misses some faults: a chunked body cut before
// its last chunk may end without an error, and a chunk size that is not hexadecimal reads as the
// last chunk, so such an answer is handed back as complete as far as it came.
class PageFetcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetcher)

public:
    // A request still unanswered this long after its read started fails.
    static constexpr int DeadlineMs = 60000;
    // An answer larger than this fails as soon as its declared or received size passes it.
    static constexpr qint64 MaxPageBytes = 16 * 1024 * 1024;
    // Redirects followed for one request; one more fails it.
    static constexpr int MaxRedirects = 10;

    explicit PageFetcher(StatusSink status, QObject *parent = nullptr);
    ~PageFetcher() override;

    // Starts the request under key; returns at once, the end comes with requestEnded.
    void send(const SourceRequest &request, const QString &key);
    // Ends every listed request at once, each with a cancelled requestEnded. Always true.
    bool cancelAll();

    // Keys of requests sent and still listed, oldest first.
    QStringList pendingRequests() const;

    // Tests shorten the deadline; the program always uses DeadlineMs.
    void setDeadlineForTesting(int milliseconds);

Q_SIGNALS:
    void requestEnded(const QString &key, const Quorvane::FetchOutcome &outcome);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Quorvane

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

namespace Quorvane {

// The fetcher's side of the run's sources (sources/source.h): what is sent and what comes back.
// They live here so that fetching needs nothing of the sources.

// One HTTP request a source wants sent. url may carry a key (one service takes its key in the
// address): it is never shown, logged or written anywhere.
struct SourceRequest
{
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers; // e.g. Authorization, Content-Type
    QByteArray body;
};

// What the fetcher hands back for one request: bytes and outcome, no parsing.
struct FetchOutcome
{
    bool answered = false; // a complete HTTP answer arrived (any status)
    bool cancelled = false;
    int httpStatus = 0;
    QByteArray body;
    std::optional<std::chrono::seconds> retryAfter; // from a Retry-After header
    QString errorText; // why nothing arrived; never holds the request's address
};

} // namespace Quorvane

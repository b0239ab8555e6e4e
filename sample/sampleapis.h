#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Quorvane {

// Failures the sample APIs serve on request, by plan (SampleServices::setApiPlan) or, in the
// sample program, by a key or password of the form "fault:<name>".
enum class SampleApiFault {
    None,
    RefusedKey, // 401 (DataForSEO's envelope says 40100; SerpApi's `error` names the key)
    NoFunds, // DataForSEO 402 with 40200; SerpApi 429 "run out of searches"
    RateLimited, // 429 with Retry-After, every time
    RateLimitedOnce, // 429 with Retry-After for the first request of a phrase, then answers
    FailedTask, // DataForSEO: a failing task inside a 20000 envelope; SerpApi: status "Error"
    TotalAsString, // the result count sent as text with digit grouping
    NoResults, // DataForSEO: a 20000 task whose `result` is null; SerpApi: an empty page
};

QString sampleApiFaultName(SampleApiFault fault);
std::optional<SampleApiFault> sampleApiFaultFromName(const QString &name);
QList<SampleApiFault> allSampleApiFaults(); // every fault except None

struct SampleApiAnswer
{
    int status = 200;
    QByteArray reason = "OK";
    QByteArray body;
    QByteArray extraHeaders; // whole lines, each ending in CRLF
};

// What a request to one of the sample APIs is about.
struct SampleApiRequest
{
    bool isApi = false; // the path is one of the APIs' documented paths
    QString phrase; // the seed (keyword ideas) or the phrase (results page); empty otherwise
    QString login; // DataForSEO's login, or SerpApi's key
    QString secret; // DataForSEO's password, or SerpApi's key
    std::optional<SampleApiFault> keyFault; // "fault:<name>" as the key or password
};
// Reads the request line's target, the request head's Authorization and the body.
SampleApiRequest sampleApiRequest(const QByteArray &method, const QByteArray &target,
                                  const QByteArray &authorization, const QByteArray &body);

// The answer in the service's documented format, with the same figures as the classic sample
// pages; any non-empty key is accepted.
SampleApiAnswer sampleApiAnswer(const QByteArray &target, const SampleApiRequest &request,
                                SampleApiFault fault, int retryAfterSeconds = 1);

// The balance and searches left the sample accounts report.
inline constexpr double SampleDataForSeoBalance = 42.5;
inline constexpr qint64 SampleSerpApiSearchesLeft = 4900;
// What the sample DataForSEO charges, the service's list prices.
inline constexpr double SampleKeywordsTaskCost = 0.075;
inline constexpr double SampleSerpTaskCost = 0.002;

} // namespace Quorvane

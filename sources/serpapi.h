#pragma once

#include "sources/market.h"
#include "sources/source.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace Quorvane {

namespace SerpApi {

inline const QString Id = QStringLiteral("serpapi");
inline const QString Name = QStringLiteral("SerpApi");
inline const QUrl DefaultBase = QUrl(QStringLiteral("https://serpapi.com"));
inline constexpr const char *BaseVariable = "QUORVANE_SERPAPI_URL";

// The base address: QUORVANE_SERPAPI_URL, or the service's own.
QUrl baseAddress();

// The requests, pure. The service takes its key in the address (`api_key`): such an address is
// handed to the fetcher only, never shown or written.
SourceRequest searchRequest(const QUrl &base, const QString &apiKey, const Market &market,
                            const QString &phrase);
SourceRequest accountRequest(const QUrl &base, const QString &apiKey);

struct SearchFacts
{
    QString results; // plain digits; empty when the page shows no count
    bool hasAds = false;
};
SourceVerdict readSearch(const FetchOutcome &outcome, SearchFacts &facts,
                         const QString &apiKey = {});

// Searches left this month (the plan's and any extra credits).
SourceVerdict readAccount(const FetchOutcome &outcome, std::optional<qint64> &searchesLeft,
                          const QString &apiKey = {});

} // namespace SerpApi

// Result counts from SerpApi's Google search; it offers no keyword ideas.
class SerpApiSource final : public CountSource
{
public:
    // Five in flight: a search takes a few seconds and plans meter searches per hour, so five
    // finish a 100-phrase run in about a minute without a burst that an hourly limit or the
    // plan's parallel allowance would refuse.
    static constexpr int ParallelLimit = 5;

    SerpApiSource(QString apiKey, Market market, QUrl base = SerpApi::baseAddress());

    QString id() const override { return SerpApi::Id; }
    QString displayName() const override { return SerpApi::Name; }
    SourceRequest countRequest(const QString &phrase) const override;
    SourceVerdict readCount(const FetchOutcome &outcome, Suggestion &entry,
                            const bool &stopRequested, const StatusSink &status) override;
    int parallelLimit() const override { return ParallelLimit; }
    bool pacedLikePages() const override { return false; }

    std::chrono::milliseconds pauseBeforeEachRequest() const override
    {
        return std::chrono::milliseconds(0);
    }

private:
    QString m_apiKey;
    Market m_market;
    QUrl m_base;
};

} // namespace Quorvane

#pragma once

#include "results/seasons.h"
#include "sources/market.h"
#include "sources/source.h"

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace Quorvane {

// A suggested phrase with its average monthly searches (none when the service has no figure)
// and the months behind that average.
struct KeywordIdea
{
    QString keyword;
    std::optional<qint64> searchVolume;
    QList<MonthlySearches> monthlySearches;
};

namespace DataForSeo {

inline const QString Id = QStringLiteral("dataforseo");
inline const QString Name = QStringLiteral("DataForSEO");
inline const QUrl DefaultBase = QUrl(QStringLiteral("https://api.dataforseo.com"));
inline constexpr const char *BaseVariable = "QUORVANE_DATAFORSEO_URL";
inline const QString KeywordsPath =
    QStringLiteral("/v3/keywords_data/google_ads/keywords_for_keywords/live");
inline const QString SerpPath = QStringLiteral("/v3/serp/google/organic/live/regular");
inline const QString UserDataPath = QStringLiteral("/v3/appendix/user_data");

// The base address: QUORVANE_DATAFORSEO_URL, or the service's own.
QUrl baseAddress();

// The requests, pure: HTTP Basic with login and password, one task per POST.
SourceRequest keywordsRequest(const QUrl &base, const SourceCredentials &credentials,
                              const Market &market, const QString &keyword);
SourceRequest serpRequest(const QUrl &base, const SourceCredentials &credentials,
                          const Market &market, const QString &phrase);
SourceRequest userDataRequest(const QUrl &base, const SourceCredentials &credentials);

// The service decodes "%XX" and "+" in a SERP keyword, so a phrase's own "%" and "+" are sent
// encoded.
QString serpKeyword(const QString &phrase);

// The envelope every answer comes in. verdict.cost is the sum of the tasks' `cost`; `result` is
// the first task's `result` (null when the task has none).
struct Task
{
    SourceVerdict verdict;
    QJsonValue result;
};
Task readTask(const FetchOutcome &outcome, const QString &secret = {});

// Every keyword idea of a "keywords for keywords" answer, in the service's order.
SourceVerdict readKeywordIdeas(const FetchOutcome &outcome, QList<KeywordIdea> &ideas,
                               const QString &secret = {});
// The `take` most searched ideas, most searched first; ideas without a figure come last and
// ties keep the service's order.
QList<KeywordIdea> mostSearched(QList<KeywordIdea> ideas, int take);

// One results page: the count (plain digits; empty when the page shows none) and whether a paid
// item is on it.
struct SerpFacts
{
    QString results;
    bool hasAds = false;
};
SourceVerdict readSerp(const FetchOutcome &outcome, SerpFacts &facts, const QString &secret = {});

// The account's balance in USD.
SourceVerdict readUserData(const FetchOutcome &outcome, std::optional<double> &balance,
                           const QString &secret = {});

} // namespace DataForSeo

// Both phases from DataForSEO: Google Ads keyword ideas, then one live Google results page per
// phrase. The ideas taken keep their months for whoever shows them.
class DataForSeoSource final : public SuggestionSource, public CountSource
{
public:
    // Ten requests in flight: the live results pages take a few seconds each and the service
    // allows 2000 calls a minute, so ten keep a 100-phrase run near twenty seconds while staying
    // far below that limit and below what one account's balance notices at once.
    static constexpr int ParallelLimit = 10;

    DataForSeoSource(SourceCredentials credentials, Market market,
                     QUrl base = DataForSeo::baseAddress());

    QString id() const override { return DataForSeo::Id; }
    QString displayName() const override { return DataForSeo::Name; }

    QList<SourceRequest> suggestionRequests(const QString &keyword) const override;
    SourceVerdict readSuggestions(int index, const FetchOutcome &outcome, SuggestionTable &table,
                                  const bool &stopRequested, const StatusSink &status) override;

    SourceRequest countRequest(const QString &phrase) const override;
    SourceVerdict readCount(const FetchOutcome &outcome, Suggestion &entry,
                            const bool &stopRequested, const StatusSink &status) override;
    int parallelLimit() const override { return ParallelLimit; }
    bool pacedLikePages() const override { return false; }

    std::chrono::milliseconds pauseBeforeEachRequest() const override
    {
        return std::chrono::milliseconds(0);
    }

    // The ideas of the last suggestions read, in the table's order, with their months.
    const QList<KeywordIdea> &ideasTaken() const { return m_ideasTaken; }
    Seasons seasonsTaken() const override;

private:
    SourceCredentials m_credentials;
    Market m_market;
    QUrl m_base;
    QList<KeywordIdea> m_ideasTaken;
};

} // namespace Quorvane

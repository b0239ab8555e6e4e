#include "sources/serpapi.h"

#include "sources/serviceanswers.h"

#include <QJsonArray>
#include <QJsonObject>

namespace Quorvane {

namespace SerpApi {

namespace {

const QString KeyWords = QStringLiteral("API key");

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QUrl withQuery(const QUrl &base, const QString &path,
               const QList<std::pair<QString, QString>> &pairs)
{
    QUrl url = addressUnder(base, path);
    QStringList parts;
    for (const auto &[name, value] : pairs)
        parts << name + QLatin1Char('=') + encoded(value);
    // Already encoded: "+" in a phrase must reach the service as %2B, not as a space.
    url.setQuery(parts.join(QLatin1Char('&')), QUrl::StrictMode);
    return url;
}

bool outOfSearches(const QString &error)
{
    const QString lower = error.toLower();
    return lower.contains(QLatin1String("run out"))
        || lower.contains(QLatin1String("searches left"))
        || lower.contains(QLatin1String("no more searches"));
}

// The `error` text of an answer that is not a success, in the user's words.
SourceVerdict errorVerdict(const FetchOutcome &outcome, const SourceVerdict &byStatus,
                           const QString &apiKey)
{
    QString error;
    const JsonAnswer body = readJsonAnswer(
        FetchOutcome {true, false, 200, outcome.body, std::nullopt, QString()}, Name, KeyWords);
    if (body.verdict.failure == SourceFailure::None)
        error = serviceWords(body.object.value(QLatin1String("error")).toString(), apiKey);
    // 429 is both "too many this hour" and "no searches left": the error text tells which.
    if (outOfSearches(error))
        return failureVerdict(SourceFailure::NoFunds,
                              QStringLiteral("SerpApi says the account has no searches left (%1). "
                                             "Upgrade the plan or wait for next month, or choose "
                                             "another source in the Sources window.")
                                  .arg(error));
    SourceVerdict verdict = byStatus;
    if (verdict.failure == SourceFailure::TaskFailed && !error.isEmpty())
        verdict.message = QStringLiteral("SerpApi could not do the search: %1").arg(error);
    return verdict;
}

} // namespace

QUrl baseAddress()
{
    return baseAddressFromEnvironment(BaseVariable, DefaultBase);
}

SourceRequest searchRequest(const QUrl &base, const QString &apiKey, const Market &market,
                            const QString &phrase)
{
    SourceRequest request;
    request.url = withQuery(base, QStringLiteral("/search.json"),
                            {{QStringLiteral("engine"), QStringLiteral("google")},
                             {QStringLiteral("q"), phrase},
                             {QStringLiteral("gl"), market.countryCode.toLower()},
                             {QStringLiteral("hl"), market.languageCode},
                             {QStringLiteral("api_key"), apiKey}});
    return request;
}

SourceRequest accountRequest(const QUrl &base, const QString &apiKey)
{
    SourceRequest request;
    request.url =
        withQuery(base, QStringLiteral("/account.json"), {{QStringLiteral("api_key"), apiKey}});
    return request;
}

// Relies on `search_metadata.status` ("Success" or "Error"), `search_information.total_results`
// (a number, or a number sent as text), `ads` (present and not empty when the page shows
// advertisements) and, for failures, `error`.
SourceVerdict readSearch(const FetchOutcome &outcome, SearchFacts &facts, const QString &apiKey)
{
    const JsonAnswer answer = readJsonAnswer(outcome, Name, KeyWords);
    if (answer.verdict.failure != SourceFailure::None) {
        if (outcome.answered && answer.verdict.failure != SourceFailure::Malformed)
            return errorVerdict(outcome, answer.verdict, apiKey);
        return answer.verdict;
    }
    const QJsonObject &page = answer.object;
    const QString state = page.value(QLatin1String("search_metadata"))
                              .toObject()
                              .value(QLatin1String("status"))
                              .toString();
    if (state == QLatin1String("Error")) {
        return failureVerdict(
            SourceFailure::TaskFailed,
            QStringLiteral("SerpApi could not do the search: %1")
                .arg(serviceWords(page.value(QLatin1String("error")).toString(), apiKey)));
    }
    if (!page.contains(QLatin1String("search_metadata"))
        && !page.contains(QLatin1String("search_information"))) {
        if (page.contains(QLatin1String("error")))
            return errorVerdict(outcome, failureVerdict(SourceFailure::TaskFailed, QString()),
                                apiKey);
        return failureVerdict(SourceFailure::Malformed,
                              malformedText(Name, QStringLiteral("no search information")));
    }
    const QJsonValue total = page.value(QLatin1String("search_information"))
                                 .toObject()
                                 .value(QLatin1String("total_results"));
    facts.results = plainDigits(total).value_or(QString());
    facts.hasAds = !page.value(QLatin1String("ads")).toArray().isEmpty();
    return {};
}

// Relies on `total_searches_left` (falling back to `plan_searches_left`) and `error`.
SourceVerdict readAccount(const FetchOutcome &outcome, std::optional<qint64> &searchesLeft,
                          const QString &apiKey)
{
    const JsonAnswer answer = readJsonAnswer(outcome, Name, KeyWords);
    if (answer.verdict.failure != SourceFailure::None) {
        if (outcome.answered && answer.verdict.failure != SourceFailure::Malformed)
            return errorVerdict(outcome, answer.verdict, apiKey);
        return answer.verdict;
    }
    QJsonValue left = answer.object.value(QLatin1String("total_searches_left"));
    if (!left.isDouble())
        left = answer.object.value(QLatin1String("plan_searches_left"));
    if (!left.isDouble()) {
        if (answer.object.contains(QLatin1String("error")))
            return errorVerdict(outcome, failureVerdict(SourceFailure::TaskFailed, QString()),
                                apiKey);
        return failureVerdict(SourceFailure::Malformed,
                              malformedText(Name, QStringLiteral("no searches left")));
    }
    searchesLeft = left.toInteger();
    return {};
}

} // namespace SerpApi

SerpApiSource::SerpApiSource(QString apiKey, Market market, QUrl base)
    : m_apiKey(std::move(apiKey))
    , m_market(std::move(market))
    , m_base(std::move(base))
{ }

SourceRequest SerpApiSource::countRequest(const QString &phrase) const
{
    return SerpApi::searchRequest(m_base, m_apiKey, m_market, phrase);
}

SourceVerdict SerpApiSource::readCount(const FetchOutcome &outcome, Suggestion &entry,
                                       const bool &stopRequested, const StatusSink &status)
{
    SerpApi::SearchFacts facts;
    const SourceVerdict verdict = SerpApi::readSearch(outcome, facts, m_apiKey);
    if (verdict.failure != SourceFailure::None || stopRequested)
        return verdict;
    entry.results = facts.results;
    entry.hasAds = entry.hasAds || facts.hasAds;
    if (status)
        status(QStringLiteral("Completed popularity analysis for one suggestion"));
    return verdict;
}

} // namespace Quorvane

#include "sources/dataforseo.h"

#include "sources/serviceanswers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Quorvane {

namespace DataForSeo {

namespace {

const QString KeyWords = QStringLiteral("login and password");

QByteArray basicAuthorization(const SourceCredentials &credentials)
{
    return "Basic "
        + (credentials.login + QLatin1Char(':') + credentials.secret).toUtf8().toBase64();
}

SourceRequest post(const QUrl &base, const QString &path, const SourceCredentials &credentials,
                   const QJsonObject &task)
{
    SourceRequest request;
    request.method = "POST";
    request.url = addressUnder(base, path);
    request.headers = {{"Authorization", basicAuthorization(credentials)},
                       {"Content-Type", "application/json"}};
    // The service takes an array of tasks; the live endpoints take exactly one.
    request.body = QJsonDocument(QJsonArray {task}).toJson(QJsonDocument::Compact);
    return request;
}

// The service's own status codes (its "errors" appendix) that mean something to the user.
SourceVerdict verdictForCode(qint64 code, const QString &message)
{
    const QString words = message.isEmpty() ? QStringLiteral("no reason given") : message;
    switch (code) {
    case 40100: // not authorized
        return failureVerdict(SourceFailure::KeyRefused, keyRefusedText(Name, KeyWords));
    case 40200: // payment required
    case 40203: // the daily cost limit set in the account
    case 40210: // not enough money for the task
        return failureVerdict(SourceFailure::NoFunds,
                              QStringLiteral("DataForSEO will not run the task: %1. Top up the "
                                             "balance or raise the limit in the DataForSEO "
                                             "dashboard, or choose another source in the Sources "
                                             "window.")
                                  .arg(words));
    case 40202: // too many requests a minute
    case 40209: // too many at once
        return failureVerdict(
            SourceFailure::RateLimited,
            QStringLiteral("DataForSEO asks Quorvane to slow down: %1.").arg(words));
    default:
        return failureVerdict(
            SourceFailure::TaskFailed,
            QStringLiteral("DataForSEO could not do the task: %1 (code %2).").arg(words).arg(code));
    }
}

} // namespace

QUrl baseAddress()
{
    return baseAddressFromEnvironment(BaseVariable, DefaultBase);
}

SourceRequest keywordsRequest(const QUrl &base, const SourceCredentials &credentials,
                              const Market &market, const QString &keyword)
{
    // Fields: keywords (up to 20 seeds; one here), location_code, language_code, sort_by.
    return post(base, KeywordsPath, credentials,
                {{QStringLiteral("keywords"), QJsonArray {keyword}},
                 {QStringLiteral("location_code"), market.locationCode},
                 {QStringLiteral("language_code"), market.languageCode},
                 {QStringLiteral("sort_by"), QStringLiteral("search_volume")}});
}

QString serpKeyword(const QString &phrase)
{
    QString keyword = phrase;
    keyword.replace(QLatin1Char('%'), QLatin1String("%25"));
    keyword.replace(QLatin1Char('+'), QLatin1String("%2B"));
    return keyword;
}

SourceRequest serpRequest(const QUrl &base, const SourceCredentials &credentials,
                          const Market &market, const QString &phrase)
{
    // Fields: keyword, location_code, language_code, device, depth (10 results: one billed page).
    return post(base, SerpPath, credentials,
                {{QStringLiteral("keyword"), serpKeyword(phrase)},
                 {QStringLiteral("location_code"), market.locationCode},
                 {QStringLiteral("language_code"), market.languageCode},
                 {QStringLiteral("device"), QStringLiteral("desktop")},
                 {QStringLiteral("depth"), 10}});
}

SourceRequest userDataRequest(const QUrl &base, const SourceCredentials &credentials)
{
    SourceRequest request;
    request.url = addressUnder(base, UserDataPath);
    request.headers = {{"Authorization", basicAuthorization(credentials)}};
    return request;
}

// Relies on the envelope's `status_code` and `status_message`, and on each task's `status_code`,
// `status_message`, `cost` and `result`. A 20000 envelope can hold a task that failed on its own.
Task readTask(const FetchOutcome &outcome, const QString &secret)
{
    Task task;
    const JsonAnswer answer = readJsonAnswer(outcome, Name, KeyWords);
    if (answer.verdict.failure != SourceFailure::None) {
        task.verdict = answer.verdict;
        return task;
    }
    const QJsonObject &envelope = answer.object;
    const QJsonValue code = envelope.value(QLatin1String("status_code"));
    if (!code.isDouble()) {
        task.verdict = failureVerdict(SourceFailure::Malformed,
                                      malformedText(Name, QStringLiteral("no status code")));
        return task;
    }
    if (code.toInteger() != 20000) {
        task.verdict = verdictForCode(
            code.toInteger(),
            serviceWords(envelope.value(QLatin1String("status_message")).toString(), secret));
        return task;
    }
    const QJsonArray tasks = envelope.value(QLatin1String("tasks")).toArray();
    double cost = 0;
    for (const QJsonValue &each : tasks)
        cost += each.toObject().value(QLatin1String("cost")).toDouble();
    if (tasks.isEmpty() || !tasks.first().isObject()) {
        task.verdict = failureVerdict(SourceFailure::Malformed,
                                      malformedText(Name, QStringLiteral("no task")));
        task.verdict.cost = cost;
        return task;
    }
    const QJsonObject first = tasks.first().toObject();
    const QJsonValue taskCode = first.value(QLatin1String("status_code"));
    if (!taskCode.isDouble() || taskCode.toInteger() != 20000) {
        task.verdict = taskCode.isDouble()
            ? verdictForCode(
                taskCode.toInteger(),
                serviceWords(first.value(QLatin1String("status_message")).toString(), secret))
            : failureVerdict(SourceFailure::Malformed,
                             malformedText(Name, QStringLiteral("a task without a status code")));
        task.verdict.cost = cost;
        return task;
    }
    task.verdict.cost = cost;
    task.result = first.value(QLatin1String("result"));
    return task;
}

// Relies on each result's `keyword`, `search_volume` and `monthly_searches` (`year`, `month`,
// `search_volume`). A task whose `result` is null found no ideas.
SourceVerdict readKeywordIdeas(const FetchOutcome &outcome, QList<KeywordIdea> &ideas,
                               const QString &secret)
{
    const Task task = readTask(outcome, secret);
    if (task.verdict.failure != SourceFailure::None || task.result.isNull()
        || task.result.isUndefined())
        return task.verdict;
    if (!task.result.isArray()) {
        SourceVerdict verdict =
            failureVerdict(SourceFailure::Malformed, malformedText(Name, QStringLiteral("result")));
        verdict.cost = task.verdict.cost;
        return verdict;
    }
    const QJsonArray results = task.result.toArray();
    for (const QJsonValue &value : results) {
        const QJsonObject item = value.toObject();
        KeywordIdea idea;
        idea.keyword = item.value(QLatin1String("keyword")).toString().simplified();
        if (idea.keyword.isEmpty())
            continue;
        const QJsonValue volume = item.value(QLatin1String("search_volume"));
        if (volume.isDouble() && volume.toDouble() >= 0)
            idea.searchVolume = volume.toInteger();
        const QJsonArray months = item.value(QLatin1String("monthly_searches")).toArray();
        for (const QJsonValue &monthValue : months) {
            const QJsonObject month = monthValue.toObject();
            const QJsonValue searches = month.value(QLatin1String("search_volume"));
            if (!searches.isDouble())
                continue; // a month without a figure
            idea.monthlySearches.append({int(month.value(QLatin1String("year")).toInteger()),
                                         int(month.value(QLatin1String("month")).toInteger()),
                                         searches.toInteger()});
        }
        ideas.append(idea);
    }
    return task.verdict;
}

QList<KeywordIdea> mostSearched(QList<KeywordIdea> ideas, int take)
{
    std::stable_sort(ideas.begin(), ideas.end(), [](const KeywordIdea &a, const KeywordIdea &b) {
        return a.searchVolume.value_or(-1) > b.searchVolume.value_or(-1);
    });
    if (ideas.size() > take)
        ideas.resize(qMax(take, 0));
    return ideas;
}

// Relies on the first result's `se_results_count` and on its `items`' `type` ("paid" for an
// advertisement), with `item_types` as a second witness.
SourceVerdict readSerp(const FetchOutcome &outcome, SerpFacts &facts, const QString &secret)
{
    const Task task = readTask(outcome, secret);
    if (task.verdict.failure != SourceFailure::None)
        return task.verdict;
    const QJsonObject page = task.result.toArray().first().toObject();
    if (page.isEmpty()) {
        SourceVerdict verdict =
            failureVerdict(SourceFailure::Malformed,
                           malformedText(Name, QStringLiteral("a task without results")));
        verdict.cost = task.verdict.cost;
        return verdict;
    }
    facts.results = plainDigits(page.value(QLatin1String("se_results_count"))).value_or(QString());
    const QJsonArray items = page.value(QLatin1String("items")).toArray();
    for (const QJsonValue &item : items) {
        if (item.toObject().value(QLatin1String("type")).toString() == QLatin1String("paid"))
            facts.hasAds = true;
    }
    if (page.value(QLatin1String("item_types")).toArray().contains(QStringLiteral("paid")))
        facts.hasAds = true;
    return task.verdict;
}

// Relies on the first result's `money.balance`.
SourceVerdict readUserData(const FetchOutcome &outcome, std::optional<double> &balance,
                           const QString &secret)
{
    const Task task = readTask(outcome, secret);
    if (task.verdict.failure != SourceFailure::None)
        return task.verdict;
    const QJsonValue money = task.result.toArray()
                                 .first()
                                 .toObject()
                                 .value(QLatin1String("money"))
                                 .toObject()
                                 .value(QLatin1String("balance"));
    if (!money.isDouble())
        return failureVerdict(SourceFailure::Malformed,
                              malformedText(Name, QStringLiteral("no balance")));
    balance = money.toDouble();
    return task.verdict;
}

} // namespace DataForSeo

DataForSeoSource::DataForSeoSource(SourceCredentials credentials, Market market, QUrl base)
    : m_credentials(std::move(credentials))
    , m_market(std::move(market))
    , m_base(std::move(base))
{ }

QList<SourceRequest> DataForSeoSource::suggestionRequests(const QString &keyword) const
{
    return {DataForSeo::keywordsRequest(m_base, m_credentials, m_market, keyword)};
}

SourceVerdict DataForSeoSource::readSuggestions(int index, const FetchOutcome &outcome,
                                                SuggestionTable &table, const bool &stopRequested,
                                                const StatusSink &status)
{
    if (index != 0)
        return {};
    m_ideasTaken.clear();
    if (status)
        status(QStringLiteral("Collecting keyword information from DataForSEO ..."));
    QList<KeywordIdea> ideas;
    const SourceVerdict verdict =
        DataForSeo::readKeywordIdeas(outcome, ideas, m_credentials.secret);
    if (verdict.failure != SourceFailure::None || stopRequested)
        return verdict;
    const int room = MaxSuggestions - qMax<int>(table.suggestionCount, 0);
    m_ideasTaken = DataForSeo::mostSearched(ideas, room);
    for (const KeywordIdea &idea : std::as_const(m_ideasTaken)) {
        Suggestion &entry = table.entries[table.suggestionCount];
        entry.searches = QString::number(idea.searchVolume.value_or(0));
        entry.keyword = idea.keyword;
        ++table.suggestionCount;
    }
    table.noSuggestions = table.suggestionCount == 0;
    return verdict;
}

Seasons DataForSeoSource::seasonsTaken() const
{
    Seasons seasons;
    for (const KeywordIdea &idea : m_ideasTaken) {
        if (!idea.monthlySearches.isEmpty())
            seasons.insert(idea.keyword, idea.monthlySearches);
    }
    return seasons;
}

SourceRequest DataForSeoSource::countRequest(const QString &phrase) const
{
    return DataForSeo::serpRequest(m_base, m_credentials, m_market, phrase);
}

SourceVerdict DataForSeoSource::readCount(const FetchOutcome &outcome, Suggestion &entry,
                                          const bool &stopRequested, const StatusSink &status)
{
    DataForSeo::SerpFacts facts;
    const SourceVerdict verdict = DataForSeo::readSerp(outcome, facts, m_credentials.secret);
    if (verdict.failure != SourceFailure::None || stopRequested)
        return verdict;
    entry.results = facts.results;
    entry.hasAds = entry.hasAds || facts.hasAds;
    if (status)
        status(QStringLiteral("Completed popularity analysis for one suggestion"));
    return verdict;
}

} // namespace Quorvane

#include "sample/sampleapis.h"

#include "results/suggestiontable.h"
#include "sample/samplepages.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

#include <array>

namespace Quorvane {

namespace {

struct FaultName
{
    SampleApiFault fault;
    const char *name;
};

const std::array<FaultName, 7> FaultNames = {{
    {SampleApiFault::RefusedKey, "refused-key"},
    {SampleApiFault::NoFunds, "no-funds"},
    {SampleApiFault::RateLimited, "rate-limited"},
    {SampleApiFault::RateLimitedOnce, "rate-limited-once"},
    {SampleApiFault::FailedTask, "failed-task"},
    {SampleApiFault::TotalAsString, "total-as-string"},
    {SampleApiFault::NoResults, "no-results"},
}};

const QString KeywordsPath =
    QStringLiteral("/v3/keywords_data/google_ads/keywords_for_keywords/live");
const QString SerpPath = QStringLiteral("/v3/serp/google/organic/live/regular");
const QString UserDataPath = QStringLiteral("/v3/appendix/user_data");
const QString SearchPath = QStringLiteral("/search.json");
const QString AccountPath = QStringLiteral("/account.json");

// A season whose twelve factors average exactly 1, so the months average the yearly figure.
constexpr std::array<double, 12> Season = {0.8,  0.85, 0.9, 1.0, 1.1,  1.2,
                                           1.25, 1.2,  1.1, 1.0, 0.85, 0.75};

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString pathOf(const QByteArray &target)
{
    const qsizetype question = target.indexOf('?');
    return QString::fromLatin1(question < 0 ? target : target.left(question));
}

QString grouped(qint64 value)
{
    return groupThousands(value);
}

QJsonObject envelope(const QJsonArray &tasks, double cost, int errors = 0)
{
    return {{QStringLiteral("version"), QStringLiteral("0.1.20261201")},
            {QStringLiteral("status_code"), 20000},
            {QStringLiteral("status_message"), QStringLiteral("Ok.")},
            {QStringLiteral("time"), QStringLiteral("0.4100 sec.")},
            {QStringLiteral("cost"), cost},
            {QStringLiteral("tasks_count"), tasks.size()},
            {QStringLiteral("tasks_error"), errors},
            {QStringLiteral("tasks"), tasks}};
}

QJsonObject task(const QString &path, int code, const QString &message, double cost,
                 const QJsonValue &result)
{
    QJsonArray pathParts;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        pathParts.append(part);
    return {{QStringLiteral("id"), QStringLiteral("12071200-1535-0139-0000-5a1e4a3c0b7d")},
            {QStringLiteral("status_code"), code},
            {QStringLiteral("status_message"), message},
            {QStringLiteral("time"), QStringLiteral("0.3900 sec.")},
            {QStringLiteral("cost"), cost},
            {QStringLiteral("result_count"), result.isArray() ? result.toArray().size() : 0},
            {QStringLiteral("path"), pathParts},
            {QStringLiteral("data"), QJsonObject {{QStringLiteral("api"), pathParts.at(1)}}},
            {QStringLiteral("result"), result}};
}

SampleApiAnswer dataForSeoError(int status, const QByteArray &reason, int code,
                                const QString &message)
{
    QJsonObject body = envelope({}, 0);
    body[QStringLiteral("status_code")] = code;
    body[QStringLiteral("status_message")] = message;
    body[QStringLiteral("tasks_count")] = 0;
    return {status, reason, json(body), QByteArray()};
}

QJsonArray monthsOf(qint64 searches)
{
    QJsonArray months;
    const QDate today = QDate::currentDate();
    for (int back = 1; back <= 12; ++back) {
        const QDate month = today.addMonths(-back);
        months.append(QJsonObject {
            {QStringLiteral("year"), month.year()},
            {QStringLiteral("month"), month.month()},
            {QStringLiteral("search_volume"),
             qint64(double(searches) * Season[std::size_t(month.month() - 1)] + 0.5)}});
    }
    return months;
}

QJsonObject idea(const QString &keyword, const QJsonValue &searches, const QJsonArray &months)
{
    return {{QStringLiteral("keyword"), keyword},
            {QStringLiteral("location_code"), 2840},
            {QStringLiteral("language_code"), QStringLiteral("en")},
            {QStringLiteral("search_partners"), false},
            {QStringLiteral("competition"), QStringLiteral("LOW")},
            {QStringLiteral("competition_index"), 12},
            {QStringLiteral("search_volume"), searches},
            {QStringLiteral("low_top_of_page_bid"), 0.41},
            {QStringLiteral("high_top_of_page_bid"), 2.07},
            {QStringLiteral("cpc"), 1.12},
            {QStringLiteral("monthly_searches"), months}};
}

QJsonValue keywordIdeas(const QString &seed)
{
    const QList<SampleSuggestion> rows = sampleSuggestions(seed, MaxSuggestions);
    if (rows.isEmpty())
        return QJsonValue::Null;
    QJsonArray ideas;
    for (const SampleSuggestion &row : rows)
        ideas.append(idea(row.phrase, row.searches, monthsOf(row.searches)));
    // Ideas without a figure, which a reader must leave below the hundred it keeps.
    for (int n = 1; n <= 5; ++n)
        ideas.append(idea(seed.trimmed().toLower() + QStringLiteral(" idea %1").arg(n),
                          QJsonValue::Null, QJsonArray()));
    return ideas;
}

QJsonObject serpPage(const QString &phrase, bool totalAsString)
{
    const qint64 count = sampleResultCount(phrase);
    const bool ads = sampleHasAds(phrase);
    QJsonArray items;
    QJsonArray types;
    int rank = 0;
    if (ads) {
        types.append(QStringLiteral("paid"));
        items.append(
            QJsonObject {{QStringLiteral("type"), QStringLiteral("paid")},
                         {QStringLiteral("rank_group"), 1},
                         {QStringLiteral("rank_absolute"), ++rank},
                         {QStringLiteral("domain"), QStringLiteral("www.shop.example")},
                         {QStringLiteral("title"), phrase + QStringLiteral(" - Shop")},
                         {QStringLiteral("url"), QStringLiteral("https://www.shop.example/")}});
    }
    types.append(QStringLiteral("organic"));
    for (int i = 1; i <= 3; ++i) {
        items.append(QJsonObject {
            {QStringLiteral("type"), QStringLiteral("organic")},
            {QStringLiteral("rank_group"), i},
            {QStringLiteral("rank_absolute"), ++rank},
            {QStringLiteral("domain"), QStringLiteral("www.site%1.example").arg(i)},
            {QStringLiteral("title"), phrase},
            {QStringLiteral("url"), QStringLiteral("https://www.site%1.example/").arg(i)}});
    }
    QJsonValue total = QJsonValue::Null;
    if (count >= 0)
        total = totalAsString ? QJsonValue(grouped(count)) : QJsonValue(count);
    return {{QStringLiteral("keyword"), phrase},
            {QStringLiteral("type"), QStringLiteral("organic")},
            {QStringLiteral("se_domain"), QStringLiteral("google.com")},
            {QStringLiteral("location_code"), 2840},
            {QStringLiteral("language_code"), QStringLiteral("en")},
            {QStringLiteral("check_url"),
             QStringLiteral("https://www.google.com/search?q=")
                 + QString::fromLatin1(QUrl::toPercentEncoding(phrase))},
            {QStringLiteral("datetime"), QStringLiteral("2026-12-07 02:00:00 +00:00")},
            {QStringLiteral("spell"), QJsonValue::Null},
            {QStringLiteral("item_types"), types},
            {QStringLiteral("se_results_count"), total},
            {QStringLiteral("items_count"), items.size()},
            {QStringLiteral("items"), items}};
}

SampleApiAnswer dataForSeoAnswer(const QString &path, const SampleApiRequest &request,
                                 SampleApiFault fault, int retryAfterSeconds)
{
    if (request.login.isEmpty() || request.secret.isEmpty() || fault == SampleApiFault::RefusedKey)
        return dataForSeoError(401, "Unauthorized", 40100,
                               QStringLiteral("You are not authorized to access this resource."));
    if (fault == SampleApiFault::NoFunds)
        return dataForSeoError(402, "Payment Required", 40200, QStringLiteral("Payment Required."));
    if (fault == SampleApiFault::RateLimited || fault == SampleApiFault::RateLimitedOnce) {
        SampleApiAnswer answer = dataForSeoError(429, "Too Many Requests", 40202,
                                                 QStringLiteral("Rate-limit per minute exceeded."));
        answer.extraHeaders = "Retry-After: " + QByteArray::number(retryAfterSeconds) + "\r\n";
        return answer;
    }
    if (path == UserDataPath) {
        const QJsonObject money {{QStringLiteral("total"), 100.0},
                                 {QStringLiteral("balance"), SampleDataForSeoBalance},
                                 {QStringLiteral("limits"), QJsonObject {}},
                                 {QStringLiteral("statistics"), QJsonObject {}}};
        const QJsonArray result {QJsonObject {{QStringLiteral("login"), request.login},
                                              {QStringLiteral("timezone"), QStringLiteral("UTC")},
                                              {QStringLiteral("rates"), QJsonObject {}},
                                              {QStringLiteral("money"), money},
                                              {QStringLiteral("price"), QJsonObject {}}}};
        return {200, "OK", json(envelope({task(path, 20000, QStringLiteral("Ok."), 0, result)}, 0)),
                QByteArray()};
    }
    const double cost = path == KeywordsPath ? SampleKeywordsTaskCost : SampleSerpTaskCost;
    if (fault == SampleApiFault::FailedTask)
        return {200, "OK",
                json(envelope({task(path, 40501, QStringLiteral("Invalid Field: 'keyword'."), 0,
                                    QJsonValue::Null)},
                              0, 1)),
                QByteArray()};
    QJsonValue result = QJsonValue::Null;
    if (fault != SampleApiFault::NoResults) {
        if (path == KeywordsPath)
            result = keywordIdeas(request.phrase);
        else
            result = QJsonArray {serpPage(request.phrase, fault == SampleApiFault::TotalAsString)};
    }
    return {200, "OK",
            json(envelope({task(path, 20000, QStringLiteral("Ok."), cost, result)}, cost)),
            QByteArray()};
}

SampleApiAnswer serpApiError(int status, const QByteArray &reason, const QString &error)
{
    return {status, reason, json({{QStringLiteral("error"), error}}), QByteArray()};
}

SampleApiAnswer serpApiAnswer(const QString &path, const SampleApiRequest &request,
                              SampleApiFault fault, int retryAfterSeconds)
{
    if (request.secret.isEmpty() || fault == SampleApiFault::RefusedKey)
        return serpApiError(401, "Unauthorized",
                            QStringLiteral("Invalid API key. Your API key should be here: "
                                           "https://serpapi.com/manage-api-key"));
    if (fault == SampleApiFault::NoFunds)
        return serpApiError(429, "Too Many Requests",
                            QStringLiteral("Your account has run out of searches."));
    if (fault == SampleApiFault::RateLimited || fault == SampleApiFault::RateLimitedOnce) {
        SampleApiAnswer answer = serpApiError(
            429, "Too Many Requests",
            QStringLiteral("You have exceeded the hourly throughput limit for your plan."));
        answer.extraHeaders = "Retry-After: " + QByteArray::number(retryAfterSeconds) + "\r\n";
        return answer;
    }
    if (path == AccountPath)
        return {200, "OK",
                json({{QStringLiteral("account_id"), QStringLiteral("5ac54d6adefb2f1dba0f8a2c")},
                      {QStringLiteral("account_email"), QStringLiteral("sample@example.com")},
                      {QStringLiteral("plan_id"), QStringLiteral("developer")},
                      {QStringLiteral("plan_name"), QStringLiteral("Developer")},
                      {QStringLiteral("searches_per_month"), 5000},
                      {QStringLiteral("plan_searches_left"), SampleSerpApiSearchesLeft},
                      {QStringLiteral("extra_credits"), 0},
                      {QStringLiteral("total_searches_left"), SampleSerpApiSearchesLeft},
                      {QStringLiteral("this_month_usage"), 100},
                      {QStringLiteral("last_hour_searches"), 0},
                      {QStringLiteral("account_rate_limit_per_hour"), 1000}}),
                QByteArray()};
    const QJsonObject metadata {
        {QStringLiteral("id"), QStringLiteral("6571b2c0d3a1f8e2b4c5d6e7")},
        {QStringLiteral("status"),
         fault == SampleApiFault::FailedTask ? QStringLiteral("Error") : QStringLiteral("Success")},
        {QStringLiteral("created_at"), QStringLiteral("2026-12-07 02:00:00 UTC")},
        {QStringLiteral("processed_at"), QStringLiteral("2026-12-07 02:00:00 UTC")},
        {QStringLiteral("google_url"),
         QStringLiteral("https://www.google.com/search?q=")
             + QString::fromLatin1(QUrl::toPercentEncoding(request.phrase))},
        {QStringLiteral("total_time_taken"), 1.21}};
    if (fault == SampleApiFault::FailedTask)
        return {503, "Service Unavailable",
                json({{QStringLiteral("search_metadata"), metadata},
                      {QStringLiteral("error"),
                       QStringLiteral("Google hasn't returned any results for this query.")}}),
                QByteArray()};
    const QJsonObject parameters {{QStringLiteral("engine"), QStringLiteral("google")},
                                  {QStringLiteral("q"), request.phrase},
                                  {QStringLiteral("google_domain"), QStringLiteral("google.com")},
                                  {QStringLiteral("device"), QStringLiteral("desktop")}};
    QJsonObject information {{QStringLiteral("query_displayed"), request.phrase},
                             {QStringLiteral("time_taken_displayed"), 0.31}};
    QJsonObject page {{QStringLiteral("search_metadata"), metadata},
                      {QStringLiteral("search_parameters"), parameters}};
    if (fault == SampleApiFault::NoResults) {
        information[QStringLiteral("total_results")] = 0;
        information[QStringLiteral("organic_results_state")] = QStringLiteral("Fully empty");
        page[QStringLiteral("search_information")] = information;
        page[QStringLiteral("error")] =
            QStringLiteral("Google hasn't returned any results for this query.");
        return {200, "OK", json(page), QByteArray()};
    }
    const qint64 count = sampleResultCount(request.phrase);
    if (count >= 0)
        information[QStringLiteral("total_results")] =
            fault == SampleApiFault::TotalAsString ? QJsonValue(grouped(count)) : QJsonValue(count);
    information[QStringLiteral("organic_results_state")] =
        QStringLiteral("Results for exact spelling");
    page[QStringLiteral("search_information")] = information;
    if (sampleHasAds(request.phrase))
        page[QStringLiteral("ads")] = QJsonArray {
            QJsonObject {{QStringLiteral("position"), 1},
                         {QStringLiteral("block_position"), QStringLiteral("top")},
                         {QStringLiteral("title"), request.phrase + QStringLiteral(" - Shop")},
                         {QStringLiteral("link"), QStringLiteral("https://www.shop.example/")}}};
    QJsonArray organic;
    for (int i = 1; i <= 3; ++i)
        organic.append(QJsonObject {
            {QStringLiteral("position"), i},
            {QStringLiteral("title"), request.phrase},
            {QStringLiteral("link"), QStringLiteral("https://www.site%1.example/").arg(i)}});
    page[QStringLiteral("organic_results")] = organic;
    return {200, "OK", json(page), QByteArray()};
}

} // namespace

QString sampleApiFaultName(SampleApiFault fault)
{
    for (const FaultName &entry : FaultNames) {
        if (entry.fault == fault)
            return QLatin1String(entry.name);
    }
    return QStringLiteral("none");
}

std::optional<SampleApiFault> sampleApiFaultFromName(const QString &name)
{
    if (name == QLatin1String("none"))
        return SampleApiFault::None;
    for (const FaultName &entry : FaultNames) {
        if (name == QLatin1String(entry.name))
            return entry.fault;
    }
    return std::nullopt;
}

QList<SampleApiFault> allSampleApiFaults()
{
    QList<SampleApiFault> faults;
    for (const FaultName &entry : FaultNames)
        faults.append(entry.fault);
    return faults;
}

SampleApiRequest sampleApiRequest(const QByteArray &method, const QByteArray &target,
                                  const QByteArray &authorization, const QByteArray &body)
{
    SampleApiRequest request;
    const QString path = pathOf(target);
    const bool dataForSeo = path == KeywordsPath || path == SerpPath || path == UserDataPath;
    const bool serpApi = path == SearchPath || path == AccountPath;
    request.isApi = dataForSeo || serpApi;
    if (dataForSeo) {
        if (authorization.startsWith("Basic ")) {
            const QString pair = QString::fromUtf8(QByteArray::fromBase64(authorization.mid(6)));
            const qsizetype colon = pair.indexOf(QLatin1Char(':'));
            if (colon >= 0) {
                request.login = pair.left(colon);
                request.secret = pair.mid(colon + 1);
            }
        }
        if (method == "POST") {
            const QJsonObject first = QJsonDocument::fromJson(body).array().first().toObject();
            if (path == KeywordsPath) {
                request.phrase =
                    first.value(QLatin1String("keywords")).toArray().first().toString();
            } else {
                // The service decodes %XX and "+" (as a space) in a results page's keyword.
                QByteArray keyword = first.value(QLatin1String("keyword")).toString().toUtf8();
                keyword.replace('+', ' ');
                request.phrase = QString::fromUtf8(QByteArray::fromPercentEncoding(keyword));
            }
        }
    } else if (serpApi) {
        const qsizetype question = target.indexOf('?');
        const QUrlQuery query(
            QString::fromLatin1(question < 0 ? QByteArray() : target.mid(question + 1)));
        const auto decoded = [&query](const QString &name) {
            QByteArray raw = query.queryItemValue(name, QUrl::FullyEncoded).toLatin1();
            raw.replace('+', ' ');
            return QString::fromUtf8(QByteArray::fromPercentEncoding(raw));
        };
        request.phrase = decoded(QStringLiteral("q"));
        request.login = request.secret = decoded(QStringLiteral("api_key"));
    }
    for (const QString &key : {request.login, request.secret}) {
        if (key.startsWith(QLatin1String("fault:")))
            request.keyFault = sampleApiFaultFromName(key.mid(6));
    }
    return request;
}

SampleApiAnswer sampleApiAnswer(const QByteArray &target, const SampleApiRequest &request,
                                SampleApiFault fault, int retryAfterSeconds)
{
    const QString path = pathOf(target);
    if (request.keyFault && fault == SampleApiFault::None)
        fault = *request.keyFault;
    if (path == SearchPath || path == AccountPath)
        return serpApiAnswer(path, request, fault, retryAfterSeconds);
    return dataForSeoAnswer(path, request, fault, retryAfterSeconds);
}

} // namespace Quorvane

#include "sample/sampleapis.h"
#include "sources/accountcheck.h"
#include "sources/dataforseo.h"
#include "sources/serpapi.h"
#include "sources/serviceanswers.h"
#include "sources/sourcecatalog.h"
#include "store/sourcesettings.h"
#include "tests/support/loopbackservices.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace Quorvane;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Quorvane::SourceFailure)
Q_DECLARE_METATYPE(std::optional<std::chrono::seconds>)
Q_DECLARE_METATYPE(Quorvane::FetchOutcome)
Q_DECLARE_METATYPE(Quorvane::SampleApiFault)

namespace {

FetchOutcome answered(int status, const QByteArray &body,
                      std::optional<std::chrono::seconds> retryAfter = std::nullopt)
{
    FetchOutcome outcome;
    outcome.answered = true;
    outcome.httpStatus = status;
    outcome.body = body;
    outcome.retryAfter = retryAfter;
    return outcome;
}

// A service's documented answer, kept under fixtures/.
FetchOutcome documented(const char *name, int status = 200,
                        std::optional<std::chrono::seconds> retryAfter = std::nullopt)
{
    const QByteArray bytes =
        TestSupport::readAll(QFINDTESTDATA(QStringLiteral("fixtures/") + QLatin1String(name)));
    if (bytes.isEmpty())
        qFatal("missing fixture %s", name);
    return answered(status, bytes, retryAfter);
}

FetchOutcome notAnswered()
{
    FetchOutcome outcome;
    outcome.errorText = QStringLiteral("the connection was refused");
    return outcome;
}

const SourceCredentials Credentials {QStringLiteral("someone@example.com"),
                                     QStringLiteral("s3cret-Pa55")};

QJsonObject onlyTask(const SourceRequest &request)
{
    return QJsonDocument::fromJson(request.body).array().first().toObject();
}

QByteArray headerOf(const SourceRequest &request, const QByteArray &name)
{
    for (const auto &[key, value] : request.headers) {
        if (key == name)
            return value;
    }
    return {};
}

// Sends a request to the loopback services and waits for its outcome.
FetchOutcome sendAndWait(const SourceRequest &request)
{
    RequestSender sender;
    std::optional<FetchOutcome> result;
    sender.send(request, [&result](const FetchOutcome &outcome) { result = outcome; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
        return {};
    return *result;
}

} // namespace

class tst_Sources final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dataForSeoRequests();
    void serpApiRequests();
    void baseAddressOverride_data();
    void baseAddressOverride();

    void dataForSeoSuggestions_data();
    void dataForSeoSuggestions();
    void dataForSeoCounts_data();
    void dataForSeoCounts();
    void serpApiCounts_data();
    void serpApiCounts();
    void stopLeavesTheTableAlone();

    void runCost_data();
    void runCost();
    void accountCheck_data();
    void accountCheck();
    void sourceSettingsKeepToTheirOwnKey();

    void sampleServicesGiveTheClassicFigures_data();
    void sampleServicesGiveTheClassicFigures();
    void sampleFailureRoutes_data();
    void sampleFailureRoutes();
    void sampleDelayAndOnceOnlyLimit();
};

void tst_Sources::dataForSeoRequests()
{
    const QUrl base(QStringLiteral("http://127.0.0.1:9/prefix/"));
    const Market germany {QStringLiteral("DE"), QStringLiteral("de"), 2276};

    const SourceRequest keywords =
        DataForSeo::keywordsRequest(base, Credentials, germany, QStringLiteral("Golf Clubs"));
    QCOMPARE(keywords.method, QByteArray("POST"));
    QCOMPARE(
        keywords.url.toString(),
        QStringLiteral(
            "http://127.0.0.1:9/prefix/v3/keywords_data/google_ads/keywords_for_keywords/live"));
    QCOMPARE(headerOf(keywords, "Authorization"),
             "Basic " + QByteArray("someone@example.com:s3cret-Pa55").toBase64());
    QCOMPARE(headerOf(keywords, "Content-Type"), QByteArray("application/json"));
    const QJsonObject keywordsTask = onlyTask(keywords);
    QCOMPARE(keywordsTask.value(QLatin1String("keywords")).toArray(),
             QJsonArray {QStringLiteral("Golf Clubs")});
    QCOMPARE(keywordsTask.value(QLatin1String("location_code")).toInt(), 2276);
    QCOMPARE(keywordsTask.value(QLatin1String("language_code")).toString(), QStringLiteral("de"));

    // The service reads "%XX" and "+" in a results page's keyword as escapes.
    const SourceRequest serp =
        DataForSeo::serpRequest(base, Credentials, Market {}, QStringLiteral("c++ 100% cotton"));
    QCOMPARE(serp.url.path(), QStringLiteral("/prefix/v3/serp/google/organic/live/regular"));
    const QJsonObject serpTask = onlyTask(serp);
    QCOMPARE(serpTask.value(QLatin1String("keyword")).toString(),
             QStringLiteral("c%2B%2B 100%25 cotton"));
    QCOMPARE(serpTask.value(QLatin1String("location_code")).toInt(), 2840);
    QCOMPARE(serpTask.value(QLatin1String("depth")).toInt(), 10);

    const SourceRequest user = DataForSeo::userDataRequest(base, Credentials);
    QCOMPARE(user.method, QByteArray("GET"));
    QCOMPARE(user.url.path(), QStringLiteral("/prefix/v3/appendix/user_data"));
    QVERIFY(!headerOf(user, "Authorization").isEmpty());
}

void tst_Sources::serpApiRequests()
{
    const Market britain {QStringLiteral("GB"), QStringLiteral("en"), 2826};
    const SourceRequest search =
        SerpApi::searchRequest(QUrl(QStringLiteral("https://serpapi.com")), QStringLiteral("k+y/1"),
                               britain, QStringLiteral("c++ & go #1"));
    QCOMPARE(search.method, QByteArray("GET"));
    QCOMPARE(search.url.path(), QStringLiteral("/search.json"));
    const QString query = search.url.query(QUrl::FullyEncoded);
    QVERIFY2(
        query.startsWith(QLatin1String("engine=google&q=c%2B%2B%20%26%20go%20%231&gl=gb&hl=en")),
        qPrintable(query));
    const QUrlQuery items(search.url);
    QCOMPARE(items.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded),
             QStringLiteral("c++ & go #1"));
    QCOMPARE(items.queryItemValue(QStringLiteral("api_key"), QUrl::FullyDecoded),
             QStringLiteral("k+y/1"));

    const SourceRequest account =
        SerpApi::accountRequest(QUrl(QStringLiteral("https://serpapi.com")), QStringLiteral("k"));
    QCOMPARE(account.url.toString(), QStringLiteral("https://serpapi.com/account.json?api_key=k"));
}

void tst_Sources::baseAddressOverride_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unset: the service's own") << QByteArray() << "https://api.dataforseo.com";
    QTest::newRow("a loopback address")
        << QByteArray("http://127.0.0.1:8123/x") << "http://127.0.0.1:8123/x";
    QTest::newRow("not http: ignored")
        << QByteArray("file:///etc/passwd") << "https://api.dataforseo.com";
    QTest::newRow("no host: ignored") << QByteArray("http://") << "https://api.dataforseo.com";
}

void tst_Sources::baseAddressOverride()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, expected);
    if (variable.isEmpty())
        qunsetenv(DataForSeo::BaseVariable);
    else
        qputenv(DataForSeo::BaseVariable, variable);
    QCOMPARE(DataForSeo::baseAddress().toString(), expected);
    QCOMPARE(sourceBaseAddress(DataForSeo::Id).toString(), expected);
    qunsetenv(DataForSeo::BaseVariable);
}

void tst_Sources::dataForSeoSuggestions_data()
{
    QTest::addColumn<FetchOutcome>("outcome");
    QTest::addColumn<SourceFailure>("failure");
    QTest::addColumn<QStringList>("rows"); // "searches|keyword", in table order
    QTest::addColumn<double>("cost");
    QTest::addColumn<QString>("messageHolds");

    QTest::newRow("documented answer: most searched first, no figure last")
        << documented("dataforseo-keywords.json") << SourceFailure::None
        << QStringList {QStringLiteral("301000|golf clubs"),
                        QStringLiteral("18100|used golf clubs"),
                        QStringLiteral("18100|cheap golf clubs"),
                        QStringLiteral("0|golf club sets")}
        << 0.075 << QString();
    QTest::newRow("task without results: no rows")
        << documented("dataforseo-no-result.json") << SourceFailure::None << QStringList() << 0.002
        << QString();
    QTest::newRow("failed task inside a 20000 envelope")
        << documented("dataforseo-task-failed.json") << SourceFailure::TaskFailed << QStringList()
        << 0.0 << QStringLiteral("Invalid Field: 'keyword'. (code 40501)");
    QTest::newRow("401 names the source and the Sources window")
        << documented("dataforseo-unauthorized.json", 401) << SourceFailure::KeyRefused
        << QStringList() << 0.0
        << QStringLiteral("DataForSEO refused the login and password. Enter it again in the "
                          "Sources window");
    QTest::newRow("its own 40100 code under HTTP 200")
        << documented("dataforseo-unauthorized.json") << SourceFailure::KeyRefused << QStringList()
        << 0.0 << QStringLiteral("Sources window");
    QTest::newRow("402: no money left")
        << documented("dataforseo-payment-required.json", 402) << SourceFailure::NoFunds
        << QStringList() << 0.0 << QStringLiteral("no money left");
    QTest::newRow("its own 40200 code under HTTP 200")
        << documented("dataforseo-payment-required.json") << SourceFailure::NoFunds << QStringList()
        << 0.0 << QStringLiteral("Payment Required.");
    QTest::newRow("429") << answered(429, QByteArray("{}"), 7s) << SourceFailure::RateLimited
                         << QStringList() << 0.0 << QStringLiteral("DataForSEO");
    QTest::newRow("no answer") << notAnswered() << SourceFailure::NoAnswer << QStringList() << 0.0
                               << QStringLiteral("did not answer (the connection was refused)");
    QTest::newRow("500") << answered(500, QByteArray("{}")) << SourceFailure::TaskFailed
                         << QStringList() << 0.0 << QStringLiteral("HTTP status 500");
}

void tst_Sources::dataForSeoSuggestions()
{
    QFETCH(FetchOutcome, outcome);
    QFETCH(SourceFailure, failure);
    QFETCH(QStringList, rows);
    QFETCH(double, cost);
    QFETCH(QString, messageHolds);

    DataForSeoSource source(Credentials, Market {}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    SuggestionTable table;
    table.noSuggestions = false;
    const bool stop = false;
    QStringList statuses;
    const SourceVerdict verdict = source.readSuggestions(
        0, outcome, table, stop, [&statuses](const QString &text) { statuses << text; });

    QCOMPARE(verdict.failure, failure);
    QVERIFY(qFuzzyCompare(1 + verdict.cost, 1 + cost));
    QVERIFY2(verdict.message.contains(messageHolds), qPrintable(verdict.message));
    QVERIFY(!verdict.message.contains(Credentials.secret));
    if (failure == SourceFailure::RateLimited)
        QCOMPARE(verdict.retryAfter, std::optional(7s));
    QStringList taken;
    for (int i = 0; i < table.suggestionCount; ++i)
        taken << table.entries[std::size_t(i)].searches + QLatin1Char('|')
                + table.entries[std::size_t(i)].keyword;
    QCOMPARE(taken, rows);
    if (failure == SourceFailure::None)
        QCOMPARE(table.noSuggestions, rows.isEmpty());
    else
        QVERIFY(!table.noSuggestions); // a failure leaves the table as it was

    if (rows.size() == 4) {
        // The months stay with their phrase; a month without a figure is left out.
        QCOMPARE(source.ideasTaken().size(), 4);
        QCOMPARE(source.ideasTaken().at(1).keyword, QStringLiteral("used golf clubs"));
        QCOMPARE(source.ideasTaken().at(1).monthlySearches,
                 (QList<MonthlySearches> {{2026, 11, 14800}, {2026, 10, 18100}}));
    }
}

void tst_Sources::dataForSeoCounts_data()
{
    QTest::addColumn<FetchOutcome>("outcome");
    QTest::addColumn<SourceFailure>("failure");
    QTest::addColumn<QString>("results");
    QTest::addColumn<bool>("hasAds");
    QTest::addColumn<double>("cost");

    QTest::newRow("documented page with a paid item")
        << documented("dataforseo-serp.json") << SourceFailure::None << "48200000" << true << 0.002;
    QTest::newRow("organic items only") << documented("dataforseo-serp-organic.json")
                                        << SourceFailure::None << "48200000" << false << 0.002;
    QTest::newRow("count sent as text") << documented("dataforseo-serp-string-total.json")
                                        << SourceFailure::None << "1234567" << false << 0.002;
    QTest::newRow("task without results")
        << documented("dataforseo-no-result.json") << SourceFailure::Malformed << QString() << false
        << 0.002;
    // 403 is read as a refused key too; no other row sends it.
    QTest::newRow("403") << answered(403, QByteArray()) << SourceFailure::KeyRefused << QString()
                         << false << 0.0;
}

void tst_Sources::dataForSeoCounts()
{
    QFETCH(FetchOutcome, outcome);
    QFETCH(SourceFailure, failure);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    QFETCH(double, cost);

    DataForSeoSource source(Credentials, Market {}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    Suggestion entry {QStringLiteral("18100"), QStringLiteral("used golf clubs"), {}, false};
    const bool stop = false;
    const SourceVerdict verdict = source.readCount(outcome, entry, stop, {});
    QCOMPARE(verdict.failure, failure);
    QCOMPARE(entry.results, results);
    QCOMPARE(entry.hasAds, hasAds);
    QVERIFY(qFuzzyCompare(1 + verdict.cost, 1 + cost));
    QCOMPARE(failure == SourceFailure::None, verdict.message.isEmpty());
}

void tst_Sources::serpApiCounts_data()
{
    QTest::addColumn<FetchOutcome>("outcome");
    QTest::addColumn<SourceFailure>("failure");
    QTest::addColumn<QString>("results");
    QTest::addColumn<bool>("hasAds");
    QTest::addColumn<QString>("messageHolds");

    QTest::newRow("documented page with ads")
        << documented("serpapi-search.json") << SourceFailure::None << "48200000" << true
        << QString();
    QTest::newRow("no ads key") << documented("serpapi-search-no-ads.json") << SourceFailure::None
                                << "48200000" << false << QString();
    QTest::newRow("total sent as text, ads empty")
        << documented("serpapi-search-string-total.json") << SourceFailure::None << "1234567"
        << false << QString();
    QTest::newRow("no results is a count of 0") << documented("serpapi-search-empty.json")
                                                << SourceFailure::None << "0" << false << QString();
    QTest::newRow("search status Error")
        << documented("serpapi-search-error.json", 503) << SourceFailure::TaskFailed << QString()
        << false << QStringLiteral("Proxy timeout. Please retry.");
    QTest::newRow("Error status under 200")
        << documented("serpapi-search-error.json") << SourceFailure::TaskFailed << QString()
        << false << QStringLiteral("Proxy timeout");
    QTest::newRow("invalid key")
        << documented("serpapi-invalid-key.json", 401) << SourceFailure::KeyRefused << QString()
        << false
        << QStringLiteral("SerpApi refused the API key. Enter it again in the Sources window");
    QTest::newRow("429 out of searches")
        << documented("serpapi-run-out.json", 429) << SourceFailure::NoFunds << QString() << false
        << QStringLiteral("no searches left");
    QTest::newRow("429 hourly limit")
        << documented("serpapi-throughput.json", 429, 60s) << SourceFailure::RateLimited
        << QString() << false << QStringLiteral("SerpApi");
    QTest::newRow("a key echoed back is hidden")
        << answered(400, QByteArray(R"({"error":"Unsupported key s3cret-Pa55 here."})"))
        << SourceFailure::TaskFailed << QString() << false
        << QStringLiteral("Unsupported key (hidden) here.");
    QTest::newRow("not JSON") << answered(200, QByteArray("not json")) << SourceFailure::Malformed
                              << QString() << false << QStringLiteral("cannot read");
    QTest::newRow("no answer") << notAnswered() << SourceFailure::NoAnswer << QString() << false
                               << QStringLiteral("SerpApi did not answer");
}

void tst_Sources::serpApiCounts()
{
    QFETCH(FetchOutcome, outcome);
    QFETCH(SourceFailure, failure);
    QFETCH(QString, results);
    QFETCH(bool, hasAds);
    QFETCH(QString, messageHolds);

    SerpApiSource source(Credentials.secret, Market {}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    Suggestion entry {QStringLiteral("18100"), QStringLiteral("used golf clubs"), {}, false};
    const bool stop = false;
    const SourceVerdict verdict = source.readCount(outcome, entry, stop, {});
    QCOMPARE(verdict.failure, failure);
    QCOMPARE(entry.results, results);
    QCOMPARE(entry.hasAds, hasAds);
    QCOMPARE(verdict.cost, 0.0);
    QVERIFY2(verdict.message.contains(messageHolds), qPrintable(verdict.message));
    QVERIFY(!verdict.message.contains(Credentials.secret));
    if (failure == SourceFailure::RateLimited)
        QCOMPARE(verdict.retryAfter, std::optional(60s));
}

void tst_Sources::stopLeavesTheTableAlone()
{
    DataForSeoSource source(Credentials, Market {}, QUrl(QStringLiteral("http://127.0.0.1:9")));
    SuggestionTable table;
    const bool stop = true;
    const SourceVerdict verdict =
        source.readSuggestions(0, documented("dataforseo-keywords.json"), table, stop, {});
    // Charged all the same: the cost is told even when the rows are not taken.
    QCOMPARE(verdict.cost, 0.075);
    QCOMPARE(table.suggestionCount, 0);
    Suggestion entry;
    source.readCount(documented("dataforseo-serp.json"), entry, stop, {});
    QVERIFY(entry.results.isEmpty());
    QVERIFY(!entry.hasAds);
}

void tst_Sources::runCost_data()
{
    QTest::addColumn<QString>("suggestions");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<double>("dollars");
    QTest::addColumn<bool>("asksAlways");
    QTest::addColumn<bool>("asksUnderHalfADollar");

    QTest::newRow("classic pages: free, never asks") << "classic"
                                                     << "classic" << 0.0 << false << false;
    QTest::newRow("DataForSEO both phases: one task and 100 pages")
        << "dataforseo"
        << "dataforseo" << 0.275 << true << false;
    QTest::newRow("DataForSEO suggestions, classic counts") << "dataforseo"
                                                            << "classic" << 0.075 << true << false;
    QTest::newRow("classic suggestions, SerpApi counts") << "classic"
                                                         << "serpapi" << 1.5 << true << true;
    QTest::newRow("unknown ids count as free") << "nowhere"
                                               << "nobody" << 0.0 << false << false;
}

void tst_Sources::runCost()
{
    QFETCH(QString, suggestions);
    QFETCH(QString, counts);
    QFETCH(double, dollars);
    QFETCH(bool, asksAlways);
    QFETCH(bool, asksUnderHalfADollar);

    const RunCost cost = estimateRunCost(suggestions, counts);
    QVERIFY(qFuzzyCompare(1 + cost.dollars, 1 + dollars));
    QCOMPARE(cost.isPaid(), dollars > 0);
    QCOMPARE(asksBeforeRun(cost, true, 0), asksAlways);
    QCOMPARE(asksBeforeRun(cost, true, 0.5), asksUnderHalfADollar);
    QVERIFY(!asksBeforeRun(cost, false, 0));
    if (cost.isPaid()) {
        const QString question =
            costQuestion(QStringLiteral("golf clubs"), suggestions, counts, cost, 12.3);
        QVERIFY2(question.contains(QStringLiteral("cost up to ") + dollarsText(dollars)),
                 qPrintable(question));
        QVERIFY(question.contains(QStringLiteral("The balance is $12.30.")));
        QVERIFY(question.contains(QStringLiteral("reused free for the rest of the month")));
    }
}

void tst_Sources::accountCheck_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<FetchOutcome>("outcome");
    QTest::addColumn<QString>("text");

    QTest::newRow("DataForSEO balance") << "dataforseo" << documented("dataforseo-user-data.json")
                                        << "DataForSEO answers: the balance is $12.345.";
    QTest::newRow("DataForSEO refused")
        << "dataforseo" << documented("dataforseo-unauthorized.json", 401)
        << keyRefusedText(QStringLiteral("DataForSEO"), QStringLiteral("login and password"));
    QTest::newRow("SerpApi searches left") << "serpapi" << documented("serpapi-account.json")
                                           << "SerpApi answers: 4,760 searches left.";
    QTest::newRow("SerpApi refused")
        << "serpapi" << documented("serpapi-invalid-key.json", 401)
        << keyRefusedText(QStringLiteral("SerpApi"), QStringLiteral("API key"));
}

void tst_Sources::accountCheck()
{
    QFETCH(QString, source);
    QFETCH(FetchOutcome, outcome);
    QFETCH(QString, text);
    const std::optional<SourceRequest> request =
        accountCheckRequest(source, Credentials, sourceBaseAddress(source));
    QVERIFY(request.has_value());
    QCOMPARE(accountStateText(source, readAccountCheck(source, outcome)), text);
    QVERIFY(!accountCheckRequest(ClassicSourceId, Credentials, QUrl()).has_value());
}

void tst_Sources::sourceSettingsKeepToTheirOwnKey()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("quorvane.ini"));
    SettingsStore store(SettingsLocation::iniFile(ini));
    QCOMPARE(loadSourceSettings(store), SourceSettings {});

    Settings settings;
    settings.keywordHistory = {QStringLiteral("golf clubs")};
    QVERIFY(store.writeDefaultSettings(settings));
    QVERIFY(store.saveHistory(settings));
    const QMap<QString, QString> before = TestSupport::iniValues(ini);

    SourceSettings chosen;
    chosen.suggestionSource = QStringLiteral("dataforseo");
    chosen.countSource = QStringLiteral("serpapi");
    chosen.countryCode = QStringLiteral("DE");
    chosen.languageCode = QStringLiteral("de");
    chosen.askBeforePaidRuns = false;
    chosen.askUnlessUnderDollars = 0.5;
    QVERIFY(saveSourceSettings(store, chosen));
    QCOMPARE(loadSourceSettings(store), chosen);
    // The pacing and history key is untouched, and its rewrite leaves the sources alone.
    QCOMPARE(TestSupport::iniValues(ini), before);
    QVERIFY(store.saveHistory(settings));
    QCOMPARE(loadSourceSettings(store), chosen);

    QCOMPARE(dollarsFromText(QStringLiteral("$0.25")), std::optional(0.25));
    QCOMPARE(dollarsFromText(QStringLiteral("-1")), std::nullopt);
    QCOMPARE(dollarsFromText(QStringLiteral("lots")), std::nullopt);
}

void tst_Sources::sampleServicesGiveTheClassicFigures_data()
{
    QTest::addColumn<QString>("counts");
    QTest::newRow("DataForSEO counts") << "dataforseo";
    QTest::newRow("SerpApi counts") << "serpapi";
}

void tst_Sources::sampleServicesGiveTheClassicFigures()
{
    QFETCH(QString, counts);
    TestSupport::LoopbackServices services;
    QVERIFY(services.start());
    const QUrl base(services->apiBaseAddress());
    DataForSeoSource suggestions(Credentials, Market {}, base);
    SerpApiSource serpApi(Credentials.secret, Market {}, base);
    CountSource &countSource = counts == QLatin1String("serpapi")
        ? static_cast<CountSource &>(serpApi)
        : static_cast<CountSource &>(suggestions);

    const QString seed = QStringLiteral("golf clubs");
    SuggestionTable table;
    const bool stop = false;
    const QList<SourceRequest> requests = suggestions.suggestionRequests(seed);
    QCOMPARE(requests.size(), 1);
    double cost = 0;
    SourceVerdict verdict =
        suggestions.readSuggestions(0, sendAndWait(requests.first()), table, stop, {});
    QCOMPARE(verdict.failure, SourceFailure::None);
    cost += verdict.cost;
    for (int i = 0; i < table.suggestionCount; ++i) {
        Suggestion &entry = table.entries[std::size_t(i)];
        verdict = countSource.readCount(sendAndWait(countSource.countRequest(entry.keyword)), entry,
                                        stop, {});
        QCOMPARE(verdict.failure, SourceFailure::None);
        cost += verdict.cost;
    }
    // Row for row what the classic sample pages give.
    QCOMPARE(TestSupport::differenceFromSample(table, seed), QString());
    QVERIFY(qFuzzyCompare(cost, counts == QLatin1String("serpapi") ? 0.075 : 0.275));
}

void tst_Sources::sampleFailureRoutes_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<SampleApiFault>("fault");
    QTest::addColumn<QString>("key");
    QTest::addColumn<SourceFailure>("failure");
    QTest::addColumn<QString>("results");

    for (const QString &source : {QStringLiteral("dataforseo"), QStringLiteral("serpapi")}) {
        const auto row = [&source](const char *name) -> QTestData & {
            return QTest::addRow("%s: %s", qPrintable(source), name) << source;
        };
        row("refused key") << SampleApiFault::RefusedKey << "k3y-Sample-77"
                           << SourceFailure::KeyRefused << QString();
        row("empty key") << SampleApiFault::None << "" << SourceFailure::KeyRefused << QString();
        row("no money left") << SampleApiFault::NoFunds << "k3y-Sample-77" << SourceFailure::NoFunds
                             << QString();
        row("429") << SampleApiFault::RateLimited << "k3y-Sample-77" << SourceFailure::RateLimited
                   << QString();
        row("failed task") << SampleApiFault::FailedTask << "k3y-Sample-77"
                           << SourceFailure::TaskFailed << QString();
        row("total as text") << SampleApiFault::TotalAsString << "k3y-Sample-77"
                             << SourceFailure::None << "digits";
        row("fault named by the key")
            << SampleApiFault::None << "fault:no-funds" << SourceFailure::NoFunds << QString();
    }
    QTest::newRow("dataforseo: task without results")
        << "dataforseo" << SampleApiFault::NoResults << "k3y-Sample-77" << SourceFailure::Malformed
        << QString();
    QTest::newRow("serpapi: no results")
        << "serpapi" << SampleApiFault::NoResults << "k" << SourceFailure::None << "0";
}

void tst_Sources::sampleFailureRoutes()
{
    QFETCH(QString, source);
    QFETCH(SampleApiFault, fault);
    QFETCH(QString, key);
    QFETCH(SourceFailure, failure);
    QFETCH(QString, results);

    TestSupport::LoopbackServices services;
    QVERIFY(services.start());
    services->setApiPlan({fault, {}, 4});
    const SourceCredentials credentials {QStringLiteral("login"), key};
    const std::unique_ptr<CountSource> counts = source == QLatin1String("serpapi")
        ? std::unique_ptr<CountSource>(
            new SerpApiSource(key, Market {}, QUrl(services->apiBaseAddress())))
        : std::unique_ptr<CountSource>(
            new DataForSeoSource(credentials, Market {}, QUrl(services->apiBaseAddress())));
    const QString phrase = TestSupport::phraseWithCountAndAds();
    Suggestion entry;
    const bool stop = false;
    const SourceVerdict verdict =
        counts->readCount(sendAndWait(counts->countRequest(phrase)), entry, stop, {});
    QCOMPARE(verdict.failure, failure);
    if (results == QLatin1String("digits"))
        QCOMPARE(entry.results, QString::number(sampleResultCount(phrase)));
    else
        QCOMPARE(entry.results, results);
    if (failure == SourceFailure::RateLimited)
        QCOMPARE(verdict.retryAfter, std::optional(4s));
    if (!key.isEmpty())
        QVERIFY(!verdict.message.contains(key));
}

void tst_Sources::sampleDelayAndOnceOnlyLimit()
{
    TestSupport::LoopbackServices services;
    QVERIFY(services.start());
    const QString phrase = TestSupport::phraseWithCountAndAds();
    services->setApiPlan({SampleApiFault::None, {{phrase, SampleApiFault::RateLimitedOnce}}, 1});
    services->setApiDelay(300);
    services->recordRequests();
    DataForSeoSource source(Credentials, Market {}, QUrl(services->apiBaseAddress()));
    const bool stop = false;

    QElapsedTimer clock;
    clock.start();
    Suggestion entry;
    QCOMPARE(source.readCount(sendAndWait(source.countRequest(phrase)), entry, stop, {}).failure,
             SourceFailure::RateLimited);
    QVERIFY(clock.elapsed() >= 300);
    QCOMPARE(source.readCount(sendAndWait(source.countRequest(phrase)), entry, stop, {}).failure,
             SourceFailure::None);
    QCOMPARE(entry.results, QString::number(sampleResultCount(phrase)));
    QVERIFY(entry.hasAds);

    const QList<SampleRequest> seen = services->requests();
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.last().phrase, phrase);
    QCOMPARE(seen.last().method, QByteArray("POST"));
}

QUORVANE_TEST_MAIN(tst_Sources, QCoreApplication, {})

#include "tst_sources.moc"

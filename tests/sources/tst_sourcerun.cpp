// Whole runs against a metered source on loopback: a fake service that answers JSON after a
// delay, refuses keys, runs out of funds and answers 429. The counts go out in parallel up to
// the source's limit, a 429 holds the run back for its Retry-After, Stop ends everything at once,
// the answers' cost is summed, and a failed run writes nothing and keeps the earlier report.

#include "core/runcontroller.h"
#include "results/reportfile.h"
#include "sources/classicsource.h"
#include "store/settingsstore.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <functional>
#include <memory>

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Ending = FetchQueue::Ending;

namespace {

const QString Seed = QStringLiteral("golf clubs");
constexpr int Phrases = 12;
const QString Refused = QStringLiteral("Fake API refused the key. Enter it again in the settings.");
const QString NoFunds = QStringLiteral("Fake API has no funds left.");
const QString TaskFailed = QStringLiteral("Fake API could not do the task.");

QString phrase(int i)
{
    return QStringLiteral("golf phrase %1").arg(i);
}

// One HTTP answer per connection, after its delay; it counts the requests it holds at once.
class FakeService final : public QTcpServer
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray headers; // extra header lines, each ended by CR LF
        int delayMs = 0;
    };
    struct Arrival
    {
        qint64 ms = 0;
        QString path;
        QString phrase;
    };
    using Script = std::function<Answer(const Arrival &arrival, int timesAsked)>;

    explicit FakeService(Script script)
        : m_script(std::move(script))
    {
        clock.start();
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
        listen(QHostAddress::LocalHost, 0);
    }
    // The connections' handlers reach into this object: they go before it does.
    ~FakeService() override
    {
        const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
        for (QTcpSocket *socket : sockets) {
            socket->disconnect();
            delete socket;
        }
    }
    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

    QElapsedTimer clock;
    QList<Arrival> arrivals;
    QList<qint64> answeredAt; // when each 429 went out
    int held = 0;
    int mostHeld = 0;

private:
    void serve(QTcpSocket *socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        auto counted = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::disconnected, socket, [this, socket, answered, counted] {
            if (*counted && !*answered)
                --held;
            *answered = true;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
            *buffer += socket->readAll();
            const qsizetype head = buffer->indexOf("\r\n\r\n");
            if (head < 0 || *counted)
                return;
            const QList<QByteArray> lines = buffer->left(head).split('\n');
            qsizetype length = 0;
            for (const QByteArray &line : lines) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (buffer->size() < head + 4 + length)
                return;
            *counted = true;
            const QUrl url(QString::fromLatin1(lines.first().split(' ').value(1)));
            Arrival arrival {
                clock.elapsed(), url.path(),
                QUrlQuery(url).queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded)};
            int times = 1;
            for (const Arrival &earlier : arrivals)
                times += earlier.path == arrival.path && earlier.phrase == arrival.phrase;
            arrivals << arrival;
            mostHeld = std::max(mostHeld, ++held);
            const Answer answer = m_script(arrival, times);
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(answer.delayMs, this, [this, guarded, answer, answered] {
                if (!guarded || *answered)
                    return;
                *answered = true;
                --held;
                if (answer.status == 429)
                    answeredAt << clock.elapsed();
                guarded->write("HTTP/1.1 " + QByteArray::number(answer.status)
                               + " X\r\nContent-Type: application/json\r\nContent-Length: "
                               + QByteArray::number(answer.body.size())
                               + "\r\nConnection: close\r\n" + answer.headers + "\r\n"
                               + answer.body);
                guarded->disconnectFromHost();
            });
        });
    }

    Script m_script;
};

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The service's usual answers: twelve phrases for 0.5, a count for 0.25 each.
FakeService::Answer usualAnswer(const FakeService::Arrival &arrival, int delayMs)
{
    if (arrival.path == u"/suggest") {
        QJsonArray items;
        for (int i = 0; i < Phrases; ++i)
            items.append(QJsonObject {{"keyword", phrase(i)}, {"searches", 1000 - i}});
        return {200, json({{"cost", 0.5}, {"items", items}}), {}, 0};
    }
    const int i = arrival.phrase.section(u' ', -1).toInt();
    return {200,
            json({{"cost", 0.25}, {"total", QString::number(5000 + i)}, {"ads", i % 2 == 0}}),
            {},
            delayMs};
}

// A metered source as the run sees one: JSON answers, statuses that mean a refused key, no
// funds or a rate limit, a task that failed inside a success.
class FakeApiSource final : public SuggestionSource, public CountSource
{
public:
    FakeApiSource(QUrl base, int limit)
        : m_base(std::move(base))
        , m_limit(limit)
    { }

    QString id() const override { return QStringLiteral("fakeapi"); }
    QString displayName() const override { return QStringLiteral("Fake API"); }

    QList<SourceRequest> suggestionRequests(const QString &keyword) const override
    {
        SourceRequest request;
        request.method = "POST";
        request.url = m_base.resolved(QUrl(QStringLiteral("/suggest")));
        request.headers = {{"Authorization", "Bearer secret"},
                           {"Content-Type", "application/json"}};
        request.body = json({{"keyword", keyword}});
        return {request};
    }
    SourceVerdict readSuggestions(int, const FetchOutcome &outcome, SuggestionTable &table,
                                  const bool &, const StatusSink &) override
    {
        QJsonObject answer;
        SourceVerdict verdict = judge(outcome, answer);
        if (verdict.failure != SourceFailure::None)
            return verdict;
        for (const QJsonValue &item : answer.value(u"items").toArray()) {
            Suggestion &entry = table.entries[std::size_t(table.suggestionCount++)];
            entry.keyword = item[u"keyword"].toString();
            entry.searches = QString::number(item[u"searches"].toInt());
        }
        table.noSuggestions = table.suggestionCount == 0;
        return verdict;
    }
    std::chrono::milliseconds pauseBeforeEachRequest() const override { return 0ms; }

    SourceRequest countRequest(const QString &phrase) const override
    {
        SourceRequest request;
        QUrl url = m_base.resolved(QUrl(QStringLiteral("/count")));
        url.setQuery(QUrlQuery {{QStringLiteral("q"), phrase}});
        request.url = url;
        return request;
    }
    SourceVerdict readCount(const FetchOutcome &outcome, Suggestion &entry, const bool &,
                            const StatusSink &) override
    {
        QJsonObject answer;
        SourceVerdict verdict = judge(outcome, answer);
        if (verdict.failure == SourceFailure::None) {
            entry.results = answer.value(u"total").toString();
            entry.hasAds = answer.value(u"ads").toBool();
        }
        return verdict;
    }
    int parallelLimit() const override { return m_limit; }
    bool pacedLikePages() const override { return false; }

private:
    static SourceVerdict judge(const FetchOutcome &outcome, QJsonObject &answer)
    {
        SourceVerdict verdict;
        const auto fail = [&](SourceFailure failure, const QString &message) {
            verdict.failure = failure;
            verdict.message = message;
            return verdict;
        };
        if (!outcome.answered)
            return fail(SourceFailure::NoAnswer, QStringLiteral("Fake API did not answer."));
        if (outcome.httpStatus == 401)
            return fail(SourceFailure::KeyRefused, Refused);
        if (outcome.httpStatus == 402)
            return fail(SourceFailure::NoFunds, NoFunds);
        if (outcome.httpStatus == 429) {
            verdict.retryAfter = outcome.retryAfter;
            return fail(SourceFailure::RateLimited, QStringLiteral("Fake API asks to wait."));
        }
        answer = QJsonDocument::fromJson(outcome.body).object();
        verdict.cost = answer.value(u"cost").toDouble();
        if (outcome.httpStatus != 200 || answer.value(u"task").toString() == u"failed")
            return fail(SourceFailure::TaskFailed, TaskFailed);
        return verdict;
    }

    QUrl m_base;
    int m_limit;
};

struct ApiRun
{
    QTemporaryDir folder;
    Settings settings;
    RunController controller {ReportFolder(folder.path()), settings, nullptr};
    std::shared_ptr<FakeApiSource> source;
    QStringList warnings;
    QList<Ending> endings;
    QStringList shownSources;

    ApiRun(const FakeService &service, int limit)
        : source(std::make_shared<FakeApiSource>(service.base(), limit))
    {
        controller.setOnlineProbe([] { return true; });
        controller.setSources(source, source);
        RunController *c = &controller;
        QObject::connect(c, &RunController::warning, c,
                         [this](const QString &t) { warnings << t; });
        QObject::connect(c, &RunController::runEnded, c, [this](Ending e) { endings << e; });
        QObject::connect(c, &RunController::shownSourceChanged, c,
                         [this](const QString &name) { shownSources << name; });
    }
    QString reportFolder() const { return QDir(folder.path()).filePath(u"fakeapi+fakeapi"_s); }
    std::optional<Ending> run(int timeoutMs = 20000)
    {
        QSignalSpy ended(&controller, &RunController::runEnded);
        controller.suggestPressed(Seed);
        if (!ended.wait(timeoutMs))
            return std::nullopt;
        return endings.last();
    }
};

} // namespace

class tst_SourceRun final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void countsGoOutInParallelUpToTheSourcesLimit_data();
    void countsGoOutInParallelUpToTheSourcesLimit();
    void rateLimitedCountWaitsBeforeAnyMoreRequests_data();
    void rateLimitedCountWaitsBeforeAnyMoreRequests();
    void stopInTheMiddleEndsEveryRequestAtOnce();
    void failedRunWritesNothingAndKeepsTheEarlierReport_data();
    void failedRunWritesNothingAndKeepsTheEarlierReport();
};

void tst_SourceRun::countsGoOutInParallelUpToTheSourcesLimit_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("four at once") << 4;
    // More than one connection pool's six connections to the host.
    QTest::newRow("ten at once") << 10;
}

// The report lands in the pair's own folder, never in the classic one; the cost is every
// answer's cost summed; the figures shown name their source.
void tst_SourceRun::countsGoOutInParallelUpToTheSourcesLimit()
{
    QFETCH(int, limit);
    constexpr int DelayMs = 150;
    FakeService service([](const FakeService::Arrival &a, int) { return usualAnswer(a, DelayMs); });
    ApiRun h(service, limit);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(h.run(), Ending::Finished);
    const qint64 ms = clock.elapsed();

    QCOMPARE(service.mostHeld, limit);
    QCOMPARE(service.arrivals.size(), 1 + Phrases);
    const qint64 serial = Phrases * DelayMs;
    QVERIFY2(limit == 1 ? ms >= serial : ms < serial / 2, qPrintable(QString::number(ms)));
    QVERIFY(h.warnings.isEmpty());
    QCOMPARE(h.controller.runCost(), 0.5 + Phrases * 0.25);
    QCOMPARE(h.controller.shownSourceName(), u"Fake API"_s);
    QCOMPARE(h.shownSources, QStringList {u"Fake API"_s});

    QCOMPARE(filesIn(h.folder.path()), QStringList {u"fakeapi+fakeapi"_s});
    const auto report = readReport(QDir(h.reportFolder()).filePath(reportFileName(Seed)));
    QVERIFY(report);
    QCOMPARE(report->rows.size(), Phrases);
    QCOMPARE(h.controller.shownReportFileName(), reportFileName(Seed));
    for (int i = 0; i < Phrases; ++i) {
        const Suggestion &entry = h.controller.suggestionTable().entries[std::size_t(i)];
        QCOMPARE(entry.results, QString::number(5000 + i));
        QCOMPARE(entry.hasAds, i % 2 == 0);
    }
    // Asked again this month, the pair's own report is shown without a request; the classic
    // pages have none.
    h.controller.suggestPressed(Seed);
    QCOMPARE(service.arrivals.size(), 1 + Phrases);
    QCOMPARE(h.controller.reportToExport(),
             std::optional {QDir(h.reportFolder()).filePath(reportFileName(Seed))});
    auto classic = std::make_shared<ClassicSource>();
    h.controller.setSources(classic, classic);
    QCOMPARE(h.controller.reportToExport(), std::nullopt);
}

void tst_SourceRun::rateLimitedCountWaitsBeforeAnyMoreRequests_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("Retry-After in seconds") << QByteArray("Retry-After: 1\r\n") << 1000;
    QTest::newRow("no Retry-After: the first back-off")
        << QByteArray() << int(FetchQueue::FirstBackoff.count());
}

void tst_SourceRun::rateLimitedCountWaitsBeforeAnyMoreRequests()
{
    QFETCH(QByteArray, header);
    QFETCH(int, waitMs);
    FakeService service([&](const FakeService::Arrival &a, int times) {
        if (a.phrase == phrase(2) && times == 1)
            return FakeService::Answer {429, "{}", header, 20};
        return usualAnswer(a, 20);
    });
    ApiRun h(service, 4);
    QCOMPARE(h.run(), Ending::Finished);
    QCOMPARE(service.answeredAt.size(), 1);
    const qint64 limited = service.answeredAt.first();
    // Requests already under way may still arrive at once; none is sent during the wait.
    int retries = 0;
    for (const FakeService::Arrival &a : service.arrivals) {
        QVERIFY2(
            a.ms < limited + 50 || a.ms >= limited + waitMs - 30,
            qPrintable(QStringLiteral("%1 at %2, 429 at %3").arg(a.phrase).arg(a.ms).arg(limited)));
        retries += a.phrase == phrase(2);
    }
    QCOMPARE(retries, 2);
    QCOMPARE(service.arrivals.size(), 1 + Phrases + 1);
    QVERIFY(h.warnings.isEmpty());
    QCOMPARE(h.controller.suggestionTable().entries[2].results, u"5002"_s);
    QVERIFY(QFile::exists(QDir(h.reportFolder()).filePath(reportFileName(Seed))));
}

void tst_SourceRun::stopInTheMiddleEndsEveryRequestAtOnce()
{
    FakeService service([](const FakeService::Arrival &a, int) { return usualAnswer(a, 5000); });
    ApiRun h(service, 4);
    QSignalSpy ended(&h.controller, &RunController::runEnded);
    h.controller.suggestPressed(Seed);
    QVERIFY(QTest::qWaitFor([&] { return service.held == 4; }, 5000));
    QElapsedTimer clock;
    clock.start();
    h.controller.suggestPressed(Seed); // the button reads "&Stop"
    QVERIFY(ended.wait(2000));
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(h.endings, QList {Ending::Stopped});
    QVERIFY(!h.controller.requestsPending());
    QTRY_COMPARE_WITH_TIMEOUT(service.held, 0, 2000);
    QCOMPARE(service.arrivals.size(), 1 + 4);
    QVERIFY(filesIn(h.reportFolder()).isEmpty());
}

void tst_SourceRun::failedRunWritesNothingAndKeepsTheEarlierReport_data()
{
    QTest::addColumn<QString>("failAt"); // "/suggest", or the phrase whose count fails
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("message"); // the start of the one warning
    QTest::addColumn<double>("cost");
    const QByteArray none = "{}";
    QTest::newRow("key refused for the suggestions")
        << u"/suggest"_s << 401 << none << Ending::SourceFailed << Refused << 0.0;
    QTest::newRow("task failed inside a success for the suggestions")
        << u"/suggest"_s << 200 << QByteArray(R"({"cost":0.125,"task":"failed"})")
        << Ending::SourceFailed << TaskFailed << 0.125;
    QTest::newRow("no funds left at a count")
        << phrase(3) << 402 << none << Ending::SourceFailed << NoFunds << -1.0;
    const QString missing = u"Only 11 of the 12 phrases got a result count from Fake API (1 could "
                            u"not be read), so this run was not saved as a report."_s;
    QTest::newRow("one count failed")
        << phrase(5) << 500 << none << Ending::Finished << missing << 0.5 + 11 * 0.25;
    QTest::newRow("one count rate-limited past its retries")
        << phrase(5) << 429 << none << Ending::Finished << missing << 0.5 + 11 * 0.25;
}

void tst_SourceRun::failedRunWritesNothingAndKeepsTheEarlierReport()
{
    QFETCH(QString, failAt);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Ending, ending);
    QFETCH(QString, message);
    QFETCH(double, cost);
    FakeService service([&](const FakeService::Arrival &a, int) {
        if (a.path == failAt || a.phrase == failAt)
            return FakeService::Answer {status, body, "Retry-After: 0\r\n", 0};
        return usualAnswer(a, 0);
    });
    ApiRun h(service, 4);
    const QString earlierPath = QDir(h.reportFolder()).filePath(reportFileName(Seed));
    const QByteArray earlier = reportBytes(
        Seed, 10, {ListRow {{"1", u"earlier row"_s, "10", "100.0%", "100.0%", "", "0", ""}}});
    QVERIFY(QDir().mkpath(h.reportFolder()));
    QVERIFY(writeAll(earlierPath, earlier, QDateTime::currentDateTime().addMonths(-1)));

    QCOMPARE(h.run(), ending);
    QCOMPARE(h.warnings.size(), 1);
    QVERIFY2(h.warnings.first().startsWith(message), qPrintable(h.warnings.first()));
    QCOMPARE(filesIn(h.reportFolder()), QStringList {reportFileName(Seed)});
    QCOMPARE(readAll(earlierPath), earlier);
    QCOMPARE(h.controller.history(), QStringList());
    QCOMPARE(h.controller.reportToExport(), std::nullopt);
    if (cost >= 0)
        QCOMPARE(h.controller.runCost(), cost);
    if (ending != Ending::Finished)
        return;
    // Shown though not saved: the stored order comes back from memory, never by asking (and
    // paying) the service again.
    const qsizetype asked = service.arrivals.size();
    QStringList order;
    for (int row = 0; row < Phrases; ++row)
        order << h.controller.results().queryAddress(row);
    h.controller.columnClicked(ColumnPopularityPerSearch);
    h.controller.columnClicked(ColumnPopularityPerSearch);
    QTest::qWait(50);
    QCOMPARE(service.arrivals.size(), asked);
    QCOMPARE(h.endings.size(), 1);
    for (int row = 0; row < Phrases; ++row)
        QCOMPARE(h.controller.results().queryAddress(row), order[row]);
}

QTEST_GUILESS_MAIN(tst_SourceRun)
#include "tst_sourcerun.moc"

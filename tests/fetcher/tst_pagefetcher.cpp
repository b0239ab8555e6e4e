// The page fetcher against the sample services' faults, canned answers and unreadable
// addresses on loopback: each read ends with exactly one event, and only a whole page reaches
// the classic source's parser.

#include "fetch/pagefetcher.h"
#include "sources/classicsource.h"
#include "tests/support/loopbackservices.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

const QString Redirecting = QStringLiteral("Redirecting now ...");
const QString Processing = QStringLiteral("Processing ...");
const QString Completed = QStringLiteral("Completed download");
const QString Canceled = QStringLiteral("Canceled download");
const QString Parsing = QStringLiteral("Begin to parse popularity results ...");

// For answers the sample services do not give: one canned response to every request; then the
// connection closes, or with keepAlive waits for the next request.
class CannedServer final : public QTcpServer
{
public:
    explicit CannedServer(QByteArray response, bool keepAlive = false)
    {
        connect(this, &QTcpServer::newConnection, this, [this, response, keepAlive] {
            ++accepted;
            QPointer<QTcpSocket> socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, response, keepAlive] {
                if (socket->readAll().contains("\r\n\r\n")) {
                    socket->write(response);
                    if (!keepAlive)
                        socket->disconnectFromHost();
                }
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }
    int openConnections() const
    {
        const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
        return int(std::count_if(sockets.cbegin(), sockets.cend(), [](QTcpSocket *socket) {
            return socket->state() == QAbstractSocket::ConnectedState;
        }));
    }

    int accepted = 0;
};

SourceRequest request(const QString &address)
{
    SourceRequest asked;
    asked.url = QUrl(address);
    return asked;
}

} // namespace

class tst_PageFetcher final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
    void init()
    {
        m_table = SuggestionTable {};
        m_statuses.clear();
        const StatusSink sink = [this](const QString &t) {
            m_statuses << t;
        };
        m_fetcher = std::make_unique<PageFetcher>(sink);
        // As a run's counts phase does: the answer goes to the entry its key names.
        connect(m_fetcher.get(), &PageFetcher::requestEnded, this,
                [this, sink](const QString &key, const FetchOutcome &outcome) {
                    const int entry = entryIndexFromKey(key);
                    if (!outcome.cancelled && entry >= 0 && entry < MaxSuggestions)
                        m_classic.readCount(outcome, m_table.entries[std::size_t(entry)], m_stop,
                                            sink);
                });
    }
    void cleanup() { m_fetcher.reset(); }

    void everyReadEndsWithOneEvent_data();
    void everyReadEndsWithOneEvent();
    void connectionIsSharedByARunAndLetGoAfter();
    void cancellingEndsEveryListedKey_data();
    void cancellingEndsEveryListedKey();
    void failureIsToldWithoutTheAddress_data();
    void failureIsToldWithoutTheAddress();

private:
    // The statuses the fetcher itself shows, without the parsers'.
    QStringList fetcherStatuses() const
    {
        QStringList own = m_statuses;
        own.removeIf([](const QString &t) {
            return t != Redirecting && t != Processing && t != Completed && t != Canceled;
        });
        return own;
    }
    // Waits for `count` events, then a moment longer so that a surplus would show.
    static bool waitForEvents(QSignalSpy &spy, int count)
    {
        const bool reached = QTest::qWaitFor([&] { return spy.count() >= count; }, 5000);
        QTest::qWait(150);
        return reached && spy.count() == count;
    }

    LoopbackServices m_services;
    SuggestionTable m_table;
    bool m_stop = false;
    ClassicSource m_classic;
    QStringList m_statuses;
    std::unique_ptr<PageFetcher> m_fetcher;
};

void tst_PageFetcher::everyReadEndsWithOneEvent_data()
{
    QTest::addColumn<SampleFault>("fault");
    QTest::addColumn<QByteArray>("response"); // canned instead of the fault's page, when given
    QTest::addColumn<QString>("address"); // instead of either, when given
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<QStringList>("statuses"); // before "Completed download", if that comes
    using F = SampleFault;
    const auto fault = [](const char *name, F f, bool parsed, QStringList statuses = {Processing}) {
        QTest::newRow(name) << f << QByteArray() << QString() << parsed << statuses;
    };
    fault("no fault", F::None, true);
    fault("reset in mid-body", F::ResetMidBody, false);
    fault("stall fails at the deadline", F::Stall, false, {});
    fault("one redirect, then the page", F::Redirect, true, {Redirecting, Processing});
    fault("redirect loop stops after the limit", F::RedirectLoop, false,
          QStringList(PageFetcher::MaxRedirects, Redirecting));
    fault("declared length over the limit", F::OversizeDeclared, false);
    fault("chunked body over the limit", F::OversizeChunked, false);
    fault("drip fails at the deadline", F::Drip, false);
    // Qt reads a chunk size it cannot parse as 0, the last chunk: the page ends there, empty.
    fault("chunk size that is not hexadecimal ends the page", F::BadChunkSize, true);
    fault("gzip body, though identity was asked for", F::GzipBomb, false);
    fault("reset before the status line", F::ResetBeforeStatus, false, {});

    const auto canned = [](const char *name, const QByteArray &response, bool parsed,
                           const QStringList &statuses = {Processing}) {
        QTest::newRow(name) << F::None << response << QString() << parsed << statuses;
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    canned("body until the close", ok + "\r\n<p>x</p>", true);
    // The chunks end the body, not the length beside them.
    canned("chunks",
           ok + "Transfer-Encoding: chunked\r\nContent-Length: 99\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
           true);
    canned("length list that disagrees", ok + "Content-Length: 3, 2\r\n\r\nok", false);
    canned("length that is not a number", ok + "Content-Length: two\r\n\r\nok", false);
    canned("body shorter than declared", ok + "Content-Length: 9\r\n\r\nhello", false);
    // Qt ends a status without content at its head; only the fetcher sees the length unmet.
    canned("no-content status declaring a length it never sends",
           "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", false);
    canned("no content", "HTTP/1.1 204 No Content\r\n\r\n", true);
    canned("identity coding", ok + "Content-Encoding: identity\r\nContent-Length: 2\r\n\r\nok",
           true);
    canned("multiple choices", "HTTP/1.1 300 Multiple Choices\r\nContent-Length: 2\r\n\r\nok",
           false);
    canned("redirect without a location", "HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", false,
           {});

    // Qt would read a local file named with a host.
    QTest::newRow("local file") << F::None << QByteArray()
                                << QStringLiteral("file://localhost/etc/hostname") << false
                                << QStringList();
}

void tst_PageFetcher::everyReadEndsWithOneEvent()
{
    QFETCH(SampleFault, fault);
    QFETCH(QByteArray, response);
    QFETCH(QString, address);
    QFETCH(bool, parsed);
    QFETCH(QStringList, statuses);

    // Slow sanitized builds, and the sample's 32 MiB gzip body built before its head goes out,
    // need a longer deadline, one that still ends only the faults that never finish.
    const bool sanitized = qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0;
    const int deadlineMs = sanitized || fault == SampleFault::GzipBomb ? 3000 : 1000;
    m_fetcher->setDeadlineForTesting(deadlineMs);
    const QString phrase = phraseWithCountAndAds();
    CannedServer server(response);
    const bool samplePage = response.isEmpty() && address.isEmpty();
    if (address.isEmpty())
        address = response.isEmpty()
            ? m_services->faultAddress(fault, QStringLiteral("/search?q=") + encodePhrase(phrase))
            : server.address();
    QSignalSpy events(m_fetcher.get(), &PageFetcher::requestEnded);
    QElapsedTimer clock;
    clock.start();
    m_fetcher->send(request(address), QStringLiteral("3"));
    // The end arrives later, as for any read.
    QCOMPARE(events.count(), 0);
    QCOMPARE(m_fetcher->pendingRequests(), QStringList {QStringLiteral("3")});
    QVERIFY(QTest::qWaitFor([&] { return !events.isEmpty(); }, 5000));
    const qint64 endedMs = clock.elapsed();
    QVERIFY(waitForEvents(events, 1));
    // The deadline counts from the start of the read: a drip that keeps data coming meets it
    // as surely as a stall, and never before it.
    if (fault == SampleFault::Drip || fault == SampleFault::Stall)
        QVERIFY2(endedMs >= deadlineMs - 5 && endedMs < deadlineMs + (sanitized ? 1500 : 800),
                 qPrintable(QString::number(endedMs)));

    QCOMPARE(fetcherStatuses(), parsed ? statuses << Completed : statuses);
    QVERIFY(m_fetcher->pendingRequests().isEmpty());
    QCOMPARE(m_statuses.contains(Parsing), parsed); // a failed read never reaches the parser
    const bool wholePage =
        samplePage && parsed && (fault == SampleFault::None || fault == SampleFault::Redirect);
    QCOMPARE(m_table.entries[3].results,
             wholePage ? QString::number(sampleResultCount(phrase)) : QString());
    QCOMPARE(m_table.entries[3].hasAds, wholePage);
    // Whatever the outcome, the read is dropped rather than drained: its connection goes.
    QTRY_COMPARE_WITH_TIMEOUT(m_services->openConnections(), 0, 2000);
}

void tst_PageFetcher::connectionIsSharedByARunAndLetGoAfter()
{
    CannedServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true);
    QSignalSpy events(m_fetcher.get(), &PageFetcher::requestEnded);
    m_fetcher->send(request(server.address()), QStringLiteral("0"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 5000);
    QTest::qWait(200); // the pause before a run's next page
    m_fetcher->send(request(server.address()), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 2, 5000);
    QCOMPARE(server.accepted, 1);
    QCOMPARE(server.openConnections(), 1);
    // With no page being read, the connection kept for reuse goes.
    QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
}

void tst_PageFetcher::cancellingEndsEveryListedKey_data()
{
    QTest::addColumn<bool>("reads");
    QTest::addColumn<bool>("byDestructor");
    QTest::newRow("cancel with nothing pending is silent") << false << false;
    QTest::newRow("cancel") << true << false;
    QTest::newRow("destructor") << true << true;
}

// A page read whole keeps its key listed, even when it is not the oldest; a failed one takes
// off the first equal key. Cancelling then ends every listed key, finished or not.
void tst_PageFetcher::cancellingEndsEveryListedKey()
{
    QFETCH(bool, reads);
    QFETCH(bool, byDestructor);
    QSignalSpy events(m_fetcher.get(), &PageFetcher::requestEnded);
    if (reads) {
        for (const char *key : {"a", "k", "b"})
            m_fetcher->send(request(m_services->faultAddress(SampleFault::Stall)), key);
        m_fetcher->send(request(m_services->faultAddress(SampleFault::NotFound)), u"k"_s);
        m_fetcher->send(request(m_services->faultAddress(SampleFault::None)), u"1"_s);
        QVERIFY(waitForEvents(events, 2));
        QCOMPARE(m_fetcher->pendingRequests(), (QStringList {"a", "b", "k", "1"}));
        // The stalled reads, and perhaps one idle connection kept for the next page.
        QTRY_VERIFY_WITH_TIMEOUT(m_services->openConnections() >= 3, 2000);
        m_statuses.clear();
    }
    if (byDestructor)
        m_fetcher.reset();
    else
        QVERIFY(m_fetcher->cancelAll() && m_fetcher->pendingRequests().isEmpty());
    QCOMPARE(fetcherStatuses(), QStringList(reads ? 4 : 0, Canceled));
    QTRY_COMPARE_WITH_TIMEOUT(m_services->openConnections(), 0, 2000);
    QVERIFY(waitForEvents(events, reads ? 6 : 0)); // and nothing after
}

void tst_PageFetcher::failureIsToldWithoutTheAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("why");
    QTest::newRow("refused connection")
        << m_services->refusedAddress() << QStringLiteral("the connection was refused");
    QTest::newRow("unknown host") << QStringLiteral("http://service.invalid/") << QString();
    QTest::newRow("not a web address")
        << QStringLiteral("ftp://127.0.0.1/") << QStringLiteral("the address is not a web address");
    QTest::newRow("no answer in time") << m_services->faultAddress(SampleFault::Stall)
                                       << QStringLiteral("the server did not answer in time");
}

// One service takes its key in the address: a failure's words and the status texts never
// carry it, whatever Qt would have said.
void tst_PageFetcher::failureIsToldWithoutTheAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, why);
    m_fetcher->setDeadlineForTesting(1000);
    QUrl url(address);
    url.setQuery(QStringLiteral("api_key=S3CRETKEY"));
    QSignalSpy events(m_fetcher.get(), &PageFetcher::requestEnded);
    SourceRequest asked;
    asked.url = url;
    asked.headers = {{"Authorization", "Basic S3CRETKEY"}};
    m_fetcher->send(asked, QStringLiteral("0"));
    QVERIFY(waitForEvents(events, 1));
    const auto outcome = events.first().at(1).value<FetchOutcome>();
    QVERIFY(!outcome.answered && !outcome.cancelled);
    QVERIFY(!outcome.errorText.isEmpty());
    if (!why.isEmpty())
        QCOMPARE(outcome.errorText, why);
    for (const QString &text : m_statuses + QStringList {outcome.errorText}) {
        QVERIFY2(!text.contains(u"S3CRET"_s) && !text.contains(url.host()), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(tst_PageFetcher)
#include "tst_pagefetcher.moc"

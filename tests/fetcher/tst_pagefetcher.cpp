#include "pagefetcher.h"
#include "samplepages.h"
#include "sampleservices.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace Quorvane;

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

// How a faulty read ends.
enum class Ending {
    Failed, // step A: never parsed
    Parsed, // step B: "Completed download" and the parser
    EitherWay, // Qt decides, and may decide differently from one read to the next
};

const QString Redirecting = QStringLiteral("Redirecting now ...");
const QString Processing = QStringLiteral("Processing ...");
const QString Completed = QStringLiteral("Completed download");
const QString Canceled = QStringLiteral("Canceled download");

// A phrase of the sample services whose result page shows (or not) a count and ads.
QString phraseWhere(bool withCount, bool withAds)
{
    for (const QString &seed : {QStringLiteral("tennis rackets"), QStringLiteral("garden hose")}) {
        for (const SampleSuggestion &row : SampleSuggestions(seed)) {
            if ((SampleResultCount(row.phrase) >= 0) == withCount
                && SampleHasAds(row.phrase) == withAds)
                return row.phrase;
        }
    }
    return {};
}

// Answers every request with one canned response, whole or a few bytes at a time, then closes,
// or with keepAlive waits for the next request on the same connection: for answers the sample
// services do not give.
class CannedServer final : public QObject
{
public:
    QByteArray response;
    int piece = 0; // bytes per write; 0 writes the response at once
    bool keepAlive = false;
    int accepted = 0;

    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString address() const
    {
        return QStringLiteral("http://127.0.0.1:%1/page").arg(m_server.serverPort());
    }
    int openConnections() const
    {
        return int(std::count_if(m_sockets.cbegin(), m_sockets.cend(), [](const auto &socket) {
            return socket && socket->state() == QAbstractSocket::ConnectedState;
        }));
    }

private:
    void serve(QTcpSocket *socket)
    {
        ++accepted;
        m_sockets << socket;
        socket->setParent(this);
        auto head = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            *head += socket->readAll();
            while (head->contains("\r\n\r\n")) {
                head->remove(0, head->indexOf("\r\n\r\n") + 4);
                send(socket, 0);
            }
        });
    }

    void send(QPointer<QTcpSocket> socket, qsizetype from)
    {
        if (!socket)
            return;
        if (from >= response.size()) {
            if (!keepAlive)
                socket->disconnectFromHost();
            return;
        }
        const qsizetype size = piece > 0 ? piece : response.size();
        socket->write(response.mid(from, size));
        socket->flush();
        QTimer::singleShot(piece > 0 ? 1 : 0, Qt::PreciseTimer, this,
                           [this, socket, next = from + size] { send(socket, next); });
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
};

} // namespace

Q_DECLARE_METATYPE(Ending)

class tst_PageFetcher final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void keywordPageFillsTheTableInPhaseZero();
    void resultPageFillsTheEntryNamedByTheKey_data();
    void resultPageFillsTheEntryNamedByTheKey();
    void everyFaultEndsWithOneEvent_data();
    void everyFaultEndsWithOneEvent();
    void answerDecidesWhetherThePageIsParsed_data();
    void answerDecidesWhetherThePageIsParsed();
    void connectionIsSharedByARunAndLetGoAfter();
    void unreadableAddressesFailOnce_data();
    void unreadableAddressesFailOnce();
    void deadlineCountsFromTheStartOfTheRead();
    void cancelWithNothingPendingIsSilent();
    void cancelStopsEveryPendingRead();
    void destructorCancelsPendingReads();
    void completionOfALaterKeyKeepsTheList();
    void failureRemovesTheFirstEqualKey();
    void downloadBegunFromTheEventRuns();

private:
    QString query(const QString &phrase) const;
    QStringList fetcherStatuses() const;
    // Waits for `count` events, then a moment longer so that a surplus would show.
    bool waitForEvents(QSignalSpy &spy, int count, int timeoutMs = 5000);

    SampleServices m_services;
    SuggestionTable m_table;
    bool m_stop = false;
    qint16 m_phase = 1;
    QStringList m_statuses;
    std::unique_ptr<ocxParseWeb> m_fetcher;
};

void tst_PageFetcher::initTestCase()
{
    qRegisterMetaType<SampleFault>();
    QVERIFY(m_services.start());
}

void tst_PageFetcher::cleanupTestCase()
{
    m_services.stop();
}

void tst_PageFetcher::init()
{
    m_table = SuggestionTable {};
    m_stop = false;
    m_phase = 1;
    m_statuses.clear();
    m_services.setFaultPlan({});
    m_fetcher = std::make_unique<ocxParseWeb>(m_table, m_stop, m_phase,
                                              [this](const QString &text) { m_statuses << text; });
}

void tst_PageFetcher::cleanup()
{
    m_fetcher.reset();
}

QString tst_PageFetcher::query(const QString &phrase) const
{
    const ServiceEndpoints e = m_services.endpoints();
    return e.queryPrefix + EncodePhrase(phrase) + e.querySuffix;
}

QStringList tst_PageFetcher::fetcherStatuses() const
{
    QStringList own;
    for (const QString &text : m_statuses) {
        if (text == Redirecting || text == Processing || text == Completed || text == Canceled)
            own << text;
    }
    return own;
}

bool tst_PageFetcher::waitForEvents(QSignalSpy &spy, int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (spy.count() < count && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    QTest::qWait(150);
    return spy.count() == count;
}

void tst_PageFetcher::keywordPageFillsTheTableInPhaseZero()
{
    m_phase = 0;
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    const ServiceEndpoints e = m_services.endpoints();
    m_fetcher->BeginDownload(e.keywordPrefix + QStringLiteral("golf+clubs") + e.keywordSuffix,
                             QStringLiteral("0"));
    QCOMPARE(m_fetcher->PendingDownloads(), QStringList {QStringLiteral("0")});
    QVERIFY(waitForEvents(events, 1));

    const QList<SampleSuggestion> rows = SampleSuggestions(QStringLiteral("golf clubs"));
    QCOMPARE(m_table.SuggestionCount, qint16(100));
    QVERIFY(!m_table.NoSuggestions);
    QCOMPARE(m_table.Entries[0].Keyword, rows.at(0).phrase);
    QCOMPARE(m_table.Entries[0].Searches, QString::number(rows.at(0).searches));
    QCOMPARE(m_table.Entries[99].Keyword, rows.at(99).phrase);
    QCOMPARE(fetcherStatuses(), (QStringList {Processing, Completed}));
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
}

void tst_PageFetcher::resultPageFillsTheEntryNamedByTheKey_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("key");
    QTest::newRow("count and sponsored links") << phraseWhere(true, true) << QStringLiteral("7");
    QTest::newRow("count without sponsored links")
        << phraseWhere(true, false) << QStringLiteral("0");
    QTest::newRow("no count, sponsored links") << phraseWhere(false, true) << QStringLiteral("99");
    QTest::newRow("no count, no sponsored links")
        << phraseWhere(false, false) << QStringLiteral("42");
}

void tst_PageFetcher::resultPageFillsTheEntryNamedByTheKey()
{
    QFETCH(QString, phrase);
    QFETCH(QString, key);
    QVERIFY(!phrase.isEmpty());
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(query(phrase), key);
    QVERIFY(waitForEvents(events, 1));

    const Suggestion &entry = m_table.Entries[key.toInt()];
    const qint64 count = SampleResultCount(phrase);
    QCOMPARE(entry.Results, count >= 0 ? QString::number(count) : QString());
    QCOMPARE(entry.HasAds, SampleHasAds(phrase));
    QCOMPARE(m_table.SuggestionCount, qint16(0));
    QCOMPARE(fetcherStatuses(), (QStringList {Processing, Completed}));
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
    QCOMPARE(m_services.requests().last().phrase, phrase);
}

void tst_PageFetcher::everyFaultEndsWithOneEvent_data()
{
    QTest::addColumn<SampleFault>("fault");
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QStringList>("statuses"); // before "Completed download", if that comes

    const QStringList started {Processing};
    const QStringList none;
    QTest::newRow("no fault") << SampleFault::None << Ending::Parsed << started;
    QTest::newRow("refused after a hop")
        << SampleFault::Refused << Ending::Failed << QStringList {Redirecting};
    QTest::newRow("reset in mid-body") << SampleFault::ResetMidBody << Ending::Failed << started;
    QTest::newRow("stall fails at the deadline") << SampleFault::Stall << Ending::Failed << none;
    QTest::newRow("404 with a body") << SampleFault::NotFound << Ending::Failed << started;
    QTest::newRow("500 with a body") << SampleFault::ServerError << Ending::Failed << started;
    QTest::newRow("one redirect, then the page")
        << SampleFault::Redirect << Ending::Parsed << QStringList {Redirecting, Processing};
    QTest::newRow("redirect loop stops after the limit")
        << SampleFault::RedirectLoop << Ending::Failed
        << QStringList(ocxParseWeb::MaxRedirects, Redirecting);
    QTest::newRow("declared length over the limit")
        << SampleFault::OversizeDeclared << Ending::Failed << started;
    QTest::newRow("chunked body over the limit")
        << SampleFault::OversizeChunked << Ending::Failed << started;
    QTest::newRow("binary garbage is parsed") << SampleFault::Garbage << Ending::Parsed << started;
    QTest::newRow("empty body is parsed") << SampleFault::EmptyBody << Ending::Parsed << started;
    QTest::newRow("body shorter than its length")
        << SampleFault::ShortBody << Ending::Failed << started;
    // Qt reports this as failed or, when it sees the close only after the last bytes, as a
    // whole page; only a declared length would tell, and a chunked body has none.
    QTest::newRow("chunked body without its last chunk")
        << SampleFault::ChunkedCut << Ending::EitherWay << started;
    QTest::newRow("drip fails at the deadline") << SampleFault::Drip << Ending::Failed << started;
    QTest::newRow("redirect to a silent server")
        << SampleFault::RedirectToSilent << Ending::Failed << QStringList {Redirecting};
    QTest::newRow("two lengths that disagree")
        << SampleFault::DoubleContentLength << Ending::Failed << started;
    // Qt reads a chunk size it cannot parse as 0, the last chunk: the page ends there, empty.
    QTest::newRow("chunk size that is not hexadecimal ends the page")
        << SampleFault::BadChunkSize << Ending::Parsed << started;
    QTest::newRow("gzip body, though identity was asked for")
        << SampleFault::GzipBomb << Ending::Failed << started;
    QTest::newRow("reset before the status line")
        << SampleFault::ResetBeforeStatus << Ending::Failed << none;
}

void tst_PageFetcher::everyFaultEndsWithOneEvent()
{
    QFETCH(SampleFault, fault);
    QFETCH(Ending, ending);
    QFETCH(QStringList, statuses);

    // Sanitized builds run several times slower, and the sample's 32 MiB gzip body is built
    // before its headers go out; the deadline grows with them so that it still ends only the
    // faults that never finish.
    m_fetcher->setDeadlineForTesting(
        qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0 ? 3000 : 1000);
    const QString phrase = phraseWhere(true, true);
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(
        m_services.faultAddress(fault, QStringLiteral("/search?q=") + EncodePhrase(phrase)),
        QStringLiteral("3"));
    QVERIFY(waitForEvents(events, 1));

    const bool parsed =
        ending == Ending::EitherWay ? m_statuses.contains(Completed) : ending == Ending::Parsed;
    if (parsed)
        statuses << Completed;
    QCOMPARE(fetcherStatuses(), statuses);
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
    // A failed read never reaches the parser.
    QCOMPARE(m_statuses.contains(QStringLiteral("Begin to parse popularity results ...")), parsed);
    const Suggestion &entry = m_table.Entries[3];
    const bool wholePage = fault == SampleFault::None || fault == SampleFault::Redirect;
    if (ending != Ending::EitherWay) {
        QCOMPARE(entry.Results, wholePage ? QString::number(SampleResultCount(phrase)) : QString());
        QCOMPARE(entry.HasAds, wholePage);
    }
    // Whatever the outcome, the read is dropped rather than drained: its connection goes.
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 0, 2000);
}

void tst_PageFetcher::answerDecidesWhetherThePageIsParsed_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<int>("piece"); // bytes per write, 0 for all at once

    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    struct Row
    {
        const char *name;
        QByteArray response;
        bool parsed;
    };
    const QList<Row> rows = {
        {"declared length", ok + "Content-Length: 5\r\n\r\nhello", true},
        {"body until the close", ok + "Content-Type: text/html\r\n\r\n<p>x</p>", true},
        {"chunks", chunked + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", true},
        {"equal lengths twice", ok + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nok", true},
        {"length list that disagrees", ok + "Content-Length: 2, 3\r\n\r\nok", false},
        {"length that is not a number", ok + "Content-Length: two\r\n\r\nok", false},
        {"body shorter than declared", ok + "Content-Length: 9\r\n\r\nhello", false},
        {"long body shorter than declared",
         ok + "Content-Length: 400000\r\n\r\n" + QByteArray(300000, 'x'), false},
        {"identity coding", ok + "Content-Encoding: identity\r\nContent-Length: 2\r\n\r\nok", true},
        {"deflate coding", ok + "Content-Encoding: deflate\r\nContent-Length: 2\r\n\r\nok", false},
        {"interim answer before the page",
         "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nok", true},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", true},
        {"multiple choices", "HTTP/1.1 300 Multiple Choices\r\nContent-Length: 2\r\n\r\nok", false},
        {"redirect without a location", "HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", false},
        {"not an HTTP answer", "<html>hello</html>", false},
        {"nothing at all", "", false},
    };
    for (const Row &row : rows) {
        QTest::addRow("%s", row.name) << row.response << row.parsed << 0;
        // The same answer a few bytes at a time.
        QTest::addRow("%s, in pieces", row.name)
            << row.response << row.parsed << qMax(3, int(row.response.size() / 20));
    }
}

void tst_PageFetcher::answerDecidesWhetherThePageIsParsed()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, parsed);
    QFETCH(int, piece);

    CannedServer server;
    server.response = response;
    server.piece = piece;
    QVERIFY(server.listen());
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(server.address(), QStringLiteral("4"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 5000);
    QTest::qWait(30);
    QCOMPARE(events.count(), 1);
    QCOMPARE(m_statuses.contains(Completed), parsed);
    QCOMPARE(m_statuses.contains(QStringLiteral("Begin to parse popularity results ...")), parsed);
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
}

void tst_PageFetcher::connectionIsSharedByARunAndLetGoAfter()
{
    CannedServer server;
    server.response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    server.keepAlive = true;
    QVERIFY(server.listen());
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(server.address(), QStringLiteral("0"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 5000);
    QTest::qWait(200); // the pause before a run's next page
    m_fetcher->BeginDownload(server.address(), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 2, 5000);
    QCOMPARE(fetcherStatuses(), (QStringList {Processing, Completed, Processing, Completed}));
    QCOMPARE(server.accepted, 1);
    QCOMPARE(server.openConnections(), 1);
    // With no page being read, the connection kept for reuse goes.
    QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
}

void tst_PageFetcher::unreadableAddressesFailOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("local file") << QStringLiteral("file:///etc/hostname");
    QTest::newRow("data address") << QStringLiteral("data:text/html,<table></table>");
    QTest::newRow("no scheme") << QStringLiteral("golf clubs");
    QTest::newRow("empty") << QString();
    QTest::newRow("web scheme without a host") << QStringLiteral("http://");
    QTest::newRow("refused") << m_services.refusedAddress();
    // The handshake meets a plain HTTP server.
    QTest::newRow("TLS failure") << m_services.baseAddress().replace(QLatin1String("http:"),
                                                                     QLatin1String("https:"));
}

void tst_PageFetcher::unreadableAddressesFailOnce()
{
    QFETCH(QString, address);
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(address, QStringLiteral("5"));
    // The failure arrives later, as for any read; only web pages are ever read.
    QCOMPARE(events.count(), 0);
    QCOMPARE(m_fetcher->PendingDownloads(), QStringList {QStringLiteral("5")});
    QVERIFY(waitForEvents(events, 1));
    QVERIFY(m_statuses.isEmpty());
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
}

void tst_PageFetcher::deadlineCountsFromTheStartOfTheRead()
{
    // A drip keeps data coming, so only a deadline of the fetcher's own can end it.
    m_fetcher->setDeadlineForTesting(700);
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    QElapsedTimer clock;
    clock.start();
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::Drip), QStringLiteral("0"));
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, 3000);
    QVERIFY2(clock.elapsed() >= 650 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 0, 2000);
}

void tst_PageFetcher::cancelWithNothingPendingIsSilent()
{
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    QVERIFY(m_fetcher->CancelAllDownload());
    QCOMPARE(events.count(), 0);
    QVERIFY(m_statuses.isEmpty());
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
}

void tst_PageFetcher::cancelStopsEveryPendingRead()
{
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    const QStringList keys {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")};
    for (const QString &key : keys)
        m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::Stall), key);
    QCOMPARE(m_fetcher->PendingDownloads(), keys);
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 3, 2000);

    QVERIFY(m_fetcher->CancelAllDownload());
    QCOMPARE(events.count(), 3);
    QCOMPARE(fetcherStatuses(), QStringList(3, Canceled));
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 0, 2000);
    QVERIFY(waitForEvents(events, 3));
}

void tst_PageFetcher::destructorCancelsPendingReads()
{
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::Stall), QStringLiteral("0"));
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::Stall), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 2, 2000);
    m_fetcher.reset();
    QCOMPARE(events.count(), 2);
    QCOMPARE(fetcherStatuses(), QStringList(2, Canceled));
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 0, 2000);
}

void tst_PageFetcher::completionOfALaterKeyKeepsTheList()
{
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    const QString phrase = phraseWhere(true, true);
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::Stall), QStringLiteral("0"));
    m_fetcher->BeginDownload(query(phrase), QStringLiteral("1"));
    QVERIFY(waitForEvents(events, 1));
    QCOMPARE(m_table.Entries[1].Results, QString::number(SampleResultCount(phrase)));
    QCOMPARE(m_fetcher->PendingDownloads(),
             (QStringList {QStringLiteral("0"), QStringLiteral("1")}));

    // Both listed keys are cancelled, the finished one included.
    QVERIFY(m_fetcher->CancelAllDownload());
    QCOMPARE(events.count(), 3);
}

void tst_PageFetcher::failureRemovesTheFirstEqualKey()
{
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    const QString stall = m_services.faultAddress(SampleFault::Stall);
    m_fetcher->BeginDownload(stall, QStringLiteral("a"));
    m_fetcher->BeginDownload(stall, QStringLiteral("k"));
    m_fetcher->BeginDownload(stall, QStringLiteral("b"));
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::NotFound), QStringLiteral("k"));
    QVERIFY(waitForEvents(events, 1));
    QCOMPARE(m_fetcher->PendingDownloads(),
             (QStringList {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("k")}));
    QVERIFY(m_fetcher->CancelAllDownload());
    QCOMPARE(events.count(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(m_services.openConnections(), 0, 2000);
}

void tst_PageFetcher::downloadBegunFromTheEventRuns()
{
    // The run driver starts its next read in answer to the event.
    m_phase = 0;
    QSignalSpy events(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete);
    const ServiceEndpoints e = m_services.endpoints();
    int seen = 0;
    connect(m_fetcher.get(), &ocxParseWeb::DownloadHtmlComplete, this, [&] {
        if (++seen == 1)
            m_fetcher->BeginDownload(e.productPage, QStringLiteral("1"));
    });
    m_fetcher->BeginDownload(m_services.faultAddress(SampleFault::ServerError),
                             QStringLiteral("0"));
    QVERIFY(waitForEvents(events, 2));
    QVERIFY(m_fetcher->PendingDownloads().isEmpty());
    QCOMPARE(m_services.requests().last().path, QStringLiteral("/update/check.html"));
}

QTEST_GUILESS_MAIN(tst_PageFetcher)
#include "tst_pagefetcher.moc"

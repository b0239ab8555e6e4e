#include "pageparsers.h"
#include "samplepages.h"
#include "sampleservices.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

using namespace Quorvane;

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

struct RawAnswer
{
    bool connected = false;
    QByteArray bytes;
    bool closed = false;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;

    QByteArray head() const { return bytes.left(bytes.indexOf("\r\n\r\n") + 2); }
    QByteArray body() const
    {
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : bytes.mid(end + 4);
    }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head().split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

// A blocking request from the test's thread; the services answer from a thread of their own.
RawAnswer rawGet(quint16 port, const QByteArray &target, int waitMs = 3000)
{
    RawAnswer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!(answer.connected = socket.waitForConnected(2000)))
        return answer;
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired() && socket.waitForReadyRead(int(deadline.remainingTime())))
        answer.bytes += socket.readAll();
    answer.bytes += socket.readAll();
    answer.closed = socket.state() == QAbstractSocket::UnconnectedState;
    answer.error = socket.error();
    return answer;
}

} // namespace

class tst_SampleServices final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
    void init()
    {
        m_services.setFaultPlan({});
        m_services.clearRequests();
    }
    void cleanupTestCase() { m_services.stop(); }

    void keywordPageReadsBackAsItsRows_data();
    void keywordPageReadsBackAsItsRows();
    void requestLogDecodesThePhrase_data();
    void requestLogDecodesThePhrase();
    void faultPlanSelectsByNumberAndByPhrase();
    void faultRoutesOnTheWire_data();
    void faultRoutesOnTheWire();

private:
    SampleServices m_services;
};

void tst_SampleServices::keywordPageReadsBackAsItsRows_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("expectedRows");
    QTest::newRow("plain seed") << QStringLiteral("golf clubs") << 100 << 100;
    QTest::newRow("no rows for nothing") << QStringLiteral("nothing") << 100 << 0;
    QTest::newRow("few rows") << QStringLiteral("golf") << 3 << 3;
    QTest::newRow("more rows than a run takes") << QStringLiteral("golf") << 150 << 150;
}

void tst_SampleServices::keywordPageReadsBackAsItsRows()
{
    QFETCH(QString, seed);
    QFETCH(int, rowCount);
    QFETCH(int, expectedRows);
    const QList<SampleSuggestion> rows = sampleSuggestions(seed, rowCount);
    QCOMPARE(rows.size(), expectedRows);
    SuggestionTable table;
    const bool stop = false;
    parseKeyword(QString::fromUtf8(sampleKeywordPage(seed, rowCount)), u"0", table, stop,
                 [](const QString &) {});
    QCOMPARE(int(table.suggestionCount), qMin(expectedRows, MaxSuggestions));
    QCOMPARE(table.noSuggestions, expectedRows == 0);
    QSet<QString> phrases;
    int aboveThousand = 0;
    int withAds = 0;
    int withoutCount = 0;
    for (int i = 0; i < table.suggestionCount; ++i) {
        QCOMPARE(table.entries[i].keyword, rows.at(i).phrase);
        QCOMPARE(table.entries[i].searches, QString::number(rows.at(i).searches));
        QVERIFY(rows.at(i).phrase.contains(seed));
        phrases.insert(rows.at(i).phrase);
        aboveThousand += rows.at(i).searches > 999;
        withAds += sampleHasAds(rows.at(i).phrase);
        withoutCount += sampleResultCount(rows.at(i).phrase) < 0;
    }
    QCOMPARE(phrases.size(), int(table.suggestionCount));
    // Enough of each kind of row and result page for the runs to meet them all.
    if (expectedRows >= 100) {
        QVERIFY(aboveThousand >= 10 && aboveThousand < expectedRows);
        QVERIFY(withAds > 10 && withAds < 90);
        QVERIFY(withoutCount > 3 && withoutCount < 50);
    }
}

void tst_SampleServices::requestLogDecodesThePhrase_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("plus signs are spaces")
        << QByteArray("/search?hl=en&q=golf+clubs&btnG=Search") << "/search"
        << "golf clubs";
    QTest::newRow("percent escapes are UTF-8")
        << QByteArray("/search?q=%C3%A9t%C3%A9+%F0%9F%98%80") << "/search"
        << "été 😀";
    QTest::newRow("escaped ampersand and plus")
        << QByteArray("/suggest?term=a%26b%2Bc&src=q") << "/suggest"
        << "a&b+c";
    QTest::newRow("phrase under a fault path") << QByteArray("/fault/500/search?q=x") << "/search"
                                               << "x";
}

void tst_SampleServices::requestLogDecodesThePhrase()
{
    QFETCH(QByteArray, target);
    QFETCH(QString, path);
    QFETCH(QString, phrase);
    QVERIFY(rawGet(m_services.port(), target).bytes.startsWith("HTTP/1.1 "));
    const QList<SampleRequest> log = m_services.requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().target, QString::fromLatin1(target));
    QCOMPARE(log.first().path, path);
    QCOMPARE(log.first().phrase, phrase);
    QVERIFY(log.first().hasPhrase);
}

void tst_SampleServices::faultPlanSelectsByNumberAndByPhrase()
{
    SampleFaultPlan plan;
    plan.byRequest.insert(2, SampleFault::NotFound);
    plan.byPhrase.insert(QStringLiteral("bad phrase"), SampleFault::ServerError);
    plan.byPhrase.insert(QStringLiteral("moved"), SampleFault::Redirect);
    m_services.setFaultPlan(plan);
    const quint16 port = m_services.port();
    const auto status = [port](const QByteArray &target) {
        return rawGet(port, target).bytes.left(12);
    };

    QCOMPARE(status("/search?q=one"), "HTTP/1.1 200");
    QCOMPARE(status("/search?q=two"), "HTTP/1.1 404");
    QCOMPARE(status("/search?q=bad+phrase"), "HTTP/1.1 500");
    const RawAnswer moved = rawGet(port, "/search?q=moved");
    QVERIFY(moved.bytes.startsWith("HTTP/1.1 302"));
    QCOMPARE(moved.header("Location"), QByteArray("/hop/search?q=moved"));
    // The hop itself is answered normally although its phrase is in the plan.
    QCOMPARE(status("/hop/search?q=moved"), "HTTP/1.1 200");

    QList<SampleFault> faults;
    QList<int> numbers;
    for (const SampleRequest &request : m_services.requests()) {
        faults << request.fault;
        numbers << request.number;
    }
    QCOMPARE(numbers, (QList<int> {1, 2, 3, 4, 5}));
    QCOMPARE(
        faults,
        (QList<SampleFault> {SampleFault::None, SampleFault::NotFound, SampleFault::ServerError,
                             SampleFault::Redirect, SampleFault::None}));

    // A new plan counts from 1 again.
    m_services.setFaultPlan(plan);
    rawGet(port, "/search?q=one");
    QCOMPARE(status("/search?q=again"), "HTTP/1.1 404");
}

// The other tests see most faults only as a failed read; these are the shapes on the wire.
void tst_SampleServices::faultRoutesOnTheWire_data()
{
    QTest::addColumn<SampleFault>("fault");
    for (const SampleFault fault :
         {SampleFault::Refused, SampleFault::ResetMidBody, SampleFault::Stall,
          SampleFault::RedirectLoop, SampleFault::Drip, SampleFault::RedirectToSilent,
          SampleFault::GzipBomb, SampleFault::ResetBeforeStatus, SampleFault::DoubleContentLength})
        QTest::addRow("%s", qPrintable(sampleFaultName(fault))) << fault;
}

void tst_SampleServices::faultRoutesOnTheWire()
{
    QFETCH(SampleFault, fault);
    QCOMPARE(sampleFaultFromName(sampleFaultName(fault)), std::optional<SampleFault>(fault));
    const QByteArray inner = "/search?q=golf+clubs";
    const QByteArray target = "/fault/" + sampleFaultName(fault).toLatin1() + inner;
    const QByteArray page = sampleResultPage(QStringLiteral("golf clubs"));
    const int waitMs = fault == SampleFault::Drip ? 1500 : fault == SampleFault::Stall ? 400 : 3000;
    const RawAnswer answer = rawGet(m_services.port(), target, waitMs);
    QVERIFY(answer.connected);
    const QUrl location(QString::fromLatin1(answer.header("Location")));

    switch (fault) {
    case SampleFault::Refused: {
        QCOMPARE(location.port(), QUrl(m_services.refusedAddress()).port());
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(location.port()));
        QVERIFY(!probe.waitForConnected(2000));
        QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
        break;
    }
    case SampleFault::ResetMidBody:
        QCOMPARE(answer.header("Content-Length").toLongLong(), page.size());
        QVERIFY(!answer.body().isEmpty() && answer.body().size() < page.size());
        QCOMPARE(answer.error, QAbstractSocket::RemoteHostClosedError);
        break;
    case SampleFault::Stall:
    case SampleFault::ResetBeforeStatus:
        QVERIFY(answer.bytes.isEmpty());
        QCOMPARE(answer.closed, fault == SampleFault::ResetBeforeStatus);
        break;
    case SampleFault::RedirectLoop: { // two addresses that send to each other
        const QByteArray next = answer.header("Location");
        QCOMPARE(next, "/fault/redirect-loop" + inner + "&loop");
        QCOMPARE(rawGet(m_services.port(), next).header("Location"), target);
        break;
    }
    case SampleFault::Drip: // the head at once, then one byte per interval
        QVERIFY2(answer.body().size() >= 1 && answer.body().size() <= 3,
                 qPrintable(QString::number(answer.body().size())));
        QVERIFY(!answer.closed);
        break;
    case SampleFault::RedirectToSilent: {
        QVERIFY(location.port() != m_services.port());
        const RawAnswer silent = rawGet(quint16(location.port()), "/", 300);
        QVERIFY(silent.connected && silent.bytes.isEmpty() && !silent.closed);
        break;
    }
    case SampleFault::GzipBomb: {
        QCOMPARE(answer.header("Content-Encoding"), QByteArray("gzip"));
        const QByteArray body = answer.body();
        QVERIFY(body.startsWith("\x1f\x8b\x08") && body.size() < 256 * 1024);
        // The gzip trailer ends with the inflated size.
        const auto *tail = reinterpret_cast<const uchar *>(body.constData() + body.size() - 4);
        QCOMPARE(qint64(qFromLittleEndian<quint32>(tail)), SampleServices::GzipInflatedBytes);
        break;
    }
    case SampleFault::DoubleContentLength:
        QCOMPARE(answer.head().count("Content-Length:"), 2);
        QCOMPARE(answer.body(), page);
        break;
    default:
        QFAIL("no wire check for this fault");
    }
    QCOMPARE(m_services.requests().first().fault, fault);
}

QTEST_GUILESS_MAIN(tst_SampleServices)
#include "tst_sampleservices.moc"

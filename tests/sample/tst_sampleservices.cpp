// The few things of the sample services that other tests take on trust: which request a fault
// plan hits, how the request log reads a phrase, and the gzip body's framing.

#include "sampleservices.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

using namespace Quorvane;

namespace {

// A blocking request from the test's thread; the services answer from a thread of their own.
QByteArray rawGet(quint16 port, const QByteArray &target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray bytes;
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired() && socket.waitForReadyRead(int(deadline.remainingTime())))
        bytes += socket.readAll();
    return bytes;
}

} // namespace

class tst_SampleServices final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_services.start()); }
    void faultPlanSelectsByNumberAndByPhrase();
    void gzipBodyIsFramedAndInflatesToItsSize();

private:
    SampleServices m_services;
};

void tst_SampleServices::faultPlanSelectsByNumberAndByPhrase()
{
    SampleFaultPlan plan;
    plan.byRequest.insert(2, SampleFault::NotFound);
    plan.byPhrase.insert(QStringLiteral("caf\u00e9 & +"), SampleFault::ServerError);
    plan.byPhrase.insert(QStringLiteral("moved"), SampleFault::Redirect);
    m_services.setFaultPlan(plan);
    const auto status = [this](const QByteArray &target) {
        return rawGet(m_services.port(), target).left(12);
    };
    QCOMPARE(status("/search?q=one"), "HTTP/1.1 200");
    QCOMPARE(status("/search?q=two"), "HTTP/1.1 404");
    QCOMPARE(status("/search?hl=en&q=caf%C3%A9+%26+%2B&btnG=Search"), "HTTP/1.1 500");
    QVERIFY(rawGet(m_services.port(), "/search?q=moved").contains("\r\nLocation: /hop/search"));
    // The hop itself is answered normally although its phrase is in the plan.
    QCOMPARE(status("/hop/search?q=moved"), "HTTP/1.1 200");
    QList<SampleFault> faults;
    for (const SampleRequest &request : m_services.requests())
        faults << request.fault;
    QCOMPARE(
        faults,
        (QList<SampleFault> {SampleFault::None, SampleFault::NotFound, SampleFault::ServerError,
                             SampleFault::Redirect, SampleFault::None}));
    QCOMPARE(m_services.requests().at(2).phrase, QStringLiteral("caf\u00e9 & +"));
    // A new plan counts from 1 again.
    m_services.setFaultPlan(plan);
    QCOMPARE(status("/search?q=one"), "HTTP/1.1 200");
    QCOMPARE(status("/search?q=again"), "HTTP/1.1 404");
}

void tst_SampleServices::gzipBodyIsFramedAndInflatesToItsSize()
{
    const QByteArray answer = rawGet(m_services.port(),
                                     m_services.faultAddress(SampleFault::GzipBomb)
                                         .mid(m_services.baseAddress().size())
                                         .toLatin1());
    const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    QVERIFY(answer.contains("\r\nContent-Encoding: gzip\r\n"));
    QVERIFY(body.startsWith("\x1f\x8b\x08"));
    QVERIFY(body.size() < 64 * 1024);
    // The trailer: CRC-32 of 32 MiB of zeros, then the inflated size.
    QCOMPARE(qFromLittleEndian<quint32>(body.constData() + body.size() - 8), 0x59450445U);
    QCOMPARE(qFromLittleEndian<quint32>(body.constData() + body.size() - 4),
             quint32(SampleServices::GzipInflatedBytes));
}

QTEST_GUILESS_MAIN(tst_SampleServices)
#include "tst_sampleservices.moc"

#include "pageread.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Quorvane;

namespace {

// Answers every connection with one canned response, whole or a few bytes at a time, then
// closes. Keeps the request heads it read.
class CannedServer final : public QObject
{
public:
    QByteArray response;
    int piece = 0; // bytes per write; 0 writes the response at once
    QList<QByteArray> heads;

    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString base() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

private:
    void serve(QTcpSocket *socket)
    {
        socket->setParent(this);
        auto head = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            if (head->endsWith("\r\n\r\n"))
                return;
            *head += socket->readAll();
            if (!head->endsWith("\r\n\r\n"))
                return;
            heads << *head;
            send(socket, 0);
        });
    }

    void send(QPointer<QTcpSocket> socket, qsizetype from)
    {
        if (!socket)
            return;
        if (from >= response.size()) {
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
};

struct Outcome
{
    QStringList events;
    QByteArray body;
};

// Polls more finely than QTRY_*, which would add 50 ms to each of many short rows.
bool waitForOutcome(const Outcome &outcome)
{
    QDeadlineTimer deadline(5000);
    while (outcome.events.isEmpty() && !deadline.hasExpired())
        QTest::qWait(2);
    return !outcome.events.isEmpty();
}

void watch(PageRead &read, Outcome &outcome)
{
    QObject::connect(&read, &PageRead::succeeded, &read, [&outcome](const QByteArray &body) {
        outcome.events << QStringLiteral("ok");
        outcome.body = body;
    });
    QObject::connect(&read, &PageRead::failed, &read,
                     [&outcome] { outcome.events << QStringLiteral("fail"); });
    QObject::connect(&read, &PageRead::redirected, &read, [&outcome](const QUrl &target) {
        outcome.events << QStringLiteral("redirect ") + target.toString();
    });
}

} // namespace

class tst_PageRead final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framingDecidesTheOutcome_data();
    void framingDecidesTheOutcome();
    void requestHeadIsWellFormedWhateverTheAddress();
    void abortReportsNothing();
};

void tst_PageRead::framingDecidesTheOutcome_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("expected"); // "ok", "fail" or "redirect <address>"
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("piece"); // bytes per write, 0 for all at once

    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray limitBody(1000, 'x');
    struct Row
    {
        const char *name;
        QByteArray response;
        const char *expected;
        QByteArray body;
    };
    const QList<Row> rows = {
        {"declared length", ok + "Content-Length: 5\r\n\r\nhello", "ok", "hello"},
        {"bytes after the declared length are not the page",
         ok + "Content-Length: 2\r\n\r\nokEXTRA", "ok", "ok"},
        {"body shorter than declared", ok + "Content-Length: 9\r\n\r\nhello", "fail", ""},
        {"chunks with an extension and a trailer",
         chunked + "5;x=1\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\n", "ok",
         "hello world"},
        {"upper-case chunk size", chunked + "A\r\n0123456789\r\n0\r\n\r\n", "ok", "0123456789"},
        {"no last chunk", chunked + "5\r\nhello\r\n", "fail", ""},
        {"last chunk without the closing line", chunked + "5\r\nhello\r\n0\r\n", "fail", ""},
        {"chunk longer than its size", chunked + "5\r\nhelloX\r\n0\r\n\r\n", "fail", ""},
        {"chunk size not hexadecimal", chunked + "zz\r\nhello\r\n0\r\n\r\n", "fail", ""},
        {"negative chunk size", chunked + "-5\r\nhello\r\n0\r\n\r\n", "fail", ""},
        {"body until the close", ok + "Content-Type: text/html\r\n\r\n<p>x</p>", "ok", "<p>x</p>"},
        {"interim answer before the page",
         "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nok", "ok", "ok"},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", "ok", ""},
        {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok", "ok"},
        {"equal lengths twice", ok + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nok", "ok",
         "ok"},
        {"lengths that disagree", ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nok", "fail",
         ""},
        {"length list that disagrees", ok + "Content-Length: 2, 3\r\n\r\nok", "fail", ""},
        {"length not a number", ok + "Content-Length: two\r\n\r\nok", "fail", ""},
        {"header line without a colon", ok + "Broken header\r\n\r\nok", "fail", ""},
        {"head over the limit", ok + "X-Big: " + QByteArray(70 * 1024, 'a') + "\r\n\r\n", "fail",
         ""},
        {"compressed body", ok + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\nok", "fail",
         ""},
        {"identity coding", ok + "Content-Encoding: identity\r\nContent-Length: 2\r\n\r\nok", "ok",
         "ok"},
        {"chunked after another coding",
         ok + "Transfer-Encoding: gzip, chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", "fail", ""},
        {"not an HTTP answer", "<html>hello</html>", "fail", ""},
        {"switching protocols", "HTTP/1.1 101 Switching Protocols\r\n\r\n", "fail", ""},
        {"error status with a body", "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno",
         "fail", ""},
        {"relative redirect", "HTTP/1.1 302 Found\r\nLocation: /next?a=1\r\n\r\n",
         "redirect /next?a=1", ""},
        {"redirect without a location", "HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n", "fail",
         ""},
        {"nothing at all", "", "fail", ""},
        {"declared length at the limit", ok + "Content-Length: 1000\r\n\r\n" + limitBody, "ok",
         limitBody},
        {"declared length past the limit", ok + "Content-Length: 1001\r\n\r\n" + limitBody + 'x',
         "fail", ""},
        {"body until the close past the limit", ok + "\r\n" + limitBody + 'x', "fail", ""},
        {"chunks past the limit",
         chunked + "1f4\r\n" + limitBody.left(500) + "\r\n1f5\r\n" + limitBody.left(501)
             + "\r\n0\r\n\r\n",
         "fail", ""},
    };
    for (const Row &row : rows) {
        const QString expected = QString::fromLatin1(row.expected);
        QTest::addRow("%s", row.name) << row.response << expected << row.body << 0;
        // The same answer a few bytes at a time: every stage must wait for the rest.
        QTest::addRow("%s, in pieces", row.name)
            << row.response << expected << row.body << qMax(3, int(row.response.size() / 40));
    }
}

void tst_PageRead::framingDecidesTheOutcome()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, expected);
    QFETCH(QByteArray, body);
    QFETCH(int, piece);

    CannedServer server;
    server.response = response;
    server.piece = piece;
    QVERIFY(server.listen());
    if (expected.startsWith(QLatin1String("redirect ")))
        expected = QStringLiteral("redirect ") + server.base() + expected.mid(9);

    PageRead read(QUrl(server.base() + QStringLiteral("/page")), 1000);
    Outcome outcome;
    watch(read, outcome);
    read.start();
    QVERIFY(waitForOutcome(outcome));
    QTest::qWait(20);
    QCOMPARE(outcome.events, QStringList {expected});
    QCOMPARE(outcome.body, body);
}

void tst_PageRead::requestHeadIsWellFormedWhateverTheAddress()
{
    CannedServer server;
    server.response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    QVERIFY(server.listen());
    QUrl url(server.base() + QStringLiteral("/search"));
    url.setQuery(QStringLiteral("q=golf\r\nX-Injected: 1\r\n\r\nGET /other HTTP/1.1"));
    PageRead read(url, 1000);
    Outcome outcome;
    watch(read, outcome);
    read.start();
    QVERIFY(waitForOutcome(outcome));
    QCOMPARE(server.heads.size(), 1);
    const QList<QByteArray> lines = server.heads.first().split('\n');
    QVERIFY(lines.first().startsWith("GET /search?q=golf%0D%0AX-Injected"));
    for (const QByteArray &line : lines)
        QVERIFY2(!line.startsWith("X-Injected"), line.constData());
    QVERIFY(server.heads.first().contains("\r\nHost: 127.0.0.1:" + QByteArray::number(url.port())
                                          + "\r\n"));
}

void tst_PageRead::abortReportsNothing()
{
    CannedServer server;
    server.response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    server.piece = 1;
    QVERIFY(server.listen());
    PageRead read(QUrl(server.base() + QStringLiteral("/")), 1000);
    Outcome outcome;
    watch(read, outcome);
    read.start();
    QTRY_COMPARE_WITH_TIMEOUT(server.heads.size(), 1, 5000);
    read.abort();
    QTest::qWait(200);
    QVERIFY(outcome.events.isEmpty());
}

QTEST_GUILESS_MAIN(tst_PageRead)
#include "tst_pageread.moc"

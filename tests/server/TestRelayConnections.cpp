// What the relay does with connections before any endpoint sees a request: framing that could be
// read two ways, or never ends, is refused at once and the connection closed, bodies stop at their
// limit, and slow, idle or greedy clients are cut off or told to come back while users are served.
// Hostile connections come from the loopback addresses 127.0.0.2 and up.

#include "HostileClients.h"
#include "RelayClient.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QtTest>

namespace {
using Kind = HostileClients::Kind;

int portOf(const RelayProcess& relay)
{
    return QUrl(relay.baseUrl()).port();
}

QByteArray head(const QByteArray& requestLine, const QByteArray& headers)
{
    return requestLine + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

QByteArray chunk(const QByteArray& data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}
} // namespace

class TestRelayConnections : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid();
    RelayProcess m_strict {QString(), {"--api-body-limit", "16K", "--max-container", "64K"}};

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(2);
        QCOMPARE(m_keys.size(), 2);
        QString error;
        QVERIFY2(m_strict.start(&error), qPrintable(error));
    }

    void framingIsRefused_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");

        const QByteArray call = '\x03' + QUuid::createUuid().toRfc4122() + "CHECK";
        const QByteArray post = "POST /api/check-new-files";
        const auto row = &QTest::newRow;
        row("two lengths") << head(post, "Content-Length: 22\r\nContent-Length: 5\r\n") + call << 400;
        row("length and chunked") << head(post, "Content-Length: 22\r\nTransfer-Encoding: chunked\r\n")
                + chunk(call) << 400;
        row("negative length") << head(post, "Content-Length: -1\r\n") + call << 400;
        row("length beyond 64 bits") << head(post, "Content-Length: 18446744073709551639\r\n") + call << 400;
        row("unknown transfer coding") << head(post, "Transfer-Encoding: gzip\r\n") + call << 400;
        row("gzip, then chunked") << head(post, "Transfer-Encoding: gzip, chunked\r\n") + chunk(call) << 400;
        row("content coding") << head(post, "Content-Length: 22\r\nContent-Encoding: gzip\r\n") + call << 415;
        row("no length") << head(post, "") + call << 411;
        row("GET with a body") << head("GET /api/check-new-files", "Content-Length: 22\r\n") + call << 400;
        row("unknown method") << head("PUT /api/check-new-files", "Content-Length: 22\r\n") + call << 405;
        // --api-body-limit 16K, --max-container 64K. The bodies never end: an answer shows that the
        // relay stopped reading at the limit.
        row("API body over the limit by its length") << head(post, "Content-Length: 20000\r\n") << 413;
        row("chunked API body over the limit") << head(post, "Transfer-Encoding: chunked\r\n")
                + chunk(QByteArray(10000, 'a'))
                + chunk(QByteArray(10000, 'b')) << 413;
        row("chunked upload over the limit") << head("POST /upload-container",
                                                     "Content-Type: multipart/form-data; boundary=b0und\r\n"
                                                     "Transfer-Encoding: chunked\r\n")
                + chunk("--b0und\r\nContent-Disposition: form-data; name=\"container\"\r\n\r\n"
                        + RelayClient::container(QByteArray(40000, 'c'), QString(40, 'A')))
                + chunk(QByteArray(40000, 'c'))
                                             << 413;
    }

    // Each request carries a second one behind it, which must never be answered.
    void framingIsRefused()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const RelayClient client(m_strict);
        const QByteArray smuggled = head("GET /api/download-pubkey", "");
        const QByteArray answer = client.raw(request + smuggled);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)), answer.constData());
        QVERIFY2(answer.count("HTTP/1.1 ") == 1 && answer.endsWith("<closed>"), answer.constData());
        QVERIFY2(answer.contains("{\"error\":\""), answer.constData());
        QCOMPARE(client.call("check-new-files", m_alice, "CHECK").status, 200);
    }

    // A short version of the load in bench/RelayLoad.cpp: hostile connections of every kind, and
    // calls and an upload still go through.
    void usersAreServedUnderAttack()
    {
        RelayProcess relay;
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QString bobKeyId = client.registerKey(m_bob, m_keys[1]);
        QVERIFY(!bobKeyId.isEmpty() && !client.registerKey(m_alice, m_keys[0]).isEmpty());

        HostileClients attack(portOf(relay), 100, 25);
        QTRY_VERIFY_WITH_TIMEOUT(attack.open() == 100, 10000);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(client.call("download-pubkey", m_alice, bobKeyId.toLatin1()).object()["fpr"].toString(),
                     m_keys[1].fingerprint);
        const qint32 fileId = client.send(
            RelayClient::container(RelayClient::randomBytes(1 << 20), m_keys[1].fingerprint), m_alice);
        QVERIFY(fileId > 0);
        QVERIFY(client.complete(m_bob, fileId).success());
    }

    void overLimitClientsAreTold_data()
    {
        QTest::addColumn<QStringList>("limits");
        QTest::addColumn<QByteArray>("message");
        QTest::addRow("per address") << QStringList {"--max-per-address", "4"}
                                     << QByteArray("from your network");
        QTest::addRow("in all") << QStringList {"--max-connections", "4"} << QByteArray("server is busy");
    }

    void overLimitClientsAreTold()
    {
        QFETCH(QStringList, limits);
        QFETCH(QByteArray, message);
        RelayProcess relay(QString(), limits);
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QByteArray request = head("GET /api/check-new-files", "Connection: close\r\n");
        {
            HostileClients attack(portOf(relay), 4, 1); // from 127.0.0.2
            QTRY_VERIFY(attack.open() == 4);
            // The four are counted once the relay has taken them on.
            QByteArray refused;
            QTRY_VERIFY2((refused = client.raw(request, "127.0.0.2", 5000)).startsWith("HTTP/1.1 503"),
                         refused.constData());
            QVERIFY2(refused.contains("Retry-After") && refused.contains(message), refused.constData());
            // Another address is still served while the server has room.
            QCOMPARE(client.raw(request, "127.0.0.3", 5000).startsWith("HTTP/1.1 200"),
                     message == "from your network");
        }
        // Once the crowd has gone, the same address is served again.
        QTRY_VERIFY_WITH_TIMEOUT(client.raw(request, "127.0.0.2", 5000).startsWith("HTTP/1.1 200"), 10000);
    }

    void stalledConnectionsAreCutOff_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("withinSeconds");
        // --header-timeout 2s, --min-upload-rate 100: a body window is 10 s.
        QTest::addRow("silent") << int(Kind::Silent) << 4;
        QTest::addRow("handshake unfinished") << int(Kind::Hello) << 4;
        QTest::addRow("headers one byte a second") << int(Kind::Headers) << 4;
        QTest::addRow("body one byte a second") << int(Kind::Body) << 13;
    }

    void stalledConnectionsAreCutOff()
    {
        QFETCH(int, kind);
        QFETCH(int, withinSeconds);
        RelayProcess relay(QString(), {"--header-timeout", "2s", "--min-upload-rate", "100"});
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        // Four connections, one of each kind; only the one of this row is looked at.
        HostileClients attack(portOf(relay), 4, 1);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(attack.cut(Kind(kind)) > 0, withinSeconds * 1000 + 2000);
        QVERIFY2(clock.elapsed() >= 1500, "cut off before its time");
    }
};

QTEST_GUILESS_MAIN(TestRelayConnections)
#include "TestRelayConnections.moc"

// What the relay does with connections before any endpoint sees a request: framing that could be
// read two ways, or never ends, is refused at once and the connection closed, bodies stop at their
// limit, and slow, idle or greedy clients are cut off or told to come back while users are served.
// Hostile connections come from the loopback addresses 127.0.0.2 and up, users from 127.0.0.1.

#include "RelayClient.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QtTest>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
int connectFrom(const QByteArray& source, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.constData(), &local.sin_addr);
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<quint16>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0
            && errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Connections that try to tie the relay up: they connect and say nothing, stop in the middle of
// the TLS handshake, send their headers or their body one byte a second. A thread of its own keeps
// `count` of them open from `addresses` loopback addresses (127.0.0.2 and up), opening a new one
// whenever the server drops one, until destroyed, and counts the connections the server cut off.
class HostileClients
{
public:
    enum class Kind
    {
        Silent,
        Hello, // starts the TLS handshake and stops
        Headers, // part of the headers, then a byte a second
        Body // the headers, then the body a byte a second
    };
    static constexpr Kind kinds[] = {Kind::Silent, Kind::Hello, Kind::Headers, Kind::Body};

    HostileClients(int port, int count, int addresses)
        : m_port(port)
    {
        m_ctx = SSL_CTX_new(TLS_client_method());
        for (int i = 0; i < count; ++i) {
            auto c = std::make_unique<Connection>();
            c->kind = kinds[i % 4];
            c->source = "127.0.0." + QByteArray::number(2 + (i / 4) % addresses);
            m_connections.push_back(std::move(c));
        }
        m_thread = std::thread([this] { run(); });
    }
    ~HostileClients()
    {
        m_stop = true;
        m_thread.join();
        m_connections.clear();
        SSL_CTX_free(m_ctx);
    }

    int cut(Kind kind) const { return m_cut[int(kind)]; }
    int open() const { return m_open; } // connections open right now

private:
    struct Connection
    {
        Kind kind = Kind::Silent;
        QByteArray source;
        int fd = -1;
        SSL* ssl = nullptr;
        bool connected = false; // TCP
        bool secured = false; // TLS handshake done
        QByteArray pending; // the bytes still to dribble
        QElapsedTimer lastByte;

        ~Connection() { close(); }
        void close()
        {
            if (ssl)
                SSL_free(ssl);
            if (fd >= 0)
                ::close(fd);
            ssl = nullptr;
            fd = -1;
            connected = secured = false;
        }
    };

    void start(Connection& c)
    {
        c.close();
        c.fd = connectFrom(c.source, m_port);
        c.lastByte.start();
        c.pending = c.kind == Kind::Headers
            ? QByteArray("POST /api/check-new-files HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
                + QByteArray(4000, 'x')
            : QByteArray(3000, 'b');
    }

    // False when the server has closed the connection.
    bool drive(Connection& c, short events)
    {
        if (!c.connected) {
            if (!(events & (POLLOUT | POLLERR | POLLHUP)))
                return true;
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0)
                return false;
            c.connected = true;
            if (c.kind == Kind::Silent)
                return true;
            c.ssl = SSL_new(m_ctx);
            SSL_set_fd(c.ssl, c.fd);
            SSL_set_connect_state(c.ssl);
        }
        if (c.kind == Kind::Silent || (c.kind == Kind::Hello && SSL_want_read(c.ssl))) {
            // The handshake is never continued: what the server sends is dropped unread, and only the
            // end of the connection matters.
            char buffer[4096];
            ssize_t got = 0;
            while ((got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) { }
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        if (!c.secured) {
            const int rc = SSL_do_handshake(c.ssl);
            if (rc != 1) {
                const int error = SSL_get_error(c.ssl, rc);
                ERR_clear_error();
                return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
            }
            c.secured = true;
            if (c.kind == Kind::Body) {
                const QByteArray head
                    = "POST /api/send-feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                    + QByteArray::number(c.pending.size()) + "\r\n\r\n";
                if (SSL_write(c.ssl, head.constData(), head.size()) <= 0)
                    return false;
            }
        }
        if (events & (POLLIN | POLLHUP | POLLERR)) {
            // Session tickets are fine; an answer or the end means the server stopped waiting.
            char buffer[4096];
            const int rc = SSL_read(c.ssl, buffer, sizeof buffer);
            const int error = rc > 0 ? SSL_ERROR_NONE : SSL_get_error(c.ssl, rc);
            ERR_clear_error();
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                return false;
        }
        if (c.lastByte.elapsed() >= 1000 && !c.pending.isEmpty()) {
            c.lastByte.restart();
            if (SSL_write(c.ssl, c.pending.constData(), 1) <= 0) {
                ERR_clear_error();
                return false;
            }
            c.pending.remove(0, 1);
        }
        return true;
    }

    void run()
    {
        for (auto& c : m_connections)
            start(*c);
        std::vector<pollfd> fds(m_connections.size());
        while (!m_stop) {
            int open = 0;
            for (std::size_t i = 0; i < m_connections.size(); ++i) {
                Connection& c = *m_connections[i];
                open += c.fd >= 0 ? 1 : 0;
                fds[i] = {c.fd, short(c.connected ? POLLIN : POLLOUT), 0};
            }
            m_open = open;
            ::poll(fds.data(), fds.size(), 100);
            for (std::size_t i = 0; i < m_connections.size(); ++i) {
                Connection& c = *m_connections[i];
                if (c.fd >= 0 && drive(c, fds[i].revents))
                    continue;
                if (c.fd >= 0)
                    ++m_cut[int(c.kind)];
                start(c); // as an attacker would: straight back
            }
        }
    }

    const int m_port;
    ssl_ctx_st* m_ctx = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::atomic<int> m_cut[4] = {};
    std::atomic<int> m_open {0};
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

// Sends request as it is over a new TLS connection from the loopback address source and returns all
// that comes back until the server closes the connection ("<closed>" is appended) or nothing comes
// for timeoutMs ("<timeout>").
QByteArray exchange(int port, const QByteArray& source, const QByteArray& request, int timeoutMs)
{
    const int fd = connectFrom(source, port);
    if (fd < 0)
        return QByteArray();
    pollfd p {fd, POLLOUT, 0};
    ::poll(&p, 1, timeoutMs);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval tv {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    QByteArray answer;
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.constData(), request.size()) > 0) {
        char buffer[4096];
        int got = 0;
        while ((errno = 0, got = SSL_read(ssl, buffer, sizeof buffer)) > 0)
            answer.append(buffer, got);
        answer += errno == EAGAIN || errno == EWOULDBLOCK ? "<timeout>" : "<closed>";
    }
    ERR_clear_error();
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    ::close(fd);
    return answer;
}

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
        const QByteArray answer = exchange(portOf(m_strict), "127.0.0.1", request + smuggled, 10000);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)), answer.constData());
        QVERIFY2(answer.count("HTTP/1.1 ") == 1 && answer.endsWith("<closed>"), answer.constData());
        QVERIFY2(answer.contains("{\"error\":\""), answer.constData());
        QCOMPARE(client.call("check-new-files", m_alice, "CHECK").status, 200);
    }

    void usersAreServedUnderAttack_data()
    {
        QTest::addColumn<int>("addresses");
        // Below the per-address cap: only the budgets and the thread pool stand in the way.
        QTest::addRow("from 25 addresses") << 25;
        // Mostly beyond the per-address cap.
        QTest::addRow("from one address") << 1;
    }

    // Hostile connections of every kind, and a user's calls and uploads still go through. With
    // TESSARY_RELAY_LOAD_SECONDS set (bench/relay_load.sh), the load itself: 500 of them while the
    // user works that long, long enough for every stall to meet its budget. Otherwise 100, and a
    // few calls.
    void usersAreServedUnderAttack()
    {
        QFETCH(int, addresses);
        const int loadSeconds = qEnvironmentVariableIntValue("TESSARY_RELAY_LOAD_SECONDS");
        const int hostile = loadSeconds > 0 ? 500 : 100;
        RelayProcess relay;
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QString bobKeyId = client.registerKey(m_bob, m_keys[1]);
        QVERIFY(!bobKeyId.isEmpty() && !client.registerKey(m_alice, m_keys[0]).isEmpty());
        const QByteArray container = RelayClient::container(
            TestFiles::randomBytes(loadSeconds > 0 ? 10 << 20 : 1 << 20), m_keys[1].fingerprint);

        HostileClients attack(portOf(relay), hostile, addresses);
        QTRY_VERIFY_WITH_TIMEOUT(attack.open() == hostile, 10000);
        QVector<qint64> keyMs, uploadMs;
        int failed = 0;
        QElapsedTimer clock;
        clock.start();
        for (int round = 1; loadSeconds > 0 ? clock.elapsed() < loadSeconds * 1000 : round <= 5; ++round) {
            QElapsedTimer one;
            one.start();
            if (client.call("download-pubkey", m_alice, bobKeyId.toLatin1()).object()["fpr"]
                == m_keys[1].fingerprint)
                keyMs.append(one.elapsed());
            else
                ++failed;
            if (round % 5 == 0) {
                one.restart();
                const qint32 fileId = client.send(container, m_alice);
                if (fileId > 0 && client.complete(m_bob, fileId).success())
                    uploadMs.append(one.elapsed());
                else
                    ++failed;
            }
        }
        std::sort(keyMs.begin(), keyMs.end());
        std::sort(uploadMs.begin(), uploadMs.end());
        const auto at = [](const QVector<qint64>& v, double q) {
            return v.isEmpty() ? -1 : v[int(q * (v.size() - 1))];
        };
        qInfo("%d hostile connections from %d addresses: %d key downloads, median %lld ms, max %lld ms; %d "
              "uploads "
              "of %d MiB, median %lld ms, max %lld ms; %d failed; cut: %d silent, %d in handshake, %d in "
              "headers, "
              "%d in body",
              hostile, addresses, int(keyMs.size()), at(keyMs, 0.5), at(keyMs, 1), int(uploadMs.size()),
              container.size() >> 20, at(uploadMs, 0.5), at(uploadMs, 1), failed, attack.cut(Kind::Silent),
              attack.cut(Kind::Hello), attack.cut(Kind::Headers), attack.cut(Kind::Body));
        QCOMPARE(failed, 0);
        // Under the load, every hostile connection was cut off at least once, whatever its kind.
        for (Kind kind : HostileClients::kinds)
            QVERIFY(loadSeconds == 0 || attack.cut(kind) >= hostile / 4);
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
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const int port = portOf(relay);
        const QByteArray request = head("GET /api/check-new-files", "Connection: close\r\n");
        {
            HostileClients attack(portOf(relay), 4, 1); // from 127.0.0.2
            QTRY_VERIFY(attack.open() == 4);
            // The four are counted once the relay has taken them on.
            QByteArray refused;
            QTRY_VERIFY2((refused = exchange(port, "127.0.0.2", request, 5000)).startsWith("HTTP/1.1 503"),
                         refused.constData());
            QVERIFY2(refused.contains("Retry-After") && refused.contains(message), refused.constData());
            // Another address is still served while the server has room.
            QCOMPARE(exchange(port, "127.0.0.3", request, 5000).startsWith("HTTP/1.1 200"),
                     message == "from your network");
        }
        // Once the crowd has gone, the same address is served again.
        QTRY_VERIFY_WITH_TIMEOUT(exchange(port, "127.0.0.2", request, 5000).startsWith("HTTP/1.1 200"),
                                 10000);
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

// Slow, idle and greedy clients must not keep the relay from its users: while hundreds of
// connections hold half-done handshakes, unfinished headers or trickling bodies, ordinary calls and
// uploads still go through quickly; stalled connections are cut off; clients beyond the caps are
// told so. The attackers use the loopback addresses 127.0.0.2 and up, the ordinary client 127.0.0.1.

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
enum class Kind
{
    Silent, // connects and sends nothing
    Hello, // starts the TLS handshake and stops
    Headers, // sends part of the headers, then one byte a second
    Body // sends the headers, then the body one byte a second
};
constexpr Kind kinds[] = {Kind::Silent, Kind::Hello, Kind::Headers, Kind::Body};

// One hostile connection, driven without blocking.
struct Hostile
{
    Kind kind = Kind::Silent;
    QByteArray source;
    int fd = -1;
    SSL* ssl = nullptr;
    bool connected = false; // TCP
    bool secured = false; // TLS handshake done
    QByteArray pending; // the bytes still to dribble
    QElapsedTimer lastByte;

    ~Hostile() { close(); }
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

// Keeps `count` hostile connections open from `addresses` source addresses on a thread of its own,
// opening a new one whenever the server drops one, until destroyed. Counts the connections the
// server cut off, by kind.
class Attack
{
public:
    Attack(int port, int count, int addresses)
        : m_port(port)
    {
        m_ctx = SSL_CTX_new(TLS_client_method());
        for (int i = 0; i < count; ++i) {
            auto h = std::make_unique<Hostile>();
            h->kind = kinds[i % 4];
            h->source = "127.0.0." + QByteArray::number(2 + (i / 4) % addresses);
            m_hostiles.push_back(std::move(h));
        }
        m_thread = std::thread([this] { run(); });
    }
    ~Attack()
    {
        m_stop = true;
        m_thread.join();
        m_hostiles.clear();
        SSL_CTX_free(m_ctx);
    }

    int cut(Kind kind) const { return m_cut[int(kind)]; }
    // Connections open right now.
    int open() const { return m_open; }

private:
    void start(Hostile& h)
    {
        h.close();
        h.fd = connectFrom(h.source, m_port);
        h.lastByte.start();
        h.pending = h.kind == Kind::Headers
            ? QByteArray("POST /api/check-new-files HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
                + QByteArray(4000, 'x')
            : QByteArray(3000, 'b');
    }

    // False when the server has closed the connection.
    bool drive(Hostile& h, short events)
    {
        if (!h.connected) {
            if (!(events & (POLLOUT | POLLERR | POLLHUP)))
                return true;
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(h.fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0)
                return false;
            h.connected = true;
            if (h.kind == Kind::Silent)
                return true;
            h.ssl = SSL_new(m_ctx);
            SSL_set_fd(h.ssl, h.fd);
            SSL_set_connect_state(h.ssl);
        }
        if (h.kind == Kind::Silent || (h.kind == Kind::Hello && SSL_want_read(h.ssl))) {
            // The handshake is never continued: what the server sends is dropped unread, and only
            // the end of the connection matters.
            char buffer[4096];
            ssize_t got = 0;
            while ((got = ::recv(h.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) { }
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        if (!h.secured) {
            const int rc = SSL_do_handshake(h.ssl);
            if (rc == 1) {
                h.secured = true;
                if (h.kind == Kind::Body) {
                    const QByteArray head
                        = "POST /api/send-feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                        + QByteArray::number(h.pending.size()) + "\r\n\r\n";
                    if (SSL_write(h.ssl, head.constData(), head.size()) <= 0)
                        return false;
                }
            } else {
                const int error = SSL_get_error(h.ssl, rc);
                ERR_clear_error();
                return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
            }
        }
        if (events & (POLLIN | POLLHUP | POLLERR)) {
            // Session tickets are fine; an answer or the end means the server stopped waiting.
            char buffer[4096];
            const int rc = SSL_read(h.ssl, buffer, sizeof buffer);
            const int error = rc > 0 ? SSL_ERROR_NONE : SSL_get_error(h.ssl, rc);
            ERR_clear_error();
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                return false;
        }
        if (h.lastByte.elapsed() >= 1000 && !h.pending.isEmpty()) {
            h.lastByte.restart();
            if (SSL_write(h.ssl, h.pending.constData(), 1) <= 0) {
                ERR_clear_error();
                return false;
            }
            h.pending.remove(0, 1);
        }
        return true;
    }

    void run()
    {
        for (auto& h : m_hostiles)
            start(*h);
        std::vector<pollfd> fds(m_hostiles.size());
        while (!m_stop) {
            int open = 0;
            for (std::size_t i = 0; i < m_hostiles.size(); ++i) {
                Hostile& h = *m_hostiles[i];
                open += h.fd >= 0 ? 1 : 0;
                fds[i].fd = h.fd;
                fds[i].events = short(h.connected ? POLLIN : POLLOUT);
                fds[i].revents = 0;
            }
            m_open = open;
            ::poll(fds.data(), fds.size(), 100);
            for (std::size_t i = 0; i < m_hostiles.size(); ++i) {
                Hostile& h = *m_hostiles[i];
                if (h.fd >= 0 && drive(h, fds[i].revents))
                    continue;
                if (h.fd >= 0)
                    ++m_cut[int(h.kind)];
                start(h); // as an attacker would: straight back
            }
        }
    }

    const int m_port;
    SSL_CTX* m_ctx = nullptr;
    std::vector<std::unique_ptr<Hostile>> m_hostiles;
    std::atomic<int> m_cut[4] = {};
    std::atomic<int> m_open {0};
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

int portOf(const RelayProcess& relay)
{
    return QUrl(relay.baseUrl()).port();
}

// A raw request from a given source address; the answer's status line and body, or empty.
QByteArray rawCall(int port, const QByteArray& source, const QByteArray& request, int timeoutMs)
{
    const int fd = connectFrom(source, port);
    if (fd < 0)
        return QByteArray();
    pollfd p {fd, POLLOUT, 0};
    ::poll(&p, 1, timeoutMs);
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval tv {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    QByteArray answer;
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.constData(), request.size()) > 0) {
        char buffer[4096];
        int got = 0;
        while ((got = SSL_read(ssl, buffer, sizeof buffer)) > 0)
            answer.append(buffer, got);
    }
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    ::close(fd);
    return answer;
}
} // namespace

class TestRelaySlowClients : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid();

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(2);
        QCOMPARE(m_keys.size(), 2);
    }

    void usersAreServedUnderAttack_data()
    {
        QTest::addColumn<int>("addresses");
        // Below the per-address cap: only the budgets and the thread pool stand in the way.
        QTest::addRow("500 connections from 25 addresses") << 25;
        // Mostly beyond the per-address cap.
        QTest::addRow("500 connections from one address") << 1;
    }

    void usersAreServedUnderAttack()
    {
        QFETCH(int, addresses);
        RelayProcess relay;
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QString bobKeyId = client.registerKey(m_bob, m_keys[1]);
        QVERIFY(!bobKeyId.isEmpty() && !client.registerKey(m_alice, m_keys[0]).isEmpty());
        const QByteArray container
            = RelayClient::container(RelayClient::randomBytes(10 << 20), m_keys[1].fingerprint);

        Attack attack(portOf(relay), 500, addresses);
        QTRY_VERIFY_WITH_TIMEOUT(attack.open() == 500, 10000);
        QTest::qWait(2000); // every hostile connection is in place

        // Calls and uploads in turn for 15 s: long enough for every kind of stall to meet its budget.
        QVector<qint64> keyMs, uploadMs;
        int failed = 0;
        QElapsedTimer clock;
        clock.start();
        for (int round = 1; clock.elapsed() < 15000; ++round) {
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
        qInfo("under attack (%d addresses): %d key downloads, median %lld ms, max %lld ms; %d uploads of 10 "
              "MiB, "
              "median %lld ms, max %lld ms; %d failed; connections cut: %d silent, %d in handshake, %d in "
              "headers, "
              "%d in body",
              addresses, int(keyMs.size()), at(keyMs, 0.5), at(keyMs, 1), int(uploadMs.size()),
              at(uploadMs, 0.5), at(uploadMs, 1), failed, attack.cut(Kind::Silent), attack.cut(Kind::Hello),
              attack.cut(Kind::Headers), attack.cut(Kind::Body));
        QCOMPARE(failed, 0);
        QVERIFY(keyMs.size() >= 10 && uploadMs.size() >= 2);
        QVERIFY2(at(keyMs, 1) < 5000 && at(uploadMs, 1) < 10000, "a request of a user took too long");
        // Every kind of stall was cut off, and came back, and was cut off again.
        for (Kind kind : kinds)
            QVERIFY(attack.cut(kind) >= 125);
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
        const QByteArray request
            = "GET /api/check-new-files HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        {
            Attack attack(port, 4, 1); // from 127.0.0.2
            QTRY_VERIFY(attack.open() == 4);
            QTest::qWait(500);
            const QByteArray refused = rawCall(port, "127.0.0.2", request, 5000);
            QVERIFY2(refused.startsWith("HTTP/1.1 503"), refused.constData());
            QVERIFY2(refused.contains("Retry-After") && refused.contains(message), refused.constData());
            // Another address is still served while the server has room.
            const QByteArray other = rawCall(port, "127.0.0.3", request, 5000);
            QCOMPARE(other.startsWith("HTTP/1.1 200"), message == "from your network");
        }
        // Once the crowd has gone, the same address is served again.
        QTRY_VERIFY_WITH_TIMEOUT(rawCall(port, "127.0.0.2", request, 5000).startsWith("HTTP/1.1 200"), 10000);
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
        Attack attack(portOf(relay), 4, 1);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(attack.cut(Kind(kind)) > 0, withinSeconds * 1000 + 2000);
        QVERIFY2(clock.elapsed() >= 1500, "cut off before its time");
    }
};

QTEST_GUILESS_MAIN(TestRelaySlowClients)
#include "TestRelaySlowClients.moc"

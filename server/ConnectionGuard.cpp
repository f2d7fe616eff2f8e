#include "ConnectionGuard.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <atomic>
#include <poll.h>
#include <sys/socket.h>

namespace {
// Body bytes that may have been read together with the headers, before requestStarted() sees the
// request: at most one TLS record and the reader's buffer.
constexpr qint64 readAheadSlack = 20 * 1024;
// Once the body is in, storing it (fsync of a large upload) may take a while.
constexpr qint64 storeBytesPerSecond = qint64(64) << 20;
// What a refused client may still send, read and dropped, before its connection is closed.
constexpr std::size_t lingerBytes = 4 << 20;

std::string peerAddress(int fd)
{
    sockaddr_storage peer {};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return std::string();
    char text[INET6_ADDRSTRLEN] = {};
    const void* address = peer.ss_family == AF_INET6
        ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr)
        : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr);
    return ::inet_ntop(peer.ss_family, address, text, sizeof text) ? std::string(text) : std::string();
}
} // namespace

struct ConnectionGuard::Connection
{
    enum class Phase
    {
        Head, // handshake or headers due by deadline
        Body, // body due at the minimum rate
        Tail, // body (nearly) in: the request must end by deadline
        Busy // being answered: no budget beyond the library's write time-out
    };

    int fd = -1;
    std::string address;
    Admission admission = Admission::Admitted;
    Phase phase = Phase::Head;
    Clock::time_point deadline;
    std::atomic<qint64> received {0}; // bytes of TLS records read, written by the request thread
    qint64 bodyLength = -1;
    qint64 bodyStart = 0; // received when the body began
    Clock::time_point windowStart;
    qint64 windowReceived = 0;
    bool cut = false;
    bool closing = false;
};

ConnectionGuard::ConnectionGuard(const Limits& limits)
    : m_limits(limits)
{
}

ConnectionGuard::~ConnectionGuard()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_watchdog.joinable())
        m_watchdog.join();
}

void ConnectionGuard::install(SSL_CTX* ctx)
{
    m_exIndex = SSL_get_ex_new_index(0, this, nullptr, nullptr, &ConnectionGuard::freeCallback);
    SSL_CTX_set_app_data(ctx, this);
    SSL_CTX_set_info_callback(ctx, &ConnectionGuard::infoCallback);
    SSL_CTX_set_msg_callback(ctx, &ConnectionGuard::messageCallback);
    m_watchdog = std::thread([this] { watch(); });
}

void ConnectionGuard::infoCallback(const SSL* ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_START))
        return;
    auto* guard = static_cast<ConnectionGuard*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    // Called again for later handshakes (key updates) on the same session: registered once.
    if (guard && !SSL_get_ex_data(ssl, guard->m_exIndex))
        guard->connectionStarted(const_cast<SSL*>(ssl));
}

void ConnectionGuard::messageCallback(int writing, int, int contentType, const void* data, std::size_t length,
                                      SSL* ssl, void*)
{
    // Every record read is announced with its 5-byte header, which holds the record's length.
    if (writing || contentType != SSL3_RT_HEADER || length < 5)
        return;
    auto* guard = static_cast<ConnectionGuard*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    auto* connection = guard ? static_cast<Connection*>(SSL_get_ex_data(ssl, guard->m_exIndex)) : nullptr;
    if (connection) {
        const auto* header = static_cast<const unsigned char*>(data);
        connection->received += 5 + ((header[3] << 8) | header[4]);
    }
}

void ConnectionGuard::freeCallback(void*, void* ptr, CRYPTO_EX_DATA*, int, long, void* argp)
{
    if (ptr)
        static_cast<ConnectionGuard*>(argp)->connectionEnded(static_cast<Connection*>(ptr));
}

void ConnectionGuard::connectionStarted(SSL* ssl)
{
    auto* connection = new Connection;
    connection->fd = SSL_get_fd(ssl);
    connection->address = peerAddress(connection->fd);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int fromAddress = ++m_perAddress[connection->address];
        if (int(m_connections.size()) >= m_limits.maxConnections)
            connection->admission = Admission::ServerBusy;
        else if (fromAddress > m_limits.maxPerAddress)
            connection->admission = Admission::AddressBusy;
        const int seconds
            = connection->admission == Admission::Admitted ? m_limits.headerSeconds : refusalSeconds;
        connection->deadline = Clock::now() + std::chrono::seconds(seconds);
        m_connections.insert(connection);
    }
    SSL_set_ex_data(ssl, m_exIndex, connection);
}

void ConnectionGuard::connectionEnded(Connection* connection)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.erase(connection);
        const auto count = m_perAddress.find(connection->address);
        if (count != m_perAddress.end() && --count->second <= 0)
            m_perAddress.erase(count);
    }
    delete connection;
}

ConnectionGuard::Admission ConnectionGuard::requestStarted(const SSL* ssl, qint64 bodyLength)
{
    auto* connection = ssl ? static_cast<Connection*>(SSL_get_ex_data(ssl, m_exIndex)) : nullptr;
    if (!connection)
        return Admission::Admitted;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (connection->closing)
        return Admission::Closing;
    if (connection->admission != Admission::Admitted)
        return connection->admission;
    const Clock::time_point now = Clock::now();
    connection->bodyLength = bodyLength;
    connection->bodyStart = connection->windowReceived = connection->received;
    connection->windowStart = now;
    connection->phase = bodyLength == 0 ? Connection::Phase::Busy : Connection::Phase::Body;
    return Admission::Admitted;
}

void ConnectionGuard::requestFinished(const SSL* ssl, bool close)
{
    auto* connection = ssl ? static_cast<Connection*>(SSL_get_ex_data(ssl, m_exIndex)) : nullptr;
    if (!connection)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    connection->phase = Connection::Phase::Head;
    connection->deadline
        = Clock::now() + std::chrono::seconds(m_limits.keepAliveSeconds + m_limits.headerSeconds);
    if (!close || connection->closing)
        return;
    // The answer is written; nothing the client sent after it is ever read as a request: any
    // request still parsed is refused unseen, and the next read ends the connection.
    connection->closing = true;
    const int fd = connection->fd;
    lock.unlock();
    // A client still sending its body reads the answer only once it has sent: if the connection
    // were closed with its bytes unread, the reset could reach it first and take the answer with
    // it. So, for a moment, they are read and dropped.
    ::shutdown(fd, SHUT_WR);
    const auto end = Clock::now() + std::chrono::seconds(1);
    std::size_t drained = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p {fd, POLLIN, 0};
        char buffer[16384];
        if (left <= 0 || drained > lingerBytes || ::poll(&p, 1, int(left)) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0)
            break;
        drained += std::size_t(got);
    }
    ::shutdown(fd, SHUT_RD);
}

void ConnectionGuard::watch()
{
    using Phase = Connection::Phase;
    const auto window = std::chrono::seconds(m_limits.bodyWindowSeconds);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
        const Clock::time_point now = Clock::now();
        for (Connection* c : m_connections) {
            if (c->cut)
                continue;
            const qint64 received = c->received;
            // The last bytes of a body cannot be told apart from those read ahead with the headers:
            // they get one window, and the request as much again to store the body.
            if (c->phase == Phase::Body && c->bodyLength >= 0
                && received - c->bodyStart + std::min(readAheadSlack, c->bodyLength) >= c->bodyLength) {
                c->phase = Phase::Tail;
                c->deadline = now + window + std::chrono::seconds(c->bodyLength / storeBytesPerSecond);
            }
            bool late = false;
            if (c->phase == Phase::Head || c->phase == Phase::Tail) {
                late = now >= c->deadline;
            } else if (c->phase == Phase::Body && now - c->windowStart >= window) {
                qint64 due = m_limits.minBodyBytesPerSecond * m_limits.bodyWindowSeconds;
                if (c->bodyLength >= 0)
                    due = std::min(due, c->bodyLength - (c->windowReceived - c->bodyStart));
                late = received - c->windowReceived < due;
                c->windowStart = now;
                c->windowReceived = received;
            }
            if (late) {
                // Wakes the request thread, which then ends the connection and frees its session.
                ::shutdown(c->fd, SHUT_RDWR);
                c->cut = true;
            }
        }
    }
}

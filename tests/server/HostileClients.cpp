#include "HostileClients.h"

#include <QElapsedTimer>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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
} // namespace

struct HostileClients::Connection
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

HostileClients::HostileClients(int port, int count, int addresses)
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

HostileClients::~HostileClients()
{
    m_stop = true;
    m_thread.join();
    m_connections.clear();
    SSL_CTX_free(m_ctx);
}

void HostileClients::start(Connection& c)
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
bool HostileClients::drive(Connection& c, short events)
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
            const QByteArray head = "POST /api/send-feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
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

void HostileClients::run()
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

QByteArray HostileClients::exchange(int port, const QByteArray& source, const QByteArray& request,
                                    int timeoutMs)
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

#pragma once

#include <QByteArray>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

struct ssl_ctx_st;

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

    HostileClients(int port, int count, int addresses);
    ~HostileClients();

    int cut(Kind kind) const { return m_cut[int(kind)]; }
    int open() const { return m_open; } // connections open right now

    // Sends request as it is over a new TLS connection from the loopback address source and returns
    // all that comes back until the server closes the connection ("<closed>" is appended) or
    // nothing comes for timeoutMs ("<timeout>").
    static QByteArray exchange(int port, const QByteArray& source, const QByteArray& request, int timeoutMs);

    struct Connection;

private:
    void start(Connection& c);
    bool drive(Connection& c, short events);
    void run();

    const int m_port;
    ssl_ctx_st* m_ctx = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::atomic<int> m_cut[4] = {};
    std::atomic<int> m_open {0};
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct ssl_st;
struct ssl_ctx_st;

// Keeps slow, idle and greedy clients from tying up the request threads. Every connection is
// registered when its TLS handshake starts and forgotten when its TLS session is freed, which
// happens before its socket is closed. A watchdog thread shuts down the socket of a connection
// that misses its budget, which wakes the thread serving it at once:
// - the handshake and the request headers must arrive within a deadline (also between requests on
//   a kept-alive connection, on top of the keep-alive time);
// - a request body must keep arriving at a minimum rate, measured over short windows, and once it
//   is (nearly) all in, the request must end within a time that allows for storing it.
// Connections beyond the caps (per source address and in total) get a short deadline and a
// refusal instead of service.
class ConnectionGuard
{
public:
    struct Limits
    {
        int maxConnections = 1000;
        int maxPerAddress = 100;
        int headerSeconds = 10;
        int keepAliveSeconds = 10;
        qint64 minBodyBytesPerSecond = 1024;
        int bodyWindowSeconds = 10;
    };

    enum class Admission
    {
        Admitted,
        AddressBusy, // too many connections from this address
        ServerBusy, // too many connections in all
        Closing // an earlier request on the connection left unread bytes: nothing more is served
    };

    explicit ConnectionGuard(const Limits& limits);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // Hooks the guard into every TLS session that ctx makes; starts the watchdog.
    void install(ssl_ctx_st* ctx);

    // On the request thread once the headers of a request are read. bodyLength is the declared
    // Content-Length (0 without a body, -1 if unknown). Anything but Admitted must be refused.
    Admission requestStarted(const ssl_st* ssl, qint64 bodyLength);
    // On the request thread once the answer is written. With close, the connection ends here: a
    // request whose body was not read to its end leaves bytes that must never be taken for the
    // next request.
    void requestFinished(const ssl_st* ssl, bool close);

    // Threads that the server needs at most: the admitted connections and a few to refuse others.
    int threadsNeeded() const { return m_limits.maxConnections + refusalThreads; }

    struct Connection;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int refusalThreads = 32;
    static constexpr int refusalSeconds = 3;

    static void infoCallback(const ssl_st* ssl, int where, int ret);
    static void messageCallback(int writing, int version, int contentType, const void* data,
                                std::size_t length, ssl_st* ssl, void* arg);
    static void freeCallback(void* parent, void* ptr, struct crypto_ex_data_st* ad, int index, long argl,
                             void* argp);

    void connectionStarted(ssl_st* ssl);
    void connectionEnded(Connection* connection);
    void watch();

    const Limits m_limits;
    int m_exIndex = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::set<Connection*> m_connections;
    std::map<std::string, int> m_perAddress;
    std::thread m_watchdog;
};

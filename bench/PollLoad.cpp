// The poll load of bench/load.py: CLIENTS threads ask "/check-new-files" as fast as the answers come,
// for SECONDS, each over one kept-alive connection or with a new TLS connection per request. A new
// connection offers the session ticket of the one before, as a TLS client with a session cache does,
// so that it costs an abbreviated handshake. Written in C++ so that the load costs the two cores it
// shares with the server less than the server does (Python's ssl spends three times the server's
// CPU on a connection). Prints one JSON object.
//
//   poll-load HOST PORT CA_FILE CLIENTS SECONDS keep-alive|new-connections

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

struct Totals
{
    std::mutex mutex;
    std::vector<double> latencies; // seconds
    long errors = 0;
    long full = 0, resumed = 0;
    std::string firstError;
};

// One TLS connection, or none after an error.
struct Connection
{
    int fd = -1;
    SSL* ssl = nullptr;

    void close()
    {
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        if (fd >= 0)
            ::close(fd);
        ssl = nullptr;
        fd = -1;
    }
};

bool open(Connection& c, SSL_CTX* ctx, const sockaddr_in& address, const char* host, SSL_SESSION* session,
          bool* resumed)
{
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(c.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    c.ssl = SSL_new(ctx);
    SSL_set_fd(c.ssl, c.fd);
    SSL_set1_host(c.ssl, host);
    if (session)
        SSL_set_session(c.ssl, session);
    if (SSL_connect(c.ssl) != 1)
        return false;
    *resumed = SSL_session_reused(c.ssl);
    return true;
}

// Sends request and reads one answer; its status, or -1. open stays true while the server keeps
// the connection.
int exchange(Connection& c, const std::string& request, bool* open)
{
    if (SSL_write(c.ssl, request.data(), int(request.size())) <= 0)
        return -1;
    std::string data;
    char buffer[16384];
    std::size_t headerEnd = std::string::npos;
    long length = -1;
    while (headerEnd == std::string::npos || data.size() < headerEnd + 4 + std::size_t(length)) {
        const int got = SSL_read(c.ssl, buffer, sizeof buffer);
        if (got <= 0)
            return -1;
        data.append(buffer, std::size_t(got));
        if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
            const std::size_t at = data.find("Content-Length: ");
            length = at < headerEnd ? std::atol(data.c_str() + at + 16) : 0;
        }
    }
    *open = data.find("Connection: close") > headerEnd;
    // The answer of "/check-new-files" is a JSON array.
    return data.compare(headerEnd + 4, 1, "[") == 0 ? std::atoi(data.c_str() + 9) : -1;
}

void client(SSL_CTX* ctx, const sockaddr_in& address, const char* host, Clock::time_point deadline,
            bool keepAlive, Totals& totals)
{
    unsigned char uid[16];
    RAND_bytes(uid, sizeof uid);
    const std::string body = std::string("\x03") + std::string(reinterpret_cast<char*>(uid), 16) + "CHECK";
    const std::string request = "POST /api/check-new-files HTTP/1.1\r\nHost: " + std::string(host)
        + "\r\nUser-Agent: Tessary/2.0.1\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    SSL_SESSION* session = nullptr;
    Connection c;
    std::vector<double> latencies;
    long errors = 0, full = 0, resumed = 0;
    std::string firstError;
    for (int count = 0; Clock::now() < deadline && count < 100000; ++count) {
        const Clock::time_point start = Clock::now();
        bool open = false, reused = false;
        if (c.ssl == nullptr) {
            if (!::open(c, ctx, address, host, session, &reused)) {
                ++errors;
                firstError = firstError.empty() ? "connection failed" : firstError;
                c.close();
                continue;
            }
            ++(reused ? resumed : full);
        }
        const int status = exchange(c, request, &open);
        if (status == 200) {
            latencies.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        } else {
            ++errors;
            firstError = firstError.empty() ? "status " + std::to_string(status) : firstError;
            open = false;
        }
        if (!keepAlive || !open) {
            // The newest ticket, as a client's session cache keeps it.
            if (SSL_SESSION* newest = SSL_get1_session(c.ssl); newest && SSL_SESSION_is_resumable(newest)) {
                SSL_SESSION_free(session);
                session = newest;
            } else {
                SSL_SESSION_free(newest);
            }
            c.close();
        }
    }
    c.close();
    SSL_SESSION_free(session);
    std::lock_guard<std::mutex> lock(totals.mutex);
    totals.latencies.insert(totals.latencies.end(), latencies.begin(), latencies.end());
    totals.errors += errors;
    totals.full += full;
    totals.resumed += resumed;
    if (totals.firstError.empty())
        totals.firstError = firstError;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s HOST PORT CA_FILE CLIENTS SECONDS keep-alive|new-connections\n",
                     argv[0]);
        return 2;
    }
    const char* host = argv[1];
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(argv[2])));
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1 || std::strncmp(host, "127.", 4) != 0) {
        std::fprintf(stderr, "the load goes to loopback addresses only\n");
        return 2;
    }
    const int clients = std::atoi(argv[4]);
    const double seconds = std::atof(argv[5]);
    const bool keepAlive = std::string(argv[6]) == "keep-alive";

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_load_verify_locations(ctx, argv[3], nullptr) != 1) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 2;
    }
    // The client keeps its sessions itself, one per thread.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);

    Totals totals;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline
        = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(client, ctx, std::cref(address), host, deadline, keepAlive, std::ref(totals));
    for (std::thread& t : threads)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

    std::vector<double>& l = totals.latencies;
    std::sort(l.begin(), l.end());
    const auto at = [&l](double q) {
        return l.empty() ? 0.0 : l[std::min(l.size() - 1, std::size_t(q * l.size()))] * 1000;
    };
    std::printf(
        "{\"requests\": %zu, \"elapsed_seconds\": %.3f, \"errors\": %ld, \"error_messages\": [%s], "
        "\"latency_ms\": {\"p50\": %.1f, \"p95\": %.1f, \"max\": %.1f}, \"generator_cpu_seconds\": %.2f, "
        "\"tls_handshakes\": {\"full\": %ld, \"resumed\": %ld}}\n",
        l.size(), elapsed, totals.errors,
        totals.firstError.empty() ? "" : ("\"" + totals.firstError + "\"").c_str(), at(0.5), at(0.95),
        l.empty() ? 0.0 : l.back() * 1000, cpu, totals.full, totals.resumed);
    SSL_CTX_free(ctx);
    return 0;
}

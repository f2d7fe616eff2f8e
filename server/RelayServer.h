#pragma once

#include <QString>

#include <atomic>
#include <memory>

namespace httplib {
class SSLServer;
}

class AccessLog;
class ConnectionGuard;
class RelayApi;
class ServerOptions;

// The HTTPS front end: routes the protocol's requests to RelayApi, streams uploads into the blob
// store and downloads out of it, enforces body limits and time-outs, and writes the access log.
class RelayServer
{
public:
    RelayServer(const ServerOptions& options, RelayApi& api, AccessLog& log);
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    // Loads the certificate and binds the listening socket; connections queue from then on.
    bool bind(const QString& certFile, const QString& keyFile, QString* error);
    int port() const { return m_port; }
    // Serves until stop(); requests in progress are finished first.
    bool run();
    // Safe to call from any thread, also before run() has started (then run() returns at once).
    void stop();

private:
    void installRoutes();

    const ServerOptions& m_options;
    RelayApi& m_api;
    AccessLog& m_log;
    std::unique_ptr<ConnectionGuard> m_guard;
    std::unique_ptr<httplib::SSLServer> m_server;
    int m_port = -1;
    std::atomic<bool> m_stopRequested {false};
};

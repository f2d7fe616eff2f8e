#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

// An HTTPS server on 127.0.0.1 (random port) with a certificate signed by a private test CA, that
// answers what a test scripts and records every request. Handlers run on the server's own thread.
class ScriptedServer
{
public:
    struct Request
    {
        QString method;
        QString path;
        QByteArray body;
        QMap<QString, QString> headers; // header names in lower case
    };
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    ScriptedServer();
    ~ScriptedServer();

    bool isRunning() const;
    QString baseUrl() const; // https://127.0.0.1:PORT
    QString caFile() const; // PEM of the CA that signed the server certificate

    // Answers method+path (e.g. "POST", "/api/attach-key") with status and body (JSON content type).
    void reply(const QString& method, const QString& path, int status, const QByteArray& body);
    // Full control over the answer, including slow and streamed replies.
    void handle(const QString& method, const QString& path, Handler handler);

    // Streams a reply of length bytes ('[' and blanks; without end when length is negative), its length
    // announced or chunked, one byte per dripMs when that is positive. What went out is added to
    // *served. Nothing of it is held in memory.
    static void stream(httplib::Response& res, qint64 length, bool announce, int dripMs,
                       std::atomic<qint64>* served);

    QList<Request> requests() const;
    Request lastRequest() const;
    void clearRequests();

    // Points the client at this server: TESSARY_SERVER_URL and TESSARY_CA_FILE, then loadServerConfig().
    void makeCurrent() const;

    // Creates a CA and a server certificate for 127.0.0.1/localhost in dir (ca.pem, server.pem,
    // server.key) with the openssl tool. Also used for "untrusted" certificates in tests.
    static bool createCertificates(const QString& dir);

private:
    void record(const httplib::Request& req);

    QTemporaryDir m_certDir;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable QMutex m_mutex;
    QList<Request> m_requests;
};

#include "RelayServer.h"

#include "AccessLog.h"
#include "ConnectionGuard.h"
#include "ElasticThreadPool.h"
#include "RelayApi.h"
#include "ServerOptions.h"
#include "UploadForm.h"
#include "UploadSession.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <vector>

namespace {
constexpr std::size_t downloadChunk = 256 * 1024;
// A refused body up to this size is still read (and dropped), so that the client, which is busy
// sending it, gets to read the answer; larger ones are cut off.
constexpr qint64 oversizeDrainLimit = 8 << 20;

// What the access log line of the request being served on this thread needs beyond the request
// and response themselves. httplib serves one connection per thread, one request at a time.
struct RequestContext
{
    std::chrono::steady_clock::time_point start;
    bool started = false;
    QString caller;
    QString outcome;
    qint64 bytesIn = -1;
};
thread_local RequestContext t_request;

qint64 declaredLength(const httplib::Request& req)
{
    if (!req.has_header("Content-Length"))
        return -1;
    bool ok = false;
    const qint64 value
        = QByteArray::fromStdString(req.get_header_value("Content-Length")).trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

void send(httplib::Response& res, const ApiReply& reply)
{
    res.status = reply.status;
    if (!reply.body.isEmpty())
        res.set_content(reply.body.constData(), static_cast<std::size_t>(reply.body.size()),
                        "application/json");
    t_request.outcome = reply.outcome;
}

// Answers without reading the body, and tells the client not to reuse the connection, whose
// unread bytes are of no further use.
void refuseUnread(httplib::Response& res, int status, const QString& outcome)
{
    res.status = status;
    res.set_header("Connection", "close");
    t_request.outcome = outcome;
}

// Refuses a request whose body is of no use. A small body is read and dropped, so that the
// connection stays in step for the next request; a large one is left unread.
void refuseBody(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader,
                qint64 drainLimit, int status, const QString& outcome)
{
    const qint64 length = declaredLength(req);
    if (length < 0 || length > drainLimit || req.is_multipart_form_data()) {
        refuseUnread(res, status, outcome);
        return;
    }
    reader([](const char*, std::size_t) { return true; });
    res.status = status;
    t_request.outcome = outcome;
}

// Over the limits the client still learns why, in words it can show, and when to try again.
void refuseBusy(httplib::Response& res, ConnectionGuard::Admission admission)
{
    const bool address = admission == ConnectionGuard::Admission::AddressBusy;
    const QString message = address
        ? QStringLiteral("Too many connections to the server come from your network. Please try again "
                         "in a moment.")
        : QStringLiteral("The server is busy. Please try again in a moment.");
    const QByteArray body
        = QJsonDocument(QJsonObject {{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact);
    res.status = 503;
    res.set_header("Retry-After", "5");
    res.set_header("Connection", "close");
    res.set_content(body.constData(), static_cast<std::size_t>(body.size()), "application/json");
    t_request.outcome = address ? QStringLiteral("refused-address-busy") : QStringLiteral("refused-busy");
}

qint32 fileIdFromPath(const std::string& digits)
{
    if (digits.empty() || digits.size() > 10)
        return 0;
    const qint64 value = QByteArray::fromStdString(digits).toLongLong();
    return value >= 1 && value <= 2147483647 ? static_cast<qint32>(value) : 0;
}
} // namespace

RelayServer::RelayServer(const ServerOptions& options, RelayApi& api, AccessLog& log)
    : m_options(options)
    , m_api(api)
    , m_log(log)
{
}

RelayServer::~RelayServer() = default;

bool RelayServer::bind(const QString& certFile, const QString& keyFile, QString* error)
{
    m_server = std::make_unique<httplib::SSLServer>(certFile.toLocal8Bit().constData(),
                                                    keyFile.toLocal8Bit().constData());
    if (!m_server->is_valid()) {
        *error = QStringLiteral("cannot use the certificate %1 with the key %2").arg(certFile, keyFile);
        return false;
    }
    SSL_CTX_set_min_proto_version(m_server->ssl_context(), TLS1_2_VERSION);

    ConnectionGuard::Limits limits;
    limits.maxConnections = m_options.maxConnections;
    limits.maxPerAddress = m_options.maxPerAddress;
    limits.headerSeconds = m_options.headerTimeoutSeconds;
    limits.keepAliveSeconds = m_options.keepAliveSeconds;
    limits.minBodyBytesPerSecond = m_options.minUploadRate;
    m_guard = std::make_unique<ConnectionGuard>(limits);
    m_guard->install(m_server->ssl_context());
    // A thread per connection, as the library serves them; the guard keeps any one connection from
    // holding its thread for long without doing its part.
    const int threads = m_guard->threadsNeeded();
    m_server->new_task_queue = [threads] { return new ElasticThreadPool(threads); };
    // Time-outs count silence, not duration: a large upload that keeps moving is never cut off.
    m_server->set_read_timeout(m_options.readTimeoutSeconds, 0);
    m_server->set_write_timeout(m_options.writeTimeoutSeconds, 0);
    m_server->set_keep_alive_timeout(m_options.keepAliveSeconds);
    m_server->set_keep_alive_max_count(100);
    m_server->set_tcp_nodelay(true);
    // Only "/upload-container" reads a large body, and it streams; every other body is capped by
    // its own handler before anything is buffered.
    m_server->set_payload_max_length(static_cast<std::size_t>(m_options.maxContainerBytes + (1 << 20)));
    installRoutes();
    int listener = -1;
    m_server->set_socket_options([&listener](int socket) {
        httplib::default_socket_options(socket);
        listener = socket;
    });

    const std::string host = m_options.listenHost.toStdString();
    if (m_options.listenPort == 0)
        m_port = m_server->bind_to_any_port(host);
    else
        m_port = m_server->bind_to_port(host, m_options.listenPort) ? m_options.listenPort : -1;
    if (m_port <= 0) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(m_options.listenHost).arg(m_options.listenPort);
        return false;
    }
    m_server->set_socket_options(httplib::default_socket_options);
    // The library's queue of five is full at once when many connect together; the kernel then
    // drops the newcomers' handshakes and they wait seconds before they try again.
    ::listen(listener, SOMAXCONN);
    return true;
}

bool RelayServer::run()
{
    if (m_stopRequested)
        return true;
    return m_server->listen_after_bind();
}

void RelayServer::stop()
{
    m_stopRequested = true;
    if (m_server)
        m_server->stop();
}

void RelayServer::installRoutes()
{
    httplib::SSLServer& server = *m_server;

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        t_request = RequestContext();
        t_request.start = std::chrono::steady_clock::now();
        t_request.started = true;
        const bool hasBody = req.method == "POST" || req.has_header("Content-Length");
        const ConnectionGuard::Admission admission
            = m_guard->requestStarted(req.ssl, hasBody ? declaredLength(req) : 0);
        if (admission != ConnectionGuard::Admission::Admitted) {
            refuseBusy(res, admission);
            return httplib::Server::HandlerResponse::Handled;
        }
        // Other methods could make the library buffer a body nobody reads.
        if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
            refuseUnread(res, 405, QStringLiteral("method"));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        AccessLog::Entry entry;
        entry.remote = QString::fromStdString(req.remote_addr);
        entry.method = QString::fromStdString(req.method);
        entry.path = QString::fromStdString(req.path);
        entry.status = res.status;
        entry.bytesIn = t_request.bytesIn >= 0 ? t_request.bytesIn : static_cast<qint64>(req.body.size());
        entry.bytesOut = static_cast<qint64>(res.content_provider_ ? res.content_length_ : res.body.size());
        if (t_request.started)
            entry.millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - t_request.start)
                               .count();
        entry.caller = t_request.caller;
        // Without the routing step the request line or headers could not be parsed.
        entry.outcome = t_request.started ? t_request.outcome : QStringLiteral("unparsable");
        m_log.write(entry);
        t_request = RequestContext();
        m_guard->requestFinished(req.ssl);
    });

    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        t_request.outcome = QStringLiteral("exception");
    });

    server.Post(
        R"(/api/([a-z-]+))",
        [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            const QString endpoint = QString::fromStdString(req.matches[1]);
            if (!RelayApi::isEndpoint(endpoint)) {
                refuseUnread(res, 404, QStringLiteral("unknown-endpoint"));
                return;
            }
            const qint64 limit = m_options.apiBodyBytes;
            if (req.is_multipart_form_data()) {
                refuseBody(req, res, reader, limit, 400, QStringLiteral("malformed-multipart"));
                return;
            }
            if (declaredLength(req) > limit) {
                refuseBody(req, res, reader, oversizeDrainLimit, 413, QStringLiteral("body-size"));
                return;
            }
            QByteArray body;
            bool tooLarge = false;
            const bool complete = reader([&](const char* data, std::size_t size) {
                if (body.size() + static_cast<qint64>(size) > limit) {
                    tooLarge = true;
                    return false;
                }
                body.append(data, static_cast<int>(size));
                return true;
            });
            t_request.bytesIn = body.size();
            if (!complete) {
                refuseUnread(res, tooLarge ? 413 : 400, QStringLiteral("body-size"));
                return;
            }
            QByteArray caller;
            const ApiReply reply = m_api.call(endpoint, body, &caller);
            if (!caller.isEmpty())
                t_request.caller = m_log.pseudonym(caller);
            send(res, reply);
        });

    // The client turns a call with an empty body into a GET.
    server.Get(R"(/api/([a-z-]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const QString endpoint = QString::fromStdString(req.matches[1]);
        if (!RelayApi::isEndpoint(endpoint)) {
            res.status = 404;
            t_request.outcome = QStringLiteral("unknown-endpoint");
            return;
        }
        send(res, m_api.emptyCall(endpoint));
    });

    server.Post(
        "/upload-container",
        [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            if (!req.is_multipart_form_data()) {
                refuseUnread(res, 400, QStringLiteral("malformed-upload"));
                return;
            }
            const ApiReply early = m_api.checkUploadLength(declaredLength(req));
            if (!early.outcome.isEmpty()) {
                // A client still sending when the answer comes sees its connection reset instead of
                // the refusal. Small bodies are read to the end so the refusal reaches the user; for
                // large ones the connection is closed rather than spend the bandwidth.
                constexpr qint64 drainLimit = 16 * 1024 * 1024;
                if (declaredLength(req) >= 0 && declaredLength(req) <= drainLimit)
                    reader([](const httplib::MultipartFormData&) { return true; },
                           [](const char*, std::size_t) { return true; });
                else
                    res.set_header("Connection", "close");
                send(res, early);
                return;
            }

            UploadSession session(m_api.blobStore(), m_options.maxContainerBytes);
            const bool complete = readUploadForm(req, reader, session);
            t_request.bytesIn = session.containerBytes();
            const QByteArray uploader = session.uploader();
            if (!uploader.isEmpty())
                t_request.caller = m_log.pseudonym(uploader);
            // A broken connection leaves nothing behind: the session's blob is discarded unless
            // finishUpload commits it.
            if (!complete) {
                refuseUnread(res, 400, QStringLiteral("upload-interrupted"));
                return;
            }
            switch (session.result()) {
            case UploadSession::Result::Complete:
                send(res, m_api.finishUpload(uploader, session.takeBlob(), session.trailer()));
                return;
            case UploadSession::Result::TooLarge:
                send(res, m_api.uploadTooLarge());
                return;
            case UploadSession::Result::StorageFailed:
                res.status = 500;
                t_request.outcome = QStringLiteral("failed-storage");
                return;
            case UploadSession::Result::Malformed:
                break;
            }
            res.status = 400;
            t_request.outcome = QStringLiteral("malformed-upload");
        });

    server.Get(R"(/id(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        const qint32 fileId = fileIdFromPath(req.matches[1]);
        std::shared_ptr<BlobStore::Reader> blob(fileId ? m_api.openWaiting(fileId) : nullptr);
        if (!blob) {
            res.status = 404;
            t_request.outcome = QStringLiteral("not-found");
            return;
        }
        auto buffer = std::make_shared<std::vector<char>>(downloadChunk);
        res.set_content_provider(
            static_cast<std::size_t>(blob->size()), "application/octet-stream",
            [blob, buffer](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const qint64 got = blob->read(static_cast<qint64>(offset), buffer->data(),
                                              static_cast<qint64>(std::min(length, downloadChunk)));
                return got > 0 && sink.write(buffer->data(), static_cast<std::size_t>(got));
            });
        t_request.outcome = QStringLiteral("download");
    });

    // Catch-alls that answer without reading: otherwise the library would buffer the body of a
    // request for an unknown path in memory.
    server.Post(
        ".*",
        [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            refuseBody(req, res, reader, m_options.apiBodyBytes, 404, QStringLiteral("not-found"));
        });
}

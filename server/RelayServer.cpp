#include "RelayServer.h"

#include "AccessLog.h"
#include "ConnectionGuard.h"
#include "ElasticThreadPool.h"
#include "RelayApi.h"
#include "ServerOptions.h"
#include "UploadAppend.h"
#include "UploadSession.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <vector>

namespace {
constexpr std::size_t downloadChunk = 256 * 1024;

// What the access log line of the request being served on this thread needs beyond the request
// and response themselves. httplib serves one connection per thread, one request at a time.
struct RequestContext
{
    std::chrono::steady_clock::time_point start;
    bool started = false;
    QString caller;
    QString outcome;
    qint64 bytesIn = -1;
    qint64 bytesOut = -1;
    bool close = false; // the body was not read to its end
    httplib::Ranges ranges; // of a download; the library is kept from applying them itself
};
thread_local RequestContext t_request;

void send(httplib::Response& res, const ApiReply& reply)
{
    res.status = reply.status;
    for (const auto& header : reply.headers)
        res.set_header(header.first.constData(), header.second.constData());
    if (!reply.body.isEmpty())
        res.set_content(reply.body.constData(), static_cast<std::size_t>(reply.body.size()),
                        "application/json");
    t_request.outcome = reply.outcome;
}

// The library cuts every body to the request's Range header, error replies included, and trusts
// the range to lie within the body. Only downloads answer ranges here, and they check them first.
void takeRanges(const httplib::Request& req)
{
    t_request.ranges = req.ranges;
    const_cast<httplib::Request&>(req).ranges.clear();
}

// Answers a request whose body is left unread (or half read): the connection ends with the answer.
void sendAndClose(httplib::Response& res, const ApiReply& reply)
{
    send(res, reply);
    res.set_header("Connection", "close");
    t_request.close = true;
}

qint64 declaredLength(const httplib::Request& req)
{
    return req.has_header("Content-Length")
        ? QByteArray::fromStdString(req.get_header_value("Content-Length")).toLongLong()
        : -1;
}

// Refuses framing that two parties could read differently (the shape of request smuggling behind a
// proxy) or that the relay would have to wait out, before any byte of the body is read. Lengths
// have at most 18 digits, so that they fit into 64 bits.
ApiReply framingError(const httplib::Request& req)
{
    const auto bad = [](const QString& outcome) {
        return RelayApi::error(400, QStringLiteral("The length of the request is unclear or impossible."),
                               QStringLiteral("framing-") + outcome);
    };
    const std::size_t lengths = req.get_header_value_count("Content-Length");
    const std::size_t codings = req.get_header_value_count("Transfer-Encoding");
    const QByteArray length = QByteArray::fromStdString(req.get_header_value("Content-Length")).trimmed();
    if (lengths > 1)
        return bad(QStringLiteral("lengths"));
    if (lengths == 1 && codings > 0)
        return bad(QStringLiteral("length-and-coding"));
    if (lengths == 1
        && (length.isEmpty() || length.size() > 18
            || !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })))
        return bad(QStringLiteral("length"));
    if (codings > 1
        || (codings == 1
            && QByteArray::fromStdString(req.get_header_value("Transfer-Encoding")).trimmed().toLower()
                != "chunked"))
        return bad(QStringLiteral("coding"));
    if (req.has_header("Content-Encoding")
        && QByteArray::fromStdString(req.get_header_value("Content-Encoding")).trimmed().toLower()
            != "identity")
        return RelayApi::error(415, QStringLiteral("The server takes requests without content coding."),
                               QStringLiteral("framing-content-coding"));
    const bool takesBody = req.method == "POST" || req.method == "PATCH";
    if (takesBody && lengths == 0 && codings == 0)
        return RelayApi::error(411, QStringLiteral("The request must state its length."),
                               QStringLiteral("framing-no-length"));
    if (!takesBody && (codings > 0 || length.toLongLong() > 0))
        return bad(QStringLiteral("body"));
    return ApiReply();
}

// Over the limits the client still learns why, in words it can show, and when to try again.
ApiReply busy(ConnectionGuard::Admission admission)
{
    if (admission == ConnectionGuard::Admission::Closing)
        return RelayApi::error(400, QStringLiteral("The request follows one whose body was not read."),
                               QStringLiteral("after-unread-body"));
    if (admission == ConnectionGuard::Admission::AddressBusy)
        return RelayApi::error(
            503,
            QStringLiteral("Too many connections to the server come from your network. Please "
                           "try again in a moment."),
            QStringLiteral("refused-address-busy"));
    return RelayApi::error(503, QStringLiteral("The server is busy. Please try again in a moment."),
                           QStringLiteral("refused-busy"));
}

QString errorText(int status)
{
    switch (status) {
    case 404:
        return QStringLiteral("There is nothing here. The file may have been collected or expired.");
    case 405:
        return QStringLiteral("The server does not take this kind of request.");
    default:
        return QStringLiteral("The server does not understand this request. Please update the program.");
    }
}

// A number of at most 18 digits from a header, or -1.
qint64 headerNumber(const httplib::Request& req, const char* name)
{
    const QByteArray text = QByteArray::fromStdString(req.get_header_value(name)).trimmed();
    if (req.get_header_value_count(name) != 1 || text.isEmpty() || text.size() > 18
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return text.toLongLong();
}

// The answers of the resumable upload paths all carry the protocol version.
void sendTus(httplib::Response& res, const ApiReply& reply)
{
    send(res, reply);
    res.set_header("Tus-Resumable", "1.0.0");
}

// A refusal unless the request speaks tus 1.0.0; null outcome if it does.
ApiReply tusVersionError(const httplib::Request& req)
{
    if (req.get_header_value("Tus-Resumable") == "1.0.0")
        return ApiReply();
    ApiReply refused = RelayApi::error(
        412, QStringLiteral("The server speaks version 1.0.0 of the resumable upload protocol."),
        QStringLiteral("tus-version"));
    refused.headers.emplace_back("Tus-Version", "1.0.0");
    return refused;
}

QByteArray installationOf(const httplib::Request& req)
{
    return UploadSession::installationFrom(
        QByteArray::fromStdString(req.get_header_value("Tessary-Installation")));
}

// Whether an If-Match or If-Range value names etag: "*" or a list with it, compared strongly.
bool namesEtag(const std::string& value, const QByteArray& etag, bool list)
{
    const QByteArray text = QByteArray::fromStdString(value).trimmed();
    if (!list)
        return text == etag;
    for (const QByteArray& tag : text.split(',')) {
        if (tag.trimmed() == etag || tag.trimmed() == "*")
            return true;
    }
    return false;
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
    SSL_CTX* ctx = m_server->ssl_context();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Clients that come back with a session ticket skip the certificate and its signature; one
    // ticket per connection is all a client keeps.
    SSL_CTX_set_num_tickets(ctx, 1);

    ConnectionGuard::Limits limits;
    limits.maxConnections = int(m_options.maxConnections);
    limits.maxPerAddress = int(m_options.maxPerAddress);
    limits.headerSeconds = int(m_options.headerTimeoutSeconds);
    limits.keepAliveSeconds = int(m_options.keepAliveSeconds);
    limits.minBodyBytesPerSecond = m_options.minUploadRate;
    m_guard = std::make_unique<ConnectionGuard>(limits);
    m_guard->install(ctx);
    // A thread per connection, as the library serves them; the guard keeps any one connection from
    // holding its thread for long without doing its part.
    const int threads = m_guard->threadsNeeded();
    m_server->new_task_queue = [threads] { return new ElasticThreadPool(threads); };
    // Time-outs count silence, not duration: a large upload that keeps moving is never cut off.
    m_server->set_read_timeout(m_options.readTimeoutSeconds, 0);
    m_server->set_write_timeout(m_options.writeTimeoutSeconds, 0);
    m_server->set_keep_alive_timeout(m_options.keepAliveSeconds);
    // A client that keeps its connection is not sent to a new handshake every hundred requests.
    m_server->set_keep_alive_max_count(1000);
    m_server->set_tcp_nodelay(true);
    // Every body is read through a handler that stops at its own limit; this one is never reached.
    m_server->set_payload_max_length(
        static_cast<std::size_t>(m_options.limits.maxContainerBytes + (1 << 20)));
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

    // Runs once the headers are read and before any byte of the body.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        t_request = RequestContext();
        t_request.start = std::chrono::steady_clock::now();
        t_request.started = true;
        const ConnectionGuard::Admission admission = m_guard->requestStarted(req.ssl, declaredLength(req));
        if (admission != ConnectionGuard::Admission::Admitted) {
            sendAndClose(res, busy(admission));
            if (admission != ConnectionGuard::Admission::Closing)
                res.set_header("Retry-After", "5");
            return httplib::Server::HandlerResponse::Handled;
        }
        takeRanges(req);
        static const std::set<std::string> methods {"GET", "HEAD", "POST", "PATCH", "DELETE", "OPTIONS"};
        if (!methods.count(req.method)) {
            sendAndClose(res, RelayApi::error(405, errorText(405), QStringLiteral("method")));
            return httplib::Server::HandlerResponse::Handled;
        }
        const ApiReply framing = framingError(req);
        if (!framing.outcome.isEmpty()) {
            sendAndClose(res, framing);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // Errors of the library's own (an unparsable request line, an unknown path) get a text too.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
            // Also reached for requests that never got to routing.
            takeRanges(req);
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            send(res,
                 RelayApi::error(res.status, errorText(res.status),
                                 t_request.outcome.isEmpty() ? QStringLiteral("error") : t_request.outcome));
            return httplib::Server::HandlerResponse::Handled;
        }));

    server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        AccessLog::Entry entry;
        entry.remote = QString::fromStdString(req.remote_addr);
        entry.method = QString::fromStdString(req.method);
        entry.path = QString::fromStdString(req.path);
        entry.status = res.status;
        entry.bytesIn = t_request.bytesIn >= 0 ? t_request.bytesIn : static_cast<qint64>(req.body.size());
        entry.bytesOut = t_request.bytesOut >= 0 ? t_request.bytesOut : static_cast<qint64>(res.body.size());
        if (t_request.started)
            entry.millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - t_request.start)
                               .count();
        entry.caller = t_request.caller;
        // Without the routing step the request line or headers could not be parsed.
        entry.outcome = t_request.started ? t_request.outcome : QStringLiteral("unparsable");
        m_log.write(entry);
        m_guard->requestFinished(req.ssl, t_request.close || !t_request.started);
        t_request = RequestContext();
    });

    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendAndClose(res,
                     RelayApi::error(500, QStringLiteral("The server failed. Please try again later."),
                                     QStringLiteral("exception")));
    });

    server.Post(
        R"(/api/([a-z-]+))",
        [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            const QString endpoint = QString::fromStdString(req.matches[1]);
            const qint64 limit = m_options.limits.apiBodyBytes;
            const ApiReply tooLarge = RelayApi::error(413, QStringLiteral("The request is too large."),
                                                      QStringLiteral("body-size"));
            if (!RelayApi::isEndpoint(endpoint)) {
                sendAndClose(res, RelayApi::error(404, errorText(404), QStringLiteral("unknown-endpoint")));
                return;
            }
            if (declaredLength(req) > limit) {
                sendAndClose(res, tooLarge);
                return;
            }
            QByteArray body;
            const bool complete = reader([&](const char* data, std::size_t size) {
                body.append(data, static_cast<int>(qMin<std::size_t>(size, std::size_t(limit + 1))));
                return body.size() <= limit;
            });
            t_request.bytesIn = body.size();
            if (!complete) {
                sendAndClose(res,
                             body.size() > limit ? tooLarge : RelayApi::malformed(QStringLiteral("body")));
                return;
            }
            QByteArray caller;
            const ApiReply reply
                = m_api.call(endpoint, body, QString::fromStdString(req.remote_addr), &caller);
            if (!caller.isEmpty())
                t_request.caller = m_log.pseudonym(caller);
            send(res, reply);
        });

    // The client turns a call with an empty body into a GET.
    server.Get(R"(/api/([a-z-]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const QString endpoint = QString::fromStdString(req.matches[1]);
        send(res,
             RelayApi::isEndpoint(endpoint)
                 ? m_api.emptyCall(endpoint)
                 : RelayApi::error(404, errorText(404), QStringLiteral("unknown-endpoint")));
    });

    server.Post(
        "/upload-container",
        [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
            if (!req.is_multipart_form_data()) {
                sendAndClose(res, RelayApi::malformed(QStringLiteral("upload")));
                return;
            }
            const ApiReply early = m_api.checkUploadLength(declaredLength(req));
            if (!early.outcome.isEmpty()) {
                sendAndClose(res, early);
                return;
            }

            UploadSession session(m_api.blobStore(), m_options.limits.maxContainerBytes);
            const bool complete
                = reader([&](const httplib::MultipartFormData& part) { return session.beginPart(part.name); },
                         [&](const char* data, std::size_t size) { return session.data(data, size); });
            t_request.bytesIn = session.containerBytes();
            const QByteArray uploader = session.uploader();
            if (!uploader.isEmpty())
                t_request.caller = m_log.pseudonym(uploader);
            // Whatever goes wrong, nothing is left behind: the session's blob is discarded unless
            // finishUpload commits it.
            switch (session.result()) {
            case UploadSession::Result::Complete:
                if (complete)
                    send(res, m_api.finishUpload(uploader, session.takeBlob(), session.trailer()));
                else
                    sendAndClose(res, RelayApi::malformed(QStringLiteral("upload")));
                return;
            case UploadSession::Result::TooLarge:
                sendAndClose(res, m_api.uploadTooLarge());
                return;
            case UploadSession::Result::NotAContainer:
                sendAndClose(res, RelayApi::notAContainer());
                return;
            case UploadSession::Result::DiskFull:
                sendAndClose(res, RelayApi::diskFull());
                return;
            case UploadSession::Result::StorageFailed:
                sendAndClose(
                    res,
                    RelayApi::error(
                        500, QStringLiteral("The server could not save the file. Please try again later."),
                        QStringLiteral("failed-storage")));
                return;
            case UploadSession::Result::Malformed:
                sendAndClose(res, RelayApi::malformed(QStringLiteral("upload")));
                return;
            }
        });

    // Plain GETs get the whole container; a single range, "bytes=N-", "bytes=N-M" or "bytes=-N",
    // gets 206 with that part. A range that fits no byte is 416; If-Match with another validator is
    // 412, If-Range with another one gets the whole container; several ranges get it whole too.
    server.Get(R"(/id(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        const qint32 fileId = fileIdFromPath(req.matches[1]);
        QByteArray etag;
        std::shared_ptr<BlobStore::Reader> blob(fileId ? m_api.openWaiting(fileId, &etag) : nullptr);
        if (!blob) {
            send(res, RelayApi::error(404, errorText(404), QStringLiteral("not-found")));
            return;
        }
        const qint64 size = blob->size();
        if (req.has_header("If-Match") && !namesEtag(req.get_header_value("If-Match"), etag, true)) {
            send(res,
                 RelayApi::error(412,
                                 QStringLiteral("The file on the server is not the one whose download "
                                                "began. Please download it again from the start."),
                                 QStringLiteral("download-changed")));
            return;
        }
        res.set_header("Accept-Ranges", "bytes");
        res.set_header("ETag", etag.constData());
        qint64 first = 0, last = size - 1;
        if (t_request.ranges.size() == 1
            && (!req.has_header("If-Range") || namesEtag(req.get_header_value("If-Range"), etag, false))) {
            const auto range = t_request.ranges.front();
            first = range.first >= 0 ? qint64(range.first) : size - qMin<qint64>(range.second, size);
            if (range.first >= 0 && range.second >= 0)
                last = qMin<qint64>(range.second, last);
            if (first >= size || (range.first < 0 && range.second <= 0)) {
                send(res,
                     RelayApi::error(416,
                                     QStringLiteral("The file on the server has only %1 bytes.").arg(size),
                                     QStringLiteral("download-range")));
                res.set_header("Content-Range", "bytes */" + std::to_string(size));
                return;
            }
            res.status = 206;
            res.set_header("Content-Range",
                           "bytes " + std::to_string(first) + '-' + std::to_string(last) + '/'
                               + std::to_string(size));
        }
        auto buffer = std::make_shared<std::vector<char>>(downloadChunk);
        res.set_content_provider(
            static_cast<std::size_t>(last - first + 1), "application/octet-stream",
            [blob, buffer, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const qint64 got = blob->read(first + static_cast<qint64>(offset), buffer->data(),
                                              static_cast<qint64>(std::min(length, downloadChunk)));
                return got > 0 && sink.write(buffer->data(), static_cast<std::size_t>(got));
            });
        t_request.bytesOut = last - first + 1;
        t_request.outcome = res.status == 206 ? QStringLiteral("download-range") : QStringLiteral("download");
    });

    // Resumable uploads, tus 1.0.0: every request but OPTIONS names its installation in the header
    // Tessary-Installation; see the README for the whole protocol.
    // The installation a resumable-upload request names, also for the access log.
    const auto tusCaller = [this](const httplib::Request& req) {
        const QByteArray caller = installationOf(req);
        if (!caller.isEmpty())
            t_request.caller = m_log.pseudonym(caller);
        return caller;
    };

    server.Options("/uploads", [this](const httplib::Request&, httplib::Response& res) {
        sendTus(res, RelayApi::tusOptions(m_options.limits.maxContainerBytes));
    });

    server.Post(
        "/uploads",
        [this, tusCaller](const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader&) {
            if (const ApiReply refused = tusVersionError(req); !refused.outcome.isEmpty()) {
                sendAndClose(res, refused);
                res.set_header("Tus-Resumable", "1.0.0");
                return;
            }
            const QByteArray caller = tusCaller(req);
            const qint64 length = headerNumber(req, "Upload-Length");
            // Bytes come with PATCH only: the creation request carries none.
            if (declaredLength(req) != 0 || length < 0) {
                sendAndClose(res, RelayApi::malformed(QStringLiteral("upload-creation")));
                res.set_header("Tus-Resumable", "1.0.0");
                return;
            }
            sendTus(res,
                    m_api.createUpload(caller, length,
                                       QByteArray::fromStdString(req.get_header_value("Upload-Metadata"))));
        });

    // HEAD only: the library serves HEAD requests with the GET handler.
    server.Get(R"(/uploads/([0-9a-f]{32}))",
               [this, tusCaller](const httplib::Request& req, httplib::Response& res) {
                   if (req.method != "HEAD") {
                       send(res, RelayApi::error(405, errorText(405), QStringLiteral("method")));
                       return;
                   }
                   const ApiReply refused = tusVersionError(req);
                   const QByteArray caller = tusCaller(req);
                   sendTus(res,
                           refused.outcome.isEmpty()
                               ? m_api.uploadStatus(caller, QString::fromStdString(req.matches[1]))
                               : refused);
               });

    server.Delete(R"(/uploads/([0-9a-f]{32}))",
                  [this, tusCaller](const httplib::Request& req, httplib::Response& res) {
                      const ApiReply refused = tusVersionError(req);
                      const QByteArray caller = tusCaller(req);
                      sendTus(res,
                              refused.outcome.isEmpty()
                                  ? m_api.dropUpload(caller, QString::fromStdString(req.matches[1]))
                                  : refused);
                  });

    server.Patch(
        R"(/uploads/([0-9a-f]{32}))",
        [this, tusCaller](const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader& reader) {
            const auto refuse = [&](const ApiReply& reply) {
                sendAndClose(res, reply);
                res.set_header("Tus-Resumable", "1.0.0");
            };
            if (const ApiReply refused = tusVersionError(req); !refused.outcome.isEmpty())
                return refuse(refused);
            if (req.get_header_value("Content-Type") != "application/offset+octet-stream")
                return refuse(RelayApi::error(415,
                                              QStringLiteral("The bytes of an upload must come as "
                                                             "application/offset+octet-stream."),
                                              QStringLiteral("upload-content-type")));
            const qint64 offset = headerNumber(req, "Upload-Offset");
            if (offset < 0)
                return refuse(RelayApi::malformed(QStringLiteral("upload-offset")));
            const QByteArray caller = tusCaller(req);
            ApiReply answer;
            std::unique_ptr<UploadAppend> append = m_api.beginAppend(
                caller, QString::fromStdString(req.matches[1]), offset, declaredLength(req), &answer);
            if (!append)
                return declaredLength(req) == 0 ? sendTus(res, answer) : refuse(answer);
            // The body may be as long as what the upload still lacks.
            if (declaredLength(req) > append->remaining())
                return refuse(RelayApi::error(413,
                                              QStringLiteral("The request brings more bytes than the "
                                                             "upload has left."),
                                              QStringLiteral("upload-too-long")));
            const bool complete
                = reader([&](const char* data, std::size_t size) { return append->data(data, size); });
            t_request.bytesIn = append->received();
            const ApiReply reply = m_api.endAppend(std::move(append), complete);
            if (complete)
                sendTus(res, reply);
            else
                refuse(reply);
        });

    server.Patch(".*", [](const httplib::Request&, httplib::Response& res, const httplib::ContentReader&) {
        sendAndClose(res, RelayApi::error(404, errorText(404), QStringLiteral("not-found")));
    });

    // Any other path: answered without reading, so that no body of an unknown request is buffered.
    server.Post(".*", [](const httplib::Request&, httplib::Response& res, const httplib::ContentReader&) {
        sendAndClose(res, RelayApi::error(404, errorText(404), QStringLiteral("not-found")));
    });
}

#include "util/ScriptedServer.h"

#include "net/ServerConfig.h"

#include <QFile>
#include <QMutexLocker>
#include <QProcess>
#include <QThread>

#include <httplib.h>

bool ScriptedServer::createCertificates(const QString& dir)
{
    // EC keys keep the set-up quick; the client only cares that the chain leads to ca.pem.
    const QString ext = dir + QStringLiteral("/san.ext");
    QFile extFile(ext);
    if (!extFile.open(QIODevice::WriteOnly))
        return false;
    extFile.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
    extFile.close();
    const QList<QStringList> steps {
        {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", dir + "/ca.key"},
        {"req", "-x509", "-new", "-key", dir + "/ca.key", "-subj", "/CN=Tessary Test CA", "-days", "2",
         "-out", dir + "/ca.pem"},
        {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", dir + "/server.key"},
        {"req", "-new", "-key", dir + "/server.key", "-subj", "/CN=127.0.0.1", "-out", dir + "/server.csr"},
        {"x509", "-req", "-in", dir + "/server.csr", "-CA", dir + "/ca.pem", "-CAkey", dir + "/ca.key",
         "-CAcreateserial", "-days", "2", "-extfile", ext, "-out", dir + "/server.pem"},
    };
    for (const QStringList& args : steps) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), args);
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return false;
    }
    return true;
}

ScriptedServer::ScriptedServer()
    : m_certDir(QStringLiteral("/tmp/tss-XXXXXX"))
{
    if (!createCertificates(m_certDir.path()))
        return;
    m_server = std::make_unique<httplib::SSLServer>(
        QFile::encodeName(m_certDir.path() + QStringLiteral("/server.pem")).constData(),
        QFile::encodeName(m_certDir.path() + QStringLiteral("/server.key")).constData());
    if (!m_server->is_valid())
        return;
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::yield();
}

ScriptedServer::~ScriptedServer()
{
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool ScriptedServer::isRunning() const
{
    return m_server && m_port > 0;
}

QString ScriptedServer::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port);
}

QString ScriptedServer::caFile() const
{
    return m_certDir.path() + QStringLiteral("/ca.pem");
}

void ScriptedServer::reply(const QString& method, const QString& path, int status, const QByteArray& body)
{
    const std::string content = body.toStdString();
    handle(method, path, [status, content](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(content, "application/json");
    });
}

void ScriptedServer::handle(const QString& method, const QString& path, Handler handler)
{
    const std::string pattern = path.toStdString();
    // Recorded before the answer goes out, so a test sees the request as soon as the client returns.
    handler = [this, inner = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
        record(req);
        inner(req, res);
    };
    if (method == QLatin1String("GET"))
        m_server->Get(pattern, std::move(handler));
    else if (method == QLatin1String("POST"))
        m_server->Post(pattern, std::move(handler));
    else if (method == QLatin1String("PUT"))
        m_server->Put(pattern, std::move(handler));
    else if (method == QLatin1String("PATCH"))
        m_server->Patch(pattern, std::move(handler));
    else if (method == QLatin1String("DELETE"))
        m_server->Delete(pattern, std::move(handler));
}

void ScriptedServer::stream(httplib::Response& res, qint64 length, bool announce, int dripMs,
                            std::atomic<qint64>* served)
{
    const qint64 limit = length < 0 ? std::numeric_limits<qint64>::max() : length;
    auto provide = [limit, dripMs, served](size_t offset, httplib::DataSink& sink) {
        if (qint64(offset) >= limit) {
            sink.done();
            return true;
        }
        if (dripMs > 0)
            QThread::msleep(dripMs);
        const std::string piece(dripMs > 0 ? 1 : size_t(qMin<qint64>(65536, limit - qint64(offset))),
                                offset ? ' ' : '[');
        *served += qint64(piece.size());
        return sink.write(piece.data(), piece.size());
    };
    // Not a text type: the server would compress, and so hold back, what it streams.
    if (announce)
        res.set_content_provider(
            size_t(limit), "application/octet-stream",
            [provide](size_t offset, size_t, httplib::DataSink& sink) { return provide(offset, sink); });
    else
        res.set_chunked_content_provider("application/octet-stream", provide);
}

void ScriptedServer::record(const httplib::Request& req)
{
    Request r;
    r.method = QString::fromStdString(req.method);
    r.path = QString::fromStdString(req.path);
    r.body = QByteArray::fromStdString(req.body);
    for (const auto& header : req.headers)
        r.headers.insert(QString::fromStdString(header.first).toLower(),
                         QString::fromStdString(header.second));
    QMutexLocker locker(&m_mutex);
    m_requests.append(r);
}

QList<ScriptedServer::Request> ScriptedServer::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

ScriptedServer::Request ScriptedServer::lastRequest() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests.isEmpty() ? Request() : m_requests.constLast();
}

void ScriptedServer::clearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_requests.clear();
}

void ScriptedServer::makeCurrent() const
{
    qputenv("TESSARY_SERVER_URL", baseUrl().toUtf8());
    qputenv("TESSARY_CA_FILE", QFile::encodeName(caFile()));
    loadServerConfig();
}

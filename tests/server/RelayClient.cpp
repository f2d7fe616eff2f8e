#include "RelayClient.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <httplib.h>

#include <csignal>
#include <memory>

TestKeyring::TestKeyring()
    : m_home(QStringLiteral("/tmp/gk-XXXXXX")) // gpg-agent's socket path must stay short
{
}

TestKeyring::~TestKeyring()
{
    QProcess::execute("gpgconf", {"--homedir", m_home.path(), "--kill", "gpg-agent"});
}

QByteArray TestKeyring::gpg(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(
        "gpg",
        QStringList {"--homedir", m_home.path(), "--batch", "--pinentry-mode", "loopback", "--passphrase", ""}
            + arguments);
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(120000) && process.exitCode() == 0 ? process.readAllStandardOutput()
                                                                      : QByteArray();
}

TestKey TestKeyring::make(const QString& name, const QString& algorithm, const QString& usage,
                          const QString& subkeyAlgorithm)
{
    const QByteArray status = gpg({"--status-fd", "1", "--quick-gen-key", name, algorithm, usage, "never"});
    const auto created
        = QRegularExpression("KEY_CREATED P ([0-9A-F]{40})").match(QString::fromLatin1(status));
    if (!created.hasMatch())
        return {};
    TestKey key {created.captured(1), {}, {}};
    if (!subkeyAlgorithm.isEmpty())
        gpg({"--quick-add-key", key.fingerprint, subkeyAlgorithm, "encr", "never"});
    key.publicKey = gpg({"--export", key.fingerprint});
    key.secretKey = gpg({"--export-secret-keys", key.fingerprint});
    return key.publicKey.isEmpty() || key.secretKey.isEmpty() ? TestKey() : key;
}

bool TestKeyring::importsForEncryption(const QByteArray& packets)
{
    TestKeyring fresh;
    fresh.gpg({"--import"}, packets);
    // The twelfth field of a "pub" line holds what the key as a whole can do.
    static const QRegularExpression encrypts("^pub(?::[^:\n]*){10}:[^:\n]*E",
                                             QRegularExpression::MultilineOption);
    return encrypts.match(QString::fromLatin1(fresh.gpg({"--with-colons", "--list-keys"}))).hasMatch();
}

QVector<TestKey> makeTestKeys(int count)
{
    TestKeyring keyring;
    QVector<TestKey> keys;
    for (int i = 0; i < count; ++i) {
        const TestKey key = keyring.make(QString("Relay Test %1 <relay-test-%1@example.org>").arg(i),
                                         "ed25519", "sign", "cv25519");
        if (key.fingerprint.isEmpty())
            break;
        keys.append(key);
    }
    return keys;
}

namespace {
const char* const boundary = "tessaryTestBoundary7MA4YWxkTrZu0gW";

RelayClient::Reply toReply(const httplib::Result& result)
{
    RelayClient::Reply reply;
    if (result) {
        reply.status = result->status;
        reply.body = QByteArray::fromStdString(result->body);
        for (const auto& header : result->headers)
            reply.headers.insert(QByteArray::fromStdString(header.first).toLower(),
                                 QByteArray::fromStdString(header.second));
    }
    return reply;
}

httplib::Headers toHeaders(const RelayClient::Headers& headers)
{
    httplib::Headers out;
    for (const auto& header : headers)
        out.emplace(header.first.toStdString(), header.second.toStdString());
    return out;
}

std::unique_ptr<httplib::SSLClient> connectTo(const RelayProcess& relay)
{
    const QUrl url(relay.baseUrl());
    auto client = std::make_unique<httplib::SSLClient>(url.host().toStdString(), url.port(443));
    client->set_ca_cert_path(relay.caFile().toStdString());
    client->set_write_timeout(120); // the default 5 s is too short for a large body
    // As long as the Tessary client waits: storing a container may take a while on a busy disk.
    client->set_read_timeout(20);
    return client;
}
} // namespace

RelayClient::RelayClient(const RelayProcess& relay)
    : m_relay(relay)
{
    // A server may close a connection while a refused body is still being sent; the write must
    // fail, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
}

RelayClient::Reply RelayClient::call(const QString& endpoint, const QUuid& who,
                                     const QByteArray& payload) const
{
    return post("/api/" + endpoint, '\x03' + who.toRfc4122() + payload);
}

RelayClient::Reply RelayClient::post(const QString& path, const QByteArray& body) const
{
    return toReply(
        connectTo(m_relay)->Post(path.toStdString(), body.toStdString(), "application/octet-stream"));
}

RelayClient::Reply RelayClient::download(qint32 fileId, const Headers& headers) const
{
    return toReply(
        connectTo(m_relay)->Get(QStringLiteral("/id%1").arg(fileId).toStdString(), toHeaders(headers)));
}

RelayClient::Reply RelayClient::request(const QByteArray& method, const QString& path, const Headers& headers,
                                        const QByteArray& body) const
{
    httplib::Request req;
    req.method = method.toStdString();
    req.path = path.toStdString();
    req.headers = toHeaders(headers);
    req.body = body.toStdString();
    return toReply(connectTo(m_relay)->send(req));
}

RelayClient::Reply RelayClient::createUpload(const QUuid& who, qint64 length,
                                             const QByteArray& metadata) const
{
    Headers headers = tus(who);
    headers.append(Header("Upload-Length", QByteArray::number(length)));
    if (!metadata.isEmpty())
        headers.append(Header("Upload-Metadata", metadata));
    return request("POST", "/uploads", headers);
}

RelayClient::Reply RelayClient::append(const QUuid& who, const QByteArray& path, qint64 offset,
                                       const QByteArray& bytes, const Progress& progress) const
{
    httplib::Headers headers = toHeaders(tus(who));
    headers.erase("Content-Type");
    headers.emplace("Upload-Offset", std::to_string(offset));
    return toReply(connectTo(m_relay)->Patch(
        path.toStdString(), headers, std::size_t(bytes.size()),
        [&](std::size_t sent, std::size_t, httplib::DataSink& sink) {
            return (!progress || progress(qint64(sent)))
                && sink.write(bytes.constData() + sent, qMin<std::size_t>(bytes.size() - sent, 256 * 1024));
        },
        "application/offset+octet-stream"));
}

RelayClient::Reply RelayClient::upload(const QByteArray& container, const QUuid& uploader,
                                       const Progress& progress, bool chunked) const
{
    const QByteArray body = QByteArray("--") + boundary
        + "\r\nContent-Type: application/octet-stream\r\n"
          "Content-Disposition: form-data; name=\"container\"; filename=\"container\"\r\n\r\n"
        + container + "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"uid\"\r\n\r\n"
        + uploader.toByteArray(QUuid::WithBraces) + "\r\n--" + boundary + "--\r\n";
    const std::string type = std::string("multipart/form-data; boundary=") + boundary;
    // Sent piece by piece, so that progress can cut it off.
    auto piece = [&](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= std::size_t(body.size())) {
            sink.done();
            return true;
        }
        return (!progress || progress(qint64(offset)))
            && sink.write(body.constData() + offset, qMin<std::size_t>(body.size() - offset, 256 * 1024));
    };
    if (chunked)
        return toReply(connectTo(m_relay)->Post("/upload-container", httplib::Headers(),
                                                httplib::ContentProviderWithoutLength(piece), type));
    return toReply(connectTo(m_relay)->Post(
        "/upload-container", httplib::Headers(), std::size_t(body.size()),
        [&](std::size_t offset, std::size_t, httplib::DataSink& sink) { return piece(offset, sink); }, type));
}

qint32 RelayClient::send(const QByteArray& container, const QUuid& uploader) const
{
    const Reply reply = upload(container, uploader);
    return reply.status == 200 ? reply.object().value("fileId").toInt() : 0;
}

QString RelayClient::registerKey(const QUuid& who, const TestKey& key) const
{
    return call("upload-pubkey", who, pubKeyBody(key.publicKey, key.fingerprint))
        .object()
        .value("keyId")
        .toString();
}

QByteArray RelayClient::pubKeyBody(const QByteArray& publicKey, const QString& fingerprint)
{
    return QCryptographicHash::hash(publicKey, QCryptographicHash::Md5)
        + QByteArray::fromHex(fingerprint.toLatin1()) + publicKey;
}

QByteArray RelayClient::container(const QByteArray& payload, const QString& fingerprint, char method)
{
    // Old-format packet 1 with a one-byte length; new-format packet 18 with a five-byte length.
    const QByteArray sessionKey
        = QByteArray("\x84\x0d\x03", 3) + QByteArray(8, 'k') + QByteArray("\x01\x00\x01\x01", 4);
    const quint32 length = quint32(payload.size()) + 1;
    const char header[] = {
        char(0xd2), char(0xff), char(length >> 24), char(length >> 16), char(length >> 8), char(length), 1};
    return sessionKey + QByteArray(header, sizeof header) + payload
        + (method == 1 ? QByteArray::fromHex(fingerprint.toLatin1()) : QByteArray()) + method;
}

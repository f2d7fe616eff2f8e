#include "RelayClient.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <httplib.h>

#include <csignal>
#include <memory>

QVector<TestKey> makeTestKeys(int count)
{
    QTemporaryDir home(QStringLiteral("/tmp/gk-XXXXXX")); // gpg-agent's socket path must stay short
    auto gpg = [&](const QStringList& args) {
        QProcess process;
        process.start("gpg",
                      QStringList {"--homedir", home.path(), "--batch", "--pinentry-mode", "loopback",
                                   "--passphrase", ""}
                          + args);
        return process.waitForFinished(120000) && process.exitCode() == 0 ? process.readAllStandardOutput()
                                                                          : QByteArray();
    };
    QVector<TestKey> keys;
    for (int i = 0; i < count; ++i) {
        const QByteArray status
            = gpg({"--status-fd", "1", "--quick-gen-key",
                   QString("Relay Test %1 <relay-test-%1@example.org>").arg(i), "rsa2048", "sign", "never"});
        const auto created
            = QRegularExpression("KEY_CREATED P ([0-9A-F]{40})").match(QString::fromLatin1(status));
        if (!created.hasMatch())
            break;
        TestKey key {created.captured(1), {}, {}};
        gpg({"--quick-add-key", key.fingerprint, "rsa2048", "encr", "never"});
        key.publicKey = gpg({"--export", key.fingerprint});
        key.secretKey = gpg({"--export-secret-keys", key.fingerprint});
        if (key.publicKey.isEmpty() || key.secretKey.isEmpty())
            break;
        keys.append(key);
    }
    QProcess::execute("gpgconf", {"--homedir", home.path(), "--kill", "gpg-agent"});
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
    }
    return reply;
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

RelayClient::Reply RelayClient::download(qint32 fileId) const
{
    return toReply(connectTo(m_relay)->Get(QStringLiteral("/id%1").arg(fileId).toStdString()));
}

RelayClient::Reply RelayClient::upload(const QByteArray& container, const QUuid& uploader,
                                       const Progress& progress) const
{
    const QByteArray body = QByteArray("--") + boundary
        + "\r\nContent-Type: application/octet-stream\r\n"
          "Content-Disposition: form-data; name=\"container\"; filename=\"container\"\r\n\r\n"
        + container + "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"uid\"\r\n\r\n"
        + uploader.toByteArray(QUuid::WithBraces) + "\r\n--" + boundary + "--\r\n";
    // Sent piece by piece, so that progress can cut it off.
    const httplib::ContentProvider provider
        = [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
              return (!progress || progress(qint64(offset)))
                  && sink.write(body.constData() + offset, qMin<std::size_t>(length, 256 * 1024));
          };
    return toReply(connectTo(m_relay)->Post("/upload-container", httplib::Headers(), std::size_t(body.size()),
                                            provider,
                                            std::string("multipart/form-data; boundary=") + boundary));
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

QByteArray RelayClient::randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

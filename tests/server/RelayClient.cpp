#include "RelayClient.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryFile>
#include <QUrl>

#include <httplib.h>

#include <csignal>
#include <memory>

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
} // namespace

RelayClient::RelayClient(const QString& baseUrl, const QString& caFile)
    : m_caFile(caFile)
{
    // A server may close a connection while a refused body is still being sent; the write must
    // fail, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    const QUrl url(baseUrl);
    m_host = url.host();
    m_port = url.port(443);
}

namespace {
std::unique_ptr<httplib::SSLClient> connectTo(const QString& host, int port, const QString& caFile)
{
    auto client = std::make_unique<httplib::SSLClient>(host.toStdString(), port);
    client->set_ca_cert_path(caFile.toStdString());
    client->enable_server_certificate_verification(true);
    client->set_connection_timeout(10);
    client->set_read_timeout(120);
    client->set_write_timeout(120);
    client->set_keep_alive(false);
    return client;
}
} // namespace

RelayClient::Reply RelayClient::call(const QString& endpoint, const QUuid& installation,
                                     const QByteArray& payload) const
{
    QByteArray body(1, '\x03');
    body += installation.toRfc4122();
    body += payload;
    return post(QStringLiteral("/api/") + endpoint, body);
}

RelayClient::Reply RelayClient::post(const QString& path, const QByteArray& body,
                                     const QString& contentType) const
{
    const auto client = connectTo(m_host, m_port, m_caFile);
    return toReply(client->Post(path.toStdString(), body.toStdString(), contentType.toStdString()));
}

RelayClient::Reply RelayClient::get(const QString& path) const
{
    const auto client = connectTo(m_host, m_port, m_caFile);
    return toReply(client->Get(path.toStdString()));
}

RelayClient::Reply RelayClient::upload(const QString& containerFile, const QString& uidText,
                                       const Progress& progress) const
{
    auto file = std::make_shared<QFile>(containerFile);
    if (!file->open(QIODevice::ReadOnly))
        return Reply();
    const QByteArray head = QByteArray("--") + boundary
        + "\r\nContent-Type: application/octet-stream\r\n"
          "Content-Disposition: form-data; name=\"container\"; filename=\"container\"\r\n\r\n";
    const QByteArray tail = QByteArray("\r\n--") + boundary
        + "\r\nContent-Disposition: form-data; name=\"uid\"\r\n\r\n" + uidText.toLatin1() + "\r\n--"
        + boundary + "--\r\n";
    const qint64 fileSize = file->size();
    const qint64 total = head.size() + fileSize + tail.size();

    httplib::ContentProvider provider = [=](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        if (progress && !progress(static_cast<qint64>(offset)))
            return false;
        const qint64 at = static_cast<qint64>(offset);
        if (at < head.size())
            return sink.write(head.constData() + at, static_cast<std::size_t>(head.size() - at));
        if (at < head.size() + fileSize) {
            if (!file->seek(at - head.size()))
                return false;
            const QByteArray chunk = file->read(qMin<qint64>(static_cast<qint64>(length), 256 * 1024));
            return !chunk.isEmpty() && sink.write(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        }
        const qint64 inTail = at - head.size() - fileSize;
        return sink.write(tail.constData() + inTail, static_cast<std::size_t>(tail.size() - inTail));
    };
    const auto client = connectTo(m_host, m_port, m_caFile);
    return toReply(
        client->Post("/upload-container", httplib::Headers(), static_cast<std::size_t>(total), provider,
                     QByteArray(QByteArray("multipart/form-data; boundary=") + boundary).toStdString()));
}

RelayClient::Reply RelayClient::upload(const QByteArray& container, const QUuid& uploader) const
{
    QTemporaryFile file;
    if (!file.open() || file.write(container) != container.size() || !file.flush())
        return Reply();
    return upload(file.fileName(), uploader.toString(QUuid::WithBraces));
}

RelayClient::Reply RelayClient::download(qint32 fileId, const QString& toFile) const
{
    QFile file(toFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Reply();
    const auto client = connectTo(m_host, m_port, m_caFile);
    bool written = true;
    const httplib::Result result = client->Get(
        QStringLiteral("/id%1").arg(fileId).toStdString(), [&](const char* data, std::size_t size) {
            written = written && file.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size);
            return written;
        });
    Reply reply = toReply(result);
    if (!written)
        reply.status = 0;
    return reply;
}

RelayClient::Reply RelayClient::download(qint32 fileId) const
{
    return get(QStringLiteral("/id%1").arg(fileId));
}

QString RelayClient::registerKey(const QUuid& installation, const QByteArray& publicKey,
                                 const QString& fingerprint) const
{
    const QJsonValue keyId
        = call(QStringLiteral("upload-pubkey"), installation, pubKeyBody(publicKey, fingerprint))
              .object()
              .value(QStringLiteral("keyId"));
    return keyId.toString();
}

qint32 RelayClient::uploadFileId(const Reply& reply) const
{
    return reply.status == 200 ? reply.object().value(QStringLiteral("fileId")).toInt() : 0;
}

QByteArray RelayClient::pubKeyBody(const QByteArray& publicKey, const QString& fingerprint)
{
    return QCryptographicHash::hash(publicKey, QCryptographicHash::Md5)
        + QByteArray::fromHex(fingerprint.toLatin1()) + publicKey;
}

QByteArray RelayClient::attachBody(const QString& keyId, const QString& title)
{
    const QByteArray digits = keyId.toLatin1();
    return QByteArray(1, static_cast<char>(digits.size())) + digits + title.toUtf8();
}

QByteArray RelayClient::completeBody(bool rejected, qint32 fileId)
{
    return QByteArray(1, rejected ? '\x01' : '\x00') + QByteArray::number(fileId);
}

QByteArray RelayClient::container(const QByteArray& payload, const QString& fingerprint, char method)
{
    QByteArray bytes = payload;
    if (method == 1)
        bytes += QByteArray::fromHex(fingerprint.toLatin1());
    bytes += method;
    return bytes;
}

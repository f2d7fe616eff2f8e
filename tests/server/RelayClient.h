#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <functional>

// A protocol client written for the tests, independent of the Tessary client classes: it speaks
// to tessary-server over HTTPS (cpp-httplib), trusting only the server's private CA, and builds
// every request body byte by byte as the wire format prescribes.
class RelayClient
{
public:
    struct Reply
    {
        int status = 0; // 0: no HTTP response at all (connection failed or aborted)
        QByteArray body;

        QJsonDocument json() const { return QJsonDocument::fromJson(body); }
        QJsonObject object() const { return json().object(); }
        QString error() const { return object().value(QStringLiteral("error")).toString(); }
        // Status 200 with a non-empty "error" member: a refusal for the user to read.
        bool isRefusal() const { return status == 200 && !error().isEmpty(); }
    };

    RelayClient(const QString& baseUrl, const QString& caFile);

    // POST base + "/api/" + endpoint with the 17-byte client prefix of installation before payload.
    Reply call(const QString& endpoint, const QUuid& installation, const QByteArray& payload) const;
    // POST of exactly body (no prefix added) to base + path.
    Reply post(const QString& path, const QByteArray& body,
               const QString& contentType = QStringLiteral("application/octet-stream")) const;
    Reply get(const QString& path) const;

    // Called before each piece of an upload with the bytes sent so far; false aborts the request.
    using Progress = std::function<bool(qint64 sent)>;
    // The multipart upload as the client sends it: part "container" first, then "uid" (braced).
    Reply upload(const QString& containerFile, const QString& uidText,
                 const Progress& progress = nullptr) const;
    Reply upload(const QByteArray& container, const QUuid& uploader) const;
    // GET base + "/id" + fileId, streamed into toFile.
    Reply download(qint32 fileId, const QString& toFile) const;
    Reply download(qint32 fileId) const;

    // Convenience calls that return the interesting member, or an empty value.
    QString registerKey(const QUuid& installation, const QByteArray& publicKey,
                        const QString& fingerprint) const;
    qint32 uploadFileId(const Reply& reply) const;

    // Request bodies after the client prefix.
    static QByteArray pubKeyBody(const QByteArray& publicKey, const QString& fingerprint);
    static QByteArray attachBody(const QString& keyId, const QString& title = QString());
    static QByteArray completeBody(bool rejected, qint32 fileId);
    // A container: stand-in OpenPGP bytes, then the trailer (fingerprint bytes for method 1, then
    // the method byte).
    static QByteArray container(const QByteArray& payload, const QString& fingerprint, char method = 1);

private:
    QString m_host;
    int m_port = 0;
    QString m_caFile;
};

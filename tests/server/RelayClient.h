#pragma once

#include "util/RelayProcess.h"
#include "util/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QTemporaryDir>
#include <QUuid>
#include <QVector>

#include <functional>

// A real OpenPGP key made by gpg.
struct TestKey
{
    QString fingerprint; // 40 upper-case hex digits
    QByteArray publicKey, secretKey; // raw packets as gpg exports them
};

// A private gpg home that makes keys, and imports keys the way a client would.
class TestKeyring
{
public:
    TestKeyring();
    ~TestKeyring();
    // A key with user id name: gpg --quick-gen-key name algorithm usage, then a subkey of
    // subkeyAlgorithm for encryption unless that is empty. Empty fingerprint if gpg failed.
    TestKey make(const QString& name, const QString& algorithm, const QString& usage,
                 const QString& subkeyAlgorithm = QString());
    // Whether gpg, importing packets into a fresh home, gets a key that can encrypt.
    static bool importsForEncryption(const QByteArray& packets);

private:
    QByteArray gpg(const QStringList& arguments, const QByteArray& input = QByteArray());
    QTemporaryDir m_home;
};

// Ed25519 keys with a Curve25519 encryption subkey, quick to make; fewer than asked for when gpg
// fails.
QVector<TestKey> makeTestKeys(int count);

// A protocol client written for the tests, independent of the Tessary client classes: HTTPS via
// cpp-httplib trusting only the relay's private CA, every request body built byte by byte.
class RelayClient
{
public:
    struct Reply
    {
        int status = 0; // 0: no HTTP response at all
        QByteArray body;
        QMap<QByteArray, QByteArray> headers; // names in lower case

        QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
        QJsonArray array() const { return QJsonDocument::fromJson(body).array(); }
        QString error() const { return object().value("error").toString(); }
        // Status 200 with a non-empty "error" member: a refusal for the user to read.
        bool isRefusal() const { return status == 200 && !error().isEmpty(); }
        bool success() const { return status == 200 && object().value("success") == QJsonValue(true); }
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    };
    using Header = QPair<QByteArray, QByteArray>;
    using Headers = QList<Header>;

    // Follows the relay across restarts (its port changes).
    explicit RelayClient(const RelayProcess& relay);

    // POST to "/api/" + endpoint: the 17-byte client prefix of who, then payload.
    Reply call(const QString& endpoint, const QUuid& who, const QByteArray& payload) const;
    Reply post(const QString& path, const QByteArray& body) const; // body sent as it is
    // Called before each piece of an upload with the bytes sent so far; false aborts the request.
    using Progress = std::function<bool(qint64 sent)>;
    // The multipart upload as the client sends it: part "container" first, then "uid". Chunked:
    // without a Content-Length, as a stream of unknown length would go.
    Reply upload(const QByteArray& container, const QUuid& uploader, const Progress& progress = nullptr,
                 bool chunked = false) const;
    qint32 send(const QByteArray& container, const QUuid& uploader) const; // the file id, or 0
    Reply download(qint32 fileId, const Headers& headers = {}) const;
    // Any request, sent as it is.
    Reply request(const QByteArray& method, const QString& path, const Headers& headers,
                  const QByteArray& body = QByteArray()) const;

    // Resumable uploads as who: the creation's reply carries the upload's path in "Location".
    Reply createUpload(const QUuid& who, qint64 length, const QByteArray& metadata = QByteArray()) const;
    Reply uploadStatus(const QUuid& who, const QByteArray& path) const
    {
        return request("HEAD", path, tus(who));
    }
    Reply dropUpload(const QUuid& who, const QByteArray& path) const
    {
        return request("DELETE", path, tus(who));
    }
    // A PATCH of bytes at offset; progress as for upload().
    Reply append(const QUuid& who, const QByteArray& path, qint64 offset, const QByteArray& bytes,
                 const Progress& progress = nullptr) const;
    // The headers of every tus request of who, PATCH's content type included.
    static Headers tus(const QUuid& who)
    {
        return {{"Tus-Resumable", "1.0.0"},
                {"Tessary-Installation", who.toByteArray(QUuid::WithBraces)},
                {"Content-Type", "application/offset+octet-stream"}};
    }

    QString registerKey(const QUuid& who, const TestKey& key) const; // the key id, or empty
    QJsonArray newFiles(const QUuid& who) const { return call("check-new-files", who, "CHECK").array(); }
    QJsonArray delivered(const QUuid& who, const QJsonArray& ids) const
    {
        return call("check-delivered", who, QJsonDocument(ids).toJson(QJsonDocument::Compact)).array();
    }
    Reply complete(const QUuid& who, qint32 fileId, bool rejected = false) const
    {
        return call("download-complete", who, (rejected ? '\x01' : '\x00') + QByteArray::number(fileId));
    }

    static QByteArray pubKeyBody(const QByteArray& publicKey, const QString& fingerprint);
    static QByteArray attachBody(const QString& keyId, const QString& title = QString())
    {
        return char(keyId.size()) + keyId.toLatin1() + title.toUtf8();
    }
    static QByteArray canUploadBody(qint64 size) { return "{\"size\":" + QByteArray::number(size) + '}'; }
    // A container as the relay sees one: an OpenPGP public-key session key packet and an encrypted
    // data packet holding payload, then the trailer: the fingerprint for method 1, the method byte.
    static QByteArray container(const QByteArray& payload, const QString& fingerprint, char method = 1);

private:
    const RelayProcess& m_relay;
};

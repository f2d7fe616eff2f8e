#pragma once

#include "net/RelayCall.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVector>

#include <functional>

class QIODevice;
class QNetworkAccessManager;

// Every request the client makes to the relay server, with the handling of its reply, in one
// place. Each call starts at once and reports once through its callback, with a typed value or a
// failure text ready to show; texts that come from the server are passed on as they are. A call
// belongs to the context object given to it: destroying the context (or calling abort() on the
// returned call) ends it without a report.
class RelayClient : public QObject
{
    Q_OBJECT
public:
    template<typename T> struct Result
    {
        T value {};
        QString error; // null on success
        int status = 0; // the HTTP status of the answer; 0 when none came
        // The call failed on its way, or the relay was busy: the same call may well succeed later.
        bool transient = false;
        bool ok() const { return error.isNull(); }
    };
    template<typename T> using Callback = std::function<void(const Result<T>&)>;

    struct PublicKey
    {
        QString keyId;
        QString fpr; // upper case
        QByteArray key;
    };
    struct Delivery
    {
        qint64 fileId = 0;
        bool rejected = false;
    };
    // Where a resumable upload stands on the relay.
    struct UploadState
    {
        qint64 offset = -1; // the bytes the relay has
        qint64 length = -1; // the whole container's
        QString fileId; // once complete: the container's file id
    };
    // The pauses between the tries of a transfer whose connection broke: the last one repeats, until
    // this many tries in a row have moved nothing.
    struct RetryPolicy
    {
        QVector<int> pausesMs;
        int tries = 0;
    };

    static constexpr int defaultTimeoutMs = 20000;
    // No JSON reply of the relay comes near this; a larger one is not read any further.
    static constexpr qint64 maxReplyBytes = 4 * 1024 * 1024;

    explicit RelayClient(QObject* parent = nullptr);

    // A call fails when it moves (almost) nothing for this long; a JSON call also when it takes
    // three times as long in all.
    void setTimeout(int ms) { m_timeoutMs = ms; }
    int timeout() const { return m_timeoutMs; }
    void setRetryPolicy(const RetryPolicy& policy) { m_retryPolicy = policy; }
    RetryPolicy retryPolicy() const { return m_retryPolicy; }

    // The key id the server gives the public key.
    RelayCall* uploadPubKey(const QByteArray& publicKey, const QString& fpr, QObject* context,
                            Callback<QString> done);
    // Attaches a contact (title empty) or renames one; the key id the server confirmed.
    RelayCall* attachKey(const QString& keyId, const QString& title, QObject* context,
                         Callback<QString> done);
    RelayCall* downloadPubKey(const QString& keyId, QObject* context, Callback<PublicKey> done);
    RelayCall* canUpload(qint64 size, QObject* context, Callback<bool> done);
    // Streams the container from an open device; the server's file id (decimal text).
    RelayCall* uploadContainer(QIODevice* container, QObject* context, Callback<QString> done);
    // The server's list of waiting containers, each element unchanged.
    RelayCall* checkNewFiles(QObject* context, Callback<QVariantList> done);
    // Writes the container of size bytes into sink as it arrives, from offset on; its validator
    // (ETag) comes back. From an offset above 0 only the rest of the container with the validator
    // etag is taken: status 412 says the container is another one now, 404 that it is gone.
    RelayCall* download(const QString& fileId, qint64 offset, qint64 size, const QByteArray& etag,
                        QIODevice* sink, QObject* context, Callback<QByteArray> done);
    RelayCall* downloadComplete(const QString& fileId, bool rejected, QObject* context, Callback<bool> done);
    RelayCall* checkDelivered(const QList<qint64>& fileIds, QObject* context, Callback<QList<Delivery>> done);
    // Resumable uploads. Creates one of length bytes (for the key recipientFpr, if known) and gives
    // its address; status 404 says the relay does not offer them.
    RelayCall* createUpload(qint64 length, const QString& recipientFpr, QObject* context,
                            Callback<QString> done);
    // Asks where the upload at url stands.
    RelayCall* uploadState(const QString& url, QObject* context, Callback<UploadState> done);
    // Appends bytes at offset, which must be the relay's; the new state (with the file id once the
    // last byte is in). Status 409 says the offset was not the relay's, 404 that the upload is gone.
    RelayCall* appendUpload(const QString& url, qint64 offset, const QByteArray& bytes, QObject* context,
                            Callback<UploadState> done);
    RelayCall* dropUpload(const QString& url, QObject* context, Callback<bool> done);
    RelayCall* sendFeedback(const QString& name, const QString& email, const QString& message,
                            QObject* context, Callback<bool> done);

    // The 0x03 byte followed by the 16 RFC 4122 bytes of the installation id ("uid").
    static QByteArray clientPrefix();
    // Digits only: how a key id typed by a person goes to the server.
    static QString normalizeKeyId(const QString& keyId);

private:
    RelayCall* json(const QString& path, const QByteArray& body, QObject* context,
                    std::function<void(RelayCall&)> done);
    QNetworkRequest request(const QString& url) const;
    // A request of the resumable upload protocol, with the installation named.
    QNetworkRequest tusRequest(const QString& url) const;
    RelayCall* tus(const QByteArray& verb, QNetworkRequest req, const QByteArray& body, QObject* context,
                   std::function<void(RelayCall&)> done);
    // The text for a call that failed on its way (not by the server's answer).
    static QString transportError(const RelayCall& call);
    // The error of an answer with an error status: the relay's text if it gave one.
    static QString statusError(const RelayCall& call);
    static bool isTransient(const RelayCall& call);
    template<typename T> static void fillStatus(Result<T>& result, const RelayCall& call);

    QNetworkAccessManager* m_manager;
    int m_timeoutMs = defaultTimeoutMs;
    RetryPolicy m_retryPolicy {{2000, 5000, 10000, 20000, 40000, 60000}, 10};
};

#pragma once

#include "net/RelayCall.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariantList>

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

    static constexpr int defaultTimeoutMs = 20000;
    // No JSON reply of the relay comes near this; a larger one is not read any further.
    static constexpr qint64 maxReplyBytes = 4 * 1024 * 1024;

    explicit RelayClient(QObject* parent = nullptr);

    // A call fails when it moves (almost) nothing for this long; a JSON call also when it takes
    // three times as long in all.
    void setTimeout(int ms) { m_timeoutMs = ms; }
    int timeout() const { return m_timeoutMs; }

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
    // Writes the container into sink as it arrives; it must be exactly size bytes long.
    RelayCall* download(const QString& fileId, qint64 size, QIODevice* sink, QObject* context,
                        Callback<bool> done);
    RelayCall* downloadComplete(const QString& fileId, bool rejected, QObject* context, Callback<bool> done);
    RelayCall* checkDelivered(const QList<qint64>& fileIds, QObject* context, Callback<QList<Delivery>> done);
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
    // The text for a call that failed on its way (not by the server's answer).
    static QString transportError(const RelayCall& call);

    QNetworkAccessManager* m_manager;
    int m_timeoutMs = defaultTimeoutMs;
};

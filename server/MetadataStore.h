#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

// A public key as registered by one installation. Installation ids are the 16 RFC 4122 bytes.
struct StoredKey
{
    QString keyId;
    QByteArray installation;
    QByteArray fingerprint; // 20 bytes
    QByteArray keyData; // the raw packets as uploaded
};

enum class ContainerState
{
    Storing = 0, // row reserved, blob not yet in place: never listed, removed on start-up
    Waiting = 1, // blob stored, waits for its recipient
    Taken = 2, // the recipient accepted it; blob deleted
    Rejected = 3, // the recipient rejected it; blob deleted
    Expired = 4 // nobody collected it in time; blob deleted
};

struct StoredContainer
{
    qint32 fileId = 0;
    QByteArray uploader;
    QByteArray recipient;
    QString uploaderKeyId;
    qint64 size = 0;
    ContainerState state = ContainerState::Storing;
    qint64 createdAt = 0; // seconds since the epoch
    qint64 finishedAt = 0; // when it left the Waiting state, 0 before
};

// Everything the relay remembers except the container bytes. Implementations must be safe to call
// from several request threads at once. Failures of the storage itself are reported as false or
// empty results; the handlers turn them into a plain "try again later".
class MetadataStore
{
public:
    enum class Registration
    {
        Registered, // new key, new id
        AlreadyRegistered, // this installation registered the same key before: same id
        OwnedByOther, // another installation registered this key
        Failed
    };

    virtual ~MetadataStore() = default;

    // Registers keyData under its fingerprint for installation. newKeyId proposes fresh ids until
    // one is free. On Registered and AlreadyRegistered, *keyId is the key's id.
    virtual Registration registerKey(const QByteArray& installation, const QByteArray& fingerprint,
                                     const QByteArray& keyData, qint64 now,
                                     const std::function<QString()>& newKeyId, QString* keyId)
        = 0;
    virtual std::optional<StoredKey> keyById(const QString& keyId) = 0;
    virtual std::optional<StoredKey> keyByFingerprint(const QByteArray& fingerprint) = 0;
    // The id of the key that installation registered (or re-registered) last; empty if none.
    virtual QString latestKeyIdOf(const QByteArray& installation) = 0;

    // Records keyId as a contact of installation; an empty title keeps a title set before.
    virtual bool attachContact(const QByteArray& installation, const QString& keyId, const QString& title,
                               qint64 now)
        = 0;

    enum class Reservation
    {
        Reserved,
        OverQuota,
        Failed
    };
    // Inserts container in the state Storing under a fresh id proposed by newFileId and sets its
    // fileId, unless the uploader's containers that wait or are being stored would then exceed
    // quotaBytes. The check and the insert are one step, also for servers sharing the store.
    virtual Reservation reserveContainer(StoredContainer* container, qint64 quotaBytes,
                                         const std::function<qint32()>& newFileId)
        = 0;
    // Moves a container from one state to another if it is still in `from`; false if it was not.
    virtual bool changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now) = 0;
    virtual bool removeContainer(qint32 fileId) = 0;
    virtual std::optional<StoredContainer> container(qint32 fileId) = 0;
    // Waiting containers for recipient, oldest first.
    virtual QVector<StoredContainer> waitingFor(const QByteArray& recipient) = 0;
    // Those of fileIds that uploader uploaded.
    virtual QVector<StoredContainer> uploadedBy(const QByteArray& uploader, const QVector<qint32>& fileIds)
        = 0;
    // Bytes of the containers of uploader that still wait.
    virtual qint64 waitingBytesOf(const QByteArray& uploader) = 0;
    virtual QVector<qint32> waitingSince(qint64 createdAtOrBefore) = 0;
    virtual QVector<qint32> allWaiting() = 0;
    // Drops the rows left in the state Storing by a crash, created at or before the given time;
    // returns their ids.
    virtual QVector<qint32> removeUnfinished(qint64 createdAtOrBefore) = 0;
    // Forgets taken, rejected and expired containers that finished at or before the given time.
    virtual int forgetFinished(qint64 finishedAtOrBefore) = 0;

    virtual bool addFeedback(const QByteArray& installation, const QString& name, const QString& email,
                             const QString& message, qint64 now)
        = 0;
};

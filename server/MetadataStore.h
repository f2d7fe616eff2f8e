#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class SqlDatabase;

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

// A resumable upload; its bytes are in the blob store under the same id.
struct StoredUpload
{
    QString uploadId; // 32 hex digits, random
    QByteArray uploader;
    QByteArray recipientFingerprint; // 20 bytes, or empty when the container's trailer alone names it
    qint64 length = 0; // declared at creation
    QByteArray metadata; // Upload-Metadata as the client sent it
    qint64 expiresAt = 0;
    qint32 fileId = 0; // the container it became; 0 while bytes are missing
};

// Everything the relay remembers except the container bytes, in SQLite or PostgreSQL. Safe to call
// from several request threads, and from several servers sharing one database: every step that
// counts and then writes is one transaction under a lock on what it counts. Failures of the
// database itself come back as Failed, false or empty results; the relay turns them into a plain
// "try again later".
class MetadataStore
{
public:
    enum class Result
    {
        Done,
        Known, // admitInstallation: seen before
        AlreadyRegistered, // registerKey: this installation registered the same key before, same id
        OwnedByOther, // registerKey: another installation registered this key
        TooMany, // a count limit was reached
        OverQuota, // reserveContainer: the uploader's bytes
        RecipientFull, // reserveContainer: containers waiting for the recipient
        PairFull, // reserveContainer: containers waiting from this uploader for this recipient
        Failed
    };

    explicit MetadataStore(SqlDatabase& database);
    bool createTables(QString* error);

    // Lets an installation that has not written before in, unless its origin (the address it comes
    // from) has brought perHour new ones in the hour before now.
    Result admitInstallation(const QByteArray& installation, const QString& origin, qint64 now,
                             qint64 perHour);
    // Registers keyData under its fingerprint for installation, unless it holds maxKeys already.
    // newKeyId proposes fresh ids until one is free. On Done and AlreadyRegistered, *keyId is the id.
    Result registerKey(const QByteArray& installation, const QByteArray& fingerprint,
                       const QByteArray& keyData, qint64 now, qint64 maxKeys,
                       const std::function<QString()>& newKeyId, QString* keyId);
    std::optional<StoredKey> keyById(const QString& keyId);
    std::optional<StoredKey> keyByFingerprint(const QByteArray& fingerprint);
    // The id of the key that installation registered (or re-registered) last; empty if none.
    QString latestKeyIdOf(const QByteArray& installation);

    // Records keyId as a contact of installation; an empty title keeps a title set before. A new
    // contact beyond maxContacts is TooMany.
    Result attachContact(const QByteArray& installation, const QString& keyId, const QString& title,
                         qint64 now, qint64 maxContacts);
    // Done, or TooMany when installation sent perDay messages in the day before now.
    Result addFeedback(const QByteArray& installation, const QString& name, const QString& email,
                       const QString& message, qint64 now, qint64 perDay);

    struct ContainerLimits
    {
        qint64 quotaBytes = 0; // of the uploader's containers that wait or are being stored
        qint64 perRecipient = 0; // containers waiting for one recipient
        qint64 perPair = 0; // containers waiting from one uploader for one recipient
    };
    // Inserts container in the state Storing under a fresh id proposed by newFileId and sets its
    // fileId, unless one of the limits would be passed. completing names the resumable upload that
    // the container comes from, whose length no longer counts.
    Result reserveContainer(StoredContainer* container, const ContainerLimits& limits,
                            const std::function<qint32()>& newFileId, const QString& completing = QString());
    // Storing -> Waiting for a reserved container, and for the upload it came from (if any) the
    // file id, kept until uploadExpiresAt for a client that missed the answer. One transaction.
    bool publishContainer(qint32 fileId, const QString& uploadId, qint64 uploadExpiresAt);
    // Moves a container from one state to another if it is still in `from`; false if it was not.
    bool changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now);
    bool removeContainer(qint32 fileId);
    std::optional<StoredContainer> container(qint32 fileId);
    // Waiting containers for recipient, oldest first.
    QVector<StoredContainer> waitingFor(const QByteArray& recipient);
    // The containers of uploader that were taken, rejected or expired and are still remembered.
    QVector<StoredContainer> finishedFrom(const QByteArray& uploader);
    // Bytes of the containers of uploader that wait or are being stored, and of its unfinished
    // resumable uploads but completing.
    qint64 waitingBytesOf(const QByteArray& uploader, const QString& completing = QString());
    QVector<qint32> waitingSince(qint64 createdAtOrBefore);
    // Drops the rows left in the state Storing by a crash, created at or before the given time;
    // returns their ids.
    QVector<qint32> removeUnfinished(qint64 createdAtOrBefore);
    // Forgets taken, rejected and expired containers that finished at or before the given time.
    void forgetFinished(qint64 finishedAtOrBefore);
    // Forgets where installations made at or before the given time came from.
    void forgetOrigins(qint64 createdAtOrBefore);

    // Records a new resumable upload, counted against the uploader's quota by its length from now
    // on, unless maxOpen unfinished ones are there (TooMany) or the limits would be passed; those
    // of the recipient installation only when it is known (not empty).
    Result createUpload(const StoredUpload& upload, const QByteArray& recipient,
                        const ContainerLimits& limits, qint64 maxOpen);
    std::optional<StoredUpload> upload(const QString& uploadId);
    // Moves the expiry of an unfinished upload.
    bool touchUpload(const QString& uploadId, qint64 expiresAt);
    bool removeUpload(const QString& uploadId);
    QStringList expiredUploads(qint64 now);

private:
    SqlDatabase& m_db;
};

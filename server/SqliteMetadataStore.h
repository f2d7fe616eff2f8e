#pragma once

#include "MetadataStore.h"

#include <mutex>

struct sqlite3;

// The metadata in one SQLite file (write-ahead log, full sync). One connection serves all request
// threads; a mutex serialises it, which is ample for the small statements of the relay.
class SqliteMetadataStore : public MetadataStore
{
public:
    SqliteMetadataStore() = default;
    ~SqliteMetadataStore() override;
    SqliteMetadataStore(const SqliteMetadataStore&) = delete;
    SqliteMetadataStore& operator=(const SqliteMetadataStore&) = delete;

    // Opens or creates the database file and its tables.
    bool open(const QString& path, QString* error);

    Registration registerKey(const QByteArray& installation, const QByteArray& fingerprint,
                             const QByteArray& keyData, qint64 now, const std::function<QString()>& newKeyId,
                             QString* keyId) override;
    std::optional<StoredKey> keyById(const QString& keyId) override;
    std::optional<StoredKey> keyByFingerprint(const QByteArray& fingerprint) override;
    QString latestKeyIdOf(const QByteArray& installation) override;
    bool attachContact(const QByteArray& installation, const QString& keyId, const QString& title,
                       qint64 now) override;
    Reservation reserveContainer(StoredContainer* container, qint64 quotaBytes,
                                 const std::function<qint32()>& newFileId) override;
    bool changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now) override;
    bool removeContainer(qint32 fileId) override;
    std::optional<StoredContainer> container(qint32 fileId) override;
    QVector<StoredContainer> waitingFor(const QByteArray& recipient) override;
    QVector<StoredContainer> uploadedBy(const QByteArray& uploader, const QVector<qint32>& fileIds) override;
    qint64 waitingBytesOf(const QByteArray& uploader) override;
    QVector<qint32> waitingSince(qint64 createdAtOrBefore) override;
    QVector<qint32> allWaiting() override;
    QVector<qint32> removeUnfinished(qint64 createdAtOrBefore) override;
    int forgetFinished(qint64 finishedAtOrBefore) override;
    bool addFeedback(const QByteArray& installation, const QString& name, const QString& email,
                     const QString& message, qint64 now) override;

private:
    std::optional<StoredKey> keyWhere(const char* sql, const QByteArray& value);
    QVector<qint32> idsWhere(const char* sql, qint64 value);

    sqlite3* m_db = nullptr;
    std::mutex m_mutex;
};

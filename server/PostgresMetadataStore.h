#pragma once

#include "MetadataStore.h"

#include <condition_variable>
#include <mutex>
#include <vector>

struct pg_conn;

// The metadata in a PostgreSQL database that several relays may share. Every step that reads and
// then writes runs in one transaction, and every state change is conditional on the state it
// leaves, so two servers racing over the same key or container cannot both succeed.
class PostgresMetadataStore : public MetadataStore
{
public:
    PostgresMetadataStore() = default;
    ~PostgresMetadataStore() override;
    PostgresMetadataStore(const PostgresMetadataStore&) = delete;
    PostgresMetadataStore& operator=(const PostgresMetadataStore&) = delete;

    // Connects (a few connections, shared by the request threads) and creates the tables.
    bool open(const QString& url, QString* error);

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

    class Connection;

private:
    pg_conn* take();
    void give(pg_conn* connection);

    std::vector<pg_conn*> m_all;
    std::vector<pg_conn*> m_free;
    std::mutex m_mutex;
    std::condition_variable m_returned;
};

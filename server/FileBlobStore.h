#pragma once

#include "BlobStore.h"

// Blobs as files DIR/<fileId>. Uploads are written to DIR/incoming/<owner>-<random>.part and
// renamed when complete; the rename is atomic on one file system. Several servers may share DIR:
// each holds a lock on DIR/incoming/owners/<owner>.lock while it runs, and only the uploads of an
// owner whose lock is free are swept away.
class FileBlobStore : public BlobStore
{
public:
    explicit FileBlobStore(const QString& dir);
    ~FileBlobStore() override;

    // Creates the folders (owner-only). False, with the reason, if they cannot be made.
    bool open(QString* error);

    std::unique_ptr<Writer> create(QString* error) override;
    std::unique_ptr<Reader> open(qint32 fileId) override;
    bool remove(qint32 fileId) override;
    QVector<qint32> list() override;
    void discardIncomplete() override;
    qint64 freeSpace() override;

private:
    QString blobPath(qint32 fileId) const;

    QString m_dir;
    QString m_incomingDir;
    QString m_ownersDir;
    QByteArray m_owner;
    int m_ownerLock = -1;
};

#pragma once

#include "BlobStore.h"

// Blobs as files DIR/<fileId>. Uploads are written to DIR/incoming/<owner>-<random>.part and
// renamed when complete; the rename is atomic on one file system. Several servers may share DIR:
// each holds a lock on DIR/incoming/owners/<owner>.lock while it runs, and only the uploads of an
// owner whose lock is free are swept away. Resumable uploads live in DIR/uploads/<id>.part, out of
// that sweep's reach, locked with flock() while appended to.
class FileBlobStore : public BlobStore
{
public:
    explicit FileBlobStore(const QString& dir);
    ~FileBlobStore() override;

    // Creates the folders (owner-only). False, with the reason, if they cannot be made.
    bool open(QString* error);

    std::unique_ptr<Writer> create(QString* error) override;
    std::unique_ptr<Partial> openPartial(const QString& id, Lock* lock) override;
    qint64 partialSize(const QString& id) override;
    QStringList partials() override;
    std::unique_ptr<Reader> open(qint32 fileId) override;
    bool remove(qint32 fileId) override;
    QVector<qint32> list() override;
    void discardIncomplete() override;
    qint64 freeSpace() override;

private:
    QString blobPath(qint32 fileId) const;
    QString partialPath(const QString& id) const;

    QString m_dir;
    QString m_incomingDir;
    QString m_ownersDir;
    QString m_uploadsDir;
    QByteArray m_owner;
    int m_ownerLock = -1;
};

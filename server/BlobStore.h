#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstddef>
#include <memory>

// Where container bytes live. A blob becomes visible under its file id only when commit() succeeds,
// so an interrupted upload (or a crash) never leaves a partial blob that can be opened.
class BlobStore
{
public:
    class Writer
    {
    public:
        virtual ~Writer() = default; // discards everything unless committed
        virtual bool write(const char* data, std::size_t size) = 0;
        // The errno of the failed write (ENOSPC on a full disk), 0 before any failure.
        virtual int error() const = 0;
        virtual qint64 size() const = 0;
        // Makes the complete blob durable and visible under fileId.
        virtual bool commit(qint32 fileId) = 0;
    };

    class Reader
    {
    public:
        virtual ~Reader() = default;
        virtual qint64 size() const = 0;
        // Reads up to maxSize bytes at offset; the number read, or -1 on failure.
        virtual qint64 read(qint64 offset, char* buffer, qint64 maxSize) = 0;
    };

    // The bytes of a resumable upload, kept under its upload id until committed as a blob or
    // removed, across restarts. Holding one locks the upload: nobody else, in this process or in
    // another server sharing the store, opens it until this one is destroyed. Destroying it keeps
    // what was written.
    class Partial : public Writer
    {
    public:
        // Reads bytes already written; the number read, or -1.
        virtual qint64 read(qint64 offset, char* buffer, qint64 maxSize) = 0;
        // Makes everything written so far durable.
        virtual bool sync() = 0;
        virtual void remove() = 0;
    };
    enum class Lock
    {
        Taken,
        Busy, // another holder has it
        Failed
    };

    virtual ~BlobStore() = default;

    virtual std::unique_ptr<Writer> create(QString* error) = 0;
    // Opens the partial upload under id, empty if it is new, and locks it; null unless *lock is Taken.
    virtual std::unique_ptr<Partial> openPartial(const QString& id, Lock* lock) = 0;
    // Bytes of the partial upload under id, 0 if there is none; needs no lock.
    virtual qint64 partialSize(const QString& id) = 0;
    virtual QStringList partials() = 0;
    // Null if there is no committed blob under fileId. A reader stays usable if the blob is
    // removed meanwhile.
    virtual std::unique_ptr<Reader> open(qint32 fileId) = 0;
    virtual bool remove(qint32 fileId) = 0;
    virtual QVector<qint32> list() = 0;
    // Deletes the leftovers of uploads that never completed (called once at start-up).
    virtual void discardIncomplete() = 0;
    // Bytes still free for new blobs, or -1 when the backend cannot tell.
    virtual qint64 freeSpace() = 0;
};

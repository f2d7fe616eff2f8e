#include "FileBlobStore.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <openssl/rand.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {
QByteArray randomHex(int bytes)
{
    QByteArray random(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(random.data()), bytes) != 1)
        return QByteArray();
    return random.toHex();
}

// Request bodies arrive in small pieces; collecting them saves a system call per piece.
constexpr std::size_t writeBufferSize = 1 << 20;

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

qint64 readAt(int fd, qint64 offset, char* buffer, qint64 maxSize)
{
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, static_cast<std::size_t>(maxSize), offset);
        if (got < 0 && errno == EINTR)
            continue;
        return got;
    }
}

bool syncDirectory(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes a new blob, or appends to a resumable upload (kept when not committed, locked by the
// flock on its descriptor while open).
class FileWriter : public BlobStore::Partial
{
public:
    FileWriter(int fd, QByteArray path, QString blobDir, qint64 size, bool resumable)
        : m_fd(fd)
        , m_path(std::move(path))
        , m_blobDir(std::move(blobDir))
        , m_size(size)
        , m_resumable(resumable)
    {
        m_buffer.reserve(writeBufferSize);
    }

    ~FileWriter() override
    {
        if (m_fd >= 0) {
            if (m_resumable && !m_removed)
                flush();
            ::close(m_fd);
        }
        if (!m_committed && !m_resumable)
            ::unlink(m_path.constData());
    }

    bool write(const char* data, std::size_t size) override
    {
        if (m_failed)
            return false;
        m_size += static_cast<qint64>(size);
        if (m_buffer.size() + size > writeBufferSize && !flush())
            return false;
        if (size >= writeBufferSize)
            return writeOrFail(data, size);
        m_buffer.insert(m_buffer.end(), data, data + size);
        return true;
    }

    int error() const override { return m_error; }
    qint64 size() const override { return m_size; }

    bool commit(qint32 fileId) override
    {
        if (!sync())
            return false;
        ::close(m_fd);
        m_fd = -1;
        const QByteArray target = QFile::encodeName(m_blobDir + QLatin1Char('/') + QString::number(fileId));
        if (::rename(m_path.constData(), target.constData()) != 0)
            return false;
        m_committed = true;
        syncDirectory(m_blobDir);
        return true;
    }

    qint64 read(qint64 offset, char* buffer, qint64 maxSize) override
    {
        if (!flush())
            return -1;
        return readAt(m_fd, offset, buffer, maxSize);
    }

    bool sync() override { return !m_failed && flush() && ::fsync(m_fd) == 0; }

    void remove() override
    {
        ::unlink(m_path.constData());
        m_removed = true;
    }

private:
    bool flush()
    {
        if (m_buffer.empty())
            return !m_failed;
        const bool ok = writeOrFail(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

    bool writeOrFail(const char* data, std::size_t size)
    {
        if (!writeAll(m_fd, data, size)) {
            m_failed = true;
            m_error = errno;
            // What did reach the file is what a resumed upload continues from.
            struct stat info;
            if (::fstat(m_fd, &info) == 0)
                m_size = static_cast<qint64>(info.st_size);
        }
        return !m_failed;
    }

    int m_fd;
    QByteArray m_path;
    QString m_blobDir;
    std::vector<char> m_buffer;
    qint64 m_size;
    bool m_resumable;
    bool m_failed = false;
    int m_error = 0;
    bool m_committed = false;
    bool m_removed = false;
};

class FileReader : public BlobStore::Reader
{
public:
    FileReader(int fd, qint64 size)
        : m_fd(fd)
        , m_size(size)
    {
    }
    ~FileReader() override { ::close(m_fd); }

    qint64 size() const override { return m_size; }

    qint64 read(qint64 offset, char* buffer, qint64 maxSize) override
    {
        return readAt(m_fd, offset, buffer, maxSize);
    }

private:
    int m_fd;
    qint64 m_size;
};
} // namespace

FileBlobStore::FileBlobStore(const QString& dir)
    : m_dir(dir)
    , m_incomingDir(dir + QStringLiteral("/incoming"))
    , m_ownersDir(m_incomingDir + QStringLiteral("/owners"))
    , m_uploadsDir(dir + QStringLiteral("/uploads"))
{
}

FileBlobStore::~FileBlobStore()
{
    if (m_ownerLock >= 0) {
        ::unlink(
            QFile::encodeName(m_ownersDir + QLatin1Char('/') + QLatin1String(m_owner) + ".lock").constData());
        ::close(m_ownerLock);
    }
}

bool FileBlobStore::open(QString* error)
{
    for (const QString& dir : {m_dir, m_incomingDir, m_ownersDir, m_uploadsDir}) {
        if (!QDir().mkpath(dir)) {
            if (error)
                *error = QStringLiteral("cannot create the folder %1").arg(dir);
            return false;
        }
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    }
    m_owner = randomHex(6);
    const QByteArray lockPath = QFile::encodeName(m_ownersDir) + '/' + m_owner + ".lock";
    m_ownerLock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_owner.isEmpty() || m_ownerLock < 0 || ::flock(m_ownerLock, LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = QStringLiteral("cannot lock %1").arg(QFile::decodeName(lockPath));
        return false;
    }
    return true;
}

std::unique_ptr<BlobStore::Writer> FileBlobStore::create(QString* error)
{
    const QByteArray random = randomHex(12);
    if (random.isEmpty()) {
        if (error)
            *error = QStringLiteral("no random numbers");
        return nullptr;
    }
    const QByteArray name = m_owner + '-' + random + ".part";
    const QByteArray path = QFile::encodeName(m_incomingDir) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<FileWriter>(fd, path, m_dir, 0, false);
}

std::unique_ptr<BlobStore::Partial> FileBlobStore::openPartial(const QString& id, Lock* lock)
{
    *lock = Lock::Failed;
    const QByteArray path = QFile::encodeName(partialPath(id));
    // The file may be removed by its last holder between open() and flock(): then it is opened
    // anew, so that the lock is always on the file under the name.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return nullptr;
        struct stat opened, named;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            *lock = errno == EWOULDBLOCK ? Lock::Busy : Lock::Failed;
            ::close(fd);
            return nullptr;
        }
        if (::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0
            && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino
            && ::lseek(fd, 0, SEEK_END) >= 0) {
            *lock = Lock::Taken;
            return std::make_unique<FileWriter>(fd, path, m_dir, static_cast<qint64>(opened.st_size), true);
        }
        ::close(fd);
    }
    return nullptr;
}

qint64 FileBlobStore::partialSize(const QString& id)
{
    struct stat info;
    return ::stat(QFile::encodeName(partialPath(id)).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

QStringList FileBlobStore::partials()
{
    QStringList ids = QDir(m_uploadsDir).entryList({QStringLiteral("*.part")}, QDir::Files);
    for (QString& name : ids)
        name.chop(5);
    return ids;
}

std::unique_ptr<BlobStore::Reader> FileBlobStore::open(qint32 fileId)
{
    const int fd = ::open(QFile::encodeName(blobPath(fileId)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileReader>(fd, static_cast<qint64>(info.st_size));
}

bool FileBlobStore::remove(qint32 fileId)
{
    return ::unlink(QFile::encodeName(blobPath(fileId)).constData()) == 0 || errno == ENOENT;
}

QVector<qint32> FileBlobStore::list()
{
    QVector<qint32> ids;
    const QStringList names = QDir(m_dir).entryList(QDir::Files);
    for (const QString& name : names) {
        bool ok = false;
        const qint32 id = name.toInt(&ok);
        if (ok && id > 0 && QString::number(id) == name)
            ids.append(id);
    }
    return ids;
}

void FileBlobStore::discardIncomplete()
{
    // Owners that have ended: their lock is free. Taking it keeps a second sweeper away.
    QDir owners(m_ownersDir);
    QSet<QString> running;
    const QStringList locks = owners.entryList({QStringLiteral("*.lock")}, QDir::Files);
    for (const QString& lock : locks) {
        const QString owner = lock.chopped(5);
        if (owner == QLatin1String(m_owner)) {
            running.insert(owner);
            continue;
        }
        const int fd = ::open(QFile::encodeName(owners.filePath(lock)).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            owners.remove(lock);
        else
            running.insert(owner);
        ::close(fd);
    }
    QDir incoming(m_incomingDir);
    const QStringList names = incoming.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (!running.contains(name.section(QLatin1Char('-'), 0, 0)))
            incoming.remove(name);
    }
}

qint64 FileBlobStore::freeSpace()
{
    struct statvfs info;
    if (::statvfs(QFile::encodeName(m_dir).constData(), &info) != 0)
        return -1;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

QString FileBlobStore::partialPath(const QString& id) const
{
    return m_uploadsDir + QLatin1Char('/') + id + QStringLiteral(".part");
}

QString FileBlobStore::blobPath(qint32 fileId) const
{
    return m_dir + QLatin1Char('/') + QString::number(fileId);
}

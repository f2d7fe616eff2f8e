#include "FileBlobStore.h"

#include <QDir>
#include <QFile>

#include <openssl/rand.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {
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

bool syncDirectory(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

class FileWriter : public BlobStore::Writer
{
public:
    FileWriter(int fd, QByteArray tempPath, QString blobDir)
        : m_fd(fd)
        , m_tempPath(std::move(tempPath))
        , m_blobDir(std::move(blobDir))
    {
        m_buffer.reserve(writeBufferSize);
    }

    ~FileWriter() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed)
            ::unlink(m_tempPath.constData());
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

    qint64 size() const override { return m_size; }

    bool commit(qint32 fileId) override
    {
        if (m_failed || !flush() || ::fsync(m_fd) != 0)
            return false;
        ::close(m_fd);
        m_fd = -1;
        const QByteArray target = QFile::encodeName(m_blobDir + QLatin1Char('/') + QString::number(fileId));
        if (::rename(m_tempPath.constData(), target.constData()) != 0)
            return false;
        m_committed = true;
        syncDirectory(m_blobDir);
        return true;
    }

private:
    bool flush()
    {
        if (m_buffer.empty())
            return true;
        const bool ok = writeOrFail(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

    bool writeOrFail(const char* data, std::size_t size)
    {
        if (!writeAll(m_fd, data, size))
            m_failed = true;
        return !m_failed;
    }

    int m_fd;
    QByteArray m_tempPath;
    QString m_blobDir;
    std::vector<char> m_buffer;
    qint64 m_size = 0;
    bool m_failed = false;
    bool m_committed = false;
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
        for (;;) {
            const ssize_t got = ::pread(m_fd, buffer, static_cast<std::size_t>(maxSize), offset);
            if (got < 0 && errno == EINTR)
                continue;
            return got;
        }
    }

private:
    int m_fd;
    qint64 m_size;
};
} // namespace

FileBlobStore::FileBlobStore(const QString& dir)
    : m_dir(dir)
    , m_incomingDir(dir + QStringLiteral("/incoming"))
{
}

bool FileBlobStore::open(QString* error)
{
    for (const QString& dir : {m_dir, m_incomingDir}) {
        if (!QDir().mkpath(dir)) {
            if (error)
                *error = QStringLiteral("cannot create the folder %1").arg(dir);
            return false;
        }
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    }
    return true;
}

std::unique_ptr<BlobStore::Writer> FileBlobStore::create(QString* error)
{
    unsigned char random[12];
    if (RAND_bytes(random, sizeof random) != 1) {
        if (error)
            *error = QStringLiteral("no random numbers");
        return nullptr;
    }
    const QByteArray name
        = QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex() + ".part";
    const QByteArray path = QFile::encodeName(m_incomingDir) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<FileWriter>(fd, path, m_dir);
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
    QDir incoming(m_incomingDir);
    const QStringList names = incoming.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        incoming.remove(name);
}

qint64 FileBlobStore::freeSpace()
{
    struct statvfs info;
    if (::statvfs(QFile::encodeName(m_dir).constData(), &info) != 0)
        return -1;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

QString FileBlobStore::blobPath(qint32 fileId) const
{
    return m_dir + QLatin1Char('/') + QString::number(fileId);
}

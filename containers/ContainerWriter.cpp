#include "containers/ContainerWriter.h"

#include "containers/CompressionProbe.h"
#include "containers/ContainerTrailer.h"
#include "containers/PayloadWriter.h"
#include "containers/StagingFolder.h"
#include "gpg/Crypter.h"
#include "gpg/GpgProcess.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>

namespace {

// gpg's input is refilled while less than this waits in it.
constexpr qint64 pendingBytes = 2 * 1024 * 1024;

qint64 saturatingAdd(qint64 total, qint64 size)
{
    size = qMax<qint64>(0, size);
    return total > std::numeric_limits<qint64>::max() - size ? std::numeric_limits<qint64>::max()
                                                             : total + size;
}

} // namespace

ContainerWriter::ContainerWriter(const QVariantMap& files, int method, const QString& secret,
                                 const QString& path, QObject* parent)
    : Job(parent)
    , m_files(files)
    , m_method(method)
    , m_secret(secret)
    , m_path(path)
{
}

void ContainerWriter::run()
{
    emit stepStarted(Step::Encrypting);
    setProgressRange(m_files.size(), tr("Calculating total size"));
    qint64 total = 0;
    QVector<PayloadRecord> records;
    QList<QPair<QString, qint64>> sources;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const Entry entry {it.value().toString(), it.key(), QFileInfo(it.value().toString()).size()};
        total = saturatingAdd(total, entry.size);
        m_entries.append(entry);
        records.append({entry.name, entry.size});
        sources.append({entry.source, entry.size});
        setProgress(m_entries.size());
    }
    QString badName;
    const QByteArray header = PayloadWriter::header(records, &badName);
    if (header.isEmpty())
        return fail(tr("The name %1 is too long for a container").arg(badName));
    setProgressRange(total, tr("Packing data"));

    m_crypter = new Crypter(m_method, m_secret, true, this);
    m_crypter->setCompressLevel(CompressionProbe::compressionLevel(sources));
    m_crypter->setOutputFile(m_path);
    connect(m_crypter, &Crypter::keyError, this, &Job::warning);
    connect(m_crypter, &Crypter::started, this, [this, header] {
        m_crypter->process()->write(header);
        feed();
    });
    connect(m_crypter->process(), &QIODevice::bytesWritten, this, [this] {
        if (!m_fed)
            feed();
    });
    connect(m_crypter, &Crypter::finished, this, &ContainerWriter::encrypted);
    m_crypter->start();
}

void ContainerWriter::feed()
{
    GpgProcess* gpg = m_crypter->process();
    while (isRunning() && gpg->bytesToWrite() < pendingBytes) {
        if (m_left == 0) {
            m_source.close();
            if (m_next == m_entries.size()) {
                m_fed = true;
                gpg->closeWriteChannel();
                // What is left is gpg finishing its work.
                setProgressRange(0);
                return;
            }
            const Entry& entry = m_entries.at(m_next++);
            m_source.setFileName(entry.source);
            if (!m_source.open(QIODevice::ReadOnly))
                return fail(tr("Cannot open %1 for reading").arg(entry.source));
            m_left = qMax<qint64>(0, entry.size);
            if (m_left == 0)
                continue;
        }
        // At most the measured size: the header must match the chunks, or the receiver misreads
        // every entry that follows.
        m_buffer.resize(int(qMin<qint64>(m_left, ContainerFormat::chunkSize)));
        const qint64 n = m_source.read(m_buffer.data(), m_buffer.size());
        if (n != m_buffer.size())
            return fail(tr("The file %1 changed while it was being sent").arg(m_source.fileName()));
        gpg->write(PayloadWriter::chunkPrefix(int(n)));
        gpg->write(m_buffer);
        m_left -= n;
        m_done += n;
        setProgress(m_done);
    }
}

void ContainerWriter::encrypted(bool ok)
{
    if (!isRunning())
        return;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!ok) {
        // gpg only says that it could not write; a full disk is the one cause worth naming.
        if (QStorageInfo(folder).bytesAvailable() < ContainerFormat::chunkSize)
            return fail(StagingFolder::writeError(folder, qt_error_string(ENOSPC)));
        return fail(tr("Cannot encrypt data"));
    }
    QFile container(m_path);
    const QByteArray trailer = ContainerTrailer::encode(m_method, m_secret);
    if (!container.open(QIODevice::Append) || container.write(trailer) != trailer.size()
        || !container.flush())
        return fail(StagingFolder::writeError(folder, container.errorString()));
    const qint64 size = container.size();
    container.close();
    if (succeed())
        emit succeeded(size);
}

void ContainerWriter::stop()
{
    m_source.close();
    Job::stop();
}

#include "containers/ContainerWriter.h"

#include "containers/CompressionProbe.h"
#include "containers/ContainerTrailer.h"
#include "containers/PayloadWriter.h"
#include "containers/StagingFolder.h"
#include "gpg/Crypter.h"
#include "models/ContactKeys.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

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
    m_progress.setInterval(100);
    connect(&m_progress, &QTimer::timeout, this, [this] { setProgress(m_done); });
}

ContainerWriter::~ContainerWriter()
{
    // The feeding thread works on this object's members: it ends before they do.
    delete m_crypter;
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
    m_header = PayloadWriter::header(records, &badName);
    if (m_header.isEmpty())
        return fail(tr("The name %1 is too long for a container").arg(badName));
    setProgressRange(total, tr("Packing data"));

    m_crypter = new Crypter(m_method, m_secret, true, this);
    if (m_method == ContainerFormat::methodPublicKey) {
        // Signed inside the encryption, so that the relay can neither strip nor swap the signature.
        const QString signer = ContactKeys::ownFingerprint();
        if (signer.isEmpty())
            return fail(tr("Your own key is missing, so the container cannot be signed"));
        m_crypter->setSigner(signer);
    }
    m_crypter->setCompressLevel(CompressionProbe::compressionLevel(sources));
    m_crypter->setOutputFile(m_path);
    m_crypter->setInputProducer([this](char* buffer, qint64 size) { return produce(buffer, size); });
    connect(m_crypter, &Crypter::keyError, this, &Job::warning);
    connect(m_crypter, &Crypter::started, &m_progress, qOverload<>(&QTimer::start));
    connect(m_crypter, &Crypter::finished, this, &ContainerWriter::encrypted);
    m_crypter->start();
}

qint64 ContainerWriter::produce(char* buffer, qint64 size)
{
    if (!m_header.isEmpty()) {
        const qint64 n = qMin<qint64>(size, m_header.size());
        std::memcpy(buffer, m_header.constData(), size_t(n));
        m_header.remove(0, int(n));
        return n;
    }
    while (m_left == 0) {
        m_source.close();
        if (m_next == m_entries.size())
            return 0;
        const Entry& entry = m_entries.at(m_next++);
        m_source.setFileName(entry.source);
        if (!m_source.open(QIODevice::ReadOnly)) {
            m_feedError = tr("Cannot open %1 for reading").arg(entry.source);
            return -1;
        }
        m_left = qMax<qint64>(0, entry.size);
    }
    // At most the measured size: the header must match the chunks, or the receiver misreads every
    // entry that follows.
    const int length = int(std::min<qint64>({m_left, ContainerFormat::chunkSize, size - 4}));
    const QByteArray prefix = PayloadWriter::chunkPrefix(length);
    std::memcpy(buffer, prefix.constData(), size_t(prefix.size()));
    if (m_source.read(buffer + prefix.size(), length) != length) {
        m_feedError = tr("The file %1 changed while it was being sent").arg(m_source.fileName());
        return -1;
    }
    m_left -= length;
    m_done += length;
    return prefix.size() + length;
}

void ContainerWriter::encrypted(bool ok)
{
    m_progress.stop();
    if (!isRunning())
        return;
    if (!m_feedError.isEmpty())
        return fail(m_feedError);
    setProgress(m_done);
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

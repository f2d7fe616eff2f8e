#include "containers/PayloadWriter.h"

#include <QIODevice>
#include <QtEndian>

namespace {

template<typename T> QByteArray bigEndian(T value)
{
    QByteArray bytes(int(sizeof(T)), Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

PayloadWriter::PayloadWriter(QIODevice* device)
    : m_device(device)
{
}

bool PayloadWriter::isWritableName(const QString& name)
{
    return !name.contains(QChar(0)) && name.toUtf8().size() <= ContainerFormat::maxNameBytes;
}

bool PayloadWriter::writeHeader(const QVector<PayloadRecord>& records, QString* badName)
{
    for (const PayloadRecord& record : records) {
        if (!isWritableName(record.name)) {
            if (badName)
                *badName = record.name;
            return false;
        }
    }
    QByteArray start = bigEndian<qint32>(ContainerFormat::magic);
    start.append(char(ContainerFormat::version));
    start.append(bigEndian<qint32>(qint32(records.size())));
    if (!writeAll(start.constData(), start.size()))
        return false;

    m_sizeOffsets.clear();
    for (const PayloadRecord& record : records) {
        const QByteArray name = record.name.toUtf8();
        QByteArray bytes = bigEndian<quint32>(quint32(name.size()));
        bytes.append(name);
        if (!writeAll(bytes.constData(), bytes.size()))
            return false;
        m_sizeOffsets.append(m_device->pos());
        const QByteArray size = bigEndian<qint64>(record.size);
        if (!writeAll(size.constData(), size.size()))
            return false;
    }
    return true;
}

bool PayloadWriter::writeChunk(const char* data, int length)
{
    Q_ASSERT(length >= 0 && length <= ContainerFormat::chunkSize);
    const QByteArray prefix = bigEndian<quint32>(quint32(length));
    return writeAll(prefix.constData(), prefix.size()) && writeAll(data, length);
}

bool PayloadWriter::patchSize(int entry, qint64 size)
{
    if (entry < 0 || entry >= m_sizeOffsets.size())
        return false;
    const qint64 end = m_device->pos();
    const QByteArray bytes = bigEndian<qint64>(size);
    return m_device->seek(m_sizeOffsets.at(entry)) && writeAll(bytes.constData(), bytes.size())
        && m_device->seek(end);
}

bool PayloadWriter::writeAll(const char* data, qint64 length)
{
    return length == 0 || m_device->write(data, length) == length;
}

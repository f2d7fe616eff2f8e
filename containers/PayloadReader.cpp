#include "containers/PayloadReader.h"

#include <QIODevice>
#include <QtEndian>

namespace {

// Upper bound of one allocation step while reading a chunk from a device of unknown length.
constexpr qint64 readPiece = 1 << 20;

} // namespace

PayloadReader::PayloadReader(QIODevice* device)
    : m_device(device)
{
}

bool PayloadReader::readExact(char* data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 n = m_device->read(data + done, length - done);
        if (n <= 0) {
            m_ended = true;
            return false;
        }
        done += n;
    }
    return true;
}

PayloadReader::Status PayloadReader::readStart()
{
    char start[ContainerFormat::startLength];
    if (!readExact(start, sizeof(start)))
        return Status::InvalidHeader;
    if (qFromBigEndian<qint32>(start) != ContainerFormat::magic)
        return Status::InvalidHeader;
    if (quint8(start[4]) > quint8(ContainerFormat::version))
        return Status::UnknownVersion;
    m_count = qMax<qint32>(0, qFromBigEndian<qint32>(start + 5));
    return Status::Ok;
}

bool PayloadReader::readRecord(PayloadRecord* record)
{
    char length[4];
    if (!readExact(length, sizeof(length)))
        return false;
    const qint64 nameLength = qFromBigEndian<quint32>(length) & ContainerFormat::nameLengthMask;
    QByteArray name;
    if (readBounded(&name, nameLength) != nameLength)
        return false;
    char size[8];
    if (!readExact(size, sizeof(size)))
        return false;
    const int nul = name.indexOf('\0');
    record->name = QString::fromUtf8(name.constData(), nul < 0 ? name.size() : nul);
    record->size = qFromBigEndian<qint64>(size);
    return true;
}

void PayloadReader::beginRun(qint64 size)
{
    m_runSize = qMax<qint64>(0, size);
    m_taken = 0;
}

bool PayloadReader::readChunkLength(quint32* length)
{
    if (m_taken >= m_runSize || m_ended)
        return false;
    if (m_device->atEnd()) {
        m_ended = true;
        return false;
    }
    char bytes[4];
    if (!readExact(bytes, sizeof(bytes)))
        return false;
    *length = qFromBigEndian<quint32>(bytes) & ContainerFormat::chunkLengthMask;
    return true;
}

bool PayloadReader::nextChunk(QByteArray* chunk)
{
    quint32 length = 0;
    if (!readChunkLength(&length))
        return false;
    m_taken += readBounded(chunk, length);
    return true;
}

bool PayloadReader::skipChunk()
{
    quint32 length = 0;
    if (!readChunkLength(&length))
        return false;
    const qint64 skipped = m_device->skip(length);
    if (skipped < qint64(length))
        m_ended = true;
    m_taken += qMax<qint64>(0, skipped);
    return true;
}

qint64 PayloadReader::readBounded(QByteArray* out, qint64 length)
{
    const qint64 wanted = length;
    // A length from the stream is only believed as far as the device still holds bytes; on a
    // device of unknown length the buffer grows only as bytes arrive.
    const bool sequential = m_device->isSequential();
    if (!sequential)
        length = qMin(length, qMax<qint64>(0, m_device->size() - m_device->pos()));
    qint64 done = 0;
    while (done < length) {
        const qint64 step = sequential ? qMin(readPiece, length - done) : length - done;
        out->resize(int(done + step));
        const qint64 n = m_device->read(out->data() + done, step);
        if (n <= 0)
            break;
        done += n;
    }
    out->resize(int(done));
    if (done < wanted)
        m_ended = true;
    return done;
}

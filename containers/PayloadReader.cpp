#include "containers/PayloadReader.h"

#include <QtEndian>

PayloadReader::PayloadReader(Sink* sink)
    : m_sink(sink)
{
}

bool PayloadReader::stop(Status status)
{
    m_status = status;
    m_state = State::Done;
    return false;
}

bool PayloadReader::take(const char*& data, qint64& length)
{
    const qint64 n = qMin(length, m_need - m_field.size());
    m_field.append(data, int(n));
    data += n;
    length -= n;
    return m_field.size() == m_need;
}

bool PayloadReader::feed(const char* data, qint64 length)
{
    while (m_status == Status::Ok && m_state != State::Done && length > 0) {
        if (m_state == State::ChunkData) {
            const qint64 n = qMin(length, m_chunkLeft);
            if (!m_sink->content(data, n))
                return stop(Status::Refused);
            data += n;
            length -= n;
            m_taken += n;
            m_chunkLeft -= n;
            if (m_chunkLeft > 0)
                continue;
            // The whole chunk belongs to its entry, even beyond the size the header gave it.
            if (m_taken < m_records.at(m_entry).size) {
                m_state = State::ChunkLength;
                m_need = 4;
            } else if (!nextEntry()) {
                return false;
            }
            continue;
        }
        if (!take(data, length))
            return true;
        if (!fieldDone())
            return false;
    }
    return m_status == Status::Ok;
}

bool PayloadReader::fieldDone()
{
    const QByteArray field = m_field;
    m_field.clear();
    switch (m_state) {
    case State::Start:
        if (qFromBigEndian<qint32>(field.constData()) != ContainerFormat::magic)
            return stop(Status::InvalidHeader);
        if (quint8(field.at(4)) > quint8(ContainerFormat::version))
            return stop(Status::UnknownVersion);
        m_count = qMax<qint32>(0, qFromBigEndian<qint32>(field.constData() + 5));
        if (m_count > maxEntries)
            return stop(Status::InvalidHeader);
        m_records.reserve(m_count);
        break;
    case State::NameLength:
        m_need = qFromBigEndian<quint32>(field.constData()) & ContainerFormat::nameLengthMask;
        m_headerBytes += 12 + m_need;
        if (m_headerBytes > maxHeaderBytes)
            return stop(Status::InvalidHeader);
        m_state = State::Name;
        if (m_need > 0)
            return true;
        m_name.clear();
        m_need = 8;
        m_state = State::Size;
        return true;
    case State::Name:
        m_name = field;
        m_need = 8;
        m_state = State::Size;
        return true;
    case State::Size: {
        const int nul = m_name.indexOf('\0');
        m_records.append({QString::fromUtf8(m_name.constData(), nul < 0 ? m_name.size() : nul),
                          qFromBigEndian<qint64>(field.constData())});
        break;
    }
    case State::ChunkLength:
        m_chunkLeft = qFromBigEndian<quint32>(field.constData()) & ContainerFormat::chunkLengthMask;
        m_state = State::ChunkData;
        // A run of empty chunks still uses four bytes each, so it ends with the input.
        if (m_chunkLeft == 0) {
            m_state = State::ChunkLength;
            m_need = 4;
        }
        return true;
    case State::ChunkData:
    case State::Done:
        return true;
    }
    // After the start or a record: the next record, or the data runs once all records are there.
    if (m_records.size() < m_count) {
        m_state = State::NameLength;
        m_need = 4;
        return true;
    }
    if (!m_sink->begin(m_records))
        return stop(Status::Refused);
    return nextEntry();
}

bool PayloadReader::nextEntry()
{
    ++m_entry;
    m_taken = 0;
    if (m_entry >= m_records.size()) {
        m_state = State::Done;
        return true;
    }
    if (!m_sink->entry(m_entry))
        return stop(Status::Refused);
    if (m_records.at(m_entry).size <= 0)
        return nextEntry();
    m_state = State::ChunkLength;
    m_need = 4;
    return true;
}

bool PayloadReader::finish()
{
    if (m_status != Status::Ok)
        return false;
    if (m_state == State::Done)
        return true;
    m_ended = true;
    // Before the data runs the header is incomplete; inside them, the rest comes out short or empty.
    if (m_entry < 0)
        return stop(Status::InvalidHeader);
    while (m_state != State::Done) {
        if (!nextEntry())
            return false;
    }
    return true;
}

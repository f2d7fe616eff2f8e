#pragma once

#include "containers/ContainerFormat.h"

#include <QByteArray>
#include <QVector>

// Reads a payload as it arrives, in pieces of any size, without trusting any number in it: the
// header records are kept (within fixed limits) until all have arrived, and entry content is
// passed on as it comes, never collected, so memory stays bounded however large a payload claims
// or turns out to be.
class PayloadReader
{
public:
    // Where the parts of the payload go. A false result stops the reading.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // Every header record, before any content.
        virtual bool begin(const QVector<PayloadRecord>& records) = 0;
        // The data run of record index starts (the one before it is complete).
        virtual bool entry(int index) = 0;
        virtual bool content(const char* data, qint64 length) = 0;
    };

    enum class Status
    {
        Ok,
        InvalidHeader,
        UnknownVersion,
        Refused // by the sink
    };

    // A header beyond these is refused; the sender writes at most a few thousand records.
    static constexpr int maxEntries = 100000;
    static constexpr qint64 maxHeaderBytes = 16 * 1024 * 1024;

    explicit PayloadReader(Sink* sink);

    // False once the reading has stopped; status() tells why.
    bool feed(const char* data, qint64 length);
    // The end of the input. Entries whose runs never came start empty. False as for feed().
    bool finish();

    Status status() const { return m_status; }
    // True when the input ended before everything the header announced.
    bool ended() const { return m_ended; }

private:
    enum class State
    {
        Start,
        NameLength,
        Name,
        Size,
        ChunkLength,
        ChunkData,
        Done
    };

    // Collects a field of m_need bytes; true once it is complete in m_field.
    bool take(const char*& data, qint64& length);
    bool fieldDone();
    bool nextEntry();
    bool stop(Status status);

    Sink* m_sink;
    State m_state = State::Start;
    Status m_status = Status::Ok;
    QByteArray m_field;
    qint64 m_need = ContainerFormat::startLength;
    qint32 m_count = 0;
    qint64 m_headerBytes = 0;
    QVector<PayloadRecord> m_records;
    QByteArray m_name;
    int m_entry = -1;
    qint64 m_taken = 0;
    qint64 m_chunkLeft = 0;
    bool m_ended = false;
};

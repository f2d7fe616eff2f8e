#pragma once

#include "containers/ContainerFormat.h"

#include <QByteArray>

class QIODevice;

// Reads a payload from a device without trusting any number in it: nothing is allocated by an
// entry count, an entry size or a chunk length beyond what the device still holds, and every call
// consumes input or reports the end, so a hostile payload cannot make the caller loop forever.
//
// The header records and the data runs follow one another in the stream, so a caller that wants
// to stream both opens the payload twice: one reader walks the records (readStart, readRecord),
// the other, positioned at dataStart(), the runs (beginRun, nextChunk/skipChunk).
class PayloadReader
{
public:
    enum class Status
    {
        Ok,
        InvalidHeader,
        UnknownVersion
    };

    explicit PayloadReader(QIODevice* device);

    // Magic, version (0 and 1 accepted) and entry count.
    Status readStart();
    // The announced entry count; 0 for a negative one. Only readRecord() proves the records exist.
    qint32 entryCount() const { return m_count; }
    // The next header record. False when the payload ends inside it.
    bool readRecord(PayloadRecord* record);

    // Starts the data run of an entry with this header size (negative counts as 0).
    void beginRun(qint64 size);
    // The next chunk of the current run, the whole chunk even if it reaches beyond the header size.
    // False when the run is complete or the payload has ended.
    bool nextChunk(QByteArray* chunk);
    // Like nextChunk(), but drops the bytes.
    bool skipChunk();
    // Bytes of the current run taken so far.
    qint64 runTaken() const { return m_taken; }
    // True once the payload ended before something it announced.
    bool ended() const { return m_ended; }

private:
    bool readExact(char* data, qint64 length);
    bool readChunkLength(quint32* length);
    qint64 readBounded(QByteArray* out, qint64 length);

    QIODevice* m_device;
    qint32 m_count = 0;
    qint64 m_runSize = 0;
    qint64 m_taken = 0;
    bool m_ended = false;
};

// Feeds arbitrary bytes to the payload reader the way extraction walks a payload: the start, every
// header record, then every data run, alternating between keeping and dropping the chunks.

#include "containers/EntryPath.h"
#include "containers/PayloadReader.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QBuffer header;
    header.setData(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    if (!header.open(QIODevice::ReadOnly))
        return 0;
    PayloadReader records(&header);
    if (records.readStart() != PayloadReader::Status::Ok)
        return 0;

    // First pass, as extraction does it: all records must be present.
    for (qint32 i = 0; i < records.entryCount(); ++i) {
        PayloadRecord record;
        if (!records.readRecord(&record))
            return 0;
        EntryPath::isSafeName(record.name);
    }

    QBuffer runs;
    runs.setData(header.data());
    if (!runs.open(QIODevice::ReadOnly) || !runs.seek(header.pos())
        || !header.seek(ContainerFormat::startLength))
        return 0;
    PayloadReader chunks(&runs);
    QByteArray chunk;
    for (qint32 i = 0; i < records.entryCount(); ++i) {
        PayloadRecord record;
        if (!records.readRecord(&record))
            __builtin_trap(); // the first pass proved every record is there
        chunks.beginRun(record.size);
        if (i % 2 == 0) {
            while (chunks.nextChunk(&chunk)) {
                if (chunk.size() > int(size))
                    __builtin_trap(); // never more than the input holds
            }
        } else {
            while (chunks.skipChunk()) { }
        }
    }
    return 0;
}

#pragma once

#include "containers/ContainerFormat.h"

#include <QVector>

class QIODevice;

// Writes the payload of a container: the start (magic, version, entry count), the header records
// and then the data runs, chunk by chunk. The device must be seekable when patchSize() is used.
class PayloadWriter
{
public:
    explicit PayloadWriter(QIODevice* device);

    // Writes magic, version, count and one record per entry. Fails without writing anything when a
    // name is longer than the reader accepts or holds a NUL character (*badName tells which).
    bool writeHeader(const QVector<PayloadRecord>& records, QString* badName = nullptr);
    // One chunk: 32-bit length, then the bytes. length must not exceed ContainerFormat::chunkSize.
    bool writeChunk(const char* data, int length);
    // Rewrites the size field of header record `entry` so that it equals the bytes really packed
    // for it; the reader relies on the chunks of an entry adding up to its header size.
    bool patchSize(int entry, qint64 size);

    // A name the reader would not give back unchanged.
    static bool isWritableName(const QString& name);

private:
    bool writeAll(const char* data, qint64 length);

    QIODevice* m_device;
    QVector<qint64> m_sizeOffsets;
};

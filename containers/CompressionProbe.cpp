#include "containers/CompressionProbe.h"

#include <QByteArray>
#include <QFile>

namespace {

constexpr qint64 blockBytes = 64 * 1024;
// About 1/512 of the payload is read, at least 4 blocks (small payloads are cheap whatever is read)
// and at most 32 (2 MiB, a few milliseconds of zlib).
constexpr qint64 payloadPerBlock = 512 * blockBytes;
constexpr qint64 minBlocks = 4;
constexpr qint64 maxBlocks = 32;

} // namespace

double CompressionProbe::sampledRatio(const QList<QPair<QString, qint64>>& files)
{
    qint64 total = 0;
    for (const auto& file : files)
        total += qMax<qint64>(0, file.second);
    if (total == 0)
        return 1.0;

    // The payload is seen as the files laid end to end; the blocks start at points spread evenly
    // over it, so large files get several blocks and only some of many small files are read.
    const qint64 blocks = qBound(minBlocks, total / payloadPerBlock, maxBlocks);
    QByteArray sample;
    sample.reserve(int(blocks * blockBytes));
    qint64 fileStart = 0;
    int index = 0;
    // Where the last block read from the current file ended: repeated bytes would look compressible.
    qint64 readUpTo = 0;
    for (qint64 b = 0; b < blocks && index < files.size(); ++b) {
        const qint64 point = (2 * b + 1) * total / (2 * blocks);
        while (index < files.size() && fileStart + qMax<qint64>(0, files.at(index).second) <= point) {
            fileStart += qMax<qint64>(0, files.at(index).second);
            ++index;
            readUpTo = 0;
        }
        if (index >= files.size())
            break;
        const qint64 size = files.at(index).second;
        // A block never straddles two files; one that would run past the end starts earlier.
        const qint64 offset = qMax(readUpTo, qMin(point - fileStart, size - blockBytes));
        if (offset >= size)
            continue;
        QFile file(files.at(index).first);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
            continue;
        sample.append(file.read(qMin(blockBytes, size - offset)));
        readUpTo = offset + blockBytes;
    }
    if (sample.isEmpty())
        return 1.0;
    // Level 1 is the fastest; what it cannot shrink, gpg's default level barely shrinks either.
    return double(qCompress(sample, 1).size()) / double(sample.size());
}

int CompressionProbe::compressionLevel(const QList<QPair<QString, qint64>>& files)
{
    return sampledRatio(files) > worthwhileRatio ? 0 : defaultLevel;
}

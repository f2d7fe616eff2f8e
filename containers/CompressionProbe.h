#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Decides from the files themselves whether gpg's compression pays for a payload. Photos, video
// and archives do not shrink, and compressing them costs several times the encryption; text does.
// A few blocks spread over the payload are compressed with a fast level of zlib, so the probe
// reads a small, bounded part of the data however large it is.
namespace CompressionProbe {

// gpg compresses with its default level when the sample shrinks to this share or less.
constexpr double worthwhileRatio = 0.9;
// Passed as the level when gpg should choose (its default compression).
constexpr int defaultLevel = -1;

// Compressed size over sampled size for the files (path, size in bytes), in the order given;
// 1.0 when there is nothing to sample.
double sampledRatio(const QList<QPair<QString, qint64>>& files);
// 0 (no compression) when the sample does not shrink below worthwhileRatio, defaultLevel otherwise.
int compressionLevel(const QList<QPair<QString, qint64>>& files);

} // namespace CompressionProbe

#pragma once

#include <QString>
#include <QtGlobal>

// Constants of the payload (the plaintext inside a container) and of the trailer behind the
// OpenPGP message.
namespace ContainerFormat {

constexpr qint32 magic = 0x54535943; // "TSYC"
constexpr qint8 version = 1;
// The writer cuts every entry into chunks of this size (the last one holds the rest).
constexpr int chunkSize = 0x80000;
// The reader uses only these bits of a name length and of a chunk length, so the writer must stay below.
constexpr quint32 nameLengthMask = 0xFFFF;
constexpr quint32 chunkLengthMask = 0xFFFFFF;
constexpr int maxNameBytes = 0xFFFF;

constexpr int methodPublicKey = 1;
constexpr int methodPassword = 2;
constexpr int fingerprintBytes = 20;

// magic (4) + version (1) + entry count (4)
constexpr qint64 startLength = 9;

} // namespace ContainerFormat

// One header record: the entry's name inside the container and its length in bytes.
struct PayloadRecord
{
    QString name;
    qint64 size = 0;
};

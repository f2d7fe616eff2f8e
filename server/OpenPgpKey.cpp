#include "OpenPgpKey.h"

#include <QCryptographicHash>

namespace {
constexpr int tagSecretKey = 5;
constexpr int tagPublicKey = 6;
constexpr int tagSecretSubkey = 7;

struct Packet
{
    int tag = 0;
    qsizetype bodyOffset = 0;
    qsizetype bodyLength = 0;
};

quint8 byteAt(const QByteArray& data, qsizetype pos)
{
    return static_cast<quint8>(data.at(static_cast<int>(pos)));
}

// Reads the packet header at pos. Partial (streamed) lengths and the old format's indeterminate
// length never occur in exported keys, so they count as malformed.
bool readPacket(const QByteArray& data, qsizetype pos, Packet* packet)
{
    const qsizetype size = data.size();
    if (pos >= size)
        return false;
    const quint8 head = byteAt(data, pos);
    if (!(head & 0x80))
        return false;
    qsizetype headerLength = 0;
    qint64 bodyLength = 0;
    if (head & 0x40) {
        packet->tag = head & 0x3f;
        if (pos + 1 >= size)
            return false;
        const quint8 first = byteAt(data, pos + 1);
        if (first < 192) {
            bodyLength = first;
            headerLength = 2;
        } else if (first < 224) {
            if (pos + 2 >= size)
                return false;
            bodyLength = ((first - 192) << 8) + byteAt(data, pos + 2) + 192;
            headerLength = 3;
        } else if (first == 255) {
            if (pos + 5 >= size)
                return false;
            bodyLength = (qint64(byteAt(data, pos + 2)) << 24) | (byteAt(data, pos + 3) << 16)
                | (byteAt(data, pos + 4) << 8) | byteAt(data, pos + 5);
            headerLength = 6;
        } else {
            return false;
        }
    } else {
        packet->tag = (head >> 2) & 0x0f;
        const int lengthBytes = (head & 0x03) == 0 ? 1 : (head & 0x03) == 1 ? 2 : (head & 0x03) == 2 ? 4 : 0;
        if (lengthBytes == 0 || pos + lengthBytes >= size)
            return false;
        for (int i = 0; i < lengthBytes; ++i)
            bodyLength = (bodyLength << 8) | byteAt(data, pos + 1 + i);
        headerLength = 1 + lengthBytes;
    }
    if (bodyLength > size - pos - headerLength)
        return false;
    packet->bodyOffset = pos + headerLength;
    packet->bodyLength = bodyLength;
    return true;
}
} // namespace

OpenPgpKey::OpenPgpKey(const QByteArray& packets)
{
    Packet primary;
    if (!readPacket(packets, 0, &primary))
        return;
    if (primary.tag == tagSecretKey) {
        m_status = Status::SecretKey;
        return;
    }
    if (primary.tag != tagPublicKey || primary.bodyLength < 1)
        return;

    // Walk the whole stream: it must parse to its last byte, and no secret packet may hide behind
    // the public ones.
    qsizetype pos = primary.bodyOffset + primary.bodyLength;
    while (pos < packets.size()) {
        Packet next;
        if (!readPacket(packets, pos, &next))
            return;
        if (next.tag == tagSecretKey || next.tag == tagSecretSubkey) {
            m_status = Status::SecretKey;
            return;
        }
        pos = next.bodyOffset + next.bodyLength;
    }

    if (byteAt(packets, primary.bodyOffset) != 4 || primary.bodyLength > 0xffff) {
        m_status = Status::UnsupportedVersion;
        return;
    }
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    const char lengthPrefix[3] = {char(0x99), char(primary.bodyLength >> 8), char(primary.bodyLength & 0xff)};
    sha1.addData(lengthPrefix, 3);
    sha1.addData(packets.constData() + primary.bodyOffset, static_cast<int>(primary.bodyLength));
    m_fingerprint = sha1.result();
    m_status = Status::Valid;
}

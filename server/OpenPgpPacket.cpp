#include "OpenPgpPacket.h"

OpenPgpPacket::Parse OpenPgpPacket::read(const char* data, qint64 size, OpenPgpPacket* packet)
{
    const auto byte = [data](qint64 i) { return qint64(static_cast<quint8>(data[i])); };
    if (size < 1)
        return Parse::Short;
    const qint64 head = byte(0);
    if (!(head & 0x80))
        return Parse::Invalid;
    packet->length = Length::Definite;
    if (head & 0x40) {
        packet->tag = int(head & 0x3f);
        if (size < 2)
            return Parse::Short;
        const qint64 first = byte(1);
        if (first < 192) {
            packet->headerSize = 2;
            packet->bodyLength = first;
        } else if (first < 224) {
            if (size < 3)
                return Parse::Short;
            packet->headerSize = 3;
            packet->bodyLength = ((first - 192) << 8) + byte(2) + 192;
        } else if (first < 255) {
            packet->headerSize = 2;
            packet->bodyLength = qint64(1) << (first & 0x1f);
            packet->length = Length::Partial;
        } else {
            if (size < 6)
                return Parse::Short;
            packet->headerSize = 6;
            packet->bodyLength = (byte(2) << 24) | (byte(3) << 16) | (byte(4) << 8) | byte(5);
        }
        return Parse::Ok;
    }
    packet->tag = int((head >> 2) & 0x0f);
    const int lengthBytes = (head & 0x03) == 3 ? 0 : 1 << (head & 0x03);
    if (lengthBytes == 0) {
        packet->headerSize = 1;
        packet->bodyLength = 0;
        packet->length = Length::Indeterminate;
        return Parse::Ok;
    }
    if (size < 1 + lengthBytes)
        return Parse::Short;
    packet->headerSize = 1 + lengthBytes;
    packet->bodyLength = 0;
    for (int i = 1; i <= lengthBytes; ++i)
        packet->bodyLength = (packet->bodyLength << 8) | byte(i);
    return Parse::Ok;
}

OpenPgpPacket::Message OpenPgpPacket::checkMessageHead(const QByteArray& head, bool wholeFile)
{
    enum Tag
    {
        PublicKeySessionKey = 1,
        SymmetricSessionKey = 3,
        SymmetricData = 9,
        ProtectedData = 18,
        AeadData = 20
    };
    qint64 pos = 0;
    int sessionKeys = 0;
    while (pos < head.size()) {
        OpenPgpPacket packet;
        const Parse parse = read(head.constData() + pos, head.size() - pos, &packet);
        if (parse == Parse::Invalid)
            return Message::NotEncrypted;
        if (parse == Parse::Short)
            break;
        if (packet.tag == SymmetricData || packet.tag == ProtectedData || packet.tag == AeadData)
            return sessionKeys > 0 ? Message::Encrypted : Message::NotEncrypted;
        if ((packet.tag != PublicKeySessionKey && packet.tag != SymmetricSessionKey)
            || packet.length != Length::Definite)
            return Message::NotEncrypted;
        pos += packet.headerSize + packet.bodyLength;
        ++sessionKeys;
    }
    return wholeFile || head.size() >= maxHeadBytes ? Message::NotEncrypted : Message::Undecided;
}

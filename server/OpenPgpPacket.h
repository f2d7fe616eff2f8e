#pragma once

#include <QByteArray>

// The header of one OpenPGP packet (RFC 4880, section 4.2), old or new format.
struct OpenPgpPacket
{
    enum class Length
    {
        Definite,
        Partial, // new format: bodyLength is the first part's; more parts follow (streamed data)
        Indeterminate // old format: the body runs to the end of the data
    };
    enum class Parse
    {
        Ok,
        Short, // the header goes on beyond size
        Invalid
    };

    int tag = 0;
    Length length = Length::Definite;
    qint64 headerSize = 0;
    qint64 bodyLength = 0;

    // Reads the header that starts at data; size is how many bytes are there.
    static Parse read(const char* data, qint64 size, OpenPgpPacket* packet);

    enum class Message
    {
        Undecided, // too few bytes yet
        Encrypted,
        NotEncrypted
    };
    // Bytes of a message that decide what it begins with: session key packets for a few hundred
    // recipients fit in here.
    static constexpr int maxHeadBytes = 64 * 1024;
    // Whether head, the first bytes of a file (all of it if shorter), begins like an encrypted
    // message: one or more session key packets, then the encrypted data packet.
    static Message checkMessageHead(const QByteArray& head, bool wholeFile);
};

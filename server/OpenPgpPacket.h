#pragma once

#include <QtGlobal>

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
};

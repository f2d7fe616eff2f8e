#pragma once

#include "BlobStore.h"
#include "OpenPgpPacket.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

// Receives the parts of one "/upload-container" form as they stream in: the "container" part goes
// straight into a new blob (never whole into memory) while its first packets are checked to be an
// encrypted OpenPGP message and its last 21 bytes, the trailer, are kept; the "uid" part names the
// uploader. Anything else is read and dropped within a small allowance. Reading stops at the first
// thing wrong.
class UploadSession
{
public:
    enum class Result
    {
        Complete,
        Malformed, // missing or repeated part, bad uid, oversized extra parts
        TooLarge, // the container passed the limit
        NotAContainer, // the container does not begin like an encrypted OpenPGP message
        DiskFull,
        StorageFailed
    };

    UploadSession(BlobStore& blobs, qint64 maxContainerBytes);

    // Called at the start of every part; false stops reading.
    bool beginPart(const std::string& name);
    // Called with every piece of the current part's body; false stops reading.
    bool data(const char* bytes, std::size_t size);

    Result result() const;
    // The uploader's installation id, 16 RFC 4122 bytes; empty unless the uid part is a UUID.
    QByteArray uploader() const { return installationFrom(m_uidText); }
    // The installation id that text names as the client sends it (a UUID, braced or not) in RFC 4122
    // bytes; empty if it names none.
    static QByteArray installationFrom(const QByteArray& text);
    QByteArray trailer() const { return m_trailer; }
    qint64 containerBytes() const { return m_containerBytes; }
    std::unique_ptr<BlobStore::Writer> takeBlob() { return std::move(m_blob); }

private:
    enum class Part
    {
        None,
        Container,
        Uid,
        Other
    };
    bool fail(Result result);

    BlobStore& m_blobs;
    qint64 m_maxContainerBytes;
    std::unique_ptr<BlobStore::Writer> m_blob;
    Part m_part = Part::None;
    bool m_sawContainer = false;
    bool m_sawUid = false;
    Result m_failure = Result::Complete;
    OpenPgpPacket::Message m_head = OpenPgpPacket::Message::Undecided;
    qint64 m_containerBytes = 0;
    qint64 m_otherBytes = 0;
    QByteArray m_headBytes;
    QByteArray m_trailer;
    QByteArray m_uidText;
};

#pragma once

#include "BlobStore.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Receives the parts of one "/upload-container" form as they stream in: the "container" part goes
// straight into a new blob (never whole into memory) while its last 21 bytes, the trailer, are kept;
// the "uid" part names the uploader. Anything else is read and dropped within a small allowance.
class UploadSession
{
public:
    enum class Result
    {
        Complete,
        Malformed, // missing or repeated part, bad uid, oversized extra parts
        TooLarge, // the container exceeded the limit; the rest was drained and dropped
        StorageFailed
    };

    UploadSession(BlobStore& blobs, qint64 maxContainerBytes);

    // Called at the start of every part; false stops reading.
    bool beginPart(const std::string& name);
    // Called with every piece of the current part's body; false stops reading.
    bool data(const char* bytes, std::size_t size);

    Result result() const;
    // The uploader's installation id, 16 RFC 4122 bytes; empty unless the uid part is a UUID.
    QByteArray uploader() const;
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

    BlobStore& m_blobs;
    qint64 m_maxContainerBytes;
    std::unique_ptr<BlobStore::Writer> m_blob;
    Part m_part = Part::None;
    bool m_sawContainer = false;
    bool m_sawUid = false;
    bool m_malformed = false;
    bool m_tooLarge = false;
    bool m_storageFailed = false;
    qint64 m_containerBytes = 0;
    qint64 m_otherBytes = 0;
    QByteArray m_trailer;
    QByteArray m_uidText;
};

#pragma once

#include "BlobStore.h"
#include "MetadataStore.h"
#include "OpenPgpPacket.h"

#include <memory>

// Receives the body of one PATCH to a resumable upload: appends it to the upload's partial blob,
// which it holds locked, never past the declared length, and checks while the first bytes arrive
// that they begin an encrypted OpenPGP message. Reading stops at the first thing wrong; what was
// appended before stays.
class UploadAppend
{
public:
    enum class Result
    {
        Ok,
        TooLarge, // the body went past the declared length
        NotAContainer,
        DiskFull,
        StorageFailed
    };

    UploadAppend(const StoredUpload& upload, std::unique_ptr<BlobStore::Partial> blob);

    // Called with every piece of the body; false stops reading.
    bool data(const char* bytes, std::size_t size);

    Result result() const { return m_failure; }
    const StoredUpload& upload() const { return m_upload; }
    BlobStore::Partial& blob() { return *m_blob; }
    std::unique_ptr<BlobStore::Partial> takeBlob() { return std::move(m_blob); }
    qint64 remaining() const { return m_upload.length - m_blob->size(); }
    qint64 received() const { return m_received; }
    // Once every byte is in: whether they begin an encrypted message.
    bool isEncryptedMessage() const;

private:
    bool fail(Result result);

    StoredUpload m_upload;
    std::unique_ptr<BlobStore::Partial> m_blob;
    QByteArray m_head; // the first bytes, until they decide
    OpenPgpPacket::Message m_message = OpenPgpPacket::Message::Undecided;
    Result m_failure = Result::Ok;
    qint64 m_received = 0;
};

#include "UploadAppend.h"

#include <cerrno>

UploadAppend::UploadAppend(const StoredUpload& upload, std::unique_ptr<BlobStore::Partial> blob)
    : m_upload(upload)
    , m_blob(std::move(blob))
{
    // An earlier PATCH may have stopped before the first bytes decided.
    const qint64 stored = qMin<qint64>(m_blob->size(), OpenPgpPacket::maxHeadBytes);
    m_head.resize(int(stored));
    if (stored > 0 && m_blob->read(0, m_head.data(), stored) != stored)
        fail(Result::StorageFailed);
    else if (stored > 0)
        m_message = OpenPgpPacket::checkMessageHead(m_head, false);
}

bool UploadAppend::fail(Result result)
{
    if (m_failure == Result::Ok)
        m_failure = result;
    return false;
}

bool UploadAppend::data(const char* bytes, std::size_t size)
{
    if (m_failure != Result::Ok)
        return false;
    if (qint64(size) > remaining())
        return fail(Result::TooLarge);
    if (m_message == OpenPgpPacket::Message::Undecided) {
        m_head.append(bytes, int(qMin<std::size_t>(size, OpenPgpPacket::maxHeadBytes - m_head.size())));
        m_message = OpenPgpPacket::checkMessageHead(m_head, false);
        if (m_message == OpenPgpPacket::Message::NotEncrypted)
            return fail(Result::NotAContainer);
    }
    if (!m_blob->write(bytes, size))
        return fail(m_blob->error() == ENOSPC || m_blob->error() == EDQUOT ? Result::DiskFull
                                                                           : Result::StorageFailed);
    m_received += qint64(size);
    return true;
}

bool UploadAppend::isEncryptedMessage() const
{
    return m_message == OpenPgpPacket::Message::Encrypted
        || (m_message == OpenPgpPacket::Message::Undecided
            && OpenPgpPacket::checkMessageHead(m_head, true) == OpenPgpPacket::Message::Encrypted);
}

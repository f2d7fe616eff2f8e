#include "UploadSession.h"

#include <QRegularExpression>
#include <QUuid>

#include <cerrno>

namespace {
constexpr int trailerSize = 21;
constexpr int maxUidText = 64;
constexpr qint64 maxOtherBytes = 64 * 1024;
} // namespace

UploadSession::UploadSession(BlobStore& blobs, qint64 maxContainerBytes)
    : m_blobs(blobs)
    , m_maxContainerBytes(maxContainerBytes)
{
}

bool UploadSession::fail(Result result)
{
    if (m_failure == Result::Complete)
        m_failure = result;
    m_blob.reset();
    return false;
}

bool UploadSession::beginPart(const std::string& name)
{
    if (name == "container") {
        if (m_sawContainer)
            return fail(Result::Malformed);
        m_sawContainer = true;
        m_part = Part::Container;
        QString error;
        m_blob = m_blobs.create(&error);
        if (!m_blob)
            return fail(Result::StorageFailed);
    } else if (name == "uid") {
        if (m_sawUid)
            return fail(Result::Malformed);
        m_sawUid = true;
        m_part = Part::Uid;
    } else {
        m_part = Part::Other;
    }
    return true;
}

bool UploadSession::data(const char* bytes, std::size_t size)
{
    switch (m_part) {
    case Part::Container:
        m_containerBytes += static_cast<qint64>(size);
        if (m_containerBytes > m_maxContainerBytes)
            return fail(Result::TooLarge);
        if (m_head == OpenPgpPacket::Message::Undecided) {
            m_headBytes.append(
                bytes, int(qMin<std::size_t>(size, OpenPgpPacket::maxHeadBytes - m_headBytes.size())));
            m_head = OpenPgpPacket::checkMessageHead(m_headBytes, false);
            if (m_head == OpenPgpPacket::Message::NotEncrypted)
                return fail(Result::NotAContainer);
        }
        if (size >= static_cast<std::size_t>(trailerSize)) {
            m_trailer = QByteArray(bytes + size - trailerSize, trailerSize);
        } else {
            m_trailer.append(bytes, static_cast<int>(size));
            m_trailer.remove(0, qMax(0, m_trailer.size() - trailerSize));
        }
        if (!m_blob->write(bytes, size))
            return fail(m_blob->error() == ENOSPC || m_blob->error() == EDQUOT ? Result::DiskFull
                                                                               : Result::StorageFailed);
        return true;
    case Part::Uid:
        m_uidText.append(bytes, static_cast<int>(size));
        return m_uidText.size() <= maxUidText || fail(Result::Malformed);
    case Part::Other:
        m_otherBytes += static_cast<qint64>(size);
        return m_otherBytes <= maxOtherBytes || fail(Result::Malformed);
    case Part::None:
        break;
    }
    return fail(Result::Malformed);
}

QByteArray UploadSession::installationFrom(const QByteArray& uid)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\{?[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\}?$"));
    if (uid.size() > maxUidText)
        return QByteArray();
    const QString text = QString::fromLatin1(uid.trimmed());
    if (!pattern.match(text).hasMatch()
        || text.startsWith(QLatin1Char('{')) != text.endsWith(QLatin1Char('}')))
        return QByteArray();
    return QUuid::fromString(text).toRfc4122();
}

UploadSession::Result UploadSession::result() const
{
    if (m_failure != Result::Complete)
        return m_failure;
    if (!m_sawContainer || !m_sawUid || uploader().isEmpty())
        return Result::Malformed;
    return m_head == OpenPgpPacket::Message::Encrypted ? Result::Complete : Result::NotAContainer;
}

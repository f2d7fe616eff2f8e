#include "UploadSession.h"

#include "OpenPgpPacket.h"

#include <QRegularExpression>
#include <QUuid>

#include <cerrno>

namespace {
constexpr int trailerSize = 21;
constexpr int maxUidText = 64;
constexpr qint64 maxOtherBytes = 64 * 1024;
// Session key packets for a few hundred recipients fit in here.
constexpr int maxHeadBytes = 64 * 1024;

enum Tag
{
    PublicKeySessionKey = 1,
    SymmetricSessionKey = 3,
    SymmetricData = 9,
    ProtectedData = 18,
    AeadData = 20
};
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

// An encrypted message starts with one or more session key packets and then the encrypted data
// packet; nothing else may come first.
UploadSession::Head UploadSession::checkHead()
{
    qint64 pos = 0;
    int sessionKeys = 0;
    while (pos < m_headBytes.size()) {
        OpenPgpPacket packet;
        const OpenPgpPacket::Parse parse
            = OpenPgpPacket::read(m_headBytes.constData() + pos, m_headBytes.size() - pos, &packet);
        if (parse == OpenPgpPacket::Parse::Invalid)
            return Head::NotEncrypted;
        if (parse == OpenPgpPacket::Parse::Short)
            break;
        if (packet.tag == SymmetricData || packet.tag == ProtectedData || packet.tag == AeadData)
            return sessionKeys > 0 ? Head::Encrypted : Head::NotEncrypted;
        if ((packet.tag != PublicKeySessionKey && packet.tag != SymmetricSessionKey)
            || packet.length != OpenPgpPacket::Length::Definite)
            return Head::NotEncrypted;
        pos += packet.headerSize + packet.bodyLength;
        ++sessionKeys;
    }
    return m_headBytes.size() >= maxHeadBytes ? Head::NotEncrypted : Head::Undecided;
}

bool UploadSession::data(const char* bytes, std::size_t size)
{
    switch (m_part) {
    case Part::Container:
        m_containerBytes += static_cast<qint64>(size);
        if (m_containerBytes > m_maxContainerBytes)
            return fail(Result::TooLarge);
        if (m_head == Head::Undecided) {
            m_headBytes.append(bytes, int(qMin<std::size_t>(size, maxHeadBytes - m_headBytes.size())));
            m_head = checkHead();
            if (m_head == Head::NotEncrypted)
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

QByteArray UploadSession::uploader() const
{
    // The client sends the braced form; the bare form is accepted too.
    static const QRegularExpression pattern(QStringLiteral(
        "^\\{?[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}\\}?$"));
    const QString text = QString::fromLatin1(m_uidText.trimmed());
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
    return m_head == Head::Encrypted ? Result::Complete : Result::NotAContainer;
}

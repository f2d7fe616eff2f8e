#include "UploadSession.h"

#include <QRegularExpression>
#include <QUuid>

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

bool UploadSession::beginPart(const std::string& name)
{
    if (name == "container") {
        if (m_sawContainer) {
            m_malformed = true;
            return false;
        }
        m_sawContainer = true;
        m_part = Part::Container;
        QString error;
        m_blob = m_blobs.create(&error);
        if (!m_blob) {
            m_storageFailed = true;
            return false;
        }
    } else if (name == "uid") {
        if (m_sawUid) {
            m_malformed = true;
            return false;
        }
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
        if (size >= static_cast<std::size_t>(trailerSize)) {
            m_trailer = QByteArray(bytes + size - trailerSize, trailerSize);
        } else {
            m_trailer.append(bytes, static_cast<int>(size));
            if (m_trailer.size() > trailerSize)
                m_trailer.remove(0, m_trailer.size() - trailerSize);
        }
        if (m_containerBytes > m_maxContainerBytes) {
            // Keep reading without storing, so the client gets to read the refusal.
            m_tooLarge = true;
            m_blob.reset();
            return true;
        }
        if (!m_blob->write(bytes, size)) {
            m_storageFailed = true;
            m_blob.reset();
            return false;
        }
        return true;
    case Part::Uid:
        m_uidText.append(bytes, static_cast<int>(size));
        if (m_uidText.size() > maxUidText) {
            m_malformed = true;
            return false;
        }
        return true;
    case Part::Other:
        m_otherBytes += static_cast<qint64>(size);
        if (m_otherBytes > maxOtherBytes) {
            m_malformed = true;
            return false;
        }
        return true;
    case Part::None:
        break;
    }
    m_malformed = true;
    return false;
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
    if (m_storageFailed)
        return Result::StorageFailed;
    if (m_malformed || !m_sawContainer || !m_sawUid || uploader().isEmpty())
        return Result::Malformed;
    if (m_tooLarge)
        return Result::TooLarge;
    return Result::Complete;
}

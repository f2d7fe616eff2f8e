#include "RelayApi.h"

#include "OpenPgpKey.h"
#include "ServerOptions.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <openssl/rand.h>

#include <arpa/inet.h>
#include <cmath>
#include <limits>

namespace {
constexpr char prefixVersion = 0x03;
constexpr int prefixSize = 17;
constexpr int trailerSize = 21; // 20 fingerprint bytes and the method byte
constexpr char methodPublicKey = 1;
constexpr char methodPassword = 2;

ApiReply json(const QJsonDocument& document, const QString& outcome = QStringLiteral("ok"))
{
    return ApiReply {200, document.toJson(QJsonDocument::Compact), outcome};
}

ApiReply json(const QJsonObject& object, const QString& outcome = QStringLiteral("ok"))
{
    return json(QJsonDocument(object), outcome);
}

ApiReply refusal(const QString& message, const QString& outcome)
{
    return RelayApi::error(200, message, QStringLiteral("refused-") + outcome);
}

ApiReply success()
{
    return json(QJsonObject {{QStringLiteral("success"), true}});
}

ApiReply storageFailure()
{
    return RelayApi::error(200,
                           QStringLiteral("The server could not save your request. Please try again later."),
                           QStringLiteral("failed-storage"));
}

quint32 randomNumber()
{
    quint32 value = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1)
        qFatal("tessary-server: the random number generator failed");
    return value;
}

// Key ids are what users type and tell each other: nine digits, never starting with 0, random so
// that one id says nothing about the others.
QString newKeyId()
{
    return QString::number(100000000u + randomNumber() % 900000000u);
}

qint32 newFileId()
{
    qint32 id = 0;
    while (id == 0)
        id = static_cast<qint32>(randomNumber() & 0x7fffffffu);
    return id;
}

bool isDigits(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The positive int32 that a JSON number or decimal text names, or 0.
qint32 fileIdFrom(double value)
{
    if (!std::isfinite(value) || value < 1 || value > 2147483647.0 || std::floor(value) != value)
        return 0;
    return static_cast<qint32>(value);
}

qint32 fileIdFrom(const QByteArray& digits)
{
    if (!isDigits(digits) || digits.size() > 10)
        return 0;
    const qint64 value = digits.toLongLong();
    return value >= 1 && value <= 2147483647 ? static_cast<qint32>(value) : 0;
}

QString unknownKey(const QByteArray& digits)
{
    return QStringLiteral("No key with the ID %1 is registered on this server. Please check the ID.")
        .arg(QString::fromLatin1(digits));
}
} // namespace

RelayApi::RelayApi(MetadataStore& metadata, BlobStore& blobs, const RelayLimits& limits,
                   std::function<qint64()> clock)
    : m_metadata(metadata)
    , m_blobs(blobs)
    , m_limits(limits)
    , m_clock(std::move(clock))
{
}

qint64 RelayApi::now() const
{
    return m_clock ? m_clock() : QDateTime::currentSecsSinceEpoch();
}

bool RelayApi::isEndpoint(const QString& name)
{
    static const QSet<QString> endpoints {
        QStringLiteral("upload-pubkey"),   QStringLiteral("attach-key"),
        QStringLiteral("download-pubkey"), QStringLiteral("can-upload"),
        QStringLiteral("check-new-files"), QStringLiteral("download-complete"),
        QStringLiteral("check-delivered"), QStringLiteral("send-feedback"),
    };
    return endpoints.contains(name);
}

ApiReply RelayApi::error(int status, const QString& message, const QString& outcome)
{
    return ApiReply {
        status,
        QJsonDocument(QJsonObject {{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact),
        outcome};
}

ApiReply RelayApi::malformed(const QString& what)
{
    return error(400,
                 QStringLiteral("The server does not understand this request. Please update the program."),
                 QStringLiteral("malformed-") + what);
}

ApiReply RelayApi::uploadTooLarge() const
{
    return error(413,
                 QStringLiteral("The files are too large to send: this server accepts up to %1 at a time.")
                     .arg(ServerOptions::formatSize(m_limits.maxContainerBytes)),
                 QStringLiteral("refused-too-large"));
}

ApiReply RelayApi::notAContainer()
{
    return error(400, QStringLiteral("The file to send is not an encrypted container."),
                 QStringLiteral("refused-not-encrypted"));
}

ApiReply RelayApi::diskFull()
{
    return error(507, QStringLiteral("The server has run out of disk space. Please try again later."),
                 QStringLiteral("failed-disk-full"));
}

QString RelayApi::originOf(const QString& address)
{
    in6_addr v6 {};
    const QByteArray text = address.toLatin1();
    if (::inet_pton(AF_INET6, text.constData(), &v6) != 1)
        return address;
    char out[INET6_ADDRSTRLEN] = {};
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return QString::fromLatin1(::inet_ntop(AF_INET, v6.s6_addr + 12, out, sizeof out));
    // One subscriber usually has a whole /64 to pick addresses from.
    std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
    return QString::fromLatin1(::inet_ntop(AF_INET6, &v6, out, sizeof out)) + QStringLiteral("/64");
}

ApiReply RelayApi::call(const QString& endpoint, const QByteArray& body, const QString& address,
                        QByteArray* caller)
{
    if (body.size() < prefixSize || body.at(0) != prefixVersion)
        return malformed(QStringLiteral("prefix"));
    *caller = body.mid(1, 16);
    const QByteArray payload = body.mid(prefixSize);

    if (endpoint == QLatin1String("upload-pubkey"))
        return uploadPubKey(*caller, payload, originOf(address));
    if (endpoint == QLatin1String("attach-key"))
        return attachKey(*caller, payload, originOf(address));
    if (endpoint == QLatin1String("download-pubkey"))
        return downloadPubKey(payload);
    if (endpoint == QLatin1String("can-upload"))
        return canUpload(*caller, payload);
    if (endpoint == QLatin1String("check-new-files"))
        return checkNewFiles(*caller, payload);
    if (endpoint == QLatin1String("download-complete"))
        return downloadComplete(*caller, payload);
    if (endpoint == QLatin1String("check-delivered"))
        return checkDelivered(*caller, payload);
    if (endpoint == QLatin1String("send-feedback"))
        return sendFeedback(*caller, payload, originOf(address));
    return error(404, QStringLiteral("The server has no such function."), QStringLiteral("unknown-endpoint"));
}

ApiReply RelayApi::emptyCall(const QString& endpoint) const
{
    // Only "/download-pubkey" can come out empty (a key id without any digit); the others always
    // carry a body, so an empty one means an outdated or broken client.
    if (endpoint == QLatin1String("download-pubkey"))
        return refusal(QStringLiteral("Please enter the contact's ID: it is a number."),
                       QStringLiteral("no-key-id"));
    return refusal(QStringLiteral("The request arrived empty. Please try again or update the program."),
                   QStringLiteral("empty"));
}

ApiReply RelayApi::admit(const QByteArray& caller, const QString& origin)
{
    switch (m_metadata.admitInstallation(caller, origin, now(), m_limits.installationsPerHour)) {
    case MetadataStore::Result::TooMany:
        return refusal(
            QStringLiteral("Too many new installations have come from your network in the past hour. "
                           "Please try again later."),
            QStringLiteral("installations"));
    case MetadataStore::Result::Known:
    case MetadataStore::Result::Done:
        return ApiReply {200, QByteArray(), QString()};
    default:
        return storageFailure();
    }
}

ApiReply RelayApi::uploadPubKey(const QByteArray& caller, const QByteArray& body, const QString& origin)
{
    if (body.size() <= 36)
        return malformed(QStringLiteral("upload-pubkey"));
    const QByteArray digest = body.left(16);
    const QByteArray fingerprint = body.mid(16, 20);
    const QByteArray keyData = body.mid(36);

    if (keyData.size() > m_limits.maxKeyBytes)
        return refusal(QStringLiteral("This key is too large: the server accepts keys of up to %1.")
                           .arg(ServerOptions::formatSize(m_limits.maxKeyBytes)),
                       QStringLiteral("key-size"));
    if (QCryptographicHash::hash(keyData, QCryptographicHash::Md5) != digest)
        return refusal(QStringLiteral("Your key was damaged on the way to the server. Please try again."),
                       QStringLiteral("md5"));
    const OpenPgpKey key(keyData);
    const QString newPair = QStringLiteral(" Please create a new key pair.");
    switch (key.status()) {
    case OpenPgpKey::Status::Valid:
        break;
    case OpenPgpKey::Status::SecretKey:
        return refusal(
            QStringLiteral("This is a secret key. Only the public half of a key may be sent to the server."),
            QStringLiteral("secret-key"));
    case OpenPgpKey::Status::NotOpenPgp:
        return refusal(QStringLiteral("This is not an OpenPGP public key."), QStringLiteral("not-a-key"));
    case OpenPgpKey::Status::SeveralKeys:
        return refusal(QStringLiteral("These are several keys. Please send one public key at a time."),
                       QStringLiteral("several-keys"));
    case OpenPgpKey::Status::TrailingData:
        return refusal(QStringLiteral("The key is followed by data that does not belong to it."),
                       QStringLiteral("trailing-data"));
    case OpenPgpKey::Status::Unsupported:
        return refusal(QStringLiteral("This kind of key is not supported.") + newPair,
                       QStringLiteral("key-kind"));
    case OpenPgpKey::Status::NoUserId:
        return refusal(QStringLiteral("The key has no user ID.") + newPair, QStringLiteral("no-user-id"));
    case OpenPgpKey::Status::NoSelfSignature:
        return refusal(QStringLiteral("The key's user ID is not signed by the key itself.") + newPair,
                       QStringLiteral("no-self-signature"));
    case OpenPgpKey::Status::NoEncryptionKey:
        return refusal(QStringLiteral("The key cannot be used to encrypt files.") + newPair,
                       QStringLiteral("no-encryption-key"));
    }
    if (key.fingerprint() != fingerprint)
        return refusal(QStringLiteral("The fingerprint sent does not belong to this key."),
                       QStringLiteral("fingerprint"));
    const QString ownedByOther = QStringLiteral("This key is already registered by another installation.");
    // Asked before a new installation is counted; registerKey asks again, as one step with the insert.
    if (const std::optional<StoredKey> known = m_metadata.keyByFingerprint(fingerprint);
        known && known->installation != caller)
        return refusal(ownedByOther, QStringLiteral("key-owned"));
    if (const ApiReply refused = admit(caller, origin); !refused.outcome.isEmpty())
        return refused;

    QString keyId;
    switch (m_metadata.registerKey(caller, fingerprint, keyData, now(), m_limits.keysPerInstallation,
                                   newKeyId, &keyId)) {
    case MetadataStore::Result::Done:
        return json(QJsonObject {{QStringLiteral("keyId"), keyId}}, QStringLiteral("registered"));
    case MetadataStore::Result::AlreadyRegistered:
        return json(QJsonObject {{QStringLiteral("keyId"), keyId}}, QStringLiteral("re-registered"));
    case MetadataStore::Result::OwnedByOther:
        return refusal(ownedByOther, QStringLiteral("key-owned"));
    case MetadataStore::Result::TooMany:
        return refusal(
            QStringLiteral(
                "This installation may register no more keys: the server keeps %1 for one installation.")
                .arg(m_limits.keysPerInstallation),
            QStringLiteral("keys"));
    default:
        return storageFailure();
    }
}

ApiReply RelayApi::attachKey(const QByteArray& caller, const QByteArray& body, const QString& origin)
{
    if (body.isEmpty())
        return malformed(QStringLiteral("attach-key"));
    const int digitCount = static_cast<quint8>(body.at(0));
    const QByteArray digits = body.mid(1, digitCount);
    if (digitCount == 0 || digits.size() != digitCount || !isDigits(digits))
        return malformed(QStringLiteral("attach-key"));
    const QByteArray titleBytes = body.mid(1 + digitCount);
    if (titleBytes.size() > m_limits.maxTitleBytes)
        return refusal(
            QStringLiteral("This title is too long: the server keeps titles of up to %1 bytes. Please "
                           "choose a shorter one.")
                .arg(m_limits.maxTitleBytes),
            QStringLiteral("title-size"));

    const std::optional<StoredKey> key = m_metadata.keyById(QString::fromLatin1(digits));
    if (!key)
        return refusal(unknownKey(digits), QStringLiteral("unknown-key"));
    if (const ApiReply refused = admit(caller, origin); !refused.outcome.isEmpty())
        return refused;
    switch (m_metadata.attachContact(caller, key->keyId, QString::fromUtf8(titleBytes), now(),
                                     m_limits.contactsPerInstallation)) {
    case MetadataStore::Result::Done:
        return json(QJsonObject {{QStringLiteral("keyId"), key->keyId}});
    case MetadataStore::Result::TooMany:
        return refusal(
            QStringLiteral("You may add no more contacts: the server keeps %1 for one installation.")
                .arg(m_limits.contactsPerInstallation),
            QStringLiteral("contacts"));
    default:
        return storageFailure();
    }
}

ApiReply RelayApi::downloadPubKey(const QByteArray& body)
{
    if (!isDigits(body))
        return malformed(QStringLiteral("download-pubkey"));
    const std::optional<StoredKey> key = m_metadata.keyById(QString::fromLatin1(body));
    if (!key)
        return refusal(unknownKey(body), QStringLiteral("unknown-key"));
    return json(QJsonObject {
        {QStringLiteral("keyId"), key->keyId},
        {QStringLiteral("fpr"), QString::fromLatin1(key->fingerprint.toHex().toUpper())},
        {QStringLiteral("keyData"), QString::fromLatin1(key->keyData.toBase64())},
    });
}

ApiReply RelayApi::refusalFor(const QByteArray& uploader, qint64 size, bool alreadyOnDisk)
{
    if (size > m_limits.maxContainerBytes) {
        ApiReply refused = uploadTooLarge();
        refused.status = 200;
        return refused;
    }
    if (m_metadata.latestKeyIdOf(uploader).isEmpty())
        return refusal(
            QStringLiteral("Your own key is not registered on this server yet, so files cannot be sent."),
            QStringLiteral("no-own-key"));
    if (m_metadata.waitingBytesOf(uploader) + size > m_limits.quotaBytes)
        return overQuota(uploader);
    const qint64 free = m_blobs.freeSpace();
    if (free >= 0 && free - (alreadyOnDisk ? 0 : size) < m_limits.reserveBytes)
        return refusal(QStringLiteral("The server is short of disk space. Please try again later."),
                       QStringLiteral("disk"));
    return ApiReply {200, QByteArray(), QString()};
}

ApiReply RelayApi::overQuota(const QByteArray& uploader)
{
    return refusal(QStringLiteral("You have %1 of files on the server that have not been collected yet, and "
                                  "the limit is %2. Please wait until your contacts have collected them.")
                       .arg(ServerOptions::formatSize(m_metadata.waitingBytesOf(uploader)),
                            ServerOptions::formatSize(m_limits.quotaBytes)),
                   QStringLiteral("quota"));
}

ApiReply RelayApi::canUpload(const QByteArray& caller, const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue size = document.object().value(QStringLiteral("size"));
    const double value = size.toDouble(-1);
    if (!document.isObject() || !size.isDouble() || value < 1 || value > 9.0e15 || std::floor(value) != value)
        return malformed(QStringLiteral("can-upload"));
    ApiReply reply = refusalFor(caller, static_cast<qint64>(value), false);
    return reply.outcome.isEmpty() ? success() : reply;
}

ApiReply RelayApi::checkUploadLength(qint64 contentLength)
{
    // Part headers and the uid take a few hundred bytes; anything far beyond the largest container
    // cannot be one.
    if (contentLength > m_limits.maxContainerBytes + 64 * 1024)
        return uploadTooLarge();
    const qint64 free = m_blobs.freeSpace();
    if (contentLength > 0 && free >= 0 && free - contentLength < m_limits.reserveBytes)
        return error(507, QStringLiteral("The server is short of disk space. Please try again later."),
                     QStringLiteral("refused-disk"));
    return ApiReply {200, QByteArray(), QString()};
}

ApiReply RelayApi::finishUpload(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                                const QByteArray& trailer)
{
    const QString password = QStringLiteral("Files locked with a password cannot be sent through the server. "
                                            "Please send them to a contact instead.");
    if (!trailer.isEmpty() && trailer.back() == methodPassword)
        return refusal(password, QStringLiteral("method"));
    if (blob->size() < trailerSize + 1 || trailer.size() != trailerSize)
        return refusal(QStringLiteral("The file to send is damaged: it is too short."),
                       QStringLiteral("short"));
    if (trailer.back() != methodPublicKey)
        return refusal(QStringLiteral("The file to send is damaged: its kind of encryption is unknown."),
                       QStringLiteral("method"));

    const std::optional<StoredKey> recipientKey = m_metadata.keyByFingerprint(trailer.left(20));
    if (!recipientKey)
        return refusal(QStringLiteral("The recipient's key is not registered on this server."),
                       QStringLiteral("unknown-recipient"));

    const ApiReply refused = refusalFor(uploader, blob->size(), true);
    if (!refused.outcome.isEmpty())
        return refused;
    StoredContainer container;
    container.uploader = uploader;
    container.recipient = recipientKey->installation;
    container.uploaderKeyId = m_metadata.latestKeyIdOf(uploader);
    container.size = blob->size();
    container.createdAt = now();
    // Checked again as one step with the reservation: another upload, here or on another server,
    // may have taken the room since.
    MetadataStore::ContainerLimits limits;
    limits.quotaBytes = m_limits.quotaBytes;
    limits.perRecipient = m_limits.waitingPerRecipient;
    limits.perPair = m_limits.waitingPerPair;
    switch (m_metadata.reserveContainer(&container, limits, newFileId)) {
    case MetadataStore::Result::Done:
        break;
    case MetadataStore::Result::OverQuota:
        return overQuota(uploader);
    case MetadataStore::Result::PairFull:
        return refusal(
            QStringLiteral("The recipient has not collected the files you sent before, and the server "
                           "holds no more than %1 from one sender. Please wait until they have "
                           "collected some.")
                .arg(m_limits.waitingPerPair),
            QStringLiteral("pair-full"));
    case MetadataStore::Result::RecipientFull:
        return refusal(
            QStringLiteral("The recipient has as many files waiting as the server holds for one person "
                           "(%1). Please try again once they have collected some.")
                .arg(m_limits.waitingPerRecipient),
            QStringLiteral("recipient-full"));
    default:
        return storageFailure();
    }
    if (!blob->commit(container.fileId)) {
        m_metadata.removeContainer(container.fileId);
        return diskFull();
    }
    if (!m_metadata.changeState(container.fileId, ContainerState::Storing, ContainerState::Waiting, 0)) {
        m_blobs.remove(container.fileId);
        m_metadata.removeContainer(container.fileId);
        return storageFailure();
    }
    return json(QJsonObject {{QStringLiteral("fileId"), container.fileId}}, QStringLiteral("stored"));
}

std::unique_ptr<BlobStore::Reader> RelayApi::openWaiting(qint32 fileId)
{
    const std::optional<StoredContainer> container = m_metadata.container(fileId);
    if (!container || container->state != ContainerState::Waiting)
        return nullptr;
    return m_blobs.open(fileId);
}

ApiReply RelayApi::checkNewFiles(const QByteArray& caller, const QByteArray& body)
{
    if (body != "CHECK")
        return malformed(QStringLiteral("check-new-files"));
    QJsonArray list;
    const QVector<StoredContainer> waiting = m_metadata.waitingFor(caller);
    for (const StoredContainer& c : waiting) {
        list.append(QJsonObject {
            {QStringLiteral("fileId"), c.fileId},
            {QStringLiteral("fileSize"), double(c.size)},
            {QStringLiteral("uploaderKeyId"), c.uploaderKeyId},
        });
    }
    return json(QJsonDocument(list), QStringLiteral("listed-%1").arg(list.size()));
}

ApiReply RelayApi::downloadComplete(const QByteArray& caller, const QByteArray& body)
{
    if (body.size() < 2 || (body.at(0) != 0 && body.at(0) != 1))
        return malformed(QStringLiteral("download-complete"));
    const bool rejected = body.at(0) == 1;
    const qint32 fileId = fileIdFrom(body.mid(1));
    if (fileId == 0)
        return malformed(QStringLiteral("download-complete"));

    // The same answer whether the file does not exist or belongs to someone else: ids are no
    // secret, but whether one exists is nobody else's business.
    const std::optional<StoredContainer> container = m_metadata.container(fileId);
    if (!container || container->recipient != caller)
        return refusal(QStringLiteral("There is no file with the ID %1 for you.").arg(fileId),
                       QStringLiteral("not-recipient"));
    const ContainerState outcome = rejected ? ContainerState::Rejected : ContainerState::Taken;
    if (!m_metadata.changeState(fileId, ContainerState::Waiting, outcome, now()))
        return refusal(QStringLiteral("This file has already been collected or has expired."),
                       QStringLiteral("finished"));
    m_blobs.remove(fileId);
    return json(QJsonObject {{QStringLiteral("success"), true}},
                rejected ? QStringLiteral("rejected") : QStringLiteral("taken"));
}

ApiReply RelayApi::checkDelivered(const QByteArray& caller, const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isArray())
        return malformed(QStringLiteral("check-delivered"));
    QSet<qint32> asked;
    const QJsonArray requested = document.array();
    for (const QJsonValue& value : requested) {
        if (!value.isDouble())
            return malformed(QStringLiteral("check-delivered"));
        asked.insert(fileIdFrom(value.toDouble()));
    }

    // One query for all, whatever the number of ids asked about.
    QJsonArray delivered;
    const QVector<StoredContainer> finished = m_metadata.finishedFrom(caller);
    for (const StoredContainer& c : finished) {
        if (!asked.contains(c.fileId))
            continue;
        // An expired container never reached its recipient; for the sender that is a rejection.
        delivered.append(QJsonObject {
            {QStringLiteral("fileId"), c.fileId},
            {QStringLiteral("rejected"), c.state != ContainerState::Taken},
        });
    }
    return json(QJsonDocument(delivered), QStringLiteral("delivered-%1").arg(delivered.size()));
}

ApiReply RelayApi::sendFeedback(const QByteArray& caller, const QByteArray& body, const QString& origin)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return malformed(QStringLiteral("send-feedback"));
    const QJsonObject object = document.object();
    QString fields[3];
    const QString names[3] = {QStringLiteral("name"), QStringLiteral("email"), QStringLiteral("message")};
    qint64 bytes = 0;
    for (int i = 0; i < 3; ++i) {
        const QJsonValue value = object.value(names[i]);
        if (!value.isUndefined() && !value.isString())
            return malformed(QStringLiteral("send-feedback"));
        fields[i] = value.toString();
        bytes += fields[i].toUtf8().size();
    }
    if (bytes > m_limits.maxFeedbackBytes)
        return refusal(
            QStringLiteral("Your message is too long: the server accepts up to %1. Please shorten it.")
                .arg(ServerOptions::formatSize(m_limits.maxFeedbackBytes)),
            QStringLiteral("feedback-size"));
    if (const ApiReply refused = admit(caller, origin); !refused.outcome.isEmpty())
        return refused;
    switch (m_metadata.addFeedback(caller, fields[0], fields[1], fields[2], now(), m_limits.feedbackPerDay)) {
    case MetadataStore::Result::Done:
        return success();
    case MetadataStore::Result::TooMany:
        return refusal(QStringLiteral("You have sent as many messages today as the server accepts in a day "
                                      "(%1). Please try again tomorrow.")
                           .arg(m_limits.feedbackPerDay),
                       QStringLiteral("feedback-count"));
    default:
        return storageFailure();
    }
}

void RelayApi::recover()
{
    m_blobs.discardIncomplete();
    // Blobs before rows: a blob listed here was renamed into place after its row was reserved, so
    // the rows read next account for every one of them.
    const QVector<qint32> blobIds = m_blobs.list();
    for (qint32 id : m_metadata.removeUnfinished(now() - m_limits.unfinishedGraceSeconds))
        m_blobs.remove(id);
    const QVector<qint32> waitingIds = m_metadata.waitingSince(std::numeric_limits<qint64>::max());
    const QSet<qint32> waiting(waitingIds.begin(), waitingIds.end());
    const QSet<qint32> stored(blobIds.begin(), blobIds.end());
    // A blob whose row is gone or finished was being deleted when the server stopped; one whose row
    // is still being stored belongs to an upload in progress on another server.
    for (qint32 id : stored) {
        if (waiting.contains(id))
            continue;
        const std::optional<StoredContainer> row = m_metadata.container(id);
        if (!row || row->state != ContainerState::Storing)
            m_blobs.remove(id);
    }
    // A row whose blob is gone can never be delivered; its sender learns that as a rejection. The
    // blob may also have come after the listing, from another server.
    for (qint32 id : waiting) {
        if (!stored.contains(id) && !m_blobs.open(id))
            m_metadata.changeState(id, ContainerState::Waiting, ContainerState::Expired, now());
    }
}

void RelayApi::sweep()
{
    const qint64 t = now();
    const QVector<qint32> expired = m_metadata.waitingSince(t - m_limits.expirySeconds);
    for (qint32 id : expired) {
        if (m_metadata.changeState(id, ContainerState::Waiting, ContainerState::Expired, t))
            m_blobs.remove(id);
    }
    m_metadata.forgetFinished(t - m_limits.outcomeRetentionSeconds);
    m_metadata.forgetOrigins(t - 3600);
    if (m_limits.unfinishedGraceSeconds > 0) {
        for (qint32 id : m_metadata.removeUnfinished(t - m_limits.unfinishedGraceSeconds))
            m_blobs.remove(id);
    }
}

#include "RelayApi.h"

#include "OpenPgpKey.h"
#include "ServerOptions.h"
#include "UploadAppend.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QSet>

#include <openssl/rand.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
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
    return ApiReply {200, document.toJson(QJsonDocument::Compact), outcome, {}};
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

// Creation and the last PATCH of a resumable upload answer with an error status what
// "/upload-container" answers as a refusal with status 200: a tus tool must see the failure.
ApiReply asTus(ApiReply reply)
{
    if (reply.status == 200 && reply.outcome.startsWith(QLatin1String("refused-")))
        reply.status = 403;
    else if (reply.status == 200 && reply.outcome.startsWith(QLatin1String("failed-")))
        reply.status = 500;
    return reply;
}

ApiReply withHeader(ApiReply reply, const QByteArray& name, const QByteArray& value)
{
    reply.headers.emplace_back(name, value);
    return reply;
}

// An HTTP date, as Upload-Expires carries it.
QByteArray httpDate(qint64 secondsSinceEpoch)
{
    return QLocale::c()
        .toString(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC),
                  QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

QString newUploadId()
{
    QByteArray random(16, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(random.data()), random.size()) != 1)
        qFatal("tessary-server: the random number generator failed");
    return QString::fromLatin1(random.toHex());
}

// Upload-Metadata: "key value,key value", keys of visible ASCII, values Base64, a value may be
// left out. False if it is anything else.
bool parseMetadata(const QByteArray& text, QMap<QByteArray, QByteArray>* pairs)
{
    if (text.isEmpty())
        return true;
    for (const QByteArray& pair : text.split(',')) {
        const QList<QByteArray> parts = pair.trimmed().split(' ');
        const QByteArray& key = parts.first();
        if (parts.size() > 2 || key.isEmpty() || pairs->contains(key)
            || !std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 127; }))
            return false;
        const auto value
            = QByteArray::fromBase64Encoding(parts.value(1), QByteArray::AbortOnBase64DecodingErrors);
        if (!value)
            return false;
        pairs->insert(key, value.decoded);
    }
    return true;
}

// Another request appends to the upload; one whose connection broke is noticed within seconds.
ApiReply uploadBusy()
{
    return withHeader(RelayApi::error(423,
                                      QStringLiteral("The upload is still being received. Please try again "
                                                     "in a moment."),
                                      QStringLiteral("upload-busy")),
                      "Retry-After", "2");
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
        outcome,
        {}};
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

ApiReply RelayApi::storageFailed()
{
    return error(500, QStringLiteral("The server could not save the file. Please try again later."),
                 QStringLiteral("failed-storage"));
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
        return ApiReply();
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

ApiReply RelayApi::refusalFor(const QByteArray& uploader, qint64 size, bool alreadyOnDisk,
                              const QString& completing)
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
    if (m_metadata.waitingBytesOf(uploader, completing) + size > m_limits.quotaBytes)
        return overQuota(uploader, completing);
    const qint64 free = m_blobs.freeSpace();
    if (free >= 0 && free - (alreadyOnDisk ? 0 : size) < m_limits.reserveBytes)
        return refusal(QStringLiteral("The server is short of disk space. Please try again later."),
                       QStringLiteral("disk"));
    return ApiReply();
}

ApiReply RelayApi::overQuota(const QByteArray& uploader, const QString& completing)
{
    return refusal(QStringLiteral("You have %1 of files on the server that have not been collected yet, and "
                                  "the limit is %2. Please wait until your contacts have collected them.")
                       .arg(ServerOptions::formatSize(m_metadata.waitingBytesOf(uploader, completing)),
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
    return ApiReply();
}

ApiReply RelayApi::finishUpload(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                                const QByteArray& trailer)
{
    StoredKey recipientKey;
    const ApiReply refused = containerRefusal(blob->size(), trailer, QByteArray(), &recipientKey);
    return refused.outcome.isEmpty() ? store(uploader, std::move(blob), recipientKey, QString()) : refused;
}

ApiReply RelayApi::containerRefusal(qint64 size, const QByteArray& trailer,
                                    const QByteArray& declaredRecipient, StoredKey* recipientKey)
{
    const QString password = QStringLiteral("Files locked with a password cannot be sent through the server. "
                                            "Please send them to a contact instead.");
    if (!trailer.isEmpty() && trailer.back() == methodPassword)
        return refusal(password, QStringLiteral("method"));
    if (size < trailerSize + 1 || trailer.size() != trailerSize)
        return refusal(QStringLiteral("The file to send is damaged: it is too short."),
                       QStringLiteral("short"));
    if (trailer.back() != methodPublicKey)
        return refusal(QStringLiteral("The file to send is damaged: its kind of encryption is unknown."),
                       QStringLiteral("method"));
    if (!declaredRecipient.isEmpty() && trailer.left(20) != declaredRecipient)
        return refusal(QStringLiteral("The file to send is encrypted for another recipient than the one "
                                      "named when the upload began."),
                       QStringLiteral("other-recipient"));
    const std::optional<StoredKey> key = m_metadata.keyByFingerprint(trailer.left(20));
    if (!key)
        return refusal(QStringLiteral("The recipient's key is not registered on this server."),
                       QStringLiteral("unknown-recipient"));
    *recipientKey = *key;
    return ApiReply();
}

ApiReply RelayApi::limitRefusal(MetadataStore::Result result, const QByteArray& uploader,
                                const QString& completing)
{
    switch (result) {
    case MetadataStore::Result::Done:
        return ApiReply();
    case MetadataStore::Result::OverQuota:
        return overQuota(uploader, completing);
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
    case MetadataStore::Result::TooMany:
        return refusal(QStringLiteral("You have %1 unfinished uploads on the server, as many as it keeps for "
                                      "one installation. Please finish or cancel one of them first.")
                           .arg(m_limits.openUploadsPerInstallation),
                       QStringLiteral("open-uploads"));
    default:
        return storageFailure();
    }
}

ApiReply RelayApi::store(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                         const StoredKey& recipientKey, const QString& completing)
{
    const ApiReply refused = refusalFor(uploader, blob->size(), true, completing);
    if (!refused.outcome.isEmpty())
        return refused;
    StoredContainer container;
    container.uploader = uploader;
    container.recipient = recipientKey.installation;
    container.uploaderKeyId = m_metadata.latestKeyIdOf(uploader);
    container.size = blob->size();
    container.createdAt = now();
    // Checked again as one step with the reservation: another upload, here or on another server,
    // may have taken the room since.
    MetadataStore::ContainerLimits limits;
    limits.quotaBytes = m_limits.quotaBytes;
    limits.perRecipient = m_limits.waitingPerRecipient;
    limits.perPair = m_limits.waitingPerPair;
    if (const ApiReply full = limitRefusal(
            m_metadata.reserveContainer(&container, limits, newFileId, completing), uploader, completing);
        !full.outcome.isEmpty())
        return full;
    if (!blob->commit(container.fileId)) {
        m_metadata.removeContainer(container.fileId);
        return diskFull();
    }
    if (!m_metadata.publishContainer(container.fileId, completing, now() + m_limits.uploadExpirySeconds)) {
        m_blobs.remove(container.fileId);
        m_metadata.removeContainer(container.fileId);
        return storageFailure();
    }
    return json(QJsonObject {{QStringLiteral("fileId"), container.fileId}}, QStringLiteral("stored"));
}

std::unique_ptr<BlobStore::Reader> RelayApi::openWaiting(qint32 fileId, QByteArray* etag)
{
    const std::optional<StoredContainer> container = m_metadata.container(fileId);
    if (!container || container->state != ContainerState::Waiting)
        return nullptr;
    // File ids are random and a row is forgotten only long after its container is gone, so the id
    // with its size and time of creation names one container only.
    *etag = '"'
        + QCryptographicHash::hash(QByteArray::number(fileId) + ' ' + QByteArray::number(container->size)
                                       + ' ' + QByteArray::number(container->createdAt),
                                   QCryptographicHash::Sha256)
              .toHex()
              .left(32)
        + '"';
    return m_blobs.open(fileId);
}

ApiReply RelayApi::tusOptions(qint64 maxSize)
{
    ApiReply reply {204, QByteArray(), QStringLiteral("options"), {}};
    reply.headers = {{"Tus-Version", "1.0.0"},
                     {"Tus-Extension", "creation,termination,expiration"},
                     {"Tus-Max-Size", QByteArray::number(maxSize)}};
    return reply;
}

std::optional<StoredUpload> RelayApi::uploadOf(const QByteArray& caller, const QString& uploadId)
{
    std::optional<StoredUpload> upload = m_metadata.upload(uploadId);
    // Another's upload is as unknown as one that never was: ids cannot be probed.
    if (caller.isEmpty() || !upload || upload->uploader != caller || upload->expiresAt <= now())
        return std::nullopt;
    return upload;
}

ApiReply RelayApi::uploadStored(const StoredUpload& upload) const
{
    ApiReply reply = json(QJsonObject {{QStringLiteral("fileId"), upload.fileId}}, QStringLiteral("stored"));
    reply.headers = {{"Upload-Offset", QByteArray::number(upload.length)},
                     {"Upload-File-Id", QByteArray::number(upload.fileId)}};
    return reply;
}

ApiReply RelayApi::createUpload(const QByteArray& caller, qint64 length, const QByteArray& metadata)
{
    if (caller.isEmpty())
        return malformed(QStringLiteral("installation"));
    if (length > m_limits.maxContainerBytes)
        return uploadTooLarge();
    QMap<QByteArray, QByteArray> pairs;
    if (metadata.size() > 1024 || !parseMetadata(metadata, &pairs))
        return malformed(QStringLiteral("metadata"));
    if (length <= trailerSize)
        return error(400, QStringLiteral("The file to send is damaged: it is too short."),
                     QStringLiteral("refused-short"));

    StoredUpload upload;
    QByteArray recipient;
    if (pairs.contains("recipient")) {
        upload.recipientFingerprint = QByteArray::fromHex(pairs.value("recipient"));
        if (upload.recipientFingerprint.size() != 20 || pairs.value("recipient").size() != 40)
            return malformed(QStringLiteral("metadata"));
        const std::optional<StoredKey> key = m_metadata.keyByFingerprint(upload.recipientFingerprint);
        if (!key)
            return asTus(refusal(QStringLiteral("The recipient's key is not registered on this server."),
                                 QStringLiteral("unknown-recipient")));
        recipient = key->installation;
    }
    if (ApiReply refused = refusalFor(caller, length, false); !refused.outcome.isEmpty()) {
        if (refused.outcome == QLatin1String("refused-disk"))
            refused.status = 507;
        return asTus(refused);
    }

    upload.uploadId = newUploadId();
    upload.uploader = caller;
    upload.length = length;
    upload.metadata = metadata;
    upload.expiresAt = now() + m_limits.uploadExpirySeconds;
    MetadataStore::ContainerLimits limits;
    limits.quotaBytes = m_limits.quotaBytes;
    limits.perRecipient = m_limits.waitingPerRecipient;
    limits.perPair = m_limits.waitingPerPair;
    if (const ApiReply refused = limitRefusal(
            m_metadata.createUpload(upload, recipient, limits, m_limits.openUploadsPerInstallation), caller);
        !refused.outcome.isEmpty())
        return asTus(refused);
    ApiReply created {201, QByteArray(), QStringLiteral("upload-created"), {}};
    created.headers = {{"Location", "/uploads/" + upload.uploadId.toLatin1()},
                       {"Upload-Expires", httpDate(upload.expiresAt)}};
    return created;
}

ApiReply RelayApi::uploadStatus(const QByteArray& caller, const QString& uploadId)
{
    const std::optional<StoredUpload> upload = uploadOf(caller, uploadId);
    if (!upload)
        return error(404, QStringLiteral("There is no such upload. It may have expired: please send again."),
                     QStringLiteral("no-upload"));
    ApiReply reply = upload->fileId ? uploadStored(*upload) : ApiReply();
    reply.body.clear();
    reply.outcome = QStringLiteral("upload-status");
    if (!upload->fileId) {
        reply.headers.emplace_back("Upload-Offset", QByteArray::number(m_blobs.partialSize(uploadId)));
        reply.headers.emplace_back("Upload-Expires", httpDate(upload->expiresAt));
    }
    reply.headers.emplace_back("Upload-Length", QByteArray::number(upload->length));
    reply.headers.emplace_back("Cache-Control", "no-store");
    if (!upload->metadata.isEmpty())
        reply.headers.emplace_back("Upload-Metadata", upload->metadata);
    return reply;
}

ApiReply RelayApi::dropUpload(const QByteArray& caller, const QString& uploadId)
{
    if (!uploadOf(caller, uploadId))
        return uploadStatus(caller, uploadId);
    BlobStore::Lock lock;
    const std::unique_ptr<BlobStore::Partial> blob = m_blobs.openPartial(uploadId, &lock);
    if (!blob)
        return lock == BlobStore::Lock::Busy ? uploadBusy() : storageFailed();
    // The row first: a crash in between leaves a file without a row, which start-up removes.
    if (!m_metadata.removeUpload(uploadId))
        return storageFailed();
    blob->remove();
    return ApiReply {204, QByteArray(), QStringLiteral("upload-dropped"), {}};
}

std::unique_ptr<UploadAppend> RelayApi::beginAppend(const QByteArray& caller, const QString& uploadId,
                                                    qint64 offset, qint64 bodyLength, ApiReply* answer)
{
    std::optional<StoredUpload> upload = uploadOf(caller, uploadId);
    std::unique_ptr<BlobStore::Partial> blob;
    BlobStore::Lock lock = BlobStore::Lock::Failed;
    if (upload && !upload->fileId) {
        blob = m_blobs.openPartial(uploadId, &lock);
        // Now that nobody else appends, the row as it is: the upload may have been dropped or
        // completed meanwhile.
        upload = blob ? uploadOf(caller, uploadId) : upload;
        if (!upload || upload->fileId)
            blob->remove();
    }
    if (!upload) {
        *answer = uploadStatus(caller, uploadId);
    } else if (upload->fileId) {
        // The answer to the last PATCH may have been lost: asked again, it is given again.
        *answer = offset == upload->length && bodyLength == 0
            ? uploadStored(*upload)
            : error(409, QStringLiteral("This upload is complete."), QStringLiteral("upload-offset"));
    } else if (!blob) {
        *answer = lock == BlobStore::Lock::Busy ? uploadBusy() : storageFailed();
    } else if (blob->size() != offset) {
        *answer = withHeader(error(409,
                                   QStringLiteral("The server has %1 bytes of this upload, not %2.")
                                       .arg(blob->size())
                                       .arg(offset),
                                   QStringLiteral("upload-offset")),
                             "Upload-Offset", QByteArray::number(blob->size()));
    } else {
        return std::make_unique<UploadAppend>(*upload, std::move(blob));
    }
    return nullptr;
}

ApiReply RelayApi::endAppend(std::unique_ptr<UploadAppend> append, bool complete)
{
    const StoredUpload upload = append->upload();
    // What arrived stays, also from a body that broke off, and counts once it is durable.
    const bool synced = append->blob().sync();
    switch (append->result()) {
    case UploadAppend::Result::Ok:
        break;
    case UploadAppend::Result::NotAContainer:
        m_metadata.removeUpload(upload.uploadId);
        append->blob().remove();
        return notAContainer();
    case UploadAppend::Result::TooLarge:
        return error(413, QStringLiteral("The request brings more bytes than the upload has left."),
                     QStringLiteral("upload-too-long"));
    case UploadAppend::Result::DiskFull:
        return diskFull();
    case UploadAppend::Result::StorageFailed:
        return storageFailed();
    }
    if (!synced)
        return append->blob().error() == ENOSPC ? diskFull() : storageFailed();
    if (!complete)
        return malformed(QStringLiteral("upload-body"));
    const qint64 expiresAt = now() + m_limits.uploadExpirySeconds;
    if (append->received() > 0)
        m_metadata.touchUpload(upload.uploadId, expiresAt);
    if (append->remaining() > 0) {
        ApiReply reply {204, QByteArray(), QStringLiteral("upload-appended"), {}};
        reply.headers = {{"Upload-Offset", QByteArray::number(append->blob().size())},
                         {"Upload-Expires", httpDate(expiresAt)}};
        return reply;
    }
    return completeUpload(*append);
}

ApiReply RelayApi::completeUpload(UploadAppend& append)
{
    const StoredUpload upload = append.upload();
    QByteArray trailer(trailerSize, '\0');
    if (append.blob().read(upload.length - trailerSize, trailer.data(), trailerSize) != trailerSize)
        return storageFailed();
    StoredKey recipientKey;
    ApiReply reply = append.isEncryptedMessage()
        ? containerRefusal(upload.length, trailer, upload.recipientFingerprint, &recipientKey)
        : notAContainer();
    // A container that can never be delivered is dropped; one that only has to wait for room stays
    // complete, and an empty PATCH at its end tries again.
    if (!reply.outcome.isEmpty()) {
        m_metadata.removeUpload(upload.uploadId);
        append.blob().remove();
        return asTus(reply);
    }
    reply = store(upload.uploader, append.takeBlob(), recipientKey, upload.uploadId);
    if (reply.outcome != QLatin1String("stored"))
        return asTus(reply);
    StoredUpload stored = upload;
    stored.fileId
        = qint32(QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("fileId")).toInt());
    return uploadStored(stored);
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
    // Bytes of a resumable upload whose row is gone: it was dropped or expired when the server
    // stopped. Unfinished uploads with a row stay, whoever received them.
    for (const QString& id : m_blobs.partials()) {
        BlobStore::Lock lock;
        const std::unique_ptr<BlobStore::Partial> blob = m_blobs.openPartial(id, &lock);
        if (blob && !m_metadata.upload(id))
            blob->remove();
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
    for (const QString& id : m_metadata.expiredUploads(t)) {
        // One being appended to right now is left to the next sweep: its PATCH moves its expiry.
        BlobStore::Lock lock;
        const std::unique_ptr<BlobStore::Partial> blob = m_blobs.openPartial(id, &lock);
        if (blob && m_metadata.removeUpload(id))
            blob->remove();
    }
    if (m_limits.unfinishedGraceSeconds > 0) {
        for (qint32 id : m_metadata.removeUnfinished(t - m_limits.unfinishedGraceSeconds))
            m_blobs.remove(id);
    }
}

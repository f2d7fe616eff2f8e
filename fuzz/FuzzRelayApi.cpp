// Feeds arbitrary requests to the relay's protocol layer the way the HTTP front end hands them over:
// a sequence of calls, each with an endpoint, a body (client prefix included) and an address,
// uploads as a series of form parts, and every body also straight to the OpenPGP key parser. Every
// input starts from an empty database with small limits, so that a sequence can register a key,
// use it and run into each limit.

#include "FileBlobStore.h"
#include "MetadataStore.h"
#include "OpenPgpKey.h"
#include "RelayApi.h"
#include "SqliteDatabase.h"
#include "UploadSession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {
const char* const endpoints[]
    = {"upload-pubkey",     "attach-key",      "download-pubkey", "can-upload",      "check-new-files",
       "download-complete", "check-delivered", "send-feedback",   "no-such-endpoint"};
constexpr int endpointCount = sizeof endpoints / sizeof endpoints[0];
const char* const addresses[] = {"127.0.0.1", "192.0.2.7", "2001:db8::1", "2001:db8::2", "::ffff:192.0.2.7"};

// Reads a record: a byte, a two-byte length and that many bytes (fewer at the end of the input).
bool take(const uint8_t*& data, std::size_t& size, uint8_t* kind, QByteArray* body)
{
    if (size < 3)
        return false;
    *kind = data[0];
    const std::size_t length = std::min<std::size_t>((std::size_t(data[1]) << 8) | data[2], size - 3);
    *body = QByteArray(reinterpret_cast<const char*>(data + 3), int(length));
    data += 3 + length;
    size -= 3 + length;
    return true;
}

// Every answer is a JSON object or array; every error status and every refusal has a text.
void check(const ApiReply& reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (reply.status != 200 && reply.status != 400 && reply.status != 404 && reply.status != 507)
        __builtin_trap();
    if (document.isNull() || (reply.status != 200 && document.object().value("error").toString().isEmpty()))
        __builtin_trap();
}

void upload(RelayApi& api, BlobStore& blobs, const QByteArray& form)
{
    UploadSession session(blobs, api.limits().maxContainerBytes);
    const auto* data = reinterpret_cast<const uint8_t*>(form.constData());
    std::size_t size = std::size_t(form.size());
    uint8_t kind = 0;
    QByteArray part;
    bool reading = true;
    while (reading && take(data, size, &kind, &part)) {
        // The low bits pick the part's name, the rest of the record is its body, in two pieces.
        static const std::string names[] = {"container", "uid", "other", ""};
        reading = session.beginPart(names[kind % 4]);
        const int half = part.size() / 2;
        reading = reading && session.data(part.constData(), std::size_t(half))
            && session.data(part.constData() + half, std::size_t(part.size() - half));
    }
    if (session.result() == UploadSession::Result::Complete)
        check(api.finishUpload(session.uploader(), session.takeBlob(), session.trailer()));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    SqliteDatabase database;
    MetadataStore metadata(database);
    if (!database.open(QStringLiteral(":memory:"), nullptr) || !metadata.createTables(nullptr))
        __builtin_trap();
    FileBlobStore blobs(dir.path());
    if (!blobs.open(nullptr))
        __builtin_trap();
    RelayLimits limits;
    limits.maxContainerBytes = 64 * 1024;
    limits.quotaBytes = 256 * 1024;
    limits.reserveBytes = 0;
    limits.expirySeconds = 3600;
    limits.maxKeyBytes = 8 * 1024;
    limits.maxTitleBytes = 32;
    limits.maxFeedbackBytes = 1024;
    limits.feedbackPerDay = 2;
    limits.keysPerInstallation = 2;
    limits.contactsPerInstallation = 3;
    limits.waitingPerRecipient = 3;
    limits.waitingPerPair = 2;
    limits.installationsPerHour = 3;
    qint64 clock = 1700000000;
    RelayApi api(metadata, blobs, limits, [&clock] { return clock; });

    uint8_t kind = 0;
    QByteArray body;
    while (take(data, size, &kind, &body)) {
        clock += (kind & 0x0f) * 600;
        const OpenPgpKey key(body);
        if ((key.status() == OpenPgpKey::Status::Valid) != (key.fingerprint().size() == 20))
            __builtin_trap();
        const int choice = kind % (endpointCount + 3);
        QByteArray caller;
        if (choice < endpointCount) {
            check(api.call(QString::fromLatin1(endpoints[choice]), body,
                           QString::fromLatin1(addresses[kind % 5]), &caller));
            if (!caller.isEmpty() && caller.size() != 16)
                __builtin_trap();
        } else if (choice == endpointCount) {
            check(api.emptyCall(QString::fromLatin1(endpoints[kind % endpointCount])));
        } else if (choice == endpointCount + 1) {
            // An empty outcome lets the upload go ahead; anything else is a refusal to show.
            const ApiReply early = api.checkUploadLength(body.toLongLong());
            if (!early.outcome.isEmpty()
                && QJsonDocument::fromJson(early.body).object().value("error").isUndefined())
                __builtin_trap();
        } else {
            upload(api, blobs, body);
        }
        if (kind & 0x80)
            api.sweep();
    }
    for (qint32 id : blobs.list())
        blobs.remove(id);
    return 0;
}

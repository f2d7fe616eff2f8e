// Feeds arbitrary requests to the relay's protocol layer the way the HTTP front end hands them over:
// a sequence of calls, each with an endpoint, a body (client prefix included) and an address,
// uploads as a series of form parts, resumable uploads as creations, PATCHes, HEADs and DELETEs,
// and every body also straight to the OpenPGP key parser. Every
// input starts from an empty database with small limits, so that a sequence can register a key,
// use it and run into each limit.

#include "FileBlobStore.h"
#include "MetadataStore.h"
#include "OpenPgpKey.h"
#include "RelayApi.h"
#include "SqliteDatabase.h"
#include "UploadAppend.h"
#include "UploadSession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
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

// Resumable uploads: the answers are tus's, with a JSON text on every error status.
void checkTus(const ApiReply& reply)
{
    static const QSet<int> statuses {200, 201, 204, 400, 403, 404, 409, 413, 423, 500, 507};
    if (!statuses.contains(reply.status)
        || (reply.status >= 400
            && QJsonDocument::fromJson(reply.body).object().value("error").toString().isEmpty()))
        __builtin_trap();
}

// A record of a resumable upload: the caller is the 16 bytes after the first (as a client prefix
// names it); the first byte picks the step and an upload created before, the rest is its data.
void resumable(RelayApi& api, QStringList& uploads, const QByteArray& record)
{
    if (record.size() < 17)
        return;
    const uint8_t step = uint8_t(record[0]);
    const QByteArray caller = record.mid(1, 16), rest = record.mid(17);
    const QString id
        = uploads.isEmpty() ? QString(32, QLatin1Char('0')) : uploads.at((step >> 2) % uploads.size());
    const qint64 number = rest.left(4).toHex().toLongLong(nullptr, 16);
    switch (step % 4) {
    case 0: {
        const ApiReply created = api.createUpload(caller, number, rest.mid(4));
        checkTus(created);
        for (const auto& header : created.headers) {
            if (header.first == "Location")
                uploads.append(QString::fromLatin1(header.second.mid(9)));
        }
        break;
    }
    case 1:
        checkTus(api.uploadStatus(caller, id));
        break;
    case 2:
        checkTus(api.dropUpload(caller, id));
        break;
    default: {
        ApiReply answer;
        const QByteArray body = rest.mid(4);
        std::unique_ptr<UploadAppend> append
            = api.beginAppend(caller, id, number & 0xffff, body.size(), &answer);
        if (!append) {
            checkTus(answer);
            break;
        }
        const int half = body.size() / 2;
        const bool complete = append->data(body.constData(), std::size_t(half))
            && append->data(body.constData() + half, std::size_t(body.size() - half));
        checkTus(api.endAppend(std::move(append), complete));
    }
    }
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

    QStringList uploads;
    uint8_t kind = 0;
    QByteArray body;
    while (take(data, size, &kind, &body)) {
        clock += (kind & 0x0f) * 600;
        const OpenPgpKey key(body);
        if ((key.status() == OpenPgpKey::Status::Valid) != (key.fingerprint().size() == 20))
            __builtin_trap();
        const int choice = kind % (endpointCount + 4);
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
        } else if (choice == endpointCount + 2) {
            upload(api, blobs, body);
        } else {
            resumable(api, uploads, body);
        }
        if (kind & 0x80)
            api.sweep();
    }
    for (qint32 id : blobs.list())
        blobs.remove(id);
    for (const QString& id : blobs.partials()) {
        BlobStore::Lock lock;
        if (const std::unique_ptr<BlobStore::Partial> partial = blobs.openPartial(id, &lock))
            partial->remove();
    }
    return 0;
}

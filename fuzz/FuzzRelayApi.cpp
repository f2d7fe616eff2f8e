// Feeds arbitrary requests to the relay's protocol layer the way the HTTP front end hands them over:
// a sequence of calls, each with an endpoint and a body (client prefix included), uploads as a
// series of form parts, and every body also straight to the OpenPGP key parser. Every input starts
// from an empty database, so that a sequence can register a key and then use it.

#include "FileBlobStore.h"
#include "OpenPgpKey.h"
#include "RelayApi.h"
#include "SqliteMetadataStore.h"
#include "UploadSession.h"

#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {
const char* const endpoints[]
    = {"upload-pubkey",     "attach-key",      "download-pubkey", "can-upload",      "check-new-files",
       "download-complete", "check-delivered", "send-feedback",   "no-such-endpoint"};
constexpr int endpointCount = sizeof endpoints / sizeof endpoints[0];

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

void check(const ApiReply& reply)
{
    if (reply.status != 200 && reply.status != 400 && reply.status != 404)
        __builtin_trap();
    if (reply.status == 200 && QJsonDocument::fromJson(reply.body).isNull())
        __builtin_trap(); // every answer a client reads is JSON
}

void upload(RelayApi& api, BlobStore& blobs, const QByteArray& form)
{
    UploadSession session(blobs, 64 * 1024);
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
    SqliteMetadataStore metadata;
    if (!metadata.open(QStringLiteral(":memory:"), nullptr))
        __builtin_trap();
    FileBlobStore blobs(dir.path());
    if (!blobs.open(nullptr))
        __builtin_trap();
    RelayApi::Limits limits;
    limits.maxContainerBytes = 64 * 1024;
    limits.quotaBytes = 256 * 1024;
    limits.reserveBytes = 0;
    limits.expirySeconds = 3600;
    qint64 clock = 1700000000;
    RelayApi api(metadata, blobs, limits, [&clock] { return clock; });

    uint8_t kind = 0;
    QByteArray body;
    while (take(data, size, &kind, &body)) {
        clock += kind & 0x0f;
        const OpenPgpKey key(body);
        if ((key.status() == OpenPgpKey::Status::Valid) != (key.fingerprint().size() == 20))
            __builtin_trap();
        const int choice = kind % (endpointCount + 3);
        QByteArray caller;
        if (choice < endpointCount) {
            check(api.call(QString::fromLatin1(endpoints[choice]), body, &caller));
            if (!caller.isEmpty() && caller.size() != 16)
                __builtin_trap();
        } else if (choice == endpointCount) {
            check(api.emptyCall(QString::fromLatin1(endpoints[kind % endpointCount])));
        } else if (choice == endpointCount + 1) {
            // An empty outcome lets the upload go ahead; anything else is a refusal to show.
            const ApiReply early = api.checkUploadLength(body.toLongLong());
            if (!early.outcome.isEmpty())
                check(early);
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

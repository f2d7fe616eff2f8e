#pragma once

#include "BlobStore.h"
#include "MetadataStore.h"
#include "RelayLimits.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class UploadAppend;

// What one request yields: an HTTP status, a JSON body (may be empty), a short word for the access
// log and headers of the protocol's own. Refusals a user must read are status 200 with
// {"error": "..."} wherever the client reads only successful replies; every other error status
// carries such a text too.
struct ApiReply
{
    int status = 200;
    QByteArray body;
    QString outcome;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// The relay protocol over a metadata store and a blob store, free of any HTTP library: the HTTP
// front end hands it bodies and streams, and sends back what it answers. Every text a user may
// read is made here.
class RelayApi
{
public:
    RelayApi(MetadataStore& metadata, BlobStore& blobs, const RelayLimits& limits,
             std::function<qint64()> clock = nullptr);

    static bool isEndpoint(const QString& name);
    BlobStore& blobStore() { return m_blobs; }
    const RelayLimits& limits() const { return m_limits; }

    // A POST to "/api/" + endpoint; body is the whole request body, client prefix included, and
    // address the network address it came from. *caller receives the installation id when the
    // prefix is valid.
    ApiReply call(const QString& endpoint, const QByteArray& body, const QString& address,
                  QByteArray* caller);
    // A GET to "/api/" + endpoint: how the client sends a call whose body came out empty.
    ApiReply emptyCall(const QString& endpoint) const;

    // Before an upload is read: refuses a declared length (-1 if unknown) that cannot fit.
    ApiReply checkUploadLength(qint64 contentLength);
    // Stores a completely received container. trailer holds its last bytes (at most 21).
    ApiReply finishUpload(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                          const QByteArray& trailer);
    // The blob of a container that waits for its recipient, or null; *etag is its validator,
    // which no other container has.
    std::unique_ptr<BlobStore::Reader> openWaiting(qint32 fileId, QByteArray* etag);

    // Resumable uploads (tus 1.0 with creation, termination and expiration). caller is the
    // installation id that the request names, empty if it names none.
    static ApiReply tusOptions(qint64 maxSize);
    ApiReply createUpload(const QByteArray& caller, qint64 length, const QByteArray& metadata);
    ApiReply uploadStatus(const QByteArray& caller, const QString& uploadId);
    ApiReply dropUpload(const QByteArray& caller, const QString& uploadId);
    // A PATCH of bodyLength bytes (-1: chunked) at offset: the upload, locked for appending, or
    // null with the whole answer in *answer.
    std::unique_ptr<UploadAppend> beginAppend(const QByteArray& caller, const QString& uploadId,
                                              qint64 offset, qint64 bodyLength, ApiReply* answer);
    // Once the body has been read (complete: to its end), what the PATCH answers; the last byte
    // turns the upload into a container as finishUpload does.
    ApiReply endAppend(std::unique_ptr<UploadAppend> append, bool complete);

    // Error replies of the HTTP layer, in the words of the relay.
    static ApiReply error(int status, const QString& message, const QString& outcome);
    ApiReply uploadTooLarge() const;
    static ApiReply notAContainer();
    static ApiReply diskFull();
    static ApiReply malformed(const QString& what);
    static ApiReply storageFailed();

    // Start-up: drops what a crash left half done, so no partial upload is ever listed or served.
    // Safe while other servers use the same database and blob store.
    void recover();
    // Deletes unclaimed containers and resumable uploads past their expiry (blob and all) and
    // forgets old outcomes and where installations came from.
    void sweep();

    // The address that new installations are counted by: IPv4 as it is, IPv6 by its /64 prefix.
    static QString originOf(const QString& address);

private:
    ApiReply uploadPubKey(const QByteArray& caller, const QByteArray& body, const QString& origin);
    ApiReply attachKey(const QByteArray& caller, const QByteArray& body, const QString& origin);
    ApiReply downloadPubKey(const QByteArray& body);
    ApiReply canUpload(const QByteArray& caller, const QByteArray& body);
    ApiReply checkNewFiles(const QByteArray& caller, const QByteArray& body);
    ApiReply downloadComplete(const QByteArray& caller, const QByteArray& body);
    ApiReply checkDelivered(const QByteArray& caller, const QByteArray& body);
    ApiReply sendFeedback(const QByteArray& caller, const QByteArray& body, const QString& origin);

    // A refusal, or an empty outcome if the installation may write.
    ApiReply admit(const QByteArray& caller, const QString& origin);
    // A refusal for a container of size bytes from uploader, or an empty outcome if it may come.
    ApiReply refusalFor(const QByteArray& uploader, qint64 size, bool alreadyOnDisk,
                        const QString& completing = QString());
    ApiReply overQuota(const QByteArray& uploader, const QString& completing = QString());
    // A refusal for what a store step answered, or an empty outcome for Done.
    ApiReply limitRefusal(MetadataStore::Result result, const QByteArray& uploader,
                          const QString& completing = QString());
    // A refusal if the container of size bytes ending in trailer can never be delivered (to the
    // recipient declared for it, if any); otherwise an empty outcome and the recipient's key.
    ApiReply containerRefusal(qint64 size, const QByteArray& trailer, const QByteArray& declaredRecipient,
                              StoredKey* recipientKey);
    // Stores blob as a container for recipientKey, from the resumable upload completing if named.
    ApiReply store(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                   const StoredKey& recipientKey, const QString& completing);
    ApiReply completeUpload(UploadAppend& append);
    // The upload of caller under uploadId, unless it is unknown, another's or expired.
    std::optional<StoredUpload> uploadOf(const QByteArray& caller, const QString& uploadId);
    ApiReply uploadStored(const StoredUpload& upload) const;
    qint64 now() const;

    MetadataStore& m_metadata;
    BlobStore& m_blobs;
    RelayLimits m_limits;
    std::function<qint64()> m_clock;
};

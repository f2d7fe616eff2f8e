#pragma once

#include "BlobStore.h"
#include "MetadataStore.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// What one request yields: an HTTP status, a JSON body and a short word for the access log.
// Refusals a user must read are status 200 with {"error": "..."}; malformed requests are 400 with
// no body and change nothing.
struct ApiReply
{
    int status = 200;
    QByteArray body;
    QString outcome;
};

// The relay protocol over a metadata store and a blob store, free of any HTTP library: the HTTP
// front end hands it bodies and streams, and sends back what it answers.
class RelayApi
{
public:
    struct Limits
    {
        qint64 maxContainerBytes = 0;
        qint64 quotaBytes = 0;
        qint64 reserveBytes = 0;
        qint64 expirySeconds = 0;
        // How long the outcome of a finished transfer stays available to "/check-delivered".
        qint64 outcomeRetentionSeconds = qint64(30) * 86400;
        // With a database shared by several servers, a container being stored may belong to another
        // server that is still at it: only reservations this old count as left behind by a crash.
        // 0: the database is this server's alone, and start-up drops every unfinished one.
        qint64 unfinishedGraceSeconds = 0;
    };

    RelayApi(MetadataStore& metadata, BlobStore& blobs, const Limits& limits,
             std::function<qint64()> clock = nullptr);

    static bool isEndpoint(const QString& name);
    BlobStore& blobStore() { return m_blobs; }

    // A POST to "/api/" + endpoint; body is the whole request body, client prefix included. *caller
    // receives the installation id when the prefix is valid.
    ApiReply call(const QString& endpoint, const QByteArray& body, QByteArray* caller);
    // A GET to "/api/" + endpoint: how the client sends a call whose body came out empty.
    ApiReply emptyCall(const QString& endpoint) const;

    // Before an upload is read: refuses a declared length (-1 if unknown) that cannot fit.
    ApiReply checkUploadLength(qint64 contentLength);
    ApiReply uploadTooLarge() const;
    // Stores a completely received container. trailer holds its last bytes (at most 21).
    ApiReply finishUpload(const QByteArray& uploader, std::unique_ptr<BlobStore::Writer> blob,
                          const QByteArray& trailer);
    // The blob of a container that waits for its recipient, or null.
    std::unique_ptr<BlobStore::Reader> openWaiting(qint32 fileId);

    // Start-up: drops what a crash left half done, so no partial upload is ever listed or served.
    // Safe while other servers use the same database and blob store.
    void recover();
    // Deletes unclaimed containers past their expiry (blob and all) and forgets old outcomes.
    void sweep();

private:
    ApiReply uploadPubKey(const QByteArray& caller, const QByteArray& body);
    ApiReply attachKey(const QByteArray& caller, const QByteArray& body);
    ApiReply downloadPubKey(const QByteArray& body);
    ApiReply canUpload(const QByteArray& caller, const QByteArray& body);
    ApiReply checkNewFiles(const QByteArray& caller, const QByteArray& body);
    ApiReply downloadComplete(const QByteArray& caller, const QByteArray& body);
    ApiReply checkDelivered(const QByteArray& caller, const QByteArray& body);
    ApiReply sendFeedback(const QByteArray& caller, const QByteArray& body);

    // A refusal for a container of size bytes from uploader, or an empty outcome if it may come.
    ApiReply refusalFor(const QByteArray& uploader, qint64 size, bool alreadyOnDisk);
    ApiReply overQuota(const QByteArray& uploader);
    qint64 now() const;

    MetadataStore& m_metadata;
    BlobStore& m_blobs;
    Limits m_limits;
    std::function<qint64()> m_clock;
};

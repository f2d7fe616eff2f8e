#include "MetadataStore.h"

#include "SqlDatabase.h"

namespace {
// Container states as stored: 0 storing, 1 waiting, 2 taken, 3 rejected, 4 expired.
const char* const tables = R"sql(
CREATE TABLE IF NOT EXISTS installations (
    installation BLOB PRIMARY KEY,
    origin TEXT NOT NULL,
    created_at BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS installations_by_origin ON installations (origin, created_at);
CREATE TABLE IF NOT EXISTS pubkeys (
    key_id TEXT PRIMARY KEY,
    installation BLOB NOT NULL,
    fpr BLOB NOT NULL UNIQUE,
    key_data BLOB NOT NULL,
    created_at BIGINT NOT NULL,
    updated_at BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS pubkeys_by_installation ON pubkeys (installation, updated_at);
CREATE TABLE IF NOT EXISTS contacts (
    installation BLOB NOT NULL,
    key_id TEXT NOT NULL,
    title TEXT NOT NULL DEFAULT '',
    updated_at BIGINT NOT NULL,
    PRIMARY KEY (installation, key_id)
);
CREATE TABLE IF NOT EXISTS containers (
    file_id BIGINT PRIMARY KEY,
    uploader BLOB NOT NULL,
    recipient BLOB NOT NULL,
    uploader_key_id TEXT NOT NULL,
    size BIGINT NOT NULL,
    state BIGINT NOT NULL,
    created_at BIGINT NOT NULL,
    finished_at BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS containers_by_recipient ON containers (recipient, state);
CREATE INDEX IF NOT EXISTS containers_by_uploader ON containers (uploader, state);
CREATE INDEX IF NOT EXISTS containers_by_state ON containers (state, created_at);
CREATE TABLE IF NOT EXISTS feedback (
    installation BLOB NOT NULL,
    name TEXT NOT NULL,
    email TEXT NOT NULL,
    message TEXT NOT NULL,
    created_at BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS feedback_by_installation ON feedback (installation, created_at);
CREATE TABLE IF NOT EXISTS uploads (
    upload_id TEXT PRIMARY KEY,
    uploader BLOB NOT NULL,
    recipient_fpr BLOB NOT NULL,
    length BIGINT NOT NULL,
    metadata TEXT NOT NULL,
    expires_at BIGINT NOT NULL,
    file_id BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS uploads_by_uploader ON uploads (uploader, file_id);
CREATE INDEX IF NOT EXISTS uploads_by_expiry ON uploads (expires_at);
)sql";

const char* const containerColumns
    = "SELECT file_id, uploader, recipient, uploader_key_id, size, state, created_at, finished_at "
      "FROM containers WHERE ";

// An uploader's bytes: its containers that wait or are being stored, and its unfinished resumable
// uploads by their length, but for the one named (that is becoming a container).
const char* const usedBytes
    = "SELECT CAST(COALESCE((SELECT SUM(size) FROM containers WHERE uploader = ? AND state IN (0, 1)), 0) "
      "+ COALESCE((SELECT SUM(length) FROM uploads WHERE uploader = ? AND file_id = 0 AND upload_id <> ?), "
      "0) "
      "AS BIGINT)";

// Attempts per new id before giving up: ids are random, so a collision is rare and ten in a row
// means something else is wrong.
constexpr int idAttempts = 10;
constexpr qint64 hour = 3600;
constexpr qint64 day = 86400;

QVector<StoredContainer> containers(const SqlResult& result)
{
    QVector<StoredContainer> list;
    for (int row = 0; row < result.rows.size(); ++row) {
        StoredContainer c;
        c.fileId = static_cast<qint32>(result.integer(row, 0));
        c.uploader = result.bytes(row, 1);
        c.recipient = result.bytes(row, 2);
        c.uploaderKeyId = result.text(row, 3);
        c.size = result.integer(row, 4);
        c.state = static_cast<ContainerState>(result.integer(row, 5));
        c.createdAt = result.integer(row, 6);
        c.finishedAt = result.integer(row, 7);
        list.append(c);
    }
    return list;
}

QVector<qint32> ids(const SqlResult& result)
{
    QVector<qint32> list;
    for (int row = 0; row < result.rows.size(); ++row)
        list.append(static_cast<qint32>(result.integer(row)));
    return list;
}

std::optional<StoredKey> key(const SqlResult& result)
{
    if (result.rows.size() != 1)
        return std::nullopt;
    return StoredKey {result.text(0, 0), result.bytes(0, 1), result.bytes(0, 2), result.bytes(0, 3)};
}

// Done while the number that sql counts is below limit, atLimit from there on.
MetadataStore::Result below(SqlDatabase::Session& db, const char* sql, const QVariantList& params,
                            qint64 limit, MetadataStore::Result atLimit = MetadataStore::Result::TooMany)
{
    const SqlResult result = db.run(sql, params);
    if (!result.ok)
        return MetadataStore::Result::Failed;
    return result.integer() < limit ? MetadataStore::Result::Done : atLimit;
}

// Done if size more bytes from uploader fit its quota and, when the recipient is known, one more
// container fits what waits from uploader for it and for it in all.
MetadataStore::Result room(SqlDatabase::Session& db, const QByteArray& uploader, const QByteArray& recipient,
                           qint64 size, const MetadataStore::ContainerLimits& limits,
                           const QString& completing)
{
    using Result = MetadataStore::Result;
    Result r = below(db, usedBytes, {uploader, uploader, completing}, limits.quotaBytes - size + 1,
                     Result::OverQuota);
    if (r == Result::Done && !recipient.isEmpty())
        r = below(db,
                  "SELECT COUNT(*) FROM containers WHERE uploader = ? AND recipient = ? AND state IN (0, 1)",
                  {uploader, recipient}, limits.perPair, Result::PairFull);
    if (r == Result::Done && !recipient.isEmpty())
        r = below(db, "SELECT COUNT(*) FROM containers WHERE recipient = ? AND state IN (0, 1)", {recipient},
                  limits.perRecipient, Result::RecipientFull);
    return r;
}

// Commits, or turns the outcome into Failed if the commit does not go through.
MetadataStore::Result committed(SqlDatabase::Session& db, MetadataStore::Result result)
{
    return db.commit() ? result : MetadataStore::Result::Failed;
}
} // namespace

MetadataStore::MetadataStore(SqlDatabase& database)
    : m_db(database)
{
}

bool MetadataStore::createTables(QString* error)
{
    return m_db.createTables(tables, error);
}

MetadataStore::Result MetadataStore::admitInstallation(const QByteArray& installation, const QString& origin,
                                                       qint64 now, qint64 perHour)
{
    const auto db = m_db.session();
    const SqlResult known = db->run("SELECT 1 FROM installations WHERE installation = ? "
                                    "UNION ALL SELECT 1 FROM pubkeys WHERE installation = ? LIMIT 1",
                                    {installation, installation});
    if (!known.ok)
        return Result::Failed;
    if (!known.rows.isEmpty())
        return Result::Known;
    if (!db->begin() || !db->lock(origin.toUtf8()))
        return Result::Failed;
    if (const Result r = below(*db, "SELECT COUNT(*) FROM installations WHERE origin = ? AND created_at > ?",
                               {origin, now - hour}, perHour);
        r != Result::Done)
        return r;
    if (!db->run("INSERT INTO installations (installation, origin, created_at) VALUES (?, ?, ?) "
                 "ON CONFLICT DO NOTHING",
                 {installation, origin, now})
             .ok)
        return Result::Failed;
    return committed(*db, Result::Done);
}

MetadataStore::Result MetadataStore::registerKey(const QByteArray& installation,
                                                 const QByteArray& fingerprint, const QByteArray& keyData,
                                                 qint64 now, qint64 maxKeys,
                                                 const std::function<QString()>& newKeyId, QString* keyId)
{
    const auto db = m_db.session();
    if (!db->begin() || !db->lock(installation))
        return Result::Failed;
    for (int attempt = 0; attempt < idAttempts; ++attempt) {
        const SqlResult existing
            = db->run("SELECT key_id, installation FROM pubkeys WHERE fpr = ?", {fingerprint});
        if (!existing.ok)
            return Result::Failed;
        if (!existing.rows.isEmpty()) {
            if (existing.bytes(0, 1) != installation)
                return Result::OwnedByOther;
            *keyId = existing.text(0, 0);
            // A key exported again may carry new signatures; keep the newest form.
            if (!db->run("UPDATE pubkeys SET key_data = ?, updated_at = ? WHERE fpr = ?",
                         {keyData, now, fingerprint})
                     .ok)
                return Result::Failed;
            return committed(*db, Result::AlreadyRegistered);
        }
        if (const Result r
            = below(*db, "SELECT COUNT(*) FROM pubkeys WHERE installation = ?", {installation}, maxKeys);
            r != Result::Done)
            return r;
        // A conflict on the fingerprint means another server registered the key meanwhile: the
        // next round finds it. One on the id just asks for another id.
        const QString candidate = newKeyId();
        const SqlResult inserted
            = db->run("INSERT INTO pubkeys (key_id, installation, fpr, key_data, created_at, "
                      "updated_at) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING",
                      {candidate, installation, fingerprint, keyData, now, now});
        if (!inserted.ok)
            return Result::Failed;
        if (inserted.affected == 1) {
            *keyId = candidate;
            return committed(*db, Result::Done);
        }
    }
    return Result::Failed;
}

std::optional<StoredKey> MetadataStore::keyById(const QString& keyId)
{
    return key(m_db.session()->run("SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE key_id = ?",
                                   {keyId}));
}

std::optional<StoredKey> MetadataStore::keyByFingerprint(const QByteArray& fingerprint)
{
    return key(m_db.session()->run("SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE fpr = ?",
                                   {fingerprint}));
}

QString MetadataStore::latestKeyIdOf(const QByteArray& installation)
{
    return m_db.session()
        ->run("SELECT key_id FROM pubkeys WHERE installation = ? "
              "ORDER BY updated_at DESC, created_at DESC, key_id DESC LIMIT 1",
              {installation})
        .text();
}

MetadataStore::Result MetadataStore::attachContact(const QByteArray& installation, const QString& keyId,
                                                   const QString& title, qint64 now, qint64 maxContacts)
{
    const auto db = m_db.session();
    if (!db->begin() || !db->lock(installation))
        return Result::Failed;
    const SqlResult known
        = db->run("SELECT 1 FROM contacts WHERE installation = ? AND key_id = ?", {installation, keyId});
    if (!known.ok)
        return Result::Failed;
    if (known.rows.isEmpty()) {
        if (const Result r
            = below(*db, "SELECT COUNT(*) FROM contacts WHERE installation = ?", {installation}, maxContacts);
            r != Result::Done)
            return r;
    }
    if (!db->run("INSERT INTO contacts (installation, key_id, title, updated_at) VALUES (?, ?, ?, ?) "
                 "ON CONFLICT (installation, key_id) DO UPDATE SET "
                 "title = CASE WHEN excluded.title = '' THEN contacts.title ELSE excluded.title END, "
                 "updated_at = excluded.updated_at",
                 {installation, keyId, title, now})
             .ok)
        return Result::Failed;
    return committed(*db, Result::Done);
}

MetadataStore::Result MetadataStore::addFeedback(const QByteArray& installation, const QString& name,
                                                 const QString& email, const QString& message, qint64 now,
                                                 qint64 perDay)
{
    const auto db = m_db.session();
    if (!db->begin() || !db->lock(installation))
        return Result::Failed;
    if (const Result r = below(*db, "SELECT COUNT(*) FROM feedback WHERE installation = ? AND created_at > ?",
                               {installation, now - day}, perDay);
        r != Result::Done)
        return r;
    if (!db->run(
               "INSERT INTO feedback (installation, name, email, message, created_at) VALUES (?, ?, ?, ?, ?)",
               {installation, name, email, message, now})
             .ok)
        return Result::Failed;
    return committed(*db, Result::Done);
}

MetadataStore::Result MetadataStore::reserveContainer(StoredContainer* container,
                                                      const ContainerLimits& limits,
                                                      const std::function<qint32()>& newFileId,
                                                      const QString& completing)
{
    const auto db = m_db.session();
    // Both parties' uploads take turns between the counts and the insert, also across servers;
    // the locks are taken in one order so that two transactions never wait for each other.
    const QByteArray first = qMin(container->uploader, container->recipient);
    const QByteArray second = qMax(container->uploader, container->recipient);
    if (!db->begin() || !db->lock(first) || (second != first && !db->lock(second)))
        return Result::Failed;
    if (const Result r
        = room(*db, container->uploader, container->recipient, container->size, limits, completing);
        r != Result::Done)
        return r;
    for (int attempt = 0; attempt < idAttempts; ++attempt) {
        const qint32 candidate = newFileId();
        const SqlResult inserted
            = db->run("INSERT INTO containers (file_id, uploader, recipient, uploader_key_id, size, state, "
                      "created_at) VALUES (?, ?, ?, ?, ?, 0, ?) ON CONFLICT DO NOTHING",
                      {candidate, container->uploader, container->recipient, container->uploaderKeyId,
                       container->size, container->createdAt});
        if (!inserted.ok)
            return Result::Failed;
        if (inserted.affected == 1) {
            container->fileId = candidate;
            container->state = ContainerState::Storing;
            return committed(*db, Result::Done);
        }
    }
    return Result::Failed;
}

bool MetadataStore::changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now)
{
    // Two servers changing the same row: the second waits for the first and then finds the state
    // it expected gone.
    const qint64 finishedAt = to > ContainerState::Waiting ? now : 0;
    return m_db.session()
               ->run("UPDATE containers SET state = ?, finished_at = ? WHERE file_id = ? AND state = ?",
                     {qint64(to), finishedAt, fileId, qint64(from)})
               .affected
        == 1;
}

bool MetadataStore::removeContainer(qint32 fileId)
{
    return m_db.session()->run("DELETE FROM containers WHERE file_id = ?", {fileId}).ok;
}

std::optional<StoredContainer> MetadataStore::container(qint32 fileId)
{
    const QVector<StoredContainer> found = containers(
        m_db.session()->run((QByteArray(containerColumns) + "file_id = ?").constData(), {fileId}));
    return found.size() == 1 ? std::optional<StoredContainer>(found.first()) : std::nullopt;
}

QVector<StoredContainer> MetadataStore::waitingFor(const QByteArray& recipient)
{
    return containers(m_db.session()->run(
        (QByteArray(containerColumns) + "recipient = ? AND state = 1 ORDER BY created_at, file_id")
            .constData(),
        {recipient}));
}

QVector<StoredContainer> MetadataStore::finishedFrom(const QByteArray& uploader)
{
    return containers(m_db.session()->run(
        (QByteArray(containerColumns) + "uploader = ? AND state > 1").constData(), {uploader}));
}

qint64 MetadataStore::waitingBytesOf(const QByteArray& uploader, const QString& completing)
{
    return m_db.session()->run(usedBytes, {uploader, uploader, completing}).integer();
}

MetadataStore::Result MetadataStore::createUpload(const StoredUpload& upload, const QByteArray& recipient,
                                                  const ContainerLimits& limits, qint64 maxOpen)
{
    const auto db = m_db.session();
    if (!db->begin() || !db->lock(upload.uploader))
        return Result::Failed;
    Result r = below(*db, "SELECT COUNT(*) FROM uploads WHERE uploader = ? AND file_id = 0",
                     {upload.uploader}, maxOpen);
    if (r == Result::Done)
        r = room(*db, upload.uploader, recipient, upload.length, limits, QString());
    if (r != Result::Done)
        return r;
    if (!db->run("INSERT INTO uploads (upload_id, uploader, recipient_fpr, length, metadata, expires_at) "
                 "VALUES (?, ?, ?, ?, ?, ?)",
                 {upload.uploadId, upload.uploader, upload.recipientFingerprint, upload.length,
                  QString::fromLatin1(upload.metadata), upload.expiresAt})
             .ok)
        return Result::Failed;
    return committed(*db, Result::Done);
}

std::optional<StoredUpload> MetadataStore::upload(const QString& uploadId)
{
    const SqlResult found = m_db.session()->run(
        "SELECT upload_id, uploader, recipient_fpr, length, metadata, expires_at, file_id FROM uploads "
        "WHERE upload_id = ?",
        {uploadId});
    if (found.rows.size() != 1)
        return std::nullopt;
    return StoredUpload {found.text(0, 0),           found.bytes(0, 1),           found.bytes(0, 2),
                         found.integer(0, 3),        found.text(0, 4).toLatin1(), found.integer(0, 5),
                         qint32(found.integer(0, 6))};
}

bool MetadataStore::touchUpload(const QString& uploadId, qint64 expiresAt)
{
    return m_db.session()
        ->run("UPDATE uploads SET expires_at = ? WHERE upload_id = ? AND file_id = 0", {expiresAt, uploadId})
        .ok;
}

bool MetadataStore::removeUpload(const QString& uploadId)
{
    return m_db.session()->run("DELETE FROM uploads WHERE upload_id = ?", {uploadId}).ok;
}

QStringList MetadataStore::expiredUploads(qint64 now)
{
    const SqlResult result
        = m_db.session()->run("SELECT upload_id FROM uploads WHERE expires_at <= ?", {now});
    QStringList list;
    for (int row = 0; row < result.rows.size(); ++row)
        list.append(result.text(row));
    return list;
}

bool MetadataStore::publishContainer(qint32 fileId, const QString& uploadId, qint64 uploadExpiresAt)
{
    const auto db = m_db.session();
    if (!db->begin())
        return false;
    if (db->run("UPDATE containers SET state = 1 WHERE file_id = ? AND state = 0", {fileId}).affected != 1)
        return false;
    if (!uploadId.isEmpty()
        && db->run("UPDATE uploads SET file_id = ?, expires_at = ? WHERE upload_id = ?",
                   {fileId, uploadExpiresAt, uploadId})
                .affected
            != 1)
        return false;
    return db->commit();
}

QVector<qint32> MetadataStore::waitingSince(qint64 createdAtOrBefore)
{
    return ids(m_db.session()->run("SELECT file_id FROM containers WHERE state = 1 AND created_at <= ?",
                                   {createdAtOrBefore}));
}

QVector<qint32> MetadataStore::removeUnfinished(qint64 createdAtOrBefore)
{
    return ids(m_db.session()->run(
        "DELETE FROM containers WHERE state = 0 AND created_at <= ? RETURNING file_id", {createdAtOrBefore}));
}

void MetadataStore::forgetFinished(qint64 finishedAtOrBefore)
{
    m_db.session()->run("DELETE FROM containers WHERE state > 1 AND finished_at <= ?", {finishedAtOrBefore});
}

void MetadataStore::forgetOrigins(qint64 createdAtOrBefore)
{
    m_db.session()->run("UPDATE installations SET origin = '' WHERE origin <> '' AND created_at <= ?",
                        {createdAtOrBefore});
}

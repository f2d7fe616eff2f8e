#include "SqliteMetadataStore.h"

#include <sqlite3.h>

#include <limits>

namespace {
const char* const schema = R"sql(
CREATE TABLE IF NOT EXISTS pubkeys (
    key_id TEXT PRIMARY KEY,
    installation BLOB NOT NULL,
    fpr BLOB NOT NULL UNIQUE,
    key_data BLOB NOT NULL,
    created_at INTEGER NOT NULL,
    updated_at INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS pubkeys_by_installation ON pubkeys (installation, updated_at);
CREATE TABLE IF NOT EXISTS contacts (
    installation BLOB NOT NULL,
    key_id TEXT NOT NULL,
    title TEXT NOT NULL DEFAULT '',
    updated_at INTEGER NOT NULL,
    PRIMARY KEY (installation, key_id)
);
CREATE TABLE IF NOT EXISTS containers (
    file_id INTEGER PRIMARY KEY,
    uploader BLOB NOT NULL,
    recipient BLOB NOT NULL,
    uploader_key_id TEXT NOT NULL,
    size INTEGER NOT NULL,
    state INTEGER NOT NULL,
    created_at INTEGER NOT NULL,
    finished_at INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS containers_by_recipient ON containers (recipient, state);
CREATE INDEX IF NOT EXISTS containers_by_uploader ON containers (uploader, state);
CREATE INDEX IF NOT EXISTS containers_by_state ON containers (state, created_at);
CREATE TABLE IF NOT EXISTS feedback (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    installation BLOB NOT NULL,
    name TEXT NOT NULL,
    email TEXT NOT NULL,
    message TEXT NOT NULL,
    created_at INTEGER NOT NULL
);
PRAGMA user_version = 1;
)sql";

// A prepared statement that finalises itself.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_ok = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QByteArray& blob)
    {
        if (m_ok)
            m_ok = sqlite3_bind_blob(m_stmt, index, blob.constData(), blob.size(), SQLITE_TRANSIENT)
                == SQLITE_OK;
        return *this;
    }
    Statement& bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        if (m_ok)
            m_ok = sqlite3_bind_text(m_stmt, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT)
                == SQLITE_OK;
        return *this;
    }
    Statement& bind(int index, qint64 value)
    {
        if (m_ok)
            m_ok = sqlite3_bind_int64(m_stmt, index, value) == SQLITE_OK;
        return *this;
    }

    // One step: SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_ok ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }

    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QByteArray blob(int column) const
    {
        const void* data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
    }
    QString text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_ok = false;
};

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

const char* const containerColumns = "SELECT file_id, uploader, recipient, uploader_key_id, size, state, "
                                     "created_at, finished_at FROM containers ";

StoredContainer readContainer(const Statement& row)
{
    StoredContainer c;
    c.fileId = static_cast<qint32>(row.integer(0));
    c.uploader = row.blob(1);
    c.recipient = row.blob(2);
    c.uploaderKeyId = row.text(3);
    c.size = row.integer(4);
    c.state = static_cast<ContainerState>(row.integer(5));
    c.createdAt = row.integer(6);
    c.finishedAt = row.integer(7);
    return c;
}

// Attempts per new id before giving up: ids are random, so a collision is rare and ten in a row
// means something else is wrong.
constexpr int idAttempts = 10;
} // namespace

SqliteMetadataStore::~SqliteMetadataStore()
{
    sqlite3_close(m_db);
}

bool SqliteMetadataStore::open(const QString& path, QString* error)
{
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK || !exec(m_db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;")
        || sqlite3_busy_timeout(m_db, 5000) != SQLITE_OK || !exec(m_db, schema)) {
        if (error)
            *error = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory");
        return false;
    }
    return true;
}

MetadataStore::Registration SqliteMetadataStore::registerKey(const QByteArray& installation,
                                                             const QByteArray& fingerprint,
                                                             const QByteArray& keyData, qint64 now,
                                                             const std::function<QString()>& newKeyId,
                                                             QString* keyId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!exec(m_db, "BEGIN IMMEDIATE"))
        return Registration::Failed;
    Registration result = Registration::Failed;
    {
        Statement existing(m_db, "SELECT key_id, installation FROM pubkeys WHERE fpr = ?");
        existing.bind(1, fingerprint);
        const int rc = existing.step();
        if (rc == SQLITE_ROW) {
            if (existing.blob(1) != installation) {
                result = Registration::OwnedByOther;
            } else {
                *keyId = existing.text(0);
                // A key exported again may carry new signatures; keep the newest form.
                Statement update(m_db, "UPDATE pubkeys SET key_data = ?, updated_at = ? WHERE fpr = ?");
                if (update.bind(1, keyData).bind(2, now).bind(3, fingerprint).run())
                    result = Registration::AlreadyRegistered;
            }
        } else if (rc == SQLITE_DONE) {
            for (int attempt = 0; attempt < idAttempts && result == Registration::Failed; ++attempt) {
                const QString candidate = newKeyId();
                Statement insert(m_db,
                                 "INSERT OR IGNORE INTO pubkeys (key_id, installation, fpr, key_data, "
                                 "created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?)");
                insert.bind(1, candidate).bind(2, installation).bind(3, fingerprint).bind(4, keyData);
                if (!insert.bind(5, now).bind(6, now).run())
                    break;
                if (sqlite3_changes(m_db) == 1) {
                    *keyId = candidate;
                    result = Registration::Registered;
                }
            }
        }
    }
    if (result == Registration::Registered || result == Registration::AlreadyRegistered) {
        if (exec(m_db, "COMMIT"))
            return result;
        result = Registration::Failed;
    }
    exec(m_db, "ROLLBACK");
    return result;
}

std::optional<StoredKey> SqliteMetadataStore::keyWhere(const char* sql, const QByteArray& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, sql);
    query.bind(1, value);
    if (query.step() != SQLITE_ROW)
        return std::nullopt;
    return StoredKey {query.text(0), query.blob(1), query.blob(2), query.blob(3)};
}

std::optional<StoredKey> SqliteMetadataStore::keyById(const QString& keyId)
{
    return keyWhere("SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE key_id = CAST(? AS TEXT)",
                    keyId.toUtf8());
}

std::optional<StoredKey> SqliteMetadataStore::keyByFingerprint(const QByteArray& fingerprint)
{
    return keyWhere("SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE fpr = ?", fingerprint);
}

QString SqliteMetadataStore::latestKeyIdOf(const QByteArray& installation)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db,
                    "SELECT key_id FROM pubkeys WHERE installation = ? "
                    "ORDER BY updated_at DESC, rowid DESC LIMIT 1");
    query.bind(1, installation);
    return query.step() == SQLITE_ROW ? query.text(0) : QString();
}

bool SqliteMetadataStore::attachContact(const QByteArray& installation, const QString& keyId,
                                        const QString& title, qint64 now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement upsert(m_db,
                     "INSERT INTO contacts (installation, key_id, title, updated_at) VALUES (?, ?, ?, ?) "
                     "ON CONFLICT (installation, key_id) DO UPDATE SET "
                     "title = CASE WHEN excluded.title = '' THEN title ELSE excluded.title END, "
                     "updated_at = excluded.updated_at");
    return upsert.bind(1, installation).bind(2, keyId).bind(3, title).bind(4, now).run();
}

MetadataStore::Reservation SqliteMetadataStore::reserveContainer(StoredContainer* container,
                                                                 qint64 quotaBytes,
                                                                 const std::function<qint32()>& newFileId)
{
    // One connection under one mutex: nothing comes between the sum and the insert.
    std::lock_guard<std::mutex> lock(m_mutex);
    {
        Statement used(
            m_db, "SELECT COALESCE(SUM(size), 0) FROM containers WHERE uploader = ? AND state IN (?, ?)");
        used.bind(1, container->uploader).bind(2, qint64(ContainerState::Storing));
        if (used.bind(3, qint64(ContainerState::Waiting)).step() != SQLITE_ROW)
            return Reservation::Failed;
        if (used.integer(0) + container->size > quotaBytes)
            return Reservation::OverQuota;
    }
    for (int attempt = 0; attempt < idAttempts; ++attempt) {
        const qint32 candidate = newFileId();
        Statement insert(m_db,
                         "INSERT OR IGNORE INTO containers (file_id, uploader, recipient, uploader_key_id, "
                         "size, state, created_at) VALUES (?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, qint64(candidate)).bind(2, container->uploader).bind(3, container->recipient);
        insert.bind(4, container->uploaderKeyId).bind(5, container->size);
        insert.bind(6, qint64(ContainerState::Storing)).bind(7, container->createdAt);
        if (!insert.run())
            return Reservation::Failed;
        if (sqlite3_changes(m_db) == 1) {
            container->fileId = candidate;
            container->state = ContainerState::Storing;
            return Reservation::Reserved;
        }
    }
    return Reservation::Failed;
}

bool SqliteMetadataStore::changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement update(m_db,
                     "UPDATE containers SET state = ?, finished_at = CASE WHEN ? > 1 THEN ? ELSE 0 END "
                     "WHERE file_id = ? AND state = ?");
    update.bind(1, qint64(to)).bind(2, qint64(to)).bind(3, now).bind(4, qint64(fileId)).bind(5, qint64(from));
    return update.run() && sqlite3_changes(m_db) == 1;
}

bool SqliteMetadataStore::removeContainer(qint32 fileId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement remove(m_db, "DELETE FROM containers WHERE file_id = ?");
    return remove.bind(1, qint64(fileId)).run();
}

std::optional<StoredContainer> SqliteMetadataStore::container(qint32 fileId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, (QByteArray(containerColumns) + "WHERE file_id = ?").constData());
    query.bind(1, qint64(fileId));
    if (query.step() != SQLITE_ROW)
        return std::nullopt;
    return readContainer(query);
}

QVector<StoredContainer> SqliteMetadataStore::waitingFor(const QByteArray& recipient)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(
        m_db,
        (QByteArray(containerColumns) + "WHERE recipient = ? AND state = ? ORDER BY created_at, rowid")
            .constData());
    query.bind(1, recipient).bind(2, qint64(ContainerState::Waiting));
    QVector<StoredContainer> result;
    while (query.step() == SQLITE_ROW)
        result.append(readContainer(query));
    return result;
}

QVector<StoredContainer> SqliteMetadataStore::uploadedBy(const QByteArray& uploader,
                                                         const QVector<qint32>& fileIds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QVector<StoredContainer> result;
    for (qint32 fileId : fileIds) {
        Statement one(m_db,
                      (QByteArray(containerColumns) + "WHERE file_id = ? AND uploader = ?").constData());
        one.bind(1, qint64(fileId)).bind(2, uploader);
        if (one.step() == SQLITE_ROW)
            result.append(readContainer(one));
    }
    return result;
}

qint64 SqliteMetadataStore::waitingBytesOf(const QByteArray& uploader)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db,
                    "SELECT COALESCE(SUM(size), 0) FROM containers WHERE uploader = ? AND state IN (?, ?)");
    query.bind(1, uploader).bind(2, qint64(ContainerState::Storing)).bind(3, qint64(ContainerState::Waiting));
    return query.step() == SQLITE_ROW ? query.integer(0) : 0;
}

QVector<qint32> SqliteMetadataStore::idsWhere(const char* sql, qint64 value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement query(m_db, sql);
    query.bind(1, qint64(ContainerState::Waiting)).bind(2, value);
    QVector<qint32> ids;
    while (query.step() == SQLITE_ROW)
        ids.append(static_cast<qint32>(query.integer(0)));
    return ids;
}

QVector<qint32> SqliteMetadataStore::waitingSince(qint64 createdAtOrBefore)
{
    return idsWhere("SELECT file_id FROM containers WHERE state = ? AND created_at <= ?", createdAtOrBefore);
}

QVector<qint32> SqliteMetadataStore::allWaiting()
{
    return waitingSince(std::numeric_limits<qint64>::max());
}

QVector<qint32> SqliteMetadataStore::removeUnfinished(qint64 createdAtOrBefore)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement remove(m_db, "DELETE FROM containers WHERE state = ? AND created_at <= ? RETURNING file_id");
    remove.bind(1, qint64(ContainerState::Storing)).bind(2, createdAtOrBefore);
    QVector<qint32> ids;
    while (remove.step() == SQLITE_ROW)
        ids.append(static_cast<qint32>(remove.integer(0)));
    return ids;
}

int SqliteMetadataStore::forgetFinished(qint64 finishedAtOrBefore)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement remove(m_db, "DELETE FROM containers WHERE state > ? AND finished_at <= ?");
    if (!remove.bind(1, qint64(ContainerState::Waiting)).bind(2, finishedAtOrBefore).run())
        return -1;
    return sqlite3_changes(m_db);
}

bool SqliteMetadataStore::addFeedback(const QByteArray& installation, const QString& name,
                                      const QString& email, const QString& message, qint64 now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Statement insert(m_db,
                     "INSERT INTO feedback (installation, name, email, message, created_at) "
                     "VALUES (?, ?, ?, ?, ?)");
    return insert.bind(1, installation).bind(2, name).bind(3, email).bind(4, message).bind(5, now).run();
}

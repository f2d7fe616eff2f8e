#include "PostgresMetadataStore.h"

#include <QtEndian>

#include <libpq-fe.h>

#include <cstdlib>
#include <limits>

namespace {
// Enough for the short statements of the relay; a request thread waits for a free one.
constexpr int connectionCount = 8;
constexpr int idAttempts = 10;
// Taken while the tables are made, so that servers starting together do not trip over each other.
constexpr qint64 schemaLock = 0x7e55a7;

const char* const schema = R"sql(
CREATE TABLE IF NOT EXISTS pubkeys (
    key_id TEXT PRIMARY KEY,
    installation BYTEA NOT NULL,
    fpr BYTEA NOT NULL UNIQUE,
    key_data BYTEA NOT NULL,
    created_at BIGINT NOT NULL,
    updated_at BIGINT NOT NULL,
    seq BIGSERIAL
);
CREATE INDEX IF NOT EXISTS pubkeys_by_installation ON pubkeys (installation, updated_at);
CREATE TABLE IF NOT EXISTS contacts (
    installation BYTEA NOT NULL,
    key_id TEXT NOT NULL,
    title TEXT NOT NULL DEFAULT '',
    updated_at BIGINT NOT NULL,
    PRIMARY KEY (installation, key_id)
);
CREATE TABLE IF NOT EXISTS containers (
    file_id BIGINT PRIMARY KEY,
    uploader BYTEA NOT NULL,
    recipient BYTEA NOT NULL,
    uploader_key_id TEXT NOT NULL,
    size BIGINT NOT NULL,
    state BIGINT NOT NULL,
    created_at BIGINT NOT NULL,
    finished_at BIGINT NOT NULL DEFAULT 0,
    seq BIGSERIAL
);
CREATE INDEX IF NOT EXISTS containers_by_recipient ON containers (recipient, state);
CREATE INDEX IF NOT EXISTS containers_by_uploader ON containers (uploader, state);
CREATE INDEX IF NOT EXISTS containers_by_state ON containers (state, created_at);
CREATE TABLE IF NOT EXISTS feedback (
    id BIGSERIAL PRIMARY KEY,
    installation BYTEA NOT NULL,
    name TEXT NOT NULL,
    email TEXT NOT NULL,
    message TEXT NOT NULL,
    created_at BIGINT NOT NULL
);
)sql";

// Statement parameters, all in the binary format: integers as int8, bytes as bytea, strings as text.
class Params
{
public:
    Params& operator<<(qint64 value)
    {
        QByteArray bytes(8, '\0');
        qToBigEndian(value, bytes.data());
        return add(bytes, 20);
    }
    Params& operator<<(const QByteArray& bytes) { return add(bytes, 17); }
    Params& operator<<(const QString& text) { return add(text.toUtf8(), 25); }

    int count() const { return int(m_values.size()); }
    const Oid* types() const { return m_types.data(); }
    const char* const* values() const { return m_pointers.data(); }
    const int* lengths() const { return m_lengths.data(); }
    const int* formats() const { return m_formats.data(); }

private:
    Params& add(const QByteArray& bytes, Oid type)
    {
        m_values.push_back(bytes);
        m_types.push_back(type);
        m_lengths.push_back(bytes.size());
        m_formats.push_back(1);
        m_pointers.clear();
        for (const QByteArray& value : m_values)
            m_pointers.push_back(value.constData());
        return *this;
    }

    std::vector<QByteArray> m_values;
    std::vector<Oid> m_types;
    std::vector<const char*> m_pointers;
    std::vector<int> m_lengths;
    std::vector<int> m_formats;
};

// A result in the binary format; every integer column is a bigint.
class Result
{
public:
    explicit Result(PGresult* result)
        : m_result(result)
    {
    }
    ~Result() { PQclear(m_result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    bool ok() const
    {
        const ExecStatusType status = PQresultStatus(m_result);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    int rows() const { return ok() ? PQntuples(m_result) : 0; }
    int affected() const { return ok() ? std::atoi(PQcmdTuples(m_result)) : -1; }
    qint64 integer(int row, int column) const
    {
        if (PQgetlength(m_result, row, column) != 8)
            return 0;
        return qFromBigEndian<qint64>(PQgetvalue(m_result, row, column));
    }
    QByteArray bytes(int row, int column) const
    {
        return QByteArray(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
    }
    QString text(int row, int column) const { return QString::fromUtf8(bytes(row, column)); }

private:
    PGresult* m_result;
};

Result run(PGconn* db, const char* sql, const Params& params = Params())
{
    return Result(PQexecParams(db, sql, params.count(), params.types(), params.values(), params.lengths(),
                               params.formats(), 1));
}

Result run(PGconn* db, const QByteArray& sql, const Params& params)
{
    return run(db, sql.constData(), params);
}

bool exec(PGconn* db, const char* sql)
{
    return Result(PQexec(db, sql)).ok();
}

const char* const containerColumns = "SELECT file_id, uploader, recipient, uploader_key_id, size, state, "
                                     "created_at, finished_at FROM containers ";

QByteArray containerQuery(const char* where)
{
    return QByteArray(containerColumns) + where;
}

StoredContainer readContainer(const Result& result, int row)
{
    StoredContainer c;
    c.fileId = static_cast<qint32>(result.integer(row, 0));
    c.uploader = result.bytes(row, 1);
    c.recipient = result.bytes(row, 2);
    c.uploaderKeyId = result.text(row, 3);
    c.size = result.integer(row, 4);
    c.state = static_cast<ContainerState>(result.integer(row, 5));
    c.createdAt = result.integer(row, 6);
    c.finishedAt = result.integer(row, 7);
    return c;
}

QVector<qint32> ids(const Result& result)
{
    QVector<qint32> list;
    for (int row = 0; row < result.rows(); ++row)
        list.append(static_cast<qint32>(result.integer(row, 0)));
    return list;
}
} // namespace

// A connection taken from the pool for one step, given back when the step is done.
class PostgresMetadataStore::Connection
{
public:
    explicit Connection(PostgresMetadataStore& store)
        : m_store(store)
        , m_db(store.take())
    {
    }
    ~Connection() { m_store.give(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    operator PGconn*() const { return m_db; }

private:
    PostgresMetadataStore& m_store;
    PGconn* m_db;
};

PostgresMetadataStore::~PostgresMetadataStore()
{
    for (PGconn* db : m_all)
        PQfinish(db);
}

bool PostgresMetadataStore::open(const QString& url, QString* error)
{
    const QByteArray conninfo = url.toUtf8();
    for (int i = 0; i < connectionCount; ++i) {
        PGconn* db = PQconnectdb(conninfo.constData());
        m_all.push_back(db);
        if (PQstatus(db) != CONNECTION_OK) {
            if (error)
                *error = QString::fromUtf8(PQerrorMessage(db)).trimmed();
            return false;
        }
        exec(db, "SET client_min_messages = warning");
        m_free.push_back(db);
    }
    PGconn* db = m_all.front();
    const bool made = exec(db, "BEGIN")
        && run(db, "SELECT pg_advisory_xact_lock($1)", Params() << schemaLock).ok() && exec(db, schema)
        && exec(db, "COMMIT");
    if (!made) {
        if (error)
            *error = QString::fromUtf8(PQerrorMessage(db)).trimmed();
        exec(db, "ROLLBACK");
        return false;
    }
    return true;
}

PGconn* PostgresMetadataStore::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_returned.wait(lock, [this] { return !m_free.empty(); });
    PGconn* db = m_free.back();
    m_free.pop_back();
    return db;
}

void PostgresMetadataStore::give(PGconn* db)
{
    // A connection lost with the database server (a restart, a fail-over) is made anew for the
    // next step; this one has already failed and reported it.
    if (PQstatus(db) == CONNECTION_BAD)
        PQreset(db);
    else if (PQtransactionStatus(db) != PQTRANS_IDLE)
        exec(db, "ROLLBACK");
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_free.push_back(db);
    }
    m_returned.notify_one();
}

MetadataStore::Registration PostgresMetadataStore::registerKey(const QByteArray& installation,
                                                               const QByteArray& fingerprint,
                                                               const QByteArray& keyData, qint64 now,
                                                               const std::function<QString()>& newKeyId,
                                                               QString* keyId)
{
    Connection db(*this);
    if (!exec(db, "BEGIN"))
        return Registration::Failed;
    Registration result = Registration::Failed;
    for (int attempt = 0; attempt < idAttempts; ++attempt) {
        const Result existing
            = run(db, "SELECT key_id, installation FROM pubkeys WHERE fpr = $1", Params() << fingerprint);
        if (!existing.ok())
            break;
        if (existing.rows() == 1) {
            if (existing.bytes(0, 1) != installation) {
                result = Registration::OwnedByOther;
                break;
            }
            *keyId = existing.text(0, 0);
            // A key exported again may carry new signatures; keep the newest form.
            if (run(db, "UPDATE pubkeys SET key_data = $1, updated_at = $2 WHERE fpr = $3",
                    Params() << keyData << now << fingerprint)
                    .affected()
                == 1)
                result = Registration::AlreadyRegistered;
            break;
        }
        // A conflict on the fingerprint means another server registered the key meanwhile: the
        // next round finds it. One on the id just asks for another id.
        const QString candidate = newKeyId();
        const Result inserted = run(db,
                                    "INSERT INTO pubkeys (key_id, installation, fpr, key_data, created_at, "
                                    "updated_at) VALUES ($1, $2, $3, $4, $5, $5) ON CONFLICT DO NOTHING",
                                    Params() << candidate << installation << fingerprint << keyData << now);
        if (inserted.affected() < 0)
            break;
        if (inserted.affected() == 1) {
            *keyId = candidate;
            result = Registration::Registered;
            break;
        }
    }
    if ((result == Registration::Registered || result == Registration::AlreadyRegistered)
        && exec(db, "COMMIT"))
        return result;
    exec(db, "ROLLBACK");
    return result == Registration::OwnedByOther ? result : Registration::Failed;
}

std::optional<StoredKey> PostgresMetadataStore::keyById(const QString& keyId)
{
    Connection db(*this);
    const Result key = run(db, "SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE key_id = $1",
                           Params() << keyId);
    if (key.rows() != 1)
        return std::nullopt;
    return StoredKey {key.text(0, 0), key.bytes(0, 1), key.bytes(0, 2), key.bytes(0, 3)};
}

std::optional<StoredKey> PostgresMetadataStore::keyByFingerprint(const QByteArray& fingerprint)
{
    Connection db(*this);
    const Result key = run(db, "SELECT key_id, installation, fpr, key_data FROM pubkeys WHERE fpr = $1",
                           Params() << fingerprint);
    if (key.rows() != 1)
        return std::nullopt;
    return StoredKey {key.text(0, 0), key.bytes(0, 1), key.bytes(0, 2), key.bytes(0, 3)};
}

QString PostgresMetadataStore::latestKeyIdOf(const QByteArray& installation)
{
    Connection db(*this);
    const Result key = run(db,
                           "SELECT key_id FROM pubkeys WHERE installation = $1 "
                           "ORDER BY updated_at DESC, seq DESC LIMIT 1",
                           Params() << installation);
    return key.rows() == 1 ? key.text(0, 0) : QString();
}

bool PostgresMetadataStore::attachContact(const QByteArray& installation, const QString& keyId,
                                          const QString& title, qint64 now)
{
    Connection db(*this);
    return run(db,
               "INSERT INTO contacts (installation, key_id, title, updated_at) VALUES ($1, $2, $3, $4) "
               "ON CONFLICT (installation, key_id) DO UPDATE SET "
               "title = CASE WHEN excluded.title = '' THEN contacts.title ELSE excluded.title END, "
               "updated_at = excluded.updated_at",
               Params() << installation << keyId << title << now)
        .ok();
}

MetadataStore::Reservation PostgresMetadataStore::reserveContainer(StoredContainer* container,
                                                                   qint64 quotaBytes,
                                                                   const std::function<qint32()>& newFileId)
{
    Connection db(*this);
    // Uploads of one installation through different servers take turns between the sum and the
    // insert; a lock on the installation's id, held until the end of the transaction.
    if (!exec(db, "BEGIN")
        || !run(db, "SELECT pg_advisory_xact_lock(hashtextextended(encode($1, 'hex'), 0))",
                Params() << container->uploader)
                .ok())
        return Reservation::Failed;
    const Result used = run(db,
                            "SELECT COALESCE(SUM(size), 0)::BIGINT FROM containers "
                            "WHERE uploader = $1 AND state IN ($2, $3)",
                            Params() << container->uploader << qint64(ContainerState::Storing)
                                     << qint64(ContainerState::Waiting));
    if (used.rows() != 1)
        return Reservation::Failed;
    if (used.integer(0, 0) + container->size > quotaBytes)
        return exec(db, "ROLLBACK") ? Reservation::OverQuota : Reservation::Failed;
    for (int attempt = 0; attempt < idAttempts; ++attempt) {
        const qint32 candidate = newFileId();
        const Result inserted
            = run(db,
                  "INSERT INTO containers (file_id, uploader, recipient, uploader_key_id, size, state, "
                  "created_at) VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT DO NOTHING",
                  Params() << qint64(candidate) << container->uploader << container->recipient
                           << container->uploaderKeyId << container->size << qint64(ContainerState::Storing)
                           << container->createdAt);
        if (inserted.affected() < 0)
            return Reservation::Failed;
        if (inserted.affected() == 1) {
            if (!exec(db, "COMMIT"))
                return Reservation::Failed;
            container->fileId = candidate;
            container->state = ContainerState::Storing;
            return Reservation::Reserved;
        }
    }
    return Reservation::Failed;
}

bool PostgresMetadataStore::changeState(qint32 fileId, ContainerState from, ContainerState to, qint64 now)
{
    Connection db(*this);
    // Two servers changing the same row: the second waits for the first and then finds the state
    // it expected gone.
    return run(db,
               "UPDATE containers SET state = $1, finished_at = CASE WHEN $1 > 1 THEN $2 ELSE 0 END "
               "WHERE file_id = $3 AND state = $4",
               Params() << qint64(to) << now << qint64(fileId) << qint64(from))
               .affected()
        == 1;
}

bool PostgresMetadataStore::removeContainer(qint32 fileId)
{
    Connection db(*this);
    return run(db, "DELETE FROM containers WHERE file_id = $1", Params() << qint64(fileId)).ok();
}

std::optional<StoredContainer> PostgresMetadataStore::container(qint32 fileId)
{
    Connection db(*this);
    const Result row = run(db, containerQuery("WHERE file_id = $1"), Params() << qint64(fileId));
    if (row.rows() != 1)
        return std::nullopt;
    return readContainer(row, 0);
}

QVector<StoredContainer> PostgresMetadataStore::waitingFor(const QByteArray& recipient)
{
    Connection db(*this);
    const Result rows
        = run(db, containerQuery("WHERE recipient = $1 AND state = $2 ORDER BY created_at, seq"),
              Params() << recipient << qint64(ContainerState::Waiting));
    QVector<StoredContainer> result;
    for (int row = 0; row < rows.rows(); ++row)
        result.append(readContainer(rows, row));
    return result;
}

QVector<StoredContainer> PostgresMetadataStore::uploadedBy(const QByteArray& uploader,
                                                           const QVector<qint32>& fileIds)
{
    Connection db(*this);
    QVector<StoredContainer> result;
    for (qint32 fileId : fileIds) {
        const Result row = run(db, containerQuery("WHERE file_id = $1 AND uploader = $2"),
                               Params() << qint64(fileId) << uploader);
        if (row.rows() == 1)
            result.append(readContainer(row, 0));
    }
    return result;
}

qint64 PostgresMetadataStore::waitingBytesOf(const QByteArray& uploader)
{
    Connection db(*this);
    const Result sum
        = run(db,
              "SELECT COALESCE(SUM(size), 0)::BIGINT FROM containers "
              "WHERE uploader = $1 AND state IN ($2, $3)",
              Params() << uploader << qint64(ContainerState::Storing) << qint64(ContainerState::Waiting));
    return sum.rows() == 1 ? sum.integer(0, 0) : 0;
}

QVector<qint32> PostgresMetadataStore::waitingSince(qint64 createdAtOrBefore)
{
    Connection db(*this);
    return ids(run(db, "SELECT file_id FROM containers WHERE state = $1 AND created_at <= $2",
                   Params() << qint64(ContainerState::Waiting) << createdAtOrBefore));
}

QVector<qint32> PostgresMetadataStore::allWaiting()
{
    return waitingSince(std::numeric_limits<qint64>::max());
}

QVector<qint32> PostgresMetadataStore::removeUnfinished(qint64 createdAtOrBefore)
{
    Connection db(*this);
    return ids(run(db, "DELETE FROM containers WHERE state = $1 AND created_at <= $2 RETURNING file_id",
                   Params() << qint64(ContainerState::Storing) << createdAtOrBefore));
}

int PostgresMetadataStore::forgetFinished(qint64 finishedAtOrBefore)
{
    Connection db(*this);
    return run(db, "DELETE FROM containers WHERE state > $1 AND finished_at <= $2",
               Params() << qint64(ContainerState::Waiting) << finishedAtOrBefore)
        .affected();
}

bool PostgresMetadataStore::addFeedback(const QByteArray& installation, const QString& name,
                                        const QString& email, const QString& message, qint64 now)
{
    Connection db(*this);
    return run(db,
               "INSERT INTO feedback (installation, name, email, message, created_at) "
               "VALUES ($1, $2, $3, $4, $5)",
               Params() << installation << name << email << message << now)
        .ok();
}

#include "PostgresDatabase.h"

#include <QRegularExpression>
#include <QtEndian>

#include <libpq-fe.h>

#include <cstdlib>

namespace {
// Enough for the short statements of the relay; a request thread waits for a free one.
constexpr int connectionCount = 8;
// Held while the tables are made, so that servers starting together do not trip over each other.
constexpr qint64 schemaLock = 0x7e55a7;

// Type oids of the values the relay sends and reads (pg_type.h).
constexpr Oid boolOid = 16, byteaOid = 17, int8Oid = 20, int2Oid = 21, int4Oid = 23, textOid = 25;

// "?" placeholders become "$1", "$2"...: the relay's statements hold no "?" of their own.
QByteArray numbered(const char* sql)
{
    QByteArray out;
    int n = 0;
    for (const char* c = sql; *c; ++c) {
        if (*c == '?')
            out += '$' + QByteArray::number(++n);
        else
            out += *c;
    }
    return out;
}

QVariant value(const PGresult* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return QVariant();
    const char* data = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    switch (PQftype(result, column)) {
    case int8Oid:
        return length == 8 ? qFromBigEndian<qint64>(data) : QVariant();
    case int4Oid:
        return length == 4 ? qint64(qFromBigEndian<qint32>(data)) : QVariant();
    case int2Oid:
        return length == 2 ? qint64(qFromBigEndian<qint16>(data)) : QVariant();
    case boolOid:
        return length == 1 ? qint64(data[0] != 0) : QVariant();
    case byteaOid:
        return QByteArray(data, length);
    default:
        return QString::fromUtf8(data, length);
    }
}
} // namespace

class PostgresDatabase::Connection : public SqlDatabase::Session
{
public:
    explicit Connection(PostgresDatabase& database)
        : m_database(database)
        , m_db(database.take())
    {
    }
    ~Connection() override { m_database.give(m_db); }

    SqlResult run(const char* sql, const QVariantList& params) override
    {
        // Every value in the binary format: integers as int8, bytes as bytea, strings as text.
        std::vector<QByteArray> values;
        std::vector<Oid> types;
        std::vector<const char*> pointers;
        std::vector<int> lengths;
        std::vector<int> formats(params.size(), 1);
        for (const QVariant& param : params) {
            if (param.userType() == QMetaType::QByteArray) {
                values.push_back(param.toByteArray());
                types.push_back(byteaOid);
            } else if (param.userType() == QMetaType::QString) {
                values.push_back(param.toString().toUtf8());
                types.push_back(textOid);
            } else {
                QByteArray integer(8, '\0');
                qToBigEndian(param.toLongLong(), integer.data());
                values.push_back(integer);
                types.push_back(int8Oid);
            }
        }
        for (const QByteArray& v : values) {
            pointers.push_back(v.constData());
            lengths.push_back(v.size());
        }
        PGresult* answer = PQexecParams(m_db, numbered(sql).constData(), int(params.size()), types.data(),
                                        pointers.data(), lengths.data(), formats.data(), 1);
        SqlResult result;
        const ExecStatusType status = PQresultStatus(answer);
        result.ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (result.ok) {
            result.affected = std::atoll(PQcmdTuples(answer));
            for (int row = 0; row < PQntuples(answer); ++row) {
                QVariantList values;
                for (int column = 0; column < PQnfields(answer); ++column)
                    values.append(value(answer, row, column));
                result.rows.append(values);
            }
        }
        PQclear(answer);
        return result;
    }

    bool begin() override { return run("BEGIN", {}).ok; }

    bool lock(const QByteArray& key) override
    {
        return run("SELECT pg_advisory_xact_lock(hashtextextended(encode(?, 'hex'), 0))", {key}).ok;
    }

private:
    PostgresDatabase& m_database;
    PGconn* m_db;
};

PostgresDatabase::~PostgresDatabase()
{
    for (PGconn* db : m_all)
        PQfinish(db);
}

bool PostgresDatabase::open(const QString& url, QString* error)
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
        PQclear(PQexec(db, "SET client_min_messages = warning"));
        m_free.push_back(db);
    }
    return true;
}

std::unique_ptr<SqlDatabase::Session> PostgresDatabase::session()
{
    return std::make_unique<Connection>(*this);
}

bool PostgresDatabase::createTables(const char* script, QString* error)
{
    const QByteArray tables
        = QString::fromUtf8(script)
              .replace(QRegularExpression(QStringLiteral("\\bBLOB\\b")), QStringLiteral("BYTEA"))
              .toUtf8();
    PGconn* db = take();
    auto exec = [db](const char* sql) {
        PGresult* result = PQexec(db, sql);
        const bool ok
            = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
        PQclear(result);
        return ok;
    };
    const QByteArray lock = "SELECT pg_advisory_xact_lock(" + QByteArray::number(schemaLock) + ')';
    const bool made = exec("BEGIN") && exec(lock.constData()) && exec(tables.constData()) && exec("COMMIT");
    if (!made && error)
        *error = QString::fromUtf8(PQerrorMessage(db)).trimmed();
    give(db);
    return made;
}

PGconn* PostgresDatabase::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_returned.wait(lock, [this] { return !m_free.empty(); });
    PGconn* db = m_free.back();
    m_free.pop_back();
    return db;
}

void PostgresDatabase::give(PGconn* db)
{
    // A connection lost with the database server (a restart, a fail-over) is made anew for the
    // next step; this one has already failed and reported it.
    if (PQstatus(db) == CONNECTION_BAD)
        PQreset(db);
    else if (PQtransactionStatus(db) != PQTRANS_IDLE)
        PQclear(PQexec(db, "ROLLBACK"));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_free.push_back(db);
    }
    m_returned.notify_one();
}

#include "SqliteDatabase.h"

#include <sqlite3.h>

class SqliteDatabase::Connection : public SqlDatabase::Session
{
public:
    explicit Connection(SqliteDatabase& database)
        : m_database(database)
        , m_lock(database.m_mutex)
    {
    }
    ~Connection() override
    {
        if (!sqlite3_get_autocommit(m_database.m_db))
            sqlite3_exec(m_database.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    SqlResult run(const char* sql, const QVariantList& params) override
    {
        SqlResult result;
        sqlite3_stmt* statement = prepared(sql);
        if (!statement)
            return result;
        bool bound = true;
        for (int i = 0; i < params.size() && bound; ++i)
            bound = bind(statement, i + 1, params.at(i)) == SQLITE_OK;
        int rc = bound ? sqlite3_step(statement) : SQLITE_ERROR;
        while (rc == SQLITE_ROW) {
            QVariantList row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column)
                row.append(value(statement, column));
            result.rows.append(row);
            rc = sqlite3_step(statement);
        }
        result.ok = rc == SQLITE_DONE;
        result.affected = sqlite3_changes(m_database.m_db);
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        return result;
    }

    bool begin() override { return run("BEGIN IMMEDIATE", {}).ok; }
    // One connection for all: a transaction already excludes every other.
    bool lock(const QByteArray&) override { return true; }

private:
    sqlite3_stmt* prepared(const char* sql)
    {
        sqlite3_stmt*& statement = m_database.m_statements[sql];
        if (!statement
            && sqlite3_prepare_v3(m_database.m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
                != SQLITE_OK) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
        return statement;
    }

    static int bind(sqlite3_stmt* statement, int index, const QVariant& value)
    {
        switch (value.userType()) {
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return sqlite3_bind_blob(statement, index, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
        }
        case QMetaType::QString: {
            const QByteArray utf8 = value.toString().toUtf8();
            return sqlite3_bind_text(statement, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
        }
        default:
            return value.isNull() ? sqlite3_bind_null(statement, index)
                                  : sqlite3_bind_int64(statement, index, value.toLongLong());
        }
    }

    static QVariant value(sqlite3_stmt* statement, int column)
    {
        switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(statement, column));
        case SQLITE_TEXT:
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                     sqlite3_column_bytes(statement, column));
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                              sqlite3_column_bytes(statement, column));
        default:
            return QVariant();
        }
    }

    SqliteDatabase& m_database;
    std::unique_lock<std::mutex> m_lock;
};

SqliteDatabase::~SqliteDatabase()
{
    for (const auto& statement : m_statements)
        sqlite3_finalize(statement.second);
    sqlite3_close(m_db);
}

bool SqliteDatabase::open(const QString& path, QString* error)
{
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK && sqlite3_busy_timeout(m_db, 5000) == SQLITE_OK
        && sqlite3_exec(m_db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;", nullptr, nullptr,
                        nullptr)
            == SQLITE_OK)
        return true;
    if (error)
        *error = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory");
    return false;
}

std::unique_ptr<SqlDatabase::Session> SqliteDatabase::session()
{
    return std::make_unique<Connection>(*this);
}

bool SqliteDatabase::createTables(const char* script, QString* error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sqlite3_exec(m_db, script, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    if (error)
        *error = QString::fromUtf8(sqlite3_errmsg(m_db));
    return false;
}

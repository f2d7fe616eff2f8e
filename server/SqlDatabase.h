#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

// What one statement gave: its rows (values are qint64, QByteArray, QString or null) and, for an
// INSERT, UPDATE or DELETE, the number of rows it changed.
struct SqlResult
{
    bool ok = false;
    qint64 affected = 0;
    QVector<QVariantList> rows;

    qint64 integer(int row = 0, int column = 0) const { return rows.value(row).value(column).toLongLong(); }
    QByteArray bytes(int row = 0, int column = 0) const
    {
        return rows.value(row).value(column).toByteArray();
    }
    QString text(int row = 0, int column = 0) const { return rows.value(row).value(column).toString(); }
};

// The database under the metadata store. Statements are written once, in what SQLite and
// PostgreSQL both understand: "?" placeholders, BLOB, BIGINT and TEXT columns, ON CONFLICT and
// RETURNING clauses. What still differs (placeholders, binary column type, locking, connections)
// is each implementation's business.
class SqlDatabase
{
public:
    // A connection lent to one thread for one step: a statement or a transaction. A transaction
    // still open when the session ends is rolled back.
    class Session
    {
    public:
        virtual ~Session() = default;
        // Parameters: qint64, QByteArray (bound as a blob) or QString.
        virtual SqlResult run(const char* sql, const QVariantList& params = {}) = 0;
        // Starts a transaction that is going to write.
        virtual bool begin() = 0;
        // Inside a transaction: waits until no other transaction, of this or another server, holds
        // the same key, and holds it until the end of this one.
        virtual bool lock(const QByteArray& key) = 0;
        bool commit() { return run("COMMIT").ok; }
    };

    virtual ~SqlDatabase() = default;
    // Waits while every connection is in use.
    virtual std::unique_ptr<Session> session() = 0;
    // Runs a script of CREATE statements, also when several servers start at once.
    virtual bool createTables(const char* script, QString* error) = 0;
};

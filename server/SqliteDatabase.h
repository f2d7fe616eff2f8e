#pragma once

#include "SqlDatabase.h"

#include <map>
#include <mutex>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One SQLite file (write-ahead log, full sync) with one connection that the request threads take
// in turn: the relay's statements are short. Statements are prepared once and kept.
class SqliteDatabase : public SqlDatabase
{
public:
    SqliteDatabase() = default;
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens or creates the file; ":memory:" for a database that lives as long as this object.
    bool open(const QString& path, QString* error);

    std::unique_ptr<Session> session() override;
    bool createTables(const char* script, QString* error) override;

private:
    class Connection;

    sqlite3* m_db = nullptr;
    std::mutex m_mutex;
    std::map<std::string, sqlite3_stmt*> m_statements;
};

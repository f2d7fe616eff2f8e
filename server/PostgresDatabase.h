#pragma once

#include "SqlDatabase.h"

#include <condition_variable>
#include <mutex>
#include <vector>

struct pg_conn;

// A PostgreSQL database that several relays may share, through a few connections that the
// request threads borrow. Locks are transaction-scoped advisory locks, so they hold across servers.
class PostgresDatabase : public SqlDatabase
{
public:
    PostgresDatabase() = default;
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    // url: what libpq takes, e.g. postgresql://USER@HOST:PORT/NAME.
    bool open(const QString& url, QString* error);

    std::unique_ptr<Session> session() override;
    bool createTables(const char* script, QString* error) override;

private:
    class Connection;

    pg_conn* take();
    void give(pg_conn* connection);

    std::vector<pg_conn*> m_all;
    std::vector<pg_conn*> m_free;
    std::mutex m_mutex;
    std::condition_variable m_returned;
};

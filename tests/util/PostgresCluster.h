#pragma once

#include <QString>
#include <QTemporaryDir>

// A private PostgreSQL server for the tests of this process: initdb and pg_ctl in a temporary
// folder, reached through a socket there, trusting local connections. PostgreSQL refuses to run as
// root, so as root the server runs as the user postgres. It is stopped, and its folder removed,
// when the process ends.
class PostgresCluster
{
public:
    // The cluster of this process, started on first use; null, with the reason, if it cannot run.
    static PostgresCluster* shared(QString* error);

    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Creates the database if it does not exist yet; its postgresql:// address, or empty.
    QString database(const QString& name, QString* error);
    static QString user() { return QStringLiteral("tessary"); }

private:
    PostgresCluster() = default;
    bool start(QString* error);
    // Runs a server program, as the unprivileged user when this process is root.
    bool runTool(const QString& tool, const QStringList& arguments, QString* error);

    QTemporaryDir m_dir;
    QString m_runAs; // empty: as this process's user
    bool m_running = false;
};

// True when the relay tests are to run against PostgreSQL (TESSARY_TEST_DATABASE=postgresql).
bool relayTestsUsePostgres();

#pragma once

#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real relay server (tessary-server) on 127.0.0.1 with a random port and a private CA, in a
// temporary data directory unless one is given. With TESSARY_TEST_DATABASE=postgresql its metadata
// is in a database of the tests' own PostgreSQL server, one database per data directory.
class RelayProcess
{
public:
    explicit RelayProcess(const QString& dataDir = QString(), const QStringList& extraArgs = QStringList());
    ~RelayProcess();

    // Starts the server and waits (up to 30 s) for its ready line. False, with the reason, otherwise.
    bool start(QString* error = nullptr);
    void stop(); // graceful: SIGTERM, then wait
    void kill(); // SIGKILL, for crash tests

    QString baseUrl() const; // https://127.0.0.1:PORT
    QString caFile() const; // DATA/tls/ca.pem
    QString dataDir() const;
    QByteArray output() const; // everything the server printed so far (stdout and stderr)
    // A connection (under the given name) to the server's metadata, SQLite or PostgreSQL.
    QSqlDatabase openDatabase(const QString& connectionName) const;

    // Points the client at this server: TESSARY_SERVER_URL and TESSARY_CA_FILE, then loadServerConfig().
    void makeCurrent() const;

    // The exit code of the last run once it has ended (0 after a clean stop on SIGTERM).
    int exitCode() const { return m_process.exitCode(); }
    qint64 processId() const { return m_process.processId(); }

private:
    void scanOutput();
    QString stderrPath() const;

    QTemporaryDir m_tmp;
    QString m_dataDir;
    QStringList m_extraArgs;
    QString m_database; // postgresql:// address, or empty for the SQLite file
    mutable QProcess m_process; // output() drains it
    QString m_baseUrl;
    mutable QByteArray m_output; // standard output so far; standard error is in a file
    int m_scanned = 0; // how much of m_output has been searched for the ready line
};

#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real relay server (tessary-server) on 127.0.0.1 with a random port and a private CA, in a
// temporary data directory unless one is given.
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
    QString caFile() const;  // DATA/tls/ca.pem
    QString dataDir() const;
    QByteArray output() const; // everything the server printed so far (stdout and stderr)

    // Points the client at this server: TESSARY_SERVER_URL and TESSARY_CA_FILE, then loadServerConfig().
    void makeCurrent() const;

private:
    QTemporaryDir m_tmp;
    QString m_dataDir;
    QStringList m_extraArgs;
    QProcess m_process;
    QString m_baseUrl;
    mutable QByteArray m_output;
};

#pragma once

#include <QString>
#include <QStringList>

// Everything tessary-server can be told on its command line, with the defaults a small team can
// run as they are.
class ServerOptions
{
public:
    QString listenHost = QStringLiteral("127.0.0.1");
    int listenPort = 8443;
    QString dataDir;
    QString certFile;
    QString keyFile;
    bool devTls = false;
    QString accessLog; // empty: standard error

    qint64 maxContainerBytes = qint64(4) << 30;
    qint64 quotaBytes = qint64(20) << 30; // per installation, containers not yet collected
    qint64 reserveBytes = qint64(2) << 30; // free disk space never handed out
    qint64 expirySeconds = qint64(14) * 86400;
    qint64 apiBodyBytes = qint64(1) << 20; // one JSON call
    int readTimeoutSeconds = 60; // silence tolerated while receiving
    int writeTimeoutSeconds = 60; // silence tolerated while sending
    int keepAliveSeconds = 10;
    int maxConnections = 1000; // served at once; each has its own thread
    int maxPerAddress = 100; // from one source address
    int headerTimeoutSeconds = 10; // handshake and request headers of a new connection
    qint64 minUploadRate = 1024; // bytes per second a request body must keep up
    QString database; // empty: SQLite in the data folder; else a postgresql:// address
    QString containersDir; // empty: DATA/containers

    enum class Parse
    {
        Run,
        Help,
        Error
    };
    // Parses the arguments after the program name.
    Parse parse(const QStringList& arguments, QString* error);
    static QString helpText();

    // "512K", "100M", "4G", "1T" (powers of 1024) or plain bytes; -1 if unreadable.
    static qint64 parseSize(const QString& text);
    // "30s", "15m", "12h", "14d" or plain seconds; -1 if unreadable.
    static qint64 parseDuration(const QString& text);
    static QString formatSize(qint64 bytes);
};

#pragma once

#include "RelayLimits.h"

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
    QString database; // empty: SQLite in the data folder; else a postgresql:// address
    QString containersDir; // empty: DATA/containers

    RelayLimits limits;
    qint64 readTimeoutSeconds = 60; // silence tolerated while receiving
    qint64 writeTimeoutSeconds = 60; // silence tolerated while sending
    qint64 keepAliveSeconds = 10;
    qint64 maxConnections = 1000; // served at once; each has its own thread
    qint64 maxPerAddress = 100; // from one source address
    qint64 headerTimeoutSeconds = 10; // handshake and request headers of a new connection
    qint64 minUploadRate = 1024; // bytes per second a request body must keep up

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

private:
    struct Option;
    QVector<Option> table();
};

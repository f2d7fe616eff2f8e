#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <mutex>

// One JSON line per request. Installation ids never appear in clear: they are replaced by a keyed
// hash (pseudonym) that lets an operator follow one caller through the log without learning who it
// is. Keys, key ids, titles and feedback texts are never logged.
class AccessLog
{
public:
    struct Entry
    {
        QString remote;
        QString method;
        QString path;
        int status = 0;
        qint64 bytesIn = 0;
        qint64 bytesOut = 0;
        qint64 millis = -1;
        QString caller; // pseudonym, may be empty
        QString outcome; // short word for what happened, e.g. "ok", "refused-quota"
    };

    AccessLog() = default;
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // Writes to path (appending), or to standard error when path is empty. The salt of the
    // pseudonyms is kept in saltFile, created on first use.
    bool open(const QString& path, const QString& saltFile, QString* error);

    QString pseudonym(const QByteArray& installation) const;
    void write(const Entry& entry);

private:
    FILE* m_out = nullptr;
    bool m_ownsFile = false;
    QByteArray m_salt;
    std::mutex m_mutex;
};

#pragma once

#include "app/Job.h"

#include <QFile>
#include <QTimer>
#include <QVariantMap>
#include <QVector>

#include <atomic>

class Crypter;

// Packs files into a payload straight into gpg's input, and has gpg encrypt it into a container file
// with the trailer behind it. The packing (reading the files) runs on the thread that feeds gpg. The
// file is the caller's: on failure it may hold anything.
class ContainerWriter : public Job
{
    Q_OBJECT
public:
    // files: entry name inside the container -> local path to read it from. method 1 encrypts to
    // the stored key with the fingerprint secret, method 2 with the password secret.
    ContainerWriter(const QVariantMap& files, int method, const QString& secret, const QString& path,
                    QObject* parent = nullptr);
    ~ContainerWriter() override;

signals:
    // The size of the finished container file.
    void succeeded(qint64 size);

protected:
    void run() override;

private:
    struct Entry
    {
        QString source;
        QString name;
        qint64 size = 0;
    };

    // The next piece of the payload, on the feeding thread (PipeFeeder::Producer).
    qint64 produce(char* buffer, qint64 size);
    void encrypted(bool ok);

    QVariantMap m_files;
    int m_method;
    QString m_secret;
    QString m_path;
    Crypter* m_crypter = nullptr;
    QTimer m_progress;

    // Used by the feeding thread alone while gpg runs.
    QVector<Entry> m_entries;
    QByteArray m_header;
    int m_next = 0; // the entry whose source is opened next
    QFile m_source;
    qint64 m_left = 0; // of the open source
    QString m_feedError;
    std::atomic<qint64> m_done {0};
};

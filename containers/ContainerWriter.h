#pragma once

#include "app/Job.h"

#include <QFile>
#include <QVariantMap>
#include <QVector>

class Crypter;

// Packs files into a payload straight into gpg's input, and has gpg encrypt it into a container file
// with the trailer behind it. The file is the caller's: on failure it may hold anything.
class ContainerWriter : public Job
{
    Q_OBJECT
public:
    // files: entry name inside the container -> local path to read it from. method 1 encrypts to
    // the stored key with the fingerprint secret, method 2 with the password secret.
    ContainerWriter(const QVariantMap& files, int method, const QString& secret, const QString& path,
                    QObject* parent = nullptr);

signals:
    // The size of the finished container file.
    void succeeded(qint64 size);

protected:
    void run() override;
    void stop() override;

private:
    struct Entry
    {
        QString source;
        QString name;
        qint64 size = 0;
    };

    // Writes more of the payload while gpg's input is short of data.
    void feed();
    void encrypted(bool ok);

    QVariantMap m_files;
    int m_method;
    QString m_secret;
    QString m_path;
    QVector<Entry> m_entries;
    Crypter* m_crypter = nullptr;
    int m_next = 0; // the entry whose source is opened next
    QFile m_source;
    qint64 m_left = 0; // of the open source
    qint64 m_done = 0;
    QByteArray m_buffer;
    bool m_fed = false;
};

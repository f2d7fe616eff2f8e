#pragma once

#include "app/Job.h"

#include <QVariantMap>

#include <memory>

class LeftoverNote;
class QTemporaryFile;
class RelayClient;

// Saves files as a container at a path of the user's choice. The container is written beside it
// under a hidden name and takes the path's place only when it is complete, so a failure or a cancel
// leaves whatever was there before.
class SaveJob : public Job
{
    Q_OBJECT
public:
    // files: entry name -> local path. method 1 encrypts to the stored key with the fingerprint
    // secret, method 2 with the password secret.
    SaveJob(const QString& path, const QVariantMap& files, int method, const QString& secret,
            QObject* parent = nullptr);
    ~SaveJob() override;
    // Encrypts to the pinned key of the contact keyId instead, after the relay confirmed it (or to its
    // key from the relay, which is pinned then, when it has none).
    void setContact(RelayClient* relay, const QString& keyId);

signals:
    void succeeded(qint64 size);
    // The relay offers another key for the contact than the pinned one: the job fails next.
    void keyChanged(QString keyId, QString pinnedFingerprint, QString offeredFingerprint);

protected:
    void run() override;
    void stop() override;

private:
    void write();

    QString m_path;
    QVariantMap m_files;
    int m_method;
    QString m_secret;
    RelayClient* m_relay = nullptr;
    QString m_keyId;
    std::unique_ptr<LeftoverNote> m_note;
    QTemporaryFile* m_file = nullptr;
};

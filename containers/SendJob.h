#pragma once

#include "app/Job.h"
#include "models/FileEventsModel.h"

#include <QVariantMap>

class QTemporaryFile;
class RelayClient;

// Sends files to a contact through the relay: checks the contact's pinned key with the relay, packs and
// encrypts the files into a container in the private data folder, asks the relay whether it may
// be uploaded, records it as an unfinished upload and uploads it (UploadJob); the transfer is then
// recorded as waiting for delivery. A cancel or a refusal leaves nothing behind, here or on the
// relay; an upload whose connection could not be restored stays recorded, to be resumed.
class SendJob : public Job
{
    Q_OBJECT
public:
    SendJob(RelayClient* relay, const QVariantMap& files, const QString& keyId, QObject* parent = nullptr);
    // Encrypts with method and secret instead of a contact's key; nothing is recorded then.
    void setEncryption(int method, const QString& secret);

signals:
    void succeeded(QString fileId, qint64 size);
    // As SaveJob's: the contact's key has changed, and the job fails next.
    void keyChanged(QString keyId, QString pinnedFingerprint, QString offeredFingerprint);

protected:
    void run() override;
    // Also removes the container, and the upload unless it is kept.
    void stop() override;

private:
    void record(qint64 size);
    void upload();
    // For a relay without resumable uploads: the container in one request.
    void uploadForm();

    RelayClient* m_relay;
    QVariantMap m_files;
    QString m_keyId;
    int m_method = 1;
    QString m_secret;
    QTemporaryFile* m_container = nullptr;
    FileEventsModel::Files m_sentFiles;
    qint64 m_upload = 0;
};

#pragma once

#include "app/Job.h"
#include "models/FileEventsModel.h"

#include <QVariantMap>

class QTemporaryFile;
class RelayClient;

// Sends files to a contact through the relay: fetches the contact's current key, packs and
// encrypts the files into a container in the private data folder, asks the relay whether it may
// be uploaded, uploads it and records the transfer as waiting for delivery.
class SendJob : public Job
{
    Q_OBJECT
public:
    SendJob(RelayClient* relay, const QVariantMap& files, const QString& keyId, QObject* parent = nullptr);
    // Encrypts with method and secret instead of a contact's key; nothing is recorded then.
    void setEncryption(int method, const QString& secret);

signals:
    void succeeded(QString fileId, qint64 size);

protected:
    void run() override;
    // Also removes the container.
    void stop() override;

private:
    void upload(qint64 size);

    RelayClient* m_relay;
    QVariantMap m_files;
    QString m_keyId;
    int m_method = 1;
    QString m_secret;
    QTemporaryFile* m_container = nullptr;
    FileEventsModel::Files m_sentFiles;
};

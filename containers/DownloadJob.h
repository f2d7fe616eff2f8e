#pragma once

#include "app/Job.h"
#include "net/RelayClient.h"

#include <QFile>
#include <QVariantList>

class RetryTimer;

// Downloads a container that waits on the relay into the private data folder, where it stays
// under its file id, beside the relay's validator for it, until the caller discards it. A download
// that breaks off is tried again after a pause; one that ends early (a failure, a cancel, the
// program closed) goes on from where it stopped the next time, as long as the relay still has the
// same container. Bytes of another container are never put behind it: then it starts over.
class DownloadJob : public Job
{
    Q_OBJECT
public:
    // size: the container's, as the relay announced it.
    DownloadJob(RelayClient* relay, const QString& fileId, qint64 size, QObject* parent = nullptr);

    // HOME/.tessary2/downloads, owner-only.
    static QString folder();
    // Removes what was downloaded of fileId.
    static void discard(const QString& fileId);
    // Removes what was downloaded of any container but those the relay lists as waiting (each a map
    // with its "fileId"): the relay holds no other for us.
    static void keepOnly(const QVariantList& waiting);

signals:
    // The whole container is at path.
    void succeeded(QString path);

protected:
    void run() override;
    void stop() override;

private:
    void attempt();
    void attempted(const RelayClient::Result<QByteArray>& result);
    QString path() const;
    QString validatorPath() const;

    RelayClient* m_relay;
    QString m_fileId;
    qint64 m_size;
    QFile m_file;
    qint64 m_offset = 0;
    bool m_startedOver = false;
    RetryTimer* m_retry = nullptr;
};

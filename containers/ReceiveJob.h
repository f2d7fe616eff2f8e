#pragma once

#include "app/Job.h"
#include "containers/StagingFolder.h"

class RelayClient;

// Receives a container that waits on the relay: downloads it into the private data folder
// (DownloadJob), extracts it (OpenJob) and, only once every file is in place, tells the relay that
// it was taken and records it as received. A failure or a cancel leaves the container waiting on
// the relay, and what was downloaded of it for the next try.
// The container must be unsigned or signed by the pinned key of the sender the relay names; a
// sender without a pinned key has its key fetched and pinned first.
class ReceiveJob : public Job
{
    Q_OBJECT
public:
    // size: the container's size as the relay announced it; uploaderKeyId: its sender, for the record.
    ReceiveJob(RelayClient* relay, const QString& fileId, qint64 size, const QString& uploaderKeyId,
               const QString& folder, StagingFolder::ExistingFiles existing, QObject* parent = nullptr);

    // Once succeeded: who signed the container, as a line to show.
    QString signatureText() const { return m_signatureText; }

signals:
    void succeeded(Arrival arrival);

protected:
    void run() override;

private:
    void download();
    void extract(const QString& container);

    RelayClient* m_relay;
    QString m_fileId;
    qint64 m_size;
    QString m_uploaderKeyId;
    QString m_folder;
    StagingFolder::ExistingFiles m_existing;
    QString m_signatureText;
};

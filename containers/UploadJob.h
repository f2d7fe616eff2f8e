#pragma once

#include "app/Job.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"

#include <QFile>

#include <functional>

class RetryTimer;

// Sends a recorded unfinished upload (UnfinishedUploadsModel) with the relay's resumable uploads:
// makes the upload on the relay when there is none yet, asks how much of it the relay has, and
// appends the rest block by block. A connection that breaks is tried again after a pause, from
// where the relay stands; once the pauses are used up the upload stays recorded, to be resumed
// later. With the last block comes the file id: the transfer is then recorded as sent and the
// container goes.
class UploadJob : public Job
{
    Q_OBJECT
public:
    // Each request carries one block: sent from memory, it passes the network layer at once. Larger
    // blocks were no faster and took the client's memory past its budget.
    static constexpr qint64 blockBytes = 8 * 1024 * 1024;

    UploadJob(RelayClient* relay, qint64 uploadId, QObject* parent = nullptr);

    // It failed because the relay does not offer resumable uploads.
    bool notOffered() const { return m_notOffered; }
    // It failed because the connection could not be restored: it may be resumed later.
    bool connectionLost() const { return m_connectionLost; }

signals:
    void succeeded(QString fileId, qint64 size);

protected:
    void run() override;
    void stop() override;

private:
    void create();
    void query();
    void append();
    void startOver();
    void finish(const QString& fileId);
    // After a call that failed: again, after a pause, what may pass then; else the end.
    template<typename T> void retry(const RelayClient::Result<T>& result, void (UploadJob::*again)());

    RelayClient* m_relay;
    UnfinishedUploadsModel::Upload m_upload;
    QFile m_file;
    QString m_recipient;
    qint64 m_offset = 0;
    int m_conflicts = 0;
    int m_startsOver = 0;
    bool m_notOffered = false;
    bool m_connectionLost = false;
    RetryTimer* m_retry = nullptr;
    // What the pause ends with.
    std::function<void()> m_next;
};

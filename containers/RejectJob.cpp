#include "containers/RejectJob.h"

#include "containers/DownloadJob.h"
#include "models/FileEventsModel.h"
#include "net/RelayClient.h"

RejectJob::RejectJob(RelayClient* relay, const QString& fileId, qint64 size, const QString& uploaderKeyId,
                     QObject* parent)
    : Job(parent)
    , m_relay(relay)
    , m_fileId(fileId)
    , m_size(size)
    , m_uploaderKeyId(uploaderKeyId)
{
}

QString RejectJob::questionTitle()
{
    return tr("Reject files");
}

QString RejectJob::question(const QString& sender, const QString& size)
{
    return tr("Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.")
        .arg(sender, size);
}

QString RejectJob::questionAction()
{
    return tr("Reject");
}

void RejectJob::run()
{
    // What an earlier try downloaded of it is of no use any more.
    DownloadJob::discard(m_fileId);
    emit stepStarted(Step::Reporting);
    m_relay->downloadComplete(m_fileId, true, this, [this](const RelayClient::Result<bool>& told) {
        if (!told.ok())
            return fail(told.error);
        FileEventsModel::store(m_uploaderKeyId, m_fileId.toLongLong(), m_size, FileEventsModel::Rejected);
        if (succeed())
            emit succeeded();
    });
}

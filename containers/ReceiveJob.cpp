#include "containers/ReceiveJob.h"

#include "app/Startup.h"
#include "containers/DownloadJob.h"
#include "containers/OpenJob.h"
#include "models/ContactKeys.h"
#include "models/FileEventsModel.h"
#include "net/RelayClient.h"

#include <QFileInfo>

ReceiveJob::ReceiveJob(RelayClient* relay, const QString& fileId, qint64 size, const QString& uploaderKeyId,
                       const QString& folder, StagingFolder::ExistingFiles existing, QObject* parent)
    : Job(parent)
    , m_relay(relay)
    , m_fileId(fileId)
    , m_size(size)
    , m_uploaderKeyId(uploaderKeyId)
    , m_folder(folder)
    , m_existing(existing)
{
}

void ReceiveJob::run()
{
    // Before anything is downloaded: the folder must take the files.
    const QFileInfo folder(m_folder);
    if (m_folder.isEmpty() || !folder.isDir() || !folder.isWritable())
        return fail(tr("Directory %1 is not writable").arg(m_folder));
    if (!ContactKeys::pinned(m_uploaderKeyId).isEmpty())
        return download();
    emit stepStarted(Step::FetchingKey);
    ContactKeys::fetch(m_relay, m_uploaderKeyId, this, [this](const ContactKeys::Fetched& key) {
        if (!key.error.isNull())
            return fail(key.error);
        download();
    });
}

void ReceiveJob::download()
{
    emit stepStarted(Step::Downloading);
    emit info(tr("Downloading crypted container"));
    auto* download = new DownloadJob(m_relay, m_fileId, m_size, this);
    follow(download);
    connect(download, &Job::failed, this, &ReceiveJob::fail);
    connect(download, &DownloadJob::succeeded, this, &ReceiveJob::extract);
    download->start();
}

void ReceiveJob::extract(const QString& container)
{
    auto* open = new OpenJob(container, m_folder, m_existing, QString(), this);
    open->setContainerIsTemporary(true);
    open->setSender(m_uploaderKeyId);
    follow(open);
    connect(open, &Job::failed, this, [this](const QString& text) {
        // A container that does not open is not kept: the next try downloads it afresh.
        DownloadJob::discard(m_fileId);
        fail(text);
    });
    connect(open, &OpenJob::succeeded, this, [this, open](const Arrival& arrival) {
        m_signatureText = open->signatureText();
        // Empty, not NULL, for an unsigned container.
        const QString signer = open->signer().isEmpty() ? QStringLiteral("") : open->signer();
        DownloadJob::discard(m_fileId);
        emit stepStarted(Step::Reporting);
        // The files are in place whatever the relay answers; an unanswered report only means the
        // container is offered again.
        m_relay->downloadComplete(m_fileId, false, this,
                                  [this, arrival, signer](const RelayClient::Result<bool>&) {
                                      FileEventsModel::Files files;
                                      for (const ArrivedFile& file : arrival)
                                          if (file.written())
                                              files.append({file.name, file.size});
                                      FileEventsModel::store(m_uploaderKeyId, m_fileId.toLongLong(), m_size,
                                                             FileEventsModel::Received, signer, files);
                                      if (succeed())
                                          emit succeeded(arrival);
                                  });
    });
    open->start();
}

#include "containers/UploadJob.h"

#include "containers/ContainerFormat.h"
#include "containers/ContainerTrailer.h"
#include "net/RetryTimer.h"
#include "net/ServerConfig.h"

namespace {
// The relay forgot the upload (expired, or never this installation's): begun again this often at most.
constexpr int maxStartsOver = 2;
constexpr int maxConflicts = 3;
} // namespace

UploadJob::UploadJob(RelayClient* relay, qint64 uploadId, QObject* parent)
    : Job(parent)
    , m_relay(relay)
{
    m_upload.id = uploadId;
}

void UploadJob::run()
{
    const qint64 id = m_upload.id;
    m_upload = UnfinishedUploadsModel::find(id);
    if (!m_upload.id)
        return fail(tr("There is no unfinished upload %1.").arg(id));
    m_file.setFileName(m_upload.container);
    if (!m_file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1 for reading").arg(m_upload.container));
    // The relay checks the container against the key it is declared for.
    const ContainerTrailer trailer = ContainerTrailer::read(m_file);
    if (trailer.method == ContainerFormat::methodPublicKey)
        m_recipient = trailer.fingerprint;
    m_retry = new RetryTimer(m_relay->retryPolicy(), this);
    connect(m_retry, &RetryTimer::countdown, this,
            [this](int seconds) { emit info(tr("Connection lost, retrying in %1 s").arg(seconds)); });
    connect(m_retry, &RetryTimer::due, this, [this] {
        emit stepStarted(Step::Uploading);
        setProgressRange(m_upload.size);
        setProgress(m_offset);
        m_next();
    });
    emit stepStarted(Step::Uploading);
    setProgressRange(m_upload.size);
    // An upload made on another relay than the one used now is of no use here.
    if (m_upload.url.startsWith(serverBaseUrl() + QLatin1Char('/')))
        query();
    else
        create();
}

void UploadJob::stop()
{
    if (m_retry)
        m_retry->stop();
    Job::stop();
    m_file.close();
}

void UploadJob::create()
{
    m_relay->createUpload(m_upload.size, m_recipient, this, [this](const RelayClient::Result<QString>& made) {
        if (made.status == 404) {
            m_notOffered = true;
            return fail(made.error);
        }
        if (!made.ok())
            return retry(made, &UploadJob::create);
        m_upload.url = made.value;
        UnfinishedUploadsModel::setUrl(m_upload.id, m_upload.url);
        m_offset = 0;
        append();
    });
}

void UploadJob::query()
{
    m_relay->uploadState(m_upload.url, this,
                         [this](const RelayClient::Result<RelayClient::UploadState>& state) {
                             if (state.status == 404)
                                 return startOver();
                             if (!state.ok())
                                 return retry(state, &UploadJob::query);
                             if (!state.value.fileId.isEmpty())
                                 return finish(state.value.fileId);
                             if (state.value.length != m_upload.size)
                                 return startOver();
                             // What the relay kept of a broken append counts as progress.
                             if (state.value.offset > m_offset)
                                 m_retry->progressed();
                             m_offset = state.value.offset;
                             setProgress(m_offset);
                             append();
                         });
}

void UploadJob::append()
{
    QByteArray block;
    if (!m_file.seek(m_offset)
        || (block = m_file.read(qMin(blockBytes, m_upload.size - m_offset))).size()
            != qMin(blockBytes, m_upload.size - m_offset))
        return fail(tr("Cannot open %1 for reading").arg(m_upload.container));
    RelayCall* call
        = m_relay->appendUpload(m_upload.url, m_offset, block, this,
                                [this](const RelayClient::Result<RelayClient::UploadState>& state) {
                                    if (state.status == 409 && ++m_conflicts <= maxConflicts)
                                        return query();
                                    if (state.status == 404)
                                        return startOver();
                                    if (!state.ok())
                                        return retry(state, &UploadJob::query);
                                    m_conflicts = 0;
                                    m_retry->progressed();
                                    m_offset = state.value.offset;
                                    setProgress(m_offset);
                                    if (!state.value.fileId.isEmpty())
                                        return finish(state.value.fileId);
                                    if (m_offset >= m_upload.size)
                                        return fail(tr("Invalid server response"));
                                    // Once the call that carried the last block is gone: one block in memory.
                                    QMetaObject::invokeMethod(this, &UploadJob::append, Qt::QueuedConnection);
                                });
    // Bytes sent count as progress only once the relay says it has them.
    connect(call, &RelayCall::progress, this, [this](qint64 done) { setProgress(m_offset + done); });
}

void UploadJob::startOver()
{
    if (++m_startsOver > maxStartsOver)
        return fail(tr("The server keeps losing the upload."));
    create();
}

void UploadJob::finish(const QString& fileId)
{
    m_file.close();
    UnfinishedUploadsModel::complete(m_upload.id, fileId.toLongLong());
    if (succeed())
        emit succeeded(fileId, m_upload.size);
}

template<typename T> void UploadJob::retry(const RelayClient::Result<T>& result, void (UploadJob::*again)())
{
    if (!result.transient)
        return fail(result.error);
    if (!m_retry->schedule()) {
        m_connectionLost = true;
        return fail(tr("The connection to the server was lost (%1). What was sent is kept; the upload can "
                       "be resumed later.")
                        .arg(result.error));
    }
    m_next = [this, again] { (this->*again)(); };
    emit warning(tr("Connection lost, retrying in %1 s").arg(m_retry->secondsLeft()));
}

#include "containers/SendJob.h"

#include "app/Startup.h"
#include "containers/SaveJob.h"
#include "containers/StagingFolder.h"
#include "containers/UploadJob.h"
#include "models/FileEventsModel.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"

#include <QFileInfo>
#include <QTemporaryFile>

SendJob::SendJob(RelayClient* relay, const QVariantMap& files, const QString& keyId, QObject* parent)
    : Job(parent)
    , m_relay(relay)
    , m_files(files)
    , m_keyId(RelayClient::normalizeKeyId(keyId))
{
}

void SendJob::setEncryption(int method, const QString& secret)
{
    m_keyId.clear();
    m_method = method;
    m_secret = secret;
}

void SendJob::run()
{
    // A container that is not complete stays in the temporary folder (mode 0600), which the next
    // start empties; it moves among the unfinished uploads only once it is.
    m_container = new QTemporaryFile(Startup::temporaryDirPath() + QStringLiteral("/send-XXXXXX.tsyc"), this);
    if (!m_container->open())
        return fail(StagingFolder::writeError(Startup::temporaryDirPath(), m_container->errorString()));
    m_container->close();
    // What the history will list, as the files are when they are packed.
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        m_sentFiles.append({it.key(), QFileInfo(it.value().toString()).size()});
    auto* save = new SaveJob(m_container->fileName(), m_files, m_method, m_secret, this);
    if (!m_keyId.isEmpty())
        save->setContact(m_relay, m_keyId);
    follow(save);
    connect(save, &SaveJob::keyChanged, this, &SendJob::keyChanged);
    connect(save, &Job::failed, this, &SendJob::fail);
    connect(save, &SaveJob::succeeded, this, [this](qint64 size) {
        m_relay->canUpload(size, this, [this, size](const RelayClient::Result<bool>& allowed) {
            if (!allowed.ok())
                return fail(allowed.error);
            record(size);
        });
    });
    save->start();
}

void SendJob::stop()
{
    Job::stop();
    delete m_container;
    m_container = nullptr;
    if (!m_upload)
        return;
    const QString url = UnfinishedUploadsModel::find(m_upload).url;
    // The relay forgets it too; it outlives this job, and the relay would let it expire anyway.
    if (!url.isEmpty())
        m_relay->dropUpload(url, m_relay, [](const RelayClient::Result<bool>&) {});
    UnfinishedUploadsModel::remove(m_upload);
    m_upload = 0;
}

void SendJob::record(qint64 size)
{
    m_upload = UnfinishedUploadsModel::add(m_keyId, size);
    const QString path = UnfinishedUploadsModel::containerPath(m_upload);
    if (!m_upload || !QFile::rename(m_container->fileName(), path))
        return fail(StagingFolder::writeError(UnfinishedUploadsModel::folder(), qt_error_string()));
    // The history lists them once the upload is complete, also when it is resumed after a restart.
    if (!m_keyId.isEmpty())
        FileEventsModel::storeUploadFiles(m_upload, m_sentFiles);
    m_container->setAutoRemove(false);
    delete m_container;
    m_container = nullptr;
    upload();
}

void SendJob::upload()
{
    auto* job = new UploadJob(m_relay, m_upload, this);
    follow(job);
    connect(job, &Job::failed, this, [this, job](const QString& text) {
        if (job->notOffered())
            return uploadForm();
        // Kept among the unfinished uploads, to be resumed later.
        if (job->connectionLost())
            m_upload = 0;
        fail(text);
    });
    connect(job, &UploadJob::succeeded, this, [this](const QString& fileId, qint64 size) {
        m_upload = 0;
        if (succeed())
            emit succeeded(fileId, size);
    });
    job->start();
}

void SendJob::uploadForm()
{
    auto* container = new QFile(UnfinishedUploadsModel::containerPath(m_upload), this);
    if (!container->open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1 for reading").arg(container->fileName()));
    const qint64 size = container->size();
    emit stepStarted(Step::Uploading);
    setProgressRange(size);
    RelayCall* call = m_relay->uploadContainer(
        container, this, [this, container, size](const RelayClient::Result<QString>& id) {
            delete container;
            if (!id.ok())
                return fail(id.error);
            UnfinishedUploadsModel::complete(m_upload, id.value.toLongLong());
            m_upload = 0;
            if (succeed())
                emit succeeded(id.value, size);
        });
    connect(call, &RelayCall::progress, this, &SendJob::setProgress);
}

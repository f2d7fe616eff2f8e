#include "containers/SendJob.h"

#include "app/Startup.h"
#include "containers/SaveJob.h"
#include "containers/StagingFolder.h"
#include "models/FileEventsModel.h"
#include "net/RelayClient.h"

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
    // Kept until the upload is over; it holds nothing readable by others (mode 0600).
    m_container = new QTemporaryFile(Startup::temporaryDirPath() + QStringLiteral("/send-XXXXXX.tsyc"), this);
    if (!m_container->open())
        return fail(StagingFolder::writeError(Startup::temporaryDirPath(), m_container->errorString()));
    m_container->close();
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
            upload(size);
        });
    });
    save->start();
}

void SendJob::stop()
{
    Job::stop();
    delete m_container;
    m_container = nullptr;
}

void SendJob::upload(qint64 size)
{
    // The temporary file's own handle still points at what it held before the container replaced it.
    auto* container = new QFile(m_container->fileName(), this);
    if (!container->open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1 for reading").arg(container->fileName()));
    emit stepStarted(Step::Uploading);
    setProgressRange(size);
    RelayCall* call = m_relay->uploadContainer(
        container, this, [this, container, size](const RelayClient::Result<QString>& id) {
            delete container;
            stop();
            if (!id.ok())
                return fail(id.error);
            if (!m_keyId.isEmpty())
                FileEventsModel::store(m_keyId, id.value.toLongLong(), size, FileEventsModel::WaitDeliver);
            if (succeed())
                emit succeeded(id.value, size);
        });
    connect(call, &RelayCall::progress, this, &SendJob::setProgress);
}

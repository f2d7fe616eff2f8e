#include "containers/ContainerManager.h"

#include "app/AppSettings.h"
#include "containers/DownloadJob.h"
#include "containers/OpenJob.h"
#include "containers/ReceiveJob.h"
#include "containers/RejectJob.h"
#include "containers/SaveJob.h"
#include "containers/SendJob.h"
#include "containers/UploadJob.h"
#include "models/PubKeysModel.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString keyLastSaveContainer = QStringLiteral("fileDialogs/lastSaveContainer");
const QString keyLastOpenContainer = QStringLiteral("fileDialogs/lastOpenContainer");

} // namespace

ContainerManager::ContainerManager(QObject* parent, Prompter* prompter)
    : QObject(parent)
    , m_relay(new RelayClient(this))
    , m_prompter(prompter)
{
}

bool ContainerManager::isDirWritable(QString dir)
{
    const QFileInfo info(dir);
    return !dir.isEmpty() && info.isDir() && info.isWritable();
}

QString ContainerManager::saveContainerDialog(QString defaultFilename)
{
    QSettings settings;
    const QString startDir = settings.value(keyLastSaveContainer, QDir::homePath()).toString();
    const QString path = Prompter::orNull(m_prompter)
                             ->saveFileName(startDir, tr("Tessary container (*.tsyc)"),
                                            QStringLiteral("tsyc"), defaultFilename);
    if (path.isEmpty())
        return QString();
    settings.setValue(keyLastSaveContainer, QFileInfo(path).path());
    settings.sync();
    return path;
}

QString ContainerManager::openDirDialog(QString preferDir)
{
    const QString startDir = isDirWritable(preferDir) ? preferDir : defaultExtractPath();
    return Prompter::orNull(m_prompter)->existingDirectory(startDir);
}

QString ContainerManager::openContainerDialog()
{
    QSettings settings;
    const QString startDir = settings.value(keyLastOpenContainer, QDir::homePath()).toString();
    const QString path
        = Prompter::orNull(m_prompter)->openFileName(startDir, tr("Tessary container (*.tsyc)"));
    if (path.isEmpty())
        return QString();
    settings.setValue(keyLastOpenContainer, QFileInfo(path).path());
    settings.sync();
    return path;
}

void ContainerManager::run(Job* job)
{
    if (m_job)
        m_job->cancel();
    m_job = job;
    m_resuming = 0;
    connect(job, &Job::stepStarted, this, [this](Job::Step step) {
        if (step == Job::Step::Encrypting)
            emit encryptionStart();
        else if (step == Job::Step::Uploading)
            emit uploadingStart();
        else if (step == Job::Step::Decrypting)
            emit decryptionStart();
    });
    connect(job, &Job::progressRange, this, [this](qint64 total, const QString& text) {
        emit progressInit(0, float(total), text);
        emit progressValueChanged(total > 0 ? 0 : -1);
    });
    connect(job, &Job::progress, this, [this](qint64 done) { emit progressValueChanged(float(done)); });
    connect(job, &Job::info, this, &ContainerManager::info);
    connect(job, &Job::warning, this, &ContainerManager::warn);
    connect(job, &Job::failed, this, [this, job](const QString& text) {
        job->deleteLater();
        emit error(text);
        emit finished();
    });
    connect(job, &Job::cancelled, this, [this, job] {
        job->deleteLater();
        emit canceled();
        emit finished();
    });
    job->start();
}

void ContainerManager::sendFiles(QString keyId, QVariantMap shareFileList)
{
    auto* job = new SendJob(m_relay, shareFileList, keyId, this);
    connect(
        job, &SendJob::keyChanged, this,
        [this](const QString& id, const QString&, const QString& offered) { emit keyChanged(id, offered); });
    connect(job, &SendJob::succeeded, this, [this, job](const QString& fileId, qint64 size) {
        job->deleteLater();
        emit finished();
        emit success(fileId, size);
    });
    run(job);
}

void ContainerManager::resumeUpload(qlonglong id)
{
    auto* job = new UploadJob(m_relay, id, this);
    connect(job, &UploadJob::succeeded, this, [this, job](const QString& fileId, qint64 size) {
        job->deleteLater();
        emit finished();
        emit success(fileId, size);
    });
    run(job);
    m_resuming = id;
}

void ContainerManager::dropUpload(qlonglong id)
{
    if (m_job && m_resuming == id)
        m_job->cancel();
    const QString url = UnfinishedUploadsModel::find(id).url;
    if (!url.isEmpty())
        m_relay->dropUpload(url, m_relay, [](const RelayClient::Result<bool>&) {});
    UnfinishedUploadsModel::remove(id);
    emit uploadDropped(id);
}

void ContainerManager::shareContainer(QString containerPath, QVariantMap shareFileList, int cryptMethod,
                                      QString secret)
{
    if (!containerPath.isEmpty()) {
        auto* job = new SaveJob(containerPath, shareFileList, cryptMethod, secret, this);
        connect(job, &SaveJob::succeeded, this, [this, job](qint64 size) {
            job->deleteLater();
            emit success(QString(), size);
            emit finished();
        });
        return run(job);
    }
    auto* job = new SendJob(m_relay, shareFileList, QString(), this);
    job->setEncryption(cryptMethod, secret);
    connect(job, &SendJob::succeeded, this, [this, job](const QString& fileId, qint64 size) {
        job->deleteLater();
        emit finished();
        emit success(fileId, size);
    });
    run(job);
}

void ContainerManager::downloadById(QString fileId, qlonglong fileSize, QString uploaderKeyId,
                                    QString extractPath)
{
    auto* job = new ReceiveJob(m_relay, fileId, fileSize, uploaderKeyId, extractPath,
                               AppSettings::existingFiles(), this);
    connect(job, &Job::stepStarted, this, [this, fileId](Job::Step step) {
        if (step == Job::Step::Reporting)
            emit serverClear(fileId, false);
    });
    connect(job, &ReceiveJob::succeeded, this, [this, job, extractPath](const Arrival& arrival) {
        job->deleteLater();
        reportArrival(extractPath, arrival);
        m_signature = job->signatureText();
        emit signatureChanged();
        emit cleared();
        emit finished();
    });
    emit start();
    run(job);
}

void ContainerManager::extractContainer(QString containerPath)
{
    const QString folder = QSettings().value(QStringLiteral("extractPath")).toString();
    QString password;
    while (OpenJob::needsPassword(containerPath) && password.isEmpty()) {
        bool ok = false;
        password = Prompter::orNull(m_prompter)->password(tr("Enter password"), &ok);
        if (!ok) {
            emit finished();
            return;
        }
    }
    auto* job = new OpenJob(containerPath, folder, AppSettings::existingFiles(), password, this);
    connect(job, &OpenJob::succeeded, this, [this, job, folder](const Arrival& arrival) {
        job->deleteLater();
        reportArrival(folder, arrival);
        m_signature = job->signatureText();
        emit signatureChanged();
        emit finished();
    });
    emit start();
    run(job);
}

bool ContainerManager::rejectFile(QString fileId, qlonglong fileSize, QString uploaderKeyId)
{
    const QString question
        = RejectJob::question(PubKeysModel::displayName(uploaderKeyId), AppSettings::sizeText(fileSize));
    if (!Prompter::orNull(m_prompter)
             ->confirm(RejectJob::questionTitle(), question, RejectJob::questionAction()))
        return false;
    auto* job = new RejectJob(m_relay, fileId, fileSize, uploaderKeyId, this);
    connect(job, &Job::stepStarted, this, [this, fileId] { emit serverClear(fileId, true); });
    connect(job, &RejectJob::succeeded, this, [this, job] {
        job->deleteLater();
        emit cleared();
        emit finished();
    });
    run(job);
    return true;
}

void ContainerManager::reportArrival(const QString& folder, const Arrival& arrival)
{
    m_lastExtractedFile.clear();
    for (const ArrivedFile& file : arrival) {
        if (file.written()) {
            m_lastExtractedFile = folder + QLatin1Char('/') + file.name;
            break;
        }
    }
    emit arrived(Arrivals::toVariantList(arrival));
}

void ContainerManager::cancel()
{
    if (m_job && m_job->isRunning())
        return m_job->cancel();
    emit canceled();
    emit finished();
}

void ContainerManager::showError(QString errorText)
{
    Prompter::orNull(m_prompter)->message(Prompter::Icon::Critical, tr("Error"), errorText);
    cancel();
}

void ContainerManager::showSuccess(QString successText)
{
    Prompter::orNull(m_prompter)->message(Prompter::Icon::Information, tr("Success"), successText);
}

void ContainerManager::checkNewFiles()
{
    if (m_checking)
        return;
    m_checking = true;
    m_relay->checkNewFiles(this, [this](const RelayClient::Result<QVariantList>& files) {
        m_checking = false;
        if (files.ok())
            DownloadJob::keepOnly(files.value);
        emit newFiles(files.value);
    });
}

QString ContainerManager::defaultExtractPath()
{
    const QDir dir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                   + QStringLiteral("/Tessary"));
    dir.mkpath(QStringLiteral("."));
    return dir.absolutePath();
}

void ContainerManager::openExtractFolder()
{
    const QString path = QDir::toNativeSeparators(m_lastExtractedFile);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    Platform::showInFileManager(path);
}

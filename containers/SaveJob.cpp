#include "containers/SaveJob.h"

#include "app/LeftoverNote.h"
#include "containers/ContainerWriter.h"
#include "containers/StagingFolder.h"
#include "models/ContactKeys.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QTemporaryFile>

SaveJob::~SaveJob() = default;

SaveJob::SaveJob(const QString& path, const QVariantMap& files, int method, const QString& secret,
                 QObject* parent)
    : Job(parent)
    , m_path(path)
    , m_files(files)
    , m_method(method)
    , m_secret(secret)
{
}

void SaveJob::setContact(RelayClient* relay, const QString& keyId)
{
    m_relay = relay;
    m_keyId = keyId;
}

void SaveJob::run()
{
    if (!m_relay)
        return write();
    emit stepStarted(Step::FetchingKey);
    ContactKeys::fetch(m_relay, m_keyId, this, [this](const ContactKeys::Fetched& key) {
        // Nothing is encrypted to a key that is not the pinned one.
        if (!key.offered.isEmpty())
            emit keyChanged(key.keyId, key.fingerprint, key.offered);
        if (!key.error.isNull())
            return fail(key.error);
        m_method = 1;
        m_secret = key.fingerprint;
        write();
    });
}

void SaveJob::stop()
{
    Job::stop();
    // A container that is never going to be finished goes at once.
    delete m_file;
    m_file = nullptr;
    m_note.reset();
}

void SaveJob::write()
{
    auto* file = m_file = new QTemporaryFile(QFileInfo(m_path).absolutePath() + QLatin1Char('/')
                                                 + LeftoverNote::prefix + QStringLiteral("save-XXXXXX"),
                                             this);
    if (!file->open())
        return fail(tr("Cannot open %1 for writing").arg(m_path));
    file->close();
    m_note = std::make_unique<LeftoverNote>(file->fileName());
    auto* writer = new ContainerWriter(m_files, m_method, m_secret, file->fileName(), this);
    follow(writer);
    connect(writer, &Job::failed, this, &SaveJob::fail);
    connect(writer, &ContainerWriter::succeeded, this, [this, file](qint64 size) {
        if (!Platform::replaceFile(file->fileName(), m_path))
            return fail(StagingFolder::writeError(QFileInfo(m_path).absolutePath(), qt_error_string()));
        // It is the user's file now: nothing to remove, nothing to note.
        file->setAutoRemove(false);
        delete m_file;
        m_file = nullptr;
        m_note.reset();
        if (succeed())
            emit succeeded(size);
    });
    writer->start();
}

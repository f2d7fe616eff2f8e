#include "containers/DownloadJob.h"

#include "app/Startup.h"
#include "containers/StagingFolder.h"
#include "net/RetryTimer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
// A try that brought this much was worth it: the pauses start from the first again.
constexpr qint64 progressBytes = 64 * 1024;
constexpr qint64 maxValidatorBytes = 256;
const QString validatorSuffix = QStringLiteral(".etag");

// The relay's validator goes back to it in a header: printable ASCII only.
bool isValidator(const QByteArray& etag)
{
    if (etag.isEmpty() || etag.size() > maxValidatorBytes)
        return false;
    for (char c : etag) {
        if (c < 0x21 || c > 0x7e)
            return false;
    }
    return true;
}

// The file id names a file here: digits only, as the relay gives them.
bool isFileId(const QString& fileId)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    return digits.match(fileId).hasMatch();
}

} // namespace

DownloadJob::DownloadJob(RelayClient* relay, const QString& fileId, qint64 size, QObject* parent)
    : Job(parent)
    , m_relay(relay)
    , m_fileId(fileId)
    , m_size(size)
{
}

QString DownloadJob::folder()
{
    return Startup::dataDirPath() + QStringLiteral("/downloads");
}

QString DownloadJob::path() const
{
    return folder() + QLatin1Char('/') + m_fileId;
}

QString DownloadJob::validatorPath() const
{
    return path() + validatorSuffix;
}

void DownloadJob::discard(const QString& fileId)
{
    if (!isFileId(fileId))
        return;
    QDir dir(folder());
    dir.remove(fileId);
    dir.remove(fileId + validatorSuffix);
}

void DownloadJob::keepOnly(const QVariantList& waiting)
{
    QStringList kept;
    for (const QVariant& file : waiting) {
        const QVariant id = file.toMap().value(QStringLiteral("fileId"));
        kept << (id.type() == QVariant::String ? id.toString() : QString::number(id.toLongLong()));
    }
    QDir dir(folder());
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!kept.contains(name.endsWith(validatorSuffix) ? name.chopped(validatorSuffix.size()) : name))
            dir.remove(name);
    }
}

void DownloadJob::run()
{
    if (!isFileId(m_fileId) || m_size <= 0)
        return fail(tr("Invalid server response"));
    QDir().mkpath(folder());
    QFile::setPermissions(folder(), ownerOnly | QFileDevice::ExeOwner);
    m_retry = new RetryTimer(m_relay->retryPolicy(), this);
    connect(m_retry, &RetryTimer::countdown, this,
            [this](int seconds) { emit info(tr("Connection lost, retrying in %1 s").arg(seconds)); });
    connect(m_retry, &RetryTimer::due, this, [this] {
        emit info(tr("Downloading crypted container"));
        setProgressRange(m_size);
        attempt();
    });
    setProgressRange(m_size);
    attempt();
}

void DownloadJob::stop()
{
    if (m_retry)
        m_retry->stop();
    Job::stop();
    m_file.close();
}

void DownloadJob::attempt()
{
    QByteArray etag;
    QFile validator(validatorPath());
    if (validator.open(QIODevice::ReadOnly))
        etag = validator.read(maxValidatorBytes + 1).trimmed();
    validator.close();
    qint64 have = QFileInfo(path()).size();
    if (!isValidator(etag) || have > m_size)
        have = 0;
    m_file.setFileName(path());
    if (!m_file.open(QIODevice::ReadWrite))
        return fail(StagingFolder::writeError(folder(), m_file.errorString()));
    m_file.setPermissions(ownerOnly);
    // A complete container still asks for its last byte: the answer shows that the relay has the same one.
    if (!m_file.resize(qMin(have, m_size - 1)) || !m_file.seek(m_file.size()))
        return fail(StagingFolder::writeError(folder(), m_file.errorString()));
    m_offset = m_file.size();
    if (m_offset == 0)
        QFile::remove(validatorPath());
    setProgress(m_offset);
    RelayCall* call
        = m_relay->download(m_fileId, m_offset, m_size, etag, &m_file, this,
                            [this](const RelayClient::Result<QByteArray>& result) { attempted(result); });
    connect(call, &RelayCall::headersReceived, this, [this, call] {
        // Kept at once, so that even a program that is killed can go on from here.
        const QByteArray answered = call->header("ETag");
        if (m_offset > 0 || !isValidator(answered))
            return;
        QSaveFile file(validatorPath());
        if (file.open(QIODevice::WriteOnly) && file.write(answered) == answered.size())
            file.commit();
    });
    connect(call, &RelayCall::progress, this, [this](qint64 done) {
        if (done >= progressBytes)
            m_retry->progressed();
        setProgress(m_offset + done);
    });
}

void DownloadJob::attempted(const RelayClient::Result<QByteArray>& result)
{
    const bool written = m_file.flush();
    m_file.close();
    if (result.ok() && !written)
        return fail(StagingFolder::writeError(folder(), m_file.errorString()));
    if (result.ok()) {
        if (succeed())
            emit succeeded(path());
        return;
    }
    if (result.status == 412 || result.status == 416) {
        // What is here belongs to another container than the relay has now: never spliced.
        if (m_startedOver)
            return fail(result.error);
        m_startedOver = true;
        discard(m_fileId);
        return attempt();
    }
    if (result.status == 404) {
        discard(m_fileId);
        return fail(result.error);
    }
    if (!result.transient)
        return fail(result.error);
    if (!m_retry->schedule())
        return fail(tr("The connection to the server was lost (%1). What was received is kept for the next "
                       "try.")
                        .arg(result.error));
    emit warning(tr("Connection lost, retrying in %1 s").arg(m_retry->secondsLeft()));
}

#include "containers/OpenJob.h"

#include "containers/ContainerFormat.h"
#include "containers/ContainerTrailer.h"
#include "gpg/Crypter.h"
#include "gpg/GpgProcess.h"
#include "models/ContactKeys.h"

namespace {
// gpg writes a few KiB at a time; the files are written in blocks of at least this.
constexpr qint64 blockBytes = 256 * 1024;
constexpr qint64 readBytes = 1024 * 1024;
} // namespace

OpenJob::OpenJob(const QString& containerPath, const QString& folder, StagingFolder::ExistingFiles existing,
                 const QString& password, QObject* parent)
    : Job(parent)
    , m_containerPath(containerPath)
    , m_folder(folder)
    , m_existing(existing)
    , m_password(password)
    , m_reader(this)
{
    qRegisterMetaType<Arrival>();
}

OpenJob::~OpenJob() = default;

bool OpenJob::needsPassword(const QString& containerPath)
{
    QFile file(containerPath);
    return file.open(QIODevice::ReadOnly)
        && ContainerTrailer::read(file).method == ContainerFormat::methodPassword;
}

void OpenJob::run()
{
    m_staging = std::make_unique<StagingFolder>(m_folder);
    if (!m_staging->error().isEmpty())
        return fail(m_staging->error());
    QFile container(m_containerPath);
    if (!container.open(m_temporary ? QIODevice::ReadWrite : QIODevice::ReadOnly))
        return fail(tr("Cannot open %1 for reading").arg(m_containerPath));
    const ContainerTrailer trailer = ContainerTrailer::read(container);
    const QString secret
        = trailer.method == ContainerFormat::methodPublicKey ? trailer.fingerprint : m_password;
    const bool known = trailer.method == ContainerFormat::methodPublicKey
        || trailer.method == ContainerFormat::methodPassword;
    if (!known || secret.isEmpty() || trailer.messageLength <= 0)
        return fail(tr("Cannot decrypt container"));

    if (!m_sender.isEmpty() && (m_expectedSigner = ContactKeys::pinned(m_sender)).isEmpty())
        return fail(tr("No key is pinned for %1").arg(m_sender));

    emit stepStarted(Step::Decrypting);
    emit info(tr("Decrypting container"));
    setProgressRange(0);
    // gpg is given the OpenPGP message alone: with the trailer behind it, it reports a failed
    // integrity check that could not be told apart from a tampered container.
    m_crypter = new Crypter(trailer.method, secret, false, this);
    // gpg checks the signature in the same pass, against the keys put into its keyring for it.
    m_crypter->setSignatureKeys(m_sender.isEmpty() ? ContactKeys::fingerprints()
                                                   : QStringList {m_expectedSigner});
    if (m_temporary && container.resize(trailer.messageLength))
        m_crypter->setInputFile(m_containerPath);
    else
        m_crypter->setInputFile(m_containerPath, trailer.messageLength);
    connect(m_crypter, &Crypter::keyError, this, &Job::warning);
    connect(m_crypter->process(), &QProcess::readyReadStandardOutput, this, [this] { readOutput(false); });
    connect(m_crypter, &Crypter::finished, this, &OpenJob::decrypted);
    m_crypter->start();
}

void OpenJob::stop()
{
    m_file.close();
    m_staging.reset();
    Job::stop();
}

void OpenJob::readOutput(bool all)
{
    GpgProcess* gpg = m_crypter->process();
    if (!all && gpg->bytesAvailable() < blockBytes)
        return;
    while (isRunning() && gpg->bytesAvailable() > 0) {
        m_buffer.resize(int(qMin(readBytes, gpg->bytesAvailable())));
        const qint64 n = gpg->read(m_buffer.data(), m_buffer.size());
        if (n <= 0)
            return;
        if (!m_reader.feed(m_buffer.constData(), n))
            return fail(readerError());
    }
}

void OpenJob::decrypted(bool ok)
{
    if (!isRunning())
        return;
    readOutput(true);
    if (!isRunning())
        return;
    // The files count only when gpg found the container whole and untouched, and its signature
    // acceptable; its exit code alone cannot tell these apart.
    const DecryptionStatus status = m_crypter->status();
    if (!status.intact)
        return fail(tr("Cannot decrypt container"));
    const QString refusal = judgeSignatures(status);
    if (!refusal.isEmpty())
        return fail(refusal);
    if (!ok)
        return fail(tr("Cannot decrypt container"));
    if (!m_reader.finish())
        return fail(readerError());
    m_file.close();
    Arrival arrival;
    QString error;
    if (!m_staging->commit(m_existing, &arrival, &error))
        return fail(error);
    m_staging.reset();
    if (succeed())
        emit succeeded(arrival);
}

QString OpenJob::readerError() const
{
    switch (m_reader.status()) {
    case PayloadReader::Status::Ok:
        break;
    case PayloadReader::Status::InvalidHeader:
        return tr("Invalid container header");
    case PayloadReader::Status::UnknownVersion:
        return tr("Unknown container version");
    case PayloadReader::Status::Refused:
        return m_writeError;
    }
    return QString();
}

QString OpenJob::judgeSignatures(const DecryptionStatus& status)
{
    QString signer;
    for (const DecryptionStatus::Signature& signature : status.signatures) {
        switch (signature.outcome) {
        case DecryptionStatus::Signature::Outcome::Bad:
        case DecryptionStatus::Signature::Outcome::Invalid:
            return tr("The container's signature is not valid: it was forged or damaged. Nothing was "
                      "extracted.");
        case DecryptionStatus::Signature::Outcome::Good:
            if (m_expectedSigner.isEmpty() || signature.fingerprint == m_expectedSigner) {
                signer = signature.fingerprint;
                break;
            }
            Q_FALLTHROUGH();
        case DecryptionStatus::Signature::Outcome::Unchecked:
            if (!m_expectedSigner.isEmpty())
                return tr("The container is said to come from %1, but it is not signed by the key pinned for "
                          "%1. Nothing was extracted.")
                    .arg(ContactKeys::name(m_sender));
            break;
        }
    }
    m_signer = signer;
    m_signatureText = status.signatures.isEmpty() || !signer.isEmpty()
        ? ContactKeys::signatureText(signer, true)
        : ContactKeys::unknownSignerText();
    return QString();
}

bool OpenJob::begin(const QVector<PayloadRecord>& records)
{
    m_records = records;
    qint64 total = 0;
    for (const PayloadRecord& record : records)
        total += qBound<qint64>(0, record.size, std::numeric_limits<qint64>::max() - total);
    setProgressRange(total);
    return true;
}

bool OpenJob::entry(int index)
{
    m_file.close();
    const QString name = m_records.at(index).name;
    const QString path = m_staging->stage(name);
    if (path.isEmpty())
        return true;
    emit info(tr("Extracting %1").arg(m_folder + QLatin1Char('/') + name));
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_writeError = StagingFolder::writeError(m_folder, m_file.errorString());
        return false;
    }
    return true;
}

bool OpenJob::content(const char* data, qint64 length)
{
    m_done += length;
    setProgress(m_done);
    if (!m_file.isOpen() || m_file.write(data, length) == length)
        return true;
    m_writeError = StagingFolder::writeError(m_folder, m_file.errorString());
    return false;
}

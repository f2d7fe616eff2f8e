#include "gpg/Crypter.h"

#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"
#include "gpg/PipeFeeder.h"

#include <QFile>
#include <QHash>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <memory>

namespace {
constexpr int importTimeoutMs = 30000;

// How many Crypters of this process hold each key in the scratch keyring that they share: a key is
// taken out when the last of them has ended, never while another run still needs it.
QHash<QString, int>& keyHolders()
{
    static QHash<QString, int> holders;
    return holders;
}

// The keys that nobody holds once these are let go.
QStringList release(const QStringList& fingerprints)
{
    QStringList unused;
    for (const QString& fingerprint : fingerprints) {
        if (--keyHolders()[fingerprint] > 0)
            continue;
        keyHolders().remove(fingerprint);
        unused << fingerprint;
    }
    return unused;
}

QStringList deleteArguments(const QStringList& fingerprints)
{
    return QStringList {QStringLiteral("--batch"), QStringLiteral("--yes"),
                        QStringLiteral("--delete-secret-and-public-key")}
    + fingerprints;
}
} // namespace

Crypter::Crypter(int method, const QString& secret, bool encrypt, QObject* parent)
    : QObject(parent)
    , m_method(method)
    , m_secret(secret)
    , m_encrypt(encrypt)
    , m_process(new GpgProcess(this))
{
}

Crypter::~Crypter()
{
    // gpg is not waited for: it is stopped and goes by itself once it has ended, and the keys put
    // into its home for it are taken out by a gpg of their own.
    if (m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->setParent(nullptr);
        connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_process,
                &QObject::deleteLater);
        m_process->kill();
    }
    const QStringList unused = release(m_imported);
    if (!unused.isEmpty())
        QProcess::startDetached(QStringLiteral("gpg"),
                                QStringList {QStringLiteral("--homedir"), gpgHomeDir()}
                                    + deleteArguments(unused));
}

void Crypter::setInputFile(const QString& path, qint64 length)
{
    m_inputFile = path;
    m_inputLength = length;
}

void Crypter::start()
{
    // The end is always reported from the event loop, never from inside start().
    QTimer::singleShot(0, this, [this] {
        if (m_cancelled || (m_method != 1 && m_method != 2))
            return end(false);
        QByteArray keys;
        if (!collectKeys(&keys))
            return finish(false);
        if (keys.isEmpty())
            return runGpg();
        GpgProcess::run(
            {QStringLiteral("--import")}, keys, importTimeoutMs, this, [this](const GpgProcess::Result& r) {
                if (m_cancelled || r.ok)
                    return m_cancelled ? finish(false) : runGpg();
                if (!r.started) {
                    emit keyError(tr("Cannot start gpg for import key"));
                    return finish(false);
                }
                QByteArray errors = r.err;
                const int zero = errors.indexOf('\0');
                if (zero >= 0)
                    errors.truncate(zero);
                QString text = tr("Cannot import key") + QLatin1Char('\n') + QString::fromUtf8(errors);
                if (isAgentFailure(errors))
                    text += QLatin1Char('\n') + agentFailureText();
                emit keyError(text);
                finish(false);
            });
    });
}

bool Crypter::collectKeys(QByteArray* keys)
{
    struct Needed
    {
        QString fingerprint;
        bool secret;
        bool required;
    };
    QList<Needed> needed;
    if (m_method == 1)
        needed.append({m_secret, !m_encrypt, true});
    if (m_method == 1 && m_encrypt && !m_signer.isEmpty())
        needed.append({m_signer, true, true});
    // A signature by a key that is not at hand is reported as unchecked; the caller judges that.
    if (!m_encrypt)
        for (const QString& fingerprint : qAsConst(m_signatureKeys))
            needed.append({fingerprint, false, false});
    for (const Needed& key : needed) {
        QSqlQuery query;
        query.prepare(QStringLiteral("SELECT ")
                      + (key.secret ? QStringLiteral("private") : QStringLiteral("public"))
                      + QStringLiteral(" FROM key_data WHERE fpr = ?"));
        query.bindValue(0, key.fingerprint);
        const QByteArray blob = query.exec() && query.next() ? query.value(0).toByteArray() : QByteArray();
        if (blob.isEmpty() && key.required) {
            emit keyError(tr("Cannot find %1 key").arg(key.fingerprint));
            return false;
        }
        keys->append(blob);
        // Taken out again in any case, also after an import that failed half way.
        if (!blob.isEmpty() && !m_imported.contains(key.fingerprint)) {
            m_imported << key.fingerprint;
            ++keyHolders()[key.fingerprint];
        }
    }
    return true;
}

void Crypter::runGpg()
{
    QStringList arguments {QStringLiteral("--batch"), QStringLiteral("--yes"),
                           QStringLiteral("--trust-model"), QStringLiteral("always")};
    // SHA-256 rather than the key's preferred SHA-512: processors hash it in hardware, so signing
    // and checking a large container cost a fraction of the time.
    if (m_method == 1 && m_encrypt && !m_signer.isEmpty())
        arguments << QStringLiteral("-s") << QStringLiteral("-u") << m_signer
                  << QStringLiteral("--digest-algo") << QStringLiteral("SHA256");
    if (m_method == 1 && m_encrypt)
        arguments << QStringLiteral("-e") << QStringLiteral("-r") << m_secret;
    else
        arguments << (m_encrypt ? QStringLiteral("-c") : QStringLiteral("-d"));
    if (m_method == 2) {
        // Nor is the password left behind in gpg-agent's cache.
        arguments << QStringLiteral("--no-symkey-cache");
        if (!m_process->setPassphrase(m_secret.toUtf8())) {
            emit keyError(tr("The password is too long or holds a line break"));
            return finish(false);
        }
    }
    if (m_encrypt && m_compressLevel >= 0)
        arguments << QStringLiteral("-z") << QString::number(m_compressLevel);
    if (!m_encrypt)
        m_process->enableStatus();

    if (!m_outputFile.isEmpty())
        m_process->setStandardOutputFile(m_outputFile, QIODevice::Truncate);
    if (!m_inputFile.isEmpty() && m_inputLength < 0) {
        m_process->setStandardInputFile(m_inputFile);
    } else if (!m_inputFile.isEmpty()) {
        auto input = std::make_shared<QFile>(m_inputFile);
        if (!input->open(QIODevice::ReadOnly))
            return finish(false);
        setInputProducer([input, left = m_inputLength](char* buffer, qint64 size) mutable {
            const qint64 n = input->read(buffer, qMin(size, left));
            left -= qMax<qint64>(0, n);
            return n;
        });
    }
    if (m_producer) {
        m_feeder = std::make_unique<PipeFeeder>(m_producer);
        if (m_feeder->readEnd() < 0)
            return finish(false);
        // The child opens the pipe's read end through this process's descriptor table.
        m_process->setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(m_feeder->readEnd()));
    }
    connect(m_process, &QProcess::started, this, [this] {
        if (m_feeder)
            m_feeder->start();
        emit started();
    });
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this] {
        bool fed = true;
        if (m_feeder) {
            m_feeder->stop();
            fed = !m_feeder->failed();
            m_feeder.reset();
        }
        const bool ok = m_process->succeeded() && !m_cancelled && fed;
        if (!m_encrypt && !m_process->statusOverflow())
            m_status = DecryptionStatus::parse(m_process->statusLines());
        if (!ok && isAgentFailure(m_process->readAllStandardError()))
            emit keyError(agentFailureText());
        finish(ok);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(false);
    });
    m_process->start(arguments);
}

void Crypter::cancel()
{
    m_cancelled = true;
    if (m_process->state() != QProcess::NotRunning)
        m_process->kill();
}

void Crypter::finish(bool ok)
{
    const QStringList unused = release(m_imported);
    m_imported.clear();
    if (unused.isEmpty())
        return end(ok);
    // gpg stops at the first key it does not find: only those that made it into the keyring are named.
    GpgProcess::run({QStringLiteral("--with-colons"), QStringLiteral("--list-keys")}, QByteArray(),
                    importTimeoutMs, this, [this, ok, unused](const GpgProcess::Result& listing) {
                        QStringList present = listing.ok ? QStringList() : unused;
                        for (const QString& fingerprint : parseFingerprints(listing.out))
                            if (unused.contains(fingerprint) && !present.contains(fingerprint))
                                present << fingerprint;
                        if (present.isEmpty())
                            return end(ok);
                        GpgProcess::run(deleteArguments(present), QByteArray(), importTimeoutMs, this,
                                        [this, ok](const GpgProcess::Result&) { end(ok); });
                    });
}

void Crypter::end(bool ok)
{
    if (m_ended)
        return;
    m_ended = true;
    m_feeder.reset();
    emit finished(ok);
}

QString Crypter::agentFailureText() const
{
    return tr("gpg could not reach its agent. This happens when the path of its home directory %1 is too "
              "long for the agent's socket; a shorter home directory path avoids it.")
        .arg(gpgHomeDir());
}

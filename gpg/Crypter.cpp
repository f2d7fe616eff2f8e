#include "gpg/Crypter.h"

#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"
#include "gpg/PipeFeeder.h"

#include <QFile>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <memory>

namespace {
constexpr int importTimeoutMs = 30000;
} // namespace
// The pipe to gpg is enlarged to this (the unprivileged limit), so that each wake-up moves a megabyte.
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
    // gpg is not waited for: it is stopped and goes by itself once it has ended, and the key put
    // into its home for it is taken out by a gpg of its own.
    if (m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->setParent(nullptr);
        connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_process,
                &QObject::deleteLater);
        m_process->kill();
    }
    if (m_keyImported)
        QProcess::startDetached(QStringLiteral("gpg"),
                                {QStringLiteral("--homedir"), gpgHomeDir(), QStringLiteral("--batch"),
                                 QStringLiteral("--yes"), QStringLiteral("--delete-secret-and-public-key"),
                                 m_secret});
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
        if (m_method == 2)
            return runGpg();
        QSqlQuery query;
        query.prepare(QStringLiteral("SELECT ")
                      + (m_encrypt ? QStringLiteral("public") : QStringLiteral("private"))
                      + QStringLiteral(" FROM key_data WHERE fpr = ?"));
        query.bindValue(0, m_secret);
        const QByteArray key = query.exec() && query.next() ? query.value(0).toByteArray() : QByteArray();
        if (key.isEmpty()) {
            emit keyError(tr("Cannot find %1 key").arg(m_secret));
            return end(false);
        }
        // Taken out again in any case, also after an import that failed half way.
        m_keyImported = true;
        GpgProcess::run(
            {QStringLiteral("--import")}, key, importTimeoutMs, this, [this](const GpgProcess::Result& r) {
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

void Crypter::runGpg()
{
    QStringList arguments;
    if (m_method == 1 && m_encrypt)
        arguments << QStringLiteral("--trust-model") << QStringLiteral("always") << QStringLiteral("-e")
                  << QStringLiteral("-r") << m_secret;
    else
        arguments << QStringLiteral("--batch") << QStringLiteral("--yes")
                  << (m_encrypt ? QStringLiteral("-c") : QStringLiteral("-d"));
    if (m_method == 2)
        arguments << QStringLiteral("--passphrase") << m_secret;
    if (m_encrypt && m_compressLevel >= 0)
        arguments << QStringLiteral("-z") << QString::number(m_compressLevel);

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
    if (!m_keyImported)
        return end(ok);
    GpgProcess::run({QStringLiteral("--batch"), QStringLiteral("--yes"),
                     QStringLiteral("--delete-secret-and-public-key"), m_secret},
                    QByteArray(), importTimeoutMs, this, [this, ok](const GpgProcess::Result&) {
                        m_keyImported = false;
                        end(ok);
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

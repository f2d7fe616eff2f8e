#include "gpg/Crypter.h"

#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"

#include <QFile>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {
constexpr int importTimeoutMs = 30000;
} // namespace
// The pipe to gpg is enlarged to this (the unprivileged limit), so that each wake-up moves a megabyte.
constexpr int kPipeBytes = 1024 * 1024;

// Moves the first `length` bytes of an open file into a pipe with splice(), never through this
// process's memory, on a thread of its own: the GUI thread is not woken for it at all. The read end
// is for the child. The write end is non-blocking so that the thread notices a stop request even
// when nobody reads.
class FileToPipe
{
public:
    FileToPipe(int fileHandle, qint64 length)
        : m_file(::fcntl(fileHandle, F_DUPFD_CLOEXEC, 0))
        , m_remaining(length)
    {
        if (m_file < 0)
            return;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        m_read = fds[0];
        m_write = fds[1];
        ::fcntl(m_write, F_SETPIPE_SZ, kPipeBytes); // a smaller pipe only means more rounds
        ::fcntl(m_write, F_SETFL, ::fcntl(m_write, F_GETFL) | O_NONBLOCK);
    }
    ~FileToPipe()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        closeFd(m_read);
        closeFd(m_write);
        closeFd(m_file);
    }
    FileToPipe(const FileToPipe&) = delete;
    FileToPipe& operator=(const FileToPipe&) = delete;

    int readEnd() const { return m_read; }

    // Once the child holds its own copy of the read end.
    void start()
    {
        closeFd(m_read);
        m_thread = std::thread([this] { run(); });
    }

private:
    void run()
    {
        // A child that stopped reading makes the write fail with EPIPE; the signal that comes with
        // it stays blocked on this thread and dies with it instead of ending the program.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        bool canSplice = true;
        QByteArray buffer;
        while (m_remaining > 0 && !m_stop) {
            const size_t want = size_t(qMin<qint64>(m_remaining, kPipeBytes));
            ssize_t n = -1;
            if (canSplice) {
                n = ::splice(m_file, &m_offset, m_write, nullptr, want, SPLICE_F_NONBLOCK);
                if (n < 0 && errno == EINVAL) {
                    canSplice = false; // a file system without splice support
                    continue;
                }
            } else {
                if (buffer.isEmpty())
                    buffer.resize(kPipeBytes);
                n = ::pread(m_file, buffer.data(), want, m_offset);
                if (n > 0) {
                    // Only what the pipe took counts; the rest is read again on the next round.
                    n = ::write(m_write, buffer.constData(), size_t(n));
                    if (n > 0)
                        m_offset += n;
                }
            }
            if (n > 0) {
                m_remaining -= n;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd writable {m_write, POLLOUT, 0};
                ::poll(&writable, 1, 100);
            } else if (!(n < 0 && errno == EINTR)) {
                break; // end of file, or the reader is gone
            }
        }
        closeFd(m_write); // gpg sees the end of its input
    }

    static void closeFd(int& fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    int m_file;
    loff_t m_offset = 0;
    qint64 m_remaining;
    int m_read = -1;
    int m_write = -1;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

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
    QFile input(m_inputFile);
    if (!m_inputFile.isEmpty() && m_inputLength < 0) {
        m_process->setStandardInputFile(m_inputFile);
    } else if (!m_inputFile.isEmpty()) {
        if (!input.open(QIODevice::ReadOnly))
            return finish(false);
        m_feeder = std::make_unique<FileToPipe>(input.handle(), m_inputLength);
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
        m_feeder.reset();
        const bool ok = m_process->succeeded() && !m_cancelled;
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

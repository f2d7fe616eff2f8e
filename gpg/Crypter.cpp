#include "gpg/Crypter.h"

#include "gpg/Gpg.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QVariant>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

namespace {

constexpr int kImportTimeoutMs = 30000;
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
        : m_file(fileHandle)
        , m_remaining(length)
    {
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

} // namespace

Crypter::Crypter(QObject* parent)
    : QObject(parent)
{
}

bool Crypter::crypt(const QString& inputPath, const QString& outputPath, int cryptMethod,
                    const QString& secret, bool encrypt, qint64 inputLength, int compressLevel)
{
    if (cryptMethod != 1 && cryptMethod != 2)
        return false;

    QStringList arguments {QStringLiteral("--homedir"), gpgHomeDir()};
    QProcess process;
    QEventLoop loop;
    connect(this, &Crypter::canceled, &process, &QProcess::kill);
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);

    bool reported = false;
    if (cryptMethod == 1) {
        reported = !importKeyChecked(secret, encrypt);
        if (encrypt) {
            arguments << QStringLiteral("--trust-model") << QStringLiteral("always") << QStringLiteral("-e")
                      << QStringLiteral("-r") << secret << QStringLiteral("-o") << outputPath;
        } else {
            arguments << QStringLiteral("--batch") << QStringLiteral("--yes") << QStringLiteral("-d")
                      << QStringLiteral("-o") << outputPath;
        }
    } else {
        arguments << QStringLiteral("--batch") << QStringLiteral("--yes")
                  << (encrypt ? QStringLiteral("-c") : QStringLiteral("-d")) << QStringLiteral("--passphrase")
                  << secret << QStringLiteral("-o") << outputPath;
    }

    if (encrypt && compressLevel >= 0) {
        arguments.insert(arguments.indexOf(QStringLiteral("-o")), QStringLiteral("-z"));
        arguments.insert(arguments.indexOf(QStringLiteral("-o")), QString::number(compressLevel));
    }

    // gpg reads a part of a file from a pipe that the kernel fills straight from the file.
    QFile input(inputPath);
    bool inputReadable = true;
    std::unique_ptr<FileToPipe> feeder;
    if (inputLength >= 0) {
        inputReadable = input.open(QIODevice::ReadOnly);
        if (inputReadable) {
            feeder.reset(new FileToPipe(input.handle(), inputLength));
            inputReadable = feeder->readEnd() >= 0;
        }
        if (inputReadable) {
            process.setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(feeder->readEnd()));
            connect(&process, &QProcess::started, &loop, [&feeder] { feeder->start(); });
        }
    } else {
        arguments << inputPath;
    }

    // Without --batch --yes (method 1 encryption) gpg refuses to overwrite, or asks on a terminal.
    QFile::remove(outputPath);
    bool started = false;
    connect(&process, &QProcess::started, &loop, [&started] { started = true; });
    if (inputReadable) {
        process.start(QStringLiteral("gpg"), arguments, QIODevice::ReadWrite);
        // A failed start may already have been reported inside start(); never wait for it again.
        while (process.state() != QProcess::NotRunning)
            loop.exec();
    }

    feeder.reset();

    // gpg writes the plaintext of a damaged message all the same and only then fails, so its exit
    // code decides, and the output of a failed run must not survive for anyone to read.
    const bool ok = started && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
        && QFile::exists(outputPath);
    if (!ok) {
        QFile::remove(outputPath);
        if (!reported && isAgentFailure(process.readAllStandardError()))
            emit error(agentFailureText());
    }

    if (cryptMethod == 1)
        deleteKey(secret);
    return ok;
}

void Crypter::importKey(const QString& fpr, bool isPublic)
{
    importKeyChecked(fpr, isPublic);
}

bool Crypter::importKeyChecked(const QString& fpr, bool isPublic)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT ")
                  + (isPublic ? QStringLiteral("public") : QStringLiteral("private"))
                  + QStringLiteral(" FROM key_data WHERE fpr = ?"));
    query.bindValue(0, fpr);
    QByteArray key;
    if (query.exec() && query.next())
        key = query.value(0).toByteArray();
    if (key.isEmpty()) {
        emit error(tr("Cannot find %1 key").arg(fpr));
        return false;
    }

    waitForKeyringIdle();
    QProcess process;
    QStringList arguments = QProcess::splitCommand(gpgCommandPrefix + QStringLiteral(" --import"));
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(kImportTimeoutMs)) {
        emit error(tr("Cannot start gpg for import key"));
        return false;
    }
    process.write(key);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(kImportTimeoutMs);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;

    if (!finished) {
        process.kill();
        process.waitForFinished(-1);
    }
    QByteArray errors = process.readAllStandardError();
    const int zero = errors.indexOf('\0');
    if (zero >= 0)
        errors.truncate(zero);
    QString text = tr("Cannot import key") + QLatin1Char('\n') + QString::fromUtf8(errors);
    if (isAgentFailure(errors))
        text += QLatin1Char('\n') + agentFailureText();
    emit error(text);
    return false;
}

void Crypter::deleteKey(const QString& fpr)
{
    runGpgCommandToCompletion(QStringLiteral(" --batch --yes --delete-secret-and-public-key ") + fpr);
}

QString Crypter::agentFailureText() const
{
    return tr("gpg could not reach its agent. This happens when the path of its home directory %1 is too "
              "long for the agent's socket; a shorter home directory path avoids it.")
        .arg(gpgHomeDir());
}

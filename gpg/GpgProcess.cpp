#include "gpg/GpgProcess.h"

#include "gpg/Gpg.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {
// The largest pipe an unprivileged process may ask for.
constexpr int pipeBytes = 1024 * 1024;
// A decryption says a few dozen lines; a container that makes gpg say far more is not followed.
constexpr int maxStatusLines = 10000;
constexpr int maxStatusLineBytes = 16 * 1024;
const QByteArray statusPrefix = QByteArrayLiteral("[GNUPG:] ");
} // namespace

GpgProcess::GpgProcess(QObject* parent)
    : QProcess(parent)
{
    connect(this, &QProcess::started, this, [this] { m_started = true; });
}

GpgProcess::~GpgProcess()
{
    closeFd(m_passphraseRead);
    closeFd(m_statusWrite);
    closeFd(m_statusRead);
}

void GpgProcess::closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool GpgProcess::setPassphrase(const QByteArray& passphrase)
{
    closeFd(m_passphraseRead);
    // gpg takes the first line only.
    if (passphrase.contains('\n'))
        return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    m_passphraseRead = fds[0];
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const QByteArray line = passphrase + '\n';
    const bool fits = ::write(fds[1], line.constData(), size_t(line.size())) == line.size();
    ::close(fds[1]);
    return fits;
}

void GpgProcess::enableStatus()
{
    int fds[2];
    if (m_statusRead >= 0 || ::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_statusRead = fds[0];
    m_statusWrite = fds[1];
    ::fcntl(m_statusRead, F_SETFL, O_NONBLOCK);
    m_statusNotifier = new QSocketNotifier(m_statusRead, QSocketNotifier::Read, this);
    connect(m_statusNotifier, &QSocketNotifier::activated, this, &GpgProcess::readStatus);
}

QByteArrayList GpgProcess::statusLines()
{
    readStatus();
    return m_statusLines;
}

void GpgProcess::readStatus()
{
    if (m_statusRead < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_statusRead, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            m_statusNotifier->setEnabled(false);
            closeFd(m_statusRead);
        }
        if (n <= 0)
            break;
        m_statusPartial.append(buffer, int(n));
        int end;
        while ((end = m_statusPartial.indexOf('\n')) >= 0) {
            const QByteArray line = m_statusPartial.left(end);
            m_statusPartial.remove(0, end + 1);
            if (!line.startsWith(statusPrefix))
                continue;
            if (m_statusLines.size() == maxStatusLines)
                m_statusOverflow = true;
            else
                m_statusLines.append(line.mid(statusPrefix.size()));
        }
        if (m_statusPartial.size() > maxStatusLineBytes) {
            m_statusOverflow = true;
            m_statusPartial.clear();
        }
    }
}

void GpgProcess::start(const QStringList& arguments)
{
    QStringList all {QStringLiteral("--homedir"), gpgHomeDir()};
    if (m_passphraseRead >= 0)
        all << QStringLiteral("--pinentry-mode") << QStringLiteral("loopback")
            << QStringLiteral("--passphrase-fd") << QString::number(m_passphraseRead);
    if (m_statusWrite >= 0)
        all << QStringLiteral("--status-fd") << QString::number(m_statusWrite);
    QProcess::start(QStringLiteral("gpg"), all + arguments, QIODevice::ReadWrite);
    // The child holds its own copies from here on (or never will): gpg alone may write the status
    // and read the passphrase, so that their ends close when it ends.
    closeFd(m_passphraseRead);
    closeFd(m_statusWrite);
}

bool GpgProcess::succeeded() const
{
    return m_started && state() == QProcess::NotRunning && exitStatus() == QProcess::NormalExit
        && exitCode() == 0;
}

void GpgProcess::setupChildProcess()
{
    // Runs in the child before gpg starts; a pipe's size belongs to both of its ends.
    ::fcntl(0, F_SETPIPE_SZ, pipeBytes);
    ::fcntl(1, F_SETPIPE_SZ, pipeBytes);
    // The passphrase and status descriptors are for gpg, under the numbers its arguments name.
    for (int fd : {m_passphraseRead, m_statusWrite})
        if (fd >= 0)
            ::fcntl(fd, F_SETFD, 0);
}
void GpgProcess::run(const QStringList& arguments, const QByteArray& input, int timeoutMs, QObject* context,
                     Callback done)
{
    auto* process = new GpgProcess(context);
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, process, &QProcess::kill);
    auto report = [process, done](bool started) {
        Result result;
        result.started = started;
        result.ok = started && process->succeeded();
        result.out = process->readAllStandardOutput();
        result.err = process->readAllStandardError();
        process->disconnect();
        process->deleteLater();
        done(result);
    };
    connect(process, &QProcess::started, process, [process, input, limit] {
        process->write(input);
        process->closeWriteChannel();
        limit->start();
    });
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), process,
            [report] { report(true); });
    connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report(false);
    });
    limit->setInterval(timeoutMs);
    process->start(arguments);
}

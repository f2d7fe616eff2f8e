#include "gpg/GpgProcess.h"

#include "gpg/Gpg.h"

#include <QTimer>

#include <fcntl.h>

namespace {
// The largest pipe an unprivileged process may ask for.
constexpr int pipeBytes = 1024 * 1024;
} // namespace

GpgProcess::GpgProcess(QObject* parent)
    : QProcess(parent)
{
    connect(this, &QProcess::started, this, [this] { m_started = true; });
}

void GpgProcess::start(const QStringList& arguments)
{
    QProcess::start(QStringLiteral("gpg"),
                    QStringList {QStringLiteral("--homedir"), gpgHomeDir()} + arguments,
                    QIODevice::ReadWrite);
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

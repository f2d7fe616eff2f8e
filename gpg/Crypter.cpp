#include "gpg/Crypter.h"

#include "gpg/Gpg.h"

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int kImportTimeoutMs = 30000;
// Feeding gpg's standard input this much at a time keeps memory use flat for any input size.
constexpr qint64 kChunkSize = 512 * 1024;

} // namespace

Crypter::Crypter(QObject* parent)
    : QObject(parent)
{
}

bool Crypter::crypt(const QString& inputPath, const QString& outputPath, int cryptMethod,
                    const QString& secret, bool encrypt, qint64 inputLength)
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

    QFile input(inputPath);
    bool inputReadable = true;
    qint64 remaining = inputLength;
    bool closed = false;
    if (inputLength >= 0) {
        inputReadable = input.open(QIODevice::ReadOnly);
        // The next piece goes out only when the previous one has reached the pipe.
        auto feed = [&] {
            if (closed || process.bytesToWrite() > 0)
                return;
            const QByteArray chunk = input.read(qMin(remaining, kChunkSize));
            if (chunk.isEmpty()) {
                closed = true;
                process.closeWriteChannel();
                return;
            }
            remaining -= chunk.size();
            process.write(chunk);
        };
        connect(&process, &QProcess::started, &loop, feed);
        connect(&process, &QProcess::bytesWritten, &loop, feed);
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

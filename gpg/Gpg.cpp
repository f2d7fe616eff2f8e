#include "gpg/Gpg.h"

#include <QDir>
#include <QMetaObject>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QVariant>

#include <cstdlib>

QString gpgCommandPrefix;

namespace {

constexpr int kStartTimeoutMs = 30000;
// How long a keyring change waits for a running generation before it goes ahead anyway.
constexpr int kGenerationWaitMs = 120000;
constexpr char kGenerationErrorsProperty[] = "tessaryGpgGenerationErrors";

// Generations started by this process that have not finished yet.
QSet<QProcess*>& runningGenerations()
{
    static QSet<QProcess*> processes;
    return processes;
}

bool startGpgCommand(QProcess& process, const QString& options)
{
    QStringList arguments = QProcess::splitCommand(gpgCommandPrefix + options);
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    process.start(program, arguments, QIODevice::ReadWrite);
    return process.waitForStarted(kStartTimeoutMs);
}

} // namespace

void initGpgCommandPrefix()
{
    gpgCommandPrefix = QStringLiteral("gpg --homedir \"") + gpgHomeDir() + QLatin1Char('"');
}

QString gpgHomeDir()
{
    return QDir::homePath() + QStringLiteral("/.tessary2");
}

QStringList parseFingerprints(const QByteArray& colonListing)
{
    QByteArray bytes = colonListing;
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);

    QStringList fingerprints;
    const QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char(':'));
        if (fields.size() >= 10 && fields.at(0) == QLatin1String("fpr"))
            fingerprints.append(fields.at(9));
    }
    return fingerprints;
}

QString randomString()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString result;
    for (int i = 0; i < 10; ++i)
        result.append(QLatin1Char(alphabet[std::rand() % 62]));
    return result;
}

QByteArray keyGenerationParameters(const QString& name)
{
    const QStringList lines {QStringLiteral("%no-protection"), QStringLiteral("Key-Type: RSA"),
                             QStringLiteral("Key-Length: 2048"), QStringLiteral("Expire-Date: 0"),
                             QStringLiteral("Name-Real: ") + name};
    return lines.join(QLatin1Char('\n')).toLocal8Bit();
}

bool startKeyGeneration(QObject* receiver)
{
    waitForKeyringIdle();

    auto* process = new QProcess;
    if (!startGpgCommand(*process, QStringLiteral(" --gen-key --batch"))) {
        delete process;
        return false;
    }
    process->write(keyGenerationParameters(randomString()));
    process->closeWriteChannel();

    runningGenerations().insert(process);
    const auto finished = qOverload<int, QProcess::ExitStatus>(&QProcess::finished);
    QObject::connect(process, finished, process, [process] { runningGenerations().remove(process); });
    // Queued, so that the receiver runs from the event loop even when a waitForFinished() elsewhere
    // noticed the end; the process lives until then, and dies with a receiver that goes first.
    QObject::connect(
        process, finished, receiver,
        [process, receiver] {
            receiver->setProperty(kGenerationErrorsProperty, process->readAllStandardError());
            process->disconnect();
            process->deleteLater();
            QMetaObject::invokeMethod(receiver, "keyPairGenerated");
        },
        Qt::QueuedConnection);
    QObject::connect(receiver, &QObject::destroyed, process, [process] {
        runningGenerations().remove(process);
        process->deleteLater();
    });
    return true;
}

QByteArray keyGenerationErrors(const QObject* receiver)
{
    return receiver->property(kGenerationErrorsProperty).toByteArray();
}

QHash<QString, QPair<QByteArray, QByteArray>> takeSecretKeys()
{
    QHash<QString, QPair<QByteArray, QByteArray>> keys;
    QProcess process;
    if (!runGpgCommand(process, QStringLiteral(" --with-fingerprint --with-colons -K")))
        return keys;
    const QStringList fingerprints = parseFingerprints(process.readAllStandardOutput());
    for (const QString& fpr : fingerprints) {
        if (!runGpgCommand(process, QStringLiteral(" --export ") + fpr))
            continue;
        const QByteArray publicKey = process.readAllStandardOutput();
        if (!runGpgCommand(process, QStringLiteral(" --export-secret-keys ") + fpr))
            continue;
        const QByteArray secretKey = process.readAllStandardOutput();
        keys.insert(fpr, qMakePair(secretKey, publicKey));
        runGpgCommandToCompletion(QStringLiteral(" --batch --yes --delete-secret-and-public-key ") + fpr);
    }
    return keys;
}

bool runGpgCommand(QProcess& process, const QString& options, int timeoutMs)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
    if (!startGpgCommand(process, options))
        return false;
    if (process.waitForFinished(timeoutMs))
        return true;
    process.kill();
    process.waitForFinished(-1);
    return false;
}

void runGpgCommandToCompletion(const QString& options)
{
    waitForKeyringIdle();
    QStringList arguments = QProcess::splitCommand(gpgCommandPrefix + options);
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    QProcess process;
    process.start(program, arguments, QIODevice::ReadWrite);
    process.waitForFinished(-1);
}

void waitForKeyringIdle()
{
    const QSet<QProcess*> processes = runningGenerations();
    for (QProcess* process : processes) {
        if (!process->waitForFinished(kGenerationWaitMs))
            runningGenerations().remove(process);
    }
}

bool isAgentFailure(const QByteArray& errorOutput)
{
    return errorOutput.contains("No agent running") || errorOutput.contains("can't connect to the agent");
}

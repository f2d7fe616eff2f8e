#include "gpg/Gpg.h"

#include <QDir>

#include <cstdlib>

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

QString singlePublicKeyFingerprint(const QByteArray& colonListing)
{
    int keys = 0;
    QString fingerprint;
    QByteArray previous;
    for (const QByteArray& line : colonListing.split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        const QByteArray type = fields.first();
        if (type == "sec" || type == "ssb")
            return QString();
        if (type == "pub")
            ++keys;
        // The primary key's own fingerprint record follows it at once; subkeys have theirs.
        if (type == "fpr" && previous == "pub" && fields.size() >= 10)
            fingerprint = QString::fromLatin1(fields.at(9));
        previous = type;
    }
    return keys == 1 ? fingerprint : QString();
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

bool isAgentFailure(const QByteArray& errorOutput)
{
    return errorOutput.contains("No agent running") || errorOutput.contains("can't connect to the agent");
}

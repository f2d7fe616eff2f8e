#include "GpgTestKeys.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

GpgTestKeys::GpgTestKeys(int count)
    // gpg-agent's socket path must stay short.
    : m_home(QStringLiteral("/tmp/gk-XXXXXX"))
{
    if (!m_home.isValid()) {
        m_error = QStringLiteral("cannot create a GNUPGHOME");
        return;
    }
    for (int i = 0; i < count && m_error.isEmpty(); ++i) {
        const QByteArray status
            = gpg({QStringLiteral("--status-fd"), QStringLiteral("1"), QStringLiteral("--quick-gen-key"),
                   QStringLiteral("Relay Test %1 <relay-test-%1@example.org>").arg(i),
                   QStringLiteral("rsa2048"), QStringLiteral("sign"), QStringLiteral("never")});
        const QRegularExpressionMatch created
            = QRegularExpression(QStringLiteral("KEY_CREATED P ([0-9A-F]{40})"))
                  .match(QString::fromLatin1(status));
        if (!created.hasMatch()) {
            m_error = QStringLiteral("gpg made no key: %1").arg(QString::fromLocal8Bit(status));
            return;
        }
        Key key;
        key.fingerprint = created.captured(1);
        gpg({QStringLiteral("--quick-add-key"), key.fingerprint, QStringLiteral("rsa2048"),
             QStringLiteral("encr"), QStringLiteral("never")});
        key.publicKey = gpg({QStringLiteral("--export"), key.fingerprint});
        key.secretKey = gpg({QStringLiteral("--export-secret-keys"), key.fingerprint});
        if (key.publicKey.isEmpty() || key.secretKey.isEmpty()) {
            m_error = QStringLiteral("gpg exported nothing for %1").arg(key.fingerprint);
            return;
        }
        m_keys.append(key);
    }
}

GpgTestKeys::~GpgTestKeys()
{
    QProcess::execute(
        QStringLiteral("gpgconf"),
        {QStringLiteral("--homedir"), m_home.path(), QStringLiteral("--kill"), QStringLiteral("gpg-agent")});
}

QByteArray GpgTestKeys::gpg(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("gpg"),
                  QStringList {QStringLiteral("--homedir"), m_home.path(), QStringLiteral("--batch"),
                               QStringLiteral("--pinentry-mode"), QStringLiteral("loopback"),
                               QStringLiteral("--passphrase"), QString()}
                      + args);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

#include "net/ServerConfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {
// The public relay. Self-hosted servers are reached through TESSARY_SERVER_URL.
const char* const builtInServerUrl = "https://relay.tessary.org";

QString& configuredUrl()
{
    static QString url = QString::fromLatin1(builtInServerUrl);
    return url;
}
} // namespace

const QString userAgent = QStringLiteral("Tessary/" TESSARY_VERSION);

QString serverBaseUrl()
{
    return configuredUrl();
}

bool loadServerConfig(QString* error)
{
    QString url = qEnvironmentVariable("TESSARY_SERVER_URL").trimmed();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    configuredUrl() = url.isEmpty() ? QString::fromLatin1(builtInServerUrl) : url;

    const QString caFile = qEnvironmentVariable("TESSARY_CA_FILE");
    if (caFile.isEmpty())
        return true;

    QFile file(caFile);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QCoreApplication::translate("QObject", "Cannot read the certificate file %1: %2")
                         .arg(caFile, file.errorString());
        return false;
    }
    const QList<QSslCertificate> roots = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (roots.isEmpty()) {
        if (error)
            *error
                = QCoreApplication::translate("QObject", "The file %1 holds no PEM certificate").arg(caFile);
        return false;
    }
    // Setting the CA list replaces the system roots: a self-hosted server is trusted through its own
    // CA and nothing else.
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(roots);
    QSslConfiguration::setDefaultConfiguration(config);
    return true;
}

#include "ServerOptions.h"

#include <QRegularExpression>

#include <limits>

namespace {
qint64 withUnit(const QString& text, const QString& units, const QList<qint64>& factors)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,15})\\s*([A-Za-z]*)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return -1;
    const qint64 value = match.captured(1).toLongLong();
    QString unit = match.captured(2).toLower();
    if (unit.endsWith(QLatin1String("ib")))
        unit.chop(2);
    else if (unit.size() == 2 && unit.endsWith(QLatin1Char('b')))
        unit.chop(1);
    if (unit.isEmpty())
        return value;
    const int index = unit.size() == 1 ? units.indexOf(unit) : -1;
    if (index < 0)
        return -1;
    const qint64 factor = factors.at(index);
    if (value > std::numeric_limits<qint64>::max() / factor)
        return -1;
    return value * factor;
}

bool splitHostPort(const QString& text, QString* host, int* port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString h = text.left(colon);
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok);
    if (!ok || p < 0 || p > 65535 || h.isEmpty())
        return false;
    *host = h;
    *port = p;
    return true;
}
} // namespace

qint64 ServerOptions::parseSize(const QString& text)
{
    return withUnit(text, QStringLiteral("kmgt"),
                    {qint64(1) << 10, qint64(1) << 20, qint64(1) << 30, qint64(1) << 40});
}

qint64 ServerOptions::parseDuration(const QString& text)
{
    return withUnit(text, QStringLiteral("smhd"), {1, 60, 3600, 86400});
}

QString ServerOptions::formatSize(qint64 bytes)
{
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

ServerOptions::Parse ServerOptions::parse(const QStringList& arguments, QString* error)
{
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasValue = false;
        const int eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h"))
            return Parse::Help;
        if (name == QLatin1String("--dev-tls")) {
            devTls = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return Parse::Error;
            }
            value = arguments.at(++i);
        }

        auto size = [&](qint64* target, qint64 minimum) {
            const qint64 v = parseSize(value);
            if (v < minimum) {
                *error = QStringLiteral("%1: \"%2\" is not a size such as 512M or 4G").arg(name, value);
                return false;
            }
            *target = v;
            return true;
        };
        auto seconds = [&](qint64 minimum, qint64 maximum) -> qint64 {
            const qint64 v = parseDuration(value);
            if (v < minimum || v > maximum) {
                *error = QStringLiteral("%1: \"%2\" is not a duration such as 30s, 15m, 12h or 14d")
                             .arg(name, value);
                return -1;
            }
            return v;
        };

        auto count = [&](int* target, int minimum, int maximum) {
            bool isNumber = false;
            const int v = value.toInt(&isNumber);
            if (!isNumber || v < minimum || v > maximum) {
                *error = QStringLiteral("%1: \"%2\" is not a number from %3 to %4")
                             .arg(name, value)
                             .arg(minimum)
                             .arg(maximum);
                return false;
            }
            *target = v;
            return true;
        };

        bool ok = true;
        if (name == QLatin1String("--listen")) {
            ok = splitHostPort(value, &listenHost, &listenPort);
            if (!ok)
                *error = QStringLiteral("--listen: \"%1\" is not HOST:PORT").arg(value);
        } else if (name == QLatin1String("--data")) {
            dataDir = value;
        } else if (name == QLatin1String("--cert")) {
            certFile = value;
        } else if (name == QLatin1String("--key")) {
            keyFile = value;
        } else if (name == QLatin1String("--access-log")) {
            accessLog = value;
        } else if (name == QLatin1String("--max-container")) {
            ok = size(&maxContainerBytes, 1);
        } else if (name == QLatin1String("--quota")) {
            ok = size(&quotaBytes, 1);
        } else if (name == QLatin1String("--reserve")) {
            ok = size(&reserveBytes, 0);
        } else if (name == QLatin1String("--api-body-limit")) {
            ok = size(&apiBodyBytes, 1024);
        } else if (name == QLatin1String("--expiry")) {
            ok = (expirySeconds = seconds(1, qint64(3650) * 86400)) > 0;
        } else if (name == QLatin1String("--read-timeout")) {
            ok = (readTimeoutSeconds = int(seconds(1, 86400))) > 0;
        } else if (name == QLatin1String("--write-timeout")) {
            ok = (writeTimeoutSeconds = int(seconds(1, 86400))) > 0;
        } else if (name == QLatin1String("--keep-alive")) {
            ok = (keepAliveSeconds = int(seconds(1, 3600))) > 0;
        } else if (name == QLatin1String("--max-connections")) {
            ok = count(&maxConnections, 2, 100000);
        } else if (name == QLatin1String("--max-per-address")) {
            ok = count(&maxPerAddress, 1, 100000);
        } else if (name == QLatin1String("--header-timeout")) {
            ok = (headerTimeoutSeconds = int(seconds(1, 3600))) > 0;
        } else if (name == QLatin1String("--min-upload-rate")) {
            ok = size(&minUploadRate, 1);
        } else if (name == QLatin1String("--database")) {
            database = value;
            ok = value.startsWith(QLatin1String("postgresql://"))
                || value.startsWith(QLatin1String("postgres://"));
            if (!ok)
                *error = QStringLiteral("--database: \"%1\" is not a postgresql:// address").arg(value);
        } else if (name == QLatin1String("--containers")) {
            containersDir = value;
        } else {
            *error = QStringLiteral("unknown option %1 (see --help)").arg(name);
            ok = false;
        }
        if (!ok)
            return Parse::Error;
    }

    if (dataDir.isEmpty()) {
        *error = QStringLiteral("--data DIR is required: the folder that keeps keys and files");
        return Parse::Error;
    }
    if (!devTls && (certFile.isEmpty() || keyFile.isEmpty())) {
        *error = QStringLiteral("give --cert FILE and --key FILE, or --dev-tls for a private test CA");
        return Parse::Error;
    }
    if (devTls && (!certFile.isEmpty() || !keyFile.isEmpty())) {
        *error = QStringLiteral("--dev-tls makes its own certificate: leave out --cert and --key");
        return Parse::Error;
    }
    return Parse::Run;
}

QString ServerOptions::helpText()
{
    const ServerOptions d;
    return QStringLiteral(
               "Usage: tessary-server --data DIR (--dev-tls | --cert FILE --key FILE) [options]\n"
               "\n"
               "The relay server of Tessary: keeps public keys under numeric ids and passes encrypted\n"
               "containers from sender to recipient over HTTPS.\n"
               "\n"
               "  --listen HOST:PORT     address to listen on (default %1:%2; port 0 picks a free one)\n"
               "  --data DIR             data folder: database, containers, log salt, dev TLS files\n"
               "  --cert FILE            server certificate chain (PEM)\n"
               "  --key FILE             private key of the certificate (PEM)\n"
               "  --dev-tls              create once, and then use, a private CA and a certificate for\n"
               "                         127.0.0.1 and localhost under DIR/tls/; clients trust "
               "DIR/tls/ca.pem\n"
               "                         (TESSARY_CA_FILE)\n"
               "  --max-container SIZE   largest container accepted (default %3)\n"
               "  --quota SIZE           per installation: uncollected containers it may have sent (default "
               "%4)\n"
               "  --reserve SIZE         disk space always left free (default %5)\n"
               "  --expiry TIME          uncollected containers are deleted after this (default %6d)\n"
               "  --api-body-limit SIZE  largest body of one /api call (default %7)\n"
               "  --read-timeout TIME    a client silent this long while sending is dropped (default %8s)\n"
               "  --write-timeout TIME   a client not reading this long is dropped (default %9s)\n"
               "  --keep-alive TIME      idle connections are closed after this (default %10s)\n"
               "  --max-connections N    connections served at once; more are refused (default %11)\n"
               "  --max-per-address N    connections from one address; more are refused (default %12)\n"
               "  --header-timeout TIME  a new request must have sent its headers by then (default %13s)\n"
               "  --min-upload-rate SIZE a request body must arrive at this rate per second (default %14)\n"
               "  --database URL         postgresql://USER@HOST:PORT/NAME: metadata in PostgreSQL, which\n"
               "                         several servers can share (default: SQLite in DIR/relay.db)\n"
               "  --containers DIR       container files (default DIR/containers); servers that share a\n"
               "                         database share this folder too\n"
               "  --access-log FILE      append the access log here (default: standard error)\n"
               "  --help                 show this text\n"
               "\n"
               "SIZE: bytes or with K, M, G, T (powers of 1024). TIME: seconds or with s, m, h, d.\n"
               "SIGTERM or SIGINT stop the server after the requests in progress.\n")
        .arg(d.listenHost)
        .arg(d.listenPort)
        .arg(formatSize(d.maxContainerBytes), formatSize(d.quotaBytes), formatSize(d.reserveBytes))
        .arg(d.expirySeconds / 86400)
        .arg(formatSize(d.apiBodyBytes))
        .arg(d.readTimeoutSeconds)
        .arg(d.writeTimeoutSeconds)
        .arg(d.keepAliveSeconds)
        .arg(d.maxConnections)
        .arg(d.maxPerAddress)
        .arg(d.headerTimeoutSeconds)
        .arg(formatSize(d.minUploadRate));
}

#include "ServerOptions.h"

#include <QRegularExpression>
#include <QVector>

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

// The words of text in lines of at most 96 columns, each after six blanks.
QString wrapped(const QString& text)
{
    QString out, line;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 90) {
            out += QStringLiteral("      ") + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + QStringLiteral("      ") + line + QLatin1Char('\n');
}

QString formatDuration(qint64 seconds)
{
    if (seconds % 86400 == 0)
        return QStringLiteral("%1d").arg(seconds / 86400);
    if (seconds % 3600 == 0)
        return QStringLiteral("%1h").arg(seconds / 3600);
    return QStringLiteral("%1s").arg(seconds);
}
} // namespace

struct ServerOptions::Option
{
    enum Kind
    {
        Text,
        Flag,
        Listen,
        Size,
        Duration,
        Count
    };
    QString name;
    Kind kind;
    void* target;
    qint64 minimum;
    qint64 maximum;
    QString help;
};

QVector<ServerOptions::Option> ServerOptions::table()
{
    constexpr qint64 big = qint64(1) << 50;
    RelayLimits& l = limits;
    return {
        {"--listen HOST:PORT", Option::Listen, nullptr, 0, 0,
         "address to listen on; port 0 picks a free one"},
        {"--data DIR", Option::Text, &dataDir, 0, 0,
         "data folder: database, containers, log salt, dev TLS files"},
        {"--cert FILE", Option::Text, &certFile, 0, 0, "server certificate chain (PEM)"},
        {"--key FILE", Option::Text, &keyFile, 0, 0, "private key of the certificate (PEM)"},
        {"--dev-tls", Option::Flag, &devTls, 0, 0,
         "create once, and then use, a private CA and a certificate for 127.0.0.1 and localhost under "
         "DIR/tls/; clients trust DIR/tls/ca.pem (TESSARY_CA_FILE)"},
        {"--database URL", Option::Text, &database, 0, 0,
         "postgresql://USER@HOST:PORT/NAME: metadata in PostgreSQL, which several servers can share "
         "(default: SQLite in DIR/relay.db)"},
        {"--containers DIR", Option::Text, &containersDir, 0, 0,
         "container files (default DIR/containers); servers that share a database share this folder too"},
        {"--access-log FILE", Option::Text, &accessLog, 0, 0,
         "append the access log here (default: standard error)"},
        {"--max-container SIZE", Option::Size, &l.maxContainerBytes, 1, big, "largest container accepted"},
        {"--quota SIZE", Option::Size, &l.quotaBytes, 1, big,
         "per installation: its containers that are not collected yet"},
        {"--reserve SIZE", Option::Size, &l.reserveBytes, 0, big, "disk space always left free"},
        {"--expiry TIME", Option::Duration, &l.expirySeconds, 1, qint64(3650) * 86400,
         "uncollected containers are deleted, and reported as rejected, after this"},
        {"--upload-expiry TIME", Option::Duration, &l.uploadExpirySeconds, 1, qint64(365) * 86400,
         "an unfinished resumable upload is deleted when nothing was added to it for this long"},
        {"--open-uploads N", Option::Count, &l.openUploadsPerInstallation, 1, 100000,
         "unfinished resumable uploads one installation may have at once"},
        {"--waiting-per-recipient N", Option::Count, &l.waitingPerRecipient, 1, 1000000,
         "containers waiting for one recipient"},
        {"--waiting-per-pair N", Option::Count, &l.waitingPerPair, 1, 1000000,
         "containers waiting from one sender for one recipient"},
        {"--max-key SIZE", Option::Size, &l.maxKeyBytes, 1024, 16 << 20, "largest public key registered"},
        {"--keys-per-installation N", Option::Count, &l.keysPerInstallation, 1, 1000,
         "public keys one installation may register"},
        {"--max-title SIZE", Option::Size, &l.maxTitleBytes, 16, 1 << 20,
         "longest contact title, in bytes of UTF-8"},
        {"--contacts-per-installation N", Option::Count, &l.contactsPerInstallation, 1, 1000000,
         "contacts one installation may keep"},
        {"--max-feedback SIZE", Option::Size, &l.maxFeedbackBytes, 1024, 16 << 20,
         "longest feedback: name, e-mail address and message together"},
        {"--feedback-per-day N", Option::Count, &l.feedbackPerDay, 1, 1000000,
         "feedback messages per installation in 24 hours"},
        {"--installations-per-hour N", Option::Count, &l.installationsPerHour, 1, 1000000,
         "new installations from one address (for IPv6 one /64) in an hour"},
        {"--api-body-limit SIZE", Option::Size, &l.apiBodyBytes, 1024, 64 << 20,
         "largest body of one /api call"},
        {"--read-timeout TIME", Option::Duration, &readTimeoutSeconds, 1, 86400,
         "a client silent this long while sending is dropped"},
        {"--write-timeout TIME", Option::Duration, &writeTimeoutSeconds, 1, 86400,
         "a client not reading this long is dropped"},
        {"--keep-alive TIME", Option::Duration, &keepAliveSeconds, 1, 3600,
         "idle connections are closed after this"},
        {"--max-connections N", Option::Count, &maxConnections, 2, 100000,
         "connections served at once; more are answered 503"},
        {"--max-per-address N", Option::Count, &maxPerAddress, 1, 100000,
         "connections from one address; more are answered 503"},
        {"--header-timeout TIME", Option::Duration, &headerTimeoutSeconds, 1, 3600,
         "a connection must finish its TLS handshake and request headers by then"},
        {"--min-upload-rate SIZE", Option::Size, &minUploadRate, 1, big,
         "a request body must bring this much per second, measured over 10 s"},
    };
}

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
    const QVector<Option> options = table();
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
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const Option& o) { return o.name.section(' ', 0, 0) == name; });
        if (option == options.end()) {
            *error = QStringLiteral("unknown option %1 (see --help)").arg(name);
            return Parse::Error;
        }
        if (option->kind == Option::Flag) {
            *static_cast<bool*>(option->target) = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return Parse::Error;
            }
            value = arguments.at(++i);
        }
        qint64 number = 0;
        switch (option->kind) {
        case Option::Text:
            *static_cast<QString*>(option->target) = value;
            continue;
        case Option::Listen:
            if (splitHostPort(value, &listenHost, &listenPort))
                continue;
            *error = QStringLiteral("--listen: \"%1\" is not HOST:PORT").arg(value);
            return Parse::Error;
        case Option::Size:
            number = parseSize(value);
            *error = QStringLiteral("%1: \"%2\" is not a size from %3 to %4 such as 512K or 4G")
                         .arg(name, value, formatSize(option->minimum), formatSize(option->maximum));
            break;
        case Option::Duration:
            number = parseDuration(value);
            *error = QStringLiteral("%1: \"%2\" is not a duration such as 30s, 15m, 12h or 14d")
                         .arg(name, value);
            break;
        default: {
            bool ok = false;
            number = value.toLongLong(&ok);
            number = ok ? number : -1;
            *error = QStringLiteral("%1: \"%2\" is not a number from %3 to %4")
                         .arg(name, value)
                         .arg(option->minimum)
                         .arg(option->maximum);
        }
        }
        if (number < option->minimum || number > option->maximum)
            return Parse::Error;
        error->clear();
        *static_cast<qint64*>(option->target) = number;
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
    if (!database.isEmpty() && !database.startsWith(QLatin1String("postgresql://"))
        && !database.startsWith(QLatin1String("postgres://"))) {
        *error = QStringLiteral("--database: \"%1\" is not a postgresql:// address").arg(database);
        return Parse::Error;
    }
    return Parse::Run;
}

QString ServerOptions::helpText()
{
    ServerOptions defaults;
    QString text = QStringLiteral(
        "Usage: tessary-server --data DIR (--dev-tls | --cert FILE --key FILE) [options]\n"
        "\n"
        "The relay server of Tessary: keeps public keys under numeric ids and passes encrypted\n"
        "containers from sender to recipient over HTTPS.\n\n");
    for (const Option& option : defaults.table()) {
        QString help = option.help;
        switch (option.kind) {
        case Option::Listen:
            help += QStringLiteral(" (default %1:%2)").arg(defaults.listenHost).arg(defaults.listenPort);
            break;
        case Option::Size:
            help += QStringLiteral(" (default %1)").arg(formatSize(*static_cast<qint64*>(option.target)));
            break;
        case Option::Duration:
            help += QStringLiteral(" (default %1)").arg(formatDuration(*static_cast<qint64*>(option.target)));
            break;
        case Option::Count:
            help += QStringLiteral(" (default %1)").arg(*static_cast<qint64*>(option.target));
            break;
        default:
            break;
        }
        text += QStringLiteral("  %1\n").arg(option.name) + wrapped(help);
    }
    return text
        + QStringLiteral(
               "  --help\n      show this text\n\n"
               "SIZE: bytes or with K, M, G, T (powers of 1024). TIME: seconds or with s, m, h, d.\n"
               "SIGTERM or SIGINT stop the server after the requests in progress.\n");
}

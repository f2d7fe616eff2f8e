#include "util/CliUser.h"

#include <QDir>
#include <QFile>

QStringList CliUser::Result::lines() const
{
    QString text = QString::fromUtf8(out);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QString CliUser::Result::errText() const
{
    return QString::fromUtf8(err);
}

CliUser::CliUser()
    : m_home(QStringLiteral("/tmp/tcu-XXXXXX")) // gpg-agent sockets fail with long paths
    , m_env(QProcessEnvironment::systemEnvironment())
{
    m_env.insert(QStringLiteral("HOME"), m_home.path());
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QStringLiteral("/.config"));
    m_env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_env.remove(QStringLiteral("GNUPGHOME"));
    m_env.remove(QStringLiteral("TESSARY_SERVER_URL"));
    m_env.remove(QStringLiteral("TESSARY_CA_FILE"));
    QDir(m_home.path()).mkpath(QStringLiteral("Documents"));
}

CliUser::~CliUser()
{
    if (QDir(dataDir()).exists()) {
        QProcess gpgconf;
        gpgconf.start(
            QStringLiteral("gpgconf"),
            {QStringLiteral("--homedir"), dataDir(), QStringLiteral("--kill"), QStringLiteral("gpg-agent")});
        gpgconf.waitForFinished(10000);
    }
}

bool CliUser::isValid() const
{
    return m_home.isValid();
}

QString CliUser::home() const
{
    return m_home.path();
}

QString CliUser::dataDir() const
{
    return m_home.path() + QStringLiteral("/.tessary2");
}

void CliUser::setServer(const QString& baseUrl, const QString& caFile)
{
    if (baseUrl.isEmpty()) {
        m_env.remove(QStringLiteral("TESSARY_SERVER_URL"));
        m_env.remove(QStringLiteral("TESSARY_CA_FILE"));
        return;
    }
    m_env.insert(QStringLiteral("TESSARY_SERVER_URL"), baseUrl);
    m_env.insert(QStringLiteral("TESSARY_CA_FILE"), caFile);
}

CliUser::Result CliUser::run(const QStringList& args, const QByteArray& input, int timeoutMs) const
{
    QProcess process;
    start(process, args);
    Result result;
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void CliUser::start(QProcess& process, const QStringList& args) const
{
    process.setProcessEnvironment(m_env);
    process.setWorkingDirectory(m_home.path());
    process.start(program(), args);
}

QString CliUser::program()
{
#ifdef TESSARY_CLI_BIN
    return QStringLiteral(TESSARY_CLI_BIN);
#else
    return QString();
#endif
}

#include "util/CliUser.h"

#include <QDir>
#include <QTemporaryFile>

QStringList CliUser::Result::lines() const
{
    const QString text = QString::fromUtf8(out);
    return text.isEmpty() ? QStringList()
                          : text.left(text.size() - text.endsWith(QLatin1Char('\n'))).split('\n');
}

CliUser::CliUser()
{
    m_env.insert(QStringLiteral("HOME"), home());
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/.config"));
    m_env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const char* name : {"GNUPGHOME", "TESSARY_SERVER_URL", "TESSARY_CA_FILE"})
        m_env.remove(QLatin1String(name));
}

CliUser::~CliUser()
{
    if (QDir(dataDir()).exists())
        QProcess::execute(
            QStringLiteral("gpgconf"),
            {QStringLiteral("--homedir"), dataDir(), QStringLiteral("--kill"), QStringLiteral("gpg-agent")});
}

void CliUser::setServer(const QString& baseUrl, const QString& caFile)
{
    m_env.insert(QStringLiteral("TESSARY_SERVER_URL"), baseUrl);
    m_env.insert(QStringLiteral("TESSARY_CA_FILE"), caFile);
}

CliUser::Result CliUser::run(const QStringList& args, const QByteArray& input) const
{
    QProcess process;
    start(process, args);
    return finish(process, input, 120000);
}

CliUser::Result CliUser::runWindow(const QString& script) const
{
    QTemporaryFile file(home() + QStringLiteral("/script-XXXXXX"));
    file.open();
    file.write(script.toUtf8());
    file.close();
    QProcess process;
    process.setProcessEnvironment(m_env);
    process.setWorkingDirectory(home());
    process.start(QStringLiteral(TESSARY_GUI_DRIVER_BIN), {file.fileName()});
    return finish(process, QByteArray(), 240000);
}

CliUser::Result CliUser::finish(QProcess& process, const QByteArray& input, int timeoutMs) const
{
    process.waitForStarted();
    process.write(input);
    process.closeWriteChannel();
    Result result;
    if (!process.waitForFinished(timeoutMs))
        process.kill();
    else if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    process.waitForFinished(5000);
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void CliUser::start(QProcess& process, const QStringList& args) const
{
    process.setProcessEnvironment(m_env);
    process.setWorkingDirectory(home());
    process.start(program(), args);
}

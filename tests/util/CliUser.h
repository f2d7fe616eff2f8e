#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

// One user of the real tessary-cli program (and of the window), with a private short HOME (and
// XDG_CONFIG_HOME in it).
class CliUser
{
public:
    struct Result
    {
        int exitCode = -1; // -1 when it crashed or timed out
        QByteArray out;
        QByteArray err;
        QStringList lines() const; // standard output split into lines
    };

    CliUser();
    ~CliUser(); // stops the gpg-agent started for this user

    QString home() const { return m_home.path(); }
    QString dataDir() const { return m_home.path() + QStringLiteral("/.tessary2"); }
    void setServer(const QString& baseUrl, const QString& caFile);
    void setEnvironment(const QString& name, const QString& value) { m_env.insert(name, value); }
    QProcessEnvironment environment() const { return m_env; }
    Result run(const QStringList& args, const QByteArray& input = QByteArray()) const;
    void start(QProcess& process, const QStringList& args) const; // without waiting
    // Plays a script of user actions against the real window as this user (tessary-gui-driver).
    Result runWindow(const QString& script) const;

    static QString program() { return QStringLiteral(TESSARY_CLI_BIN); }

private:
    Result finish(QProcess& process, const QByteArray& input, int timeoutMs) const;

    QTemporaryDir m_home {QStringLiteral("/tmp/tcu-XXXXXX")}; // gpg-agent sockets fail with long paths
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One user of the real tessary-cli program: a private short HOME (with XDG_CONFIG_HOME inside it),
// so that several users can run side by side in one test, each with its own settings, database and
// GnuPG home directory.
class CliUser
{
public:
    struct Result
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
        QStringList lines() const; // standard output split into lines, without the last line end
        QString errText() const;
    };

    CliUser();
    ~CliUser(); // also stops the gpg-agent that gpg started for this user

    bool isValid() const;
    QString home() const;
    QString dataDir() const; // HOME/.tessary2
    // Points the program at a server; an empty url leaves the variables unset.
    void setServer(const QString& baseUrl, const QString& caFile);

    // Runs tessary-cli with args and standard input, waiting at most timeoutMs.
    Result run(const QStringList& args, const QByteArray& input = QByteArray(), int timeoutMs = 120000) const;
    // Starts tessary-cli without waiting, for tests that interrupt it.
    void start(QProcess& process, const QStringList& args) const;

    static QString program();

private:
    QTemporaryDir m_home;
    QProcessEnvironment m_env;
};

#include "util/PostgresCluster.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <memory>
#include <unistd.h>

namespace {
const QString binDir = QStringLiteral("/usr/lib/postgresql/15/bin/");
}

bool relayTestsUsePostgres()
{
    return qgetenv("TESSARY_TEST_DATABASE") == "postgresql";
}

PostgresCluster* PostgresCluster::shared(QString* error)
{
    // Destroyed with the other statics at exit, which stops the server.
    static std::unique_ptr<PostgresCluster> cluster;
    static QString failure;
    if (!cluster && failure.isEmpty()) {
        std::unique_ptr<PostgresCluster> fresh(new PostgresCluster);
        if (fresh->start(&failure))
            cluster = std::move(fresh);
    }
    if (!cluster && error)
        *error = failure;
    return cluster.get();
}

PostgresCluster::~PostgresCluster()
{
    if (m_running)
        runTool(QStringLiteral("pg_ctl"), {"-D", m_dir.filePath("db"), "-m", "immediate", "-w", "stop"},
                nullptr);
}

bool PostgresCluster::runTool(const QString& tool, const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path()); // the unprivileged user may not enter ours
    if (m_runAs.isEmpty())
        process.start(binDir + tool, arguments);
    else
        process.start(QStringLiteral("runuser"),
                      QStringList {"-u", m_runAs, "--", binDir + tool} + arguments);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!ok && error)
        *error = QStringLiteral("%1 failed: %2").arg(tool, QString::fromLocal8Bit(process.readAll()));
    return ok;
}

bool PostgresCluster::start(QString* error)
{
    if (!QFile::exists(binDir + QStringLiteral("initdb"))) {
        *error = QStringLiteral("PostgreSQL 15 is not installed (%1)").arg(binDir);
        return false;
    }
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    // The user that Debian's package makes.
    if (::geteuid() == 0) {
        m_runAs = QStringLiteral("postgres");
        if (QProcess::execute("chown", {m_runAs, m_dir.path()}) != 0) {
            *error = QStringLiteral("cannot hand %1 to %2").arg(m_dir.path(), m_runAs);
            return false;
        }
    }
    const QString data = m_dir.filePath("db");
    if (!runTool("initdb",
                 {"-D", data, "-U", user(), "--auth=trust", "-E", "UTF8", "--no-sync", "--no-instructions"},
                 error))
        return false;
    // Only a socket in the private folder, so that clusters of tests running side by side never meet
    // over a port; and no durability: the cluster dies with the tests.
    const QString options
        = QStringLiteral("-k %1 -c listen_addresses= -c fsync=off -c synchronous_commit=off "
                         "-c full_page_writes=off -c max_connections=200")
              .arg(m_dir.path());
    if (!runTool("pg_ctl",
                 {"-D", data, "-o", options, "-l", m_dir.filePath("server.log"), "-w", "-t", "60", "start"},
                 error))
        return false;
    m_running = true;
    return true;
}

QString PostgresCluster::database(const QString& name, QString* error)
{
    const QString connection = QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        admin.setHostName(m_dir.path());
        admin.setUserName(user());
        admin.setDatabaseName(QStringLiteral("postgres"));
        if (admin.open()) {
            QSqlQuery exists(admin);
            exists.prepare(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"));
            exists.addBindValue(name);
            ok = exists.exec()
                && (exists.next()
                    || QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name)));
        }
        if (!ok && error)
            *error = QStringLiteral("cannot create the database %1: %2").arg(name, admin.lastError().text());
    }
    QSqlDatabase::removeDatabase(connection);
    return ok ? QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(name, m_dir.path(), user())
              : QString();
}

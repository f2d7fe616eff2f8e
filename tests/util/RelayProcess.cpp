#include "util/RelayProcess.h"

#include "net/ServerConfig.h"
#include "util/PostgresCluster.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace {
const QByteArray readyMarker = "tessary-server: ready on ";
} // namespace

RelayProcess::RelayProcess(const QString& dataDir, const QStringList& extraArgs)
    : m_dataDir(dataDir.isEmpty() ? m_tmp.path() + QStringLiteral("/data") : dataDir)
    , m_extraArgs(extraArgs)
{
    // The access log goes to standard error, a line per request. Through a pipe it would stall the
    // server as soon as the pipe is full while a test blocks without an event loop, so it goes to a
    // file; standard output carries only a few lines.
    m_process.setStandardErrorFile(stderrPath(), QIODevice::Append);
}

QString RelayProcess::stderrPath() const
{
    return m_tmp.path() + QStringLiteral("/server-stderr.log");
}

RelayProcess::~RelayProcess()
{
    stop();
}

bool RelayProcess::start(QString* error)
{
    auto failed = [&](const QString& reason) {
        if (error)
            *error = reason + QStringLiteral("\n") + QString::fromLocal8Bit(output());
        return false;
    };
#ifndef TESSARY_SERVER_BIN
    return failed(QStringLiteral("tessary-server was not built with this test tree"));
#else
    if (m_process.state() != QProcess::NotRunning)
        return failed(QStringLiteral("the server is already running"));
    if (m_process.isOpen())
        m_output += m_process.readAllStandardOutput(); // keeps what an earlier run printed
    m_baseUrl.clear();
    m_scanned = m_output.size();

    QStringList args {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--data"),
                      m_dataDir, QStringLiteral("--dev-tls")};
    args += m_extraArgs;
    if (relayTestsUsePostgres() && !m_extraArgs.contains(QStringLiteral("--database"))) {
        QString reason;
        PostgresCluster* cluster = PostgresCluster::shared(&reason);
        const QByteArray path = QFileInfo(m_dataDir).absoluteFilePath().toUtf8();
        if (cluster && m_database.isEmpty())
            m_database = cluster->database(
                "relay_" + QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex().left(16), &reason);
        if (m_database.isEmpty())
            return failed(reason);
        args << QStringLiteral("--database") << m_database;
    }
    m_process.start(QStringLiteral(TESSARY_SERVER_BIN), args);
    if (!m_process.waitForStarted(10000))
        return failed(QStringLiteral("cannot start %1: %2")
                          .arg(QStringLiteral(TESSARY_SERVER_BIN), m_process.errorString()));

    const QDeadlineTimer deadline(30000);
    while (m_baseUrl.isEmpty()) {
        if (m_process.state() == QProcess::NotRunning)
            return failed(QStringLiteral("the server ended before it was ready (exit code %1)")
                              .arg(m_process.exitCode()));
        if (deadline.hasExpired())
            return failed(QStringLiteral("the server was not ready within 30 s"));
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 500)));
        scanOutput();
    }
    return true;
#endif
}

void RelayProcess::scanOutput()
{
    m_output += m_process.readAllStandardOutput();
    for (;;) {
        const int end = m_output.indexOf('\n', m_scanned);
        if (end < 0)
            return;
        const QByteArray line = m_output.mid(m_scanned, end - m_scanned).trimmed();
        m_scanned = end + 1;
        if (line.startsWith(readyMarker))
            m_baseUrl = QString::fromLatin1(line.mid(readyMarker.size()));
    }
}

void RelayProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    output();
}

void RelayProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    output();
}

QString RelayProcess::baseUrl() const
{
    return m_baseUrl;
}

QString RelayProcess::caFile() const
{
    return m_dataDir + QStringLiteral("/tls/ca.pem");
}

QString RelayProcess::dataDir() const
{
    return m_dataDir;
}

QByteArray RelayProcess::output() const
{
    if (m_process.isOpen())
        m_output += m_process.readAllStandardOutput();
    QFile errors(stderrPath());
    return errors.open(QIODevice::ReadOnly) ? m_output + errors.readAll() : m_output;
}

void RelayProcess::makeCurrent() const
{
    qputenv("TESSARY_SERVER_URL", m_baseUrl.toUtf8());
    qputenv("TESSARY_CA_FILE", QFile::encodeName(caFile()));
    loadServerConfig();
}

QSqlDatabase RelayProcess::openDatabase(const QString& connectionName) const
{
    QString url = m_database;
    const int at = m_extraArgs.indexOf(QStringLiteral("--database"));
    if (at >= 0 && at + 1 < m_extraArgs.size())
        url = m_extraArgs.at(at + 1);
    if (url.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(m_dataDir + QStringLiteral("/relay.db"));
        db.open();
        return db;
    }
    const QUrl address(url);
    const QUrlQuery query(address);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(query.queryItemValue(QStringLiteral("host")));
    db.setUserName(query.queryItemValue(QStringLiteral("user")));
    db.setDatabaseName(address.path().mid(1));
    db.open();
    return db;
}

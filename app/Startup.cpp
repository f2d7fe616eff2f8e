#include "app/Startup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QLockFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdlib>

namespace Startup {

QString dataDirPath()
{
    return QDir::home().absoluteFilePath(QStringLiteral(".tessary2"));
}

void prepareDataDir()
{
    QDir::home().mkpath(QStringLiteral(".tessary2"));
    QFile::setPermissions(dataDirPath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

bool acquireLock(QLockFile& lock)
{
    return lock.tryLock(100);
}

void setApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tessary"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessary"));
}

QString locale(const QSettings& settings)
{
    const QString stored = settings.value(QStringLiteral("locale"), QString()).toString();
    return stored.isEmpty() ? QLocale::system().name() : stored;
}

QString ensureLocale(QSettings& settings)
{
    const QString name = locale(settings);
    if (settings.value(QStringLiteral("locale"), QString()).toString().isEmpty())
        settings.setValue(QStringLiteral("locale"), name);
    return name;
}

bool ensureAutorunFlag(QSettings& settings)
{
    if (settings.value(QStringLiteral("autorun")).isNull()) {
        settings.setValue(QStringLiteral("autorun"), true);
        settings.sync();
    }
    return settings.value(QStringLiteral("autorun")).toBool();
}

bool openDatabase(QString* error)
{
    QSqlDatabase db = QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection))
        ? QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(QDir::home().absoluteFilePath(QStringLiteral(".tessary2/data.db3")));
    if (db.open())
        return true;
    if (error)
        *error = db.lastError().text();
    return false;
}

void createTables()
{
    QSqlQuery query;
    query.exec(
        QStringLiteral("CREATE TABLE IF NOT EXISTS key_data (remote_key_id TEXT PRIMARY KEY, key_alias TEXT, "
                       "fpr TEXT UNIQUE, public BLOB, private BLOB)"));
    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS file_events (datetime TEXT, remote_key_id TEXT, "
                              "file_id INTEGER, status INTEGER, size INTEGER)"));
}

void seedRandom()
{
    std::srand(static_cast<unsigned>(QDateTime::currentSecsSinceEpoch()));
}

QUuid ensureUid(QSettings& settings)
{
    QUuid uid = settings.value(QStringLiteral("uid")).toUuid();
    if (uid.isNull()) {
        uid = QUuid::createUuid();
        settings.setValue(QStringLiteral("uid"), uid);
        settings.sync();
    }
    return uid;
}

} // namespace Startup

#include "app/Startup.h"

#include "app/LeftoverNote.h"
#include "models/UnfinishedUploadsModel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QLockFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdlib>

namespace Startup {

QString dataDirPath()
{
    return QDir::home().absoluteFilePath(QStringLiteral(".tessary2"));
}

QString temporaryDirPath()
{
    return dataDirPath() + QStringLiteral("/tmp");
}

void prepareDataDir()
{
    const QFileDevice::Permissions ownerOnly
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QDir::home().mkpath(QStringLiteral(".tessary2/tmp"));
    QFile::setPermissions(dataDirPath(), ownerOnly);
    QFile::setPermissions(temporaryDirPath(), ownerOnly);
}

void removeLeftovers()
{
    LeftoverNote::removeAbandoned();
    QDir tmp(temporaryDirPath());
    const QStringList names
        = tmp.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = tmp.filePath(name);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
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

namespace {

bool hasColumn(const QString& table, const QString& column)
{
    QSqlQuery query(QStringLiteral("PRAGMA table_info(%1)").arg(table));
    while (query.next())
        if (query.value(1).toString() == column)
            return true;
    return false;
}

// Whether the user compared the safety number of a contact's pinned key. Keys stored before keys
// were pinned stay pinned as they are, not verified.
void addVerifiedColumn()
{
    if (!hasColumn(QStringLiteral("key_data"), QStringLiteral("verified")))
        QSqlQuery(QStringLiteral("ALTER TABLE key_data ADD COLUMN verified INTEGER NOT NULL DEFAULT 0"));
}

// The fingerprint of the key that signed a received container; empty for an unsigned one, NULL for
// sent containers and those received before signatures were checked.
void addSignerColumn()
{
    if (!hasColumn(QStringLiteral("file_events"), QStringLiteral("signer")))
        QSqlQuery(QStringLiteral("ALTER TABLE file_events ADD COLUMN signer TEXT"));
}

// The files each transfer carried, by the rowid of its row in file_events. Databases from before
// it simply get the table.
void createEventFilesTable()
{
    QSqlQuery query;
    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS event_files (event INTEGER NOT NULL, "
                              "name TEXT NOT NULL, size INTEGER NOT NULL)"));
    query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS event_files_event ON event_files (event)"));
}

} // namespace

void createTables()
{
    QSqlQuery query;
    query.exec(
        QStringLiteral("CREATE TABLE IF NOT EXISTS key_data (remote_key_id TEXT PRIMARY KEY, key_alias TEXT, "
                       "fpr TEXT UNIQUE, public BLOB, private BLOB)"));
    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS file_events (datetime TEXT, remote_key_id TEXT, "
                              "file_id INTEGER, status INTEGER, size INTEGER)"));
    addVerifiedColumn();
    addSignerColumn();
    UnfinishedUploadsModel::createTable();
    createEventFilesTable();
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

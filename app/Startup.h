#pragma once

#include <QString>
#include <QUuid>

class QLockFile;
class QSettings;

// The start-up steps shared by every front end (the window, the command-line tool) and the tests.
namespace Startup {

// HOME/.tessary2: the database, the lock file and the GnuPG home directory.
QString dataDirPath();
// Creates the data directory with owner-only permissions; failures surface later on their own.
void prepareDataDir();
// Takes the per-user single-instance lock, waiting at most 100 ms.
bool acquireLock(QLockFile& lock);
// Organisation and application name "Tessary": every default QSettings then shares one store.
void setApplicationNames();
// The stored "locale", else the system locale's name (stored by ensureLocale, not by locale).
QString locale(const QSettings& settings);
QString ensureLocale(QSettings& settings);
// The stored "autorun" flag; true is stored (and flushed) when the key is missing.
bool ensureAutorunFlag(QSettings& settings);
// Opens the default QSQLITE connection on data.db3; false with the driver's error text otherwise.
bool openDatabase(QString* error = nullptr);
// Creates key_data and file_events when missing; results are ignored.
void createTables();
// Seeds the process pseudo-random generator with the current time in whole seconds.
void seedRandom();
// The installation id; a fresh random UUID is stored (and flushed) when the stored one is unreadable.
QUuid ensureUid(QSettings& settings);
// Registers the native types in the QML module org.tesry 1.0.
void registerQmlTypes();

} // namespace Startup

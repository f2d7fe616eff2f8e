#pragma once

#include <QString>
#include <QUuid>

class QLockFile;
class QSettings;

// The start-up steps shared by every front end (the window, the command-line tool) and the tests.
namespace Startup {

// HOME/.tessary2: the database, the lock file and the GnuPG home directory.
QString dataDirPath();
// HOME/.tessary2/tmp: every temporary file of the client (containers on their way, notes of
// staging folders), owner-only like the data directory around it.
QString temporaryDirPath();
// Creates the data directory and its temporary folder with owner-only permissions; failures
// surface later on their own.
void prepareDataDir();
// Removes what a run that was killed left in the temporary folder and in extraction folders.
// Only while holding the lock: the files of a running instance would go too.
void removeLeftovers();
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
// Creates key_data and file_events when missing and adds the columns that later versions need;
// results are ignored.
void createTables();
// Seeds the process pseudo-random generator with the current time in whole seconds.
void seedRandom();
// The installation id; a fresh random UUID is stored (and flushed) when the stored one is unreadable.
QUuid ensureUid(QSettings& settings);
} // namespace Startup

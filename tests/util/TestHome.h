#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private user for the tests of one process: a short temporary HOME (with a blank in its name, to
// catch quoting faults), XDG_CONFIG_HOME inside it, the data directory ".tessary2" with owner-only
// permissions, organisation/application "Tessary" and a fresh "uid". Several may exist at once; the
// last one made, or the one made current, is the user of the process. HOME is restored at the end.
class TestHome
{
public:
    explicit TestHome(bool withBlank = true);
    ~TestHome();

    QString path() const; // the HOME directory
    QString dataDir() const; // HOME/.tessary2
    // Makes this the user of the process: HOME, the settings store, the default database connection.
    void makeCurrent();
    // Opens the default QSQLITE connection on HOME/.tessary2/data.db3 and creates both tables.
    bool openDatabase();
    void closeDatabase();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
};

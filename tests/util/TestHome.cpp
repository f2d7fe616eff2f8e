#include "util/TestHome.h"

#include "app/Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QUuid>

namespace {
// gpg-agent's socket may live inside the home directory; long paths make every gpg call fail.
QString homeTemplate(bool withBlank)
{
    return withBlank ? QStringLiteral("/tmp/ts h-XXXXXX") : QStringLiteral("/tmp/tsh-XXXXXX");
}
} // namespace

TestHome::TestHome(bool withBlank)
    : m_dir(homeTemplate(withBlank))
    , m_oldHome(qgetenv("HOME"))
    , m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    makeCurrent();
    QDir(m_dir.path()).mkpath(QStringLiteral("Documents"));
    Startup::setApplicationNames();
    Startup::prepareDataDir();
    QSettings settings;
    settings.setValue(QStringLiteral("uid"), QUuid::createUuid());
    settings.sync();
}

TestHome::~TestHome()
{
    closeDatabase();
    // A gpg-agent started for this home would race the removal of the folder and leave it behind.
    QProcess::execute(
        QStringLiteral("gpgconf"),
        {QStringLiteral("--homedir"), dataDir(), QStringLiteral("--kill"), QStringLiteral("gpg-agent")});
    qputenv("HOME", m_oldHome);
    if (m_oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

void TestHome::makeCurrent()
{
    closeDatabase();
    const QString config = m_dir.path() + QStringLiteral("/.config");
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    // The settings store keeps the folder it found first; it is told about the switch.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
}

QString TestHome::path() const
{
    return m_dir.path();
}

QString TestHome::dataDir() const
{
    return m_dir.path() + QStringLiteral("/.tessary2");
}

bool TestHome::openDatabase()
{
    if (!Startup::openDatabase())
        return false;
    Startup::createTables();
    return true;
}

void TestHome::closeDatabase()
{
    const QString name = QLatin1String(QSqlDatabase::defaultConnection);
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

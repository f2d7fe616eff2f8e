#include "util/TestHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

// Runs the real start-up in child processes, each with the test's HOME, and checks what it stored.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    QString settingsFile() const { return m_home->path() + QStringLiteral("/.config/Tessary/Tessary.conf"); }
    QString autostartFile() const
    {
        return m_home->path() + QStringLiteral("/.config/autostart/tessary.desktop");
    }
    QVariant stored(const QString& key) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        return settings.value(key);
    }
    void store(const QString& key, const QVariant& value) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(key, value);
    }
    // Starts the probe (the window's start-up, quitting once the event loop runs); returns its exit code.
    int runProbe(QByteArray* errors = nullptr)
    {
        QProcess probe;
        probe.start(QStringLiteral(TESSARY_PROBE_BIN), QStringList());
        if (!probe.waitForFinished(60000)) {
            probe.kill();
            return -1000;
        }
        if (errors)
            *errors = probe.readAllStandardError();
        return probe.exitStatus() == QProcess::NormalExit ? static_cast<qint8>(probe.exitCode()) : -2000;
    }

    std::unique_ptr<TestHome> m_home;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("The window needs a display; run the tests under xvfb-run -a");
        qunsetenv("TESSARY_CA_FILE");
        qputenv("TESSARY_SERVER_URL", "https://127.0.0.1:9");
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        // TestHome stores a uid of its own; the start-up must be seen on a truly empty store.
        QFile::remove(settingsFile());
    }

    void cleanup() { m_home.reset(); }

    void firstStartFillsTheStoreAndSecondKeepsIt()
    {
        QCOMPARE(runProbe(), 0);
        const QString locale = stored(QStringLiteral("locale")).toString();
        QVERIFY(!locale.isEmpty());
        QCOMPARE(stored(QStringLiteral("autorun")).toString(), QStringLiteral("true"));
        const QUuid uid = stored(QStringLiteral("uid")).toUuid();
        QVERIFY(!uid.isNull());
        QVERIFY(QFile::exists(autostartFile()));
        QCOMPARE(QFile::permissions(m_home->dataDir()) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(QFile::exists(m_home->dataDir() + QStringLiteral("/data.db3")));
        QVERIFY(!QFile::exists(m_home->dataDir() + QStringLiteral("/run.lock")));

        store(QStringLiteral("locale"), QStringLiteral("de_DE"));
        QCOMPARE(runProbe(), 0);
        QCOMPARE(stored(QStringLiteral("locale")).toString(), QStringLiteral("de_DE"));
        QCOMPARE(stored(QStringLiteral("autorun")).toString(), QStringLiteral("true"));
        QCOMPARE(stored(QStringLiteral("uid")).toUuid(), uid);
    }

    void storedAutorunFalseSurvivesAndRemovesTheEntry()
    {
        QDir().mkpath(QFileInfo(autostartFile()).absolutePath());
        QFile entry(autostartFile());
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        store(QStringLiteral("autorun"), false);
        QCOMPARE(runProbe(), 0);
        QCOMPARE(stored(QStringLiteral("autorun")).toString(), QStringLiteral("false"));
        QVERIFY(!QFile::exists(autostartFile()));
    }

    void unreadableUidIsReplaced_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addRow("garbage") << QStringLiteral("not-a-uuid");
        QTest::addRow("empty") << QString();
        QTest::addRow("null uuid") << QStringLiteral("{00000000-0000-0000-0000-000000000000}");
    }
    void unreadableUidIsReplaced()
    {
        QFETCH(QString, stored);
        store(QStringLiteral("uid"), stored);
        QCOMPARE(runProbe(), 0);
        const QUuid uid = this->stored(QStringLiteral("uid")).toUuid();
        QVERIFY(!uid.isNull());
    }

    void unopenableDatabaseEndsWithMinusOne()
    {
        // A directory where the database file should be cannot be opened as a database.
        QVERIFY(QDir().mkpath(m_home->dataDir() + QStringLiteral("/data.db3")));
        // In English, as for every language without a translation of its own.
        store(QStringLiteral("locale"), QStringLiteral("fr_FR"));
        QByteArray errors;
        QCOMPARE(runProbe(&errors), -1);
        QVERIFY2(errors.contains("Cannot open the database"), errors.constData());
    }

    void unreadableCaFileEndsWithMinusOne()
    {
        qputenv("TESSARY_CA_FILE", QFile::encodeName(m_home->path() + QStringLiteral("/missing.pem")));
        QByteArray errors;
        const int code = runProbe(&errors);
        qunsetenv("TESSARY_CA_FILE");
        QCOMPARE(code, -1);
        QVERIFY2(errors.contains("missing.pem"), errors.constData());
    }

    void secondInstanceExitsSilently()
    {
        QProcess first;
        first.start(QStringLiteral(TESSARY_GUI_BIN), QStringList());
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_home->dataDir() + QStringLiteral("/run.lock")), 20000);

        QProcess second;
        QElapsedTimer clock;
        clock.start();
        second.start(QStringLiteral(TESSARY_GUI_BIN), QStringList());
        QVERIFY(second.waitForFinished(10000));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAll().isEmpty());
        // The lock wait is 100 ms; the rest is process start-up. The application object (and so any
        // window) is never created, which is why this stays far below a full start.
        QVERIFY2(elapsed < 2000, QByteArray::number(elapsed).constData());
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        if (!first.waitForFinished(10000))
            first.kill();
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"

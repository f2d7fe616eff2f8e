// tessary-cli as a process of its own: exit codes, the single-instance lock, Ctrl-C, a run that is
// killed (it leaves nothing readable outside the private data folder that the next start does not
// remove), and its memory while a relay floods it.
#include "util/CliUser.h"
#include "util/ScriptedServer.h"
#include "util/TestFiles.h"

#include <QDirIterator>
#include <QLockFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

#include <httplib.h>

namespace {

// Every file and folder below dir, hidden ones too.
QStringList tree(const QString& dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next().mid(dir.size() + 1);
    entries.sort();
    return entries;
}

} // namespace

class TestCliProcess : public QObject
{
    Q_OBJECT

    CliUser m_user;
    QTemporaryDir m_tmp; // the user's TMPDIR: nothing may ever appear in it
    QString m_big;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(CliUser::program()).isExecutable(), "tessary-cli is not built");
        m_user.setServer(QStringLiteral("https://127.0.0.1:1"), QString());
        m_user.setEnvironment(QStringLiteral("TMPDIR"), m_tmp.path());
        // Large and random, so that the work goes on well after it has visibly begun.
        m_big = m_user.home() + QStringLiteral("/big.bin");
        QVERIFY(TestFiles::write(m_big, TestFiles::randomBytes(160 * 1024 * 1024)));
    }

    void exitCodesAndLock()
    {
        QCOMPARE(m_user.run({}).exitCode, 2);
        QVERIFY(QDir().mkpath(m_user.dataDir()));
        const QString lockPath = m_user.dataDir() + QStringLiteral("/run.lock");
        {
            QLockFile lock(lockPath);
            QVERIFY(lock.tryLock(0));
            const CliUser::Result blocked = m_user.run({"contacts"});
            QCOMPARE(blocked.exitCode, 3);
            QVERIFY2(blocked.err.contains("Another instance"), blocked.err);
        }
        QCOMPARE(m_user.run({"contacts"}).exitCode, 0);
        QLockFile after(lockPath); // released by the finished run
        QVERIFY(after.tryLock(0));
    }

    void interruptCancelsSave()
    {
        const QString container = m_user.home() + QStringLiteral("/big.tsyc");
        QProcess process;
        m_user.start(process, {"save", container, "--password", m_big});
        QVERIFY(process.waitForStarted());
        process.write("secret\n");
        process.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(!tree(m_user.home()).filter(".tessary-save-").isEmpty(), 30000);
        // A pid of 0 would signal this whole process group.
        QVERIFY(process.processId() > 0);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("Canceled"));
        QCOMPARE(tree(m_user.home()).filter("tsyc"), QStringList());
        QCOMPARE(tree(m_tmp.path()), QStringList());
    }

    // Killed while extracting: the plaintext so far is only in the hidden staging folder, which the
    // next start removes along with the private temporary files.
    void killedRunIsCleanedUp()
    {
        const QString container = m_user.home() + QStringLiteral("/to open.tsyc");
        QCOMPARE(m_user.run({"save", container, "--password", m_big}, "pw\n").exitCode, 0);
        const QString out = m_user.home() + QStringLiteral("/out");
        QProcess process;
        m_user.start(process, {"open", container, "--to", out});
        QVERIFY(process.waitForStarted());
        process.write("pw\n");
        process.closeWriteChannel();
        // Entries are staged under numbers, not their names.
        const QRegularExpression staged(QStringLiteral("^\\.tessary-staging-[^/]+/[0-9]+$"));
        QTRY_VERIFY_WITH_TIMEOUT(!tree(out).filter(staged).isEmpty(), 60000);
        QVERIFY(process.processId() > 0);
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(tree(out).value(0).startsWith(".tessary-staging-"));
        QCOMPARE(tree(m_user.dataDir() + QStringLiteral("/tmp")).filter("note-").size(), 1);
        QCOMPARE(tree(m_tmp.path()), QStringList());

        QCOMPARE(m_user.run({"contacts"}).exitCode, 0);
        QCOMPARE(tree(out), QStringList());
        QCOMPARE(tree(m_user.dataDir() + QStringLiteral("/tmp")), QStringList());
        QCOMPARE(tree(m_tmp.path()), QStringList());
    }

    // The client's peak memory (GNU time's, of its own process) stays within its budget while the
    // relay offers far more than the client may take, and it ends with its message.
    void floodingRelay_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<qint64>("offered"); // negative: without end
        QTest::addColumn<QString>("message");
        const QString tooLarge = QStringLiteral("The server's reply is too large");
        const QString tooLong = QStringLiteral("The server sent more than the announced 1000000 bytes");
        QTest::addRow("100 MB JSON reply") << "inbox" << qint64(100 << 20) << tooLarge;
        QTest::addRow("endless JSON reply") << "inbox" << qint64(-1) << tooLarge;
        QTest::addRow("download longer than announced") << "accept" << qint64(100 << 20) << tooLong;
        QTest::addRow("endless download") << "accept" << qint64(-1) << tooLong;
    }

    void floodingRelay()
    {
        QFETCH(QString, command);
        QFETCH(qint64, offered);
        QFETCH(QString, message);
        ScriptedServer relay;
        QVERIFY(relay.isRunning());
        std::atomic<qint64> served {0};
        const std::string waiting = R"([{"fileId":42,"fileSize":1000000,"uploaderKeyId":"7"}])";
        relay.handle("POST", "/api/check-new-files", [&](const httplib::Request&, httplib::Response& res) {
            if (command == "inbox")
                return ScriptedServer::stream(res, offered, offered > 0, 0, &served);
            res.set_content(waiting, "application/json");
        });
        relay.handle("GET", "/id42", [&](const httplib::Request&, httplib::Response& res) {
            ScriptedServer::stream(res, offered, offered > 0, 0, &served);
        });
        if (command == "accept") {
            // The sender's key is pinned already, so the download is the first thing asked for.
            QCOMPARE(m_user.run({"contacts"}).exitCode, 0);
            {
                QSqlDatabase db
                    = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("user"));
                db.setDatabaseName(m_user.dataDir() + QStringLiteral("/data.db3"));
                QVERIFY(db.open());
                const QString pin
                    = QStringLiteral("INSERT OR IGNORE INTO key_data (remote_key_id, fpr, public) "
                                     "VALUES ('7', '%1', x'00')");
                QVERIFY(QSqlQuery(db).exec(pin.arg(QString(40, 'A'))));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("user"));
        }
        m_user.setServer(relay.baseUrl(), relay.caFile());
        QProcess process;
        process.setProcessEnvironment(m_user.environment());
        const QString peak = m_tmp.filePath(QStringLiteral("peak"));
        process.start(
            QStringLiteral("/usr/bin/time"),
            QStringList {"-f", "%M", "-o", peak, CliUser::program(), command}
                + (command == "accept" ? QStringList {"42", "--to", m_user.home()} : QStringList()));
        QVERIFY(process.waitForFinished(60000));
        m_user.setServer(QStringLiteral("https://127.0.0.1:1"), QString());
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), message + '\n');
#ifndef __SANITIZE_ADDRESS__ // a sanitized build keeps freed memory in quarantine; what was served tells then
        QFile kilobytes(peak);
        QVERIFY(kilobytes.open(QIODevice::ReadOnly));
        // After a line about the exit status, the figure.
        const qint64 peakMiB = kilobytes.readAll().trimmed().split('\n').last().toLongLong() / 1024;
        QVERIFY2(peakMiB > 0 && peakMiB < 64, qPrintable(QString::number(peakMiB)));
#endif
        QVERIFY2(served < 64 << 20, qPrintable(QString::number(served)));
        QFile::remove(peak);
    }
};

QTEST_GUILESS_MAIN(TestCliProcess)
#include "TestCliProcess.moc"

// tessary-cli as a process of its own: exit codes, the single-instance lock, Ctrl-C, and a run
// that is killed: it leaves nothing readable outside the private data folder that the next start
// does not remove.
#include "util/CliUser.h"
#include "util/TestFiles.h"

#include <QDirIterator>
#include <QLockFile>
#include <QtTest>

#include <csignal>

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
        QTRY_VERIFY_WITH_TIMEOUT(!tree(out).filter("big.bin").isEmpty(), 60000);
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
};

QTEST_GUILESS_MAIN(TestCliProcess)
#include "TestCliProcess.moc"

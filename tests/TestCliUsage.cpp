// The command-line front end without a relay server: usage and exit codes, the single-instance lock,
// checks that fail before any transfer, and Ctrl-C during long work.
#include "util/CliUser.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

namespace {

// An address on which nothing listens: a port that was free a moment ago.
QString deadServerUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("https://127.0.0.1:%1").arg(port);
}

} // namespace

class TestCliUsage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usage_data();
    void usage();
    void lockHeldByAnotherInstance();
    void failsBeforeAnyTransfer_data();
    void failsBeforeAnyTransfer();
    void interruptCancelsSave();

private:
    CliUser m_user;
};

void TestCliUsage::initTestCase()
{
    QVERIFY2(QFileInfo(CliUser::program()).isExecutable(), "tessary-cli is not built");
    QVERIFY(m_user.isValid());
    m_user.setServer(deadServerUrl(), QString());
}

void TestCliUsage::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expectedOut");
    QTest::addColumn<QString>("expectedErr");

    QTest::addRow("no command") << QStringList() << 2 << QString() << "Usage: tessary-cli COMMAND";
    QTest::addRow("global help") << QStringList {"--help"} << 0 << "\n  accept [options] FILEID" << QString();
    QTest::addRow("unknown command") << QStringList {"frobnicate"} << 2 << QString() << "Unknown command";
    QTest::addRow("command help") << QStringList {"send", "--help"} << 0
                                  << "Usage: tessary-cli send KEYID PATH..." << QString();
    QTest::addRow("short help with option list")
        << QStringList {"accept", "-h"} << 0 << "--to DIR" << QString();
    QTest::addRow("help after arguments")
        << QStringList {"save", "x.tsyc", "--help"} << 0 << "--password" << QString();
    QTest::addRow("missing paths") << QStringList {"send", "123"} << 2 << QString()
                                   << "Usage: tessary-cli send";
    QTest::addRow("too many arguments")
        << QStringList {"id", "extra"} << 2 << QString() << "Too many arguments";
    QTest::addRow("missing title") << QStringList {"rename", "123"} << 2 << QString() << "Missing arguments";
    QTest::addRow("unknown option") << QStringList {"inbox", "--bogus"} << 2 << QString() << "bogus";
    QTest::addRow("option without value") << QStringList {"accept", "5", "--to"} << 2 << QString() << "to";
    QTest::addRow("save without method")
        << QStringList {"save", "x.tsyc", "file"} << 2 << QString() << "--password";
    QTest::addRow("save with both methods")
        << QStringList {"save", "x.tsyc", "--to", "1", "--password", "file"} << 2 << QString()
        << "--to KEYID";
    QTest::addRow("password is never an argument")
        << QStringList {"save", "x.tsyc", "--password=secret", "file"} << 2 << QString() << "password";
}

void TestCliUsage::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, expectedOut);
    QFETCH(QString, expectedErr);

    const CliUser::Result result = m_user.run(args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(result.out).contains(expectedOut), result.out);
    QVERIFY2(result.errText().contains(expectedErr), result.err);
    if (exitCode == 0)
        QCOMPARE(result.err, QByteArray());
    else
        QCOMPARE(result.out, QByteArray());
}

void TestCliUsage::lockHeldByAnotherInstance()
{
    QVERIFY(QDir().mkpath(m_user.dataDir()));
    {
        QLockFile lock(m_user.dataDir() + QStringLiteral("/run.lock"));
        QVERIFY(lock.tryLock(0));

        const CliUser::Result blocked = m_user.run({QStringLiteral("contacts")});
        QCOMPARE(blocked.exitCode, 3);
        QVERIFY2(blocked.errText().contains(QStringLiteral("Another instance")), blocked.err);
        QCOMPARE(blocked.out, QByteArray());

        // Help needs no lock.
        QCOMPARE(m_user.run({QStringLiteral("history"), QStringLiteral("--help")}).exitCode, 0);
    }
    const CliUser::Result free = m_user.run({QStringLiteral("contacts")});
    QVERIFY2(free.exitCode == 0, free.err);
    QCOMPARE(free.out, QByteArray());
    // The lock of the finished run is released again.
    QLockFile after(m_user.dataDir() + QStringLiteral("/run.lock"));
    QVERIFY(after.tryLock(0));
}

void TestCliUsage::failsBeforeAnyTransfer_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expectedErr");

    const QString home = m_user.home();
    QDir(home).mkpath(QStringLiteral("empty folder/empty sub folder"));
    QFile file(home + QStringLiteral("/a file"));
    file.open(QIODevice::WriteOnly);
    file.close();

    QTest::addRow("remove unknown contact")
        << QStringList {"remove", "42"} << "No contact with the key id 42";
    QTest::addRow("rename unknown contact")
        << QStringList {"rename", "4-2", "Bob"} << "No contact with the key id";
    QTest::addRow("send missing file")
        << QStringList {"send", "42", home + "/missing"} << "No such file or folder";
    QTest::addRow("send empty folder")
        << QStringList {"send", "42", home + "/empty folder"} << "Nothing to send";
    QTest::addRow("save empty password")
        << QStringList {"save", home + "/x.tsyc", "--password", home + "/a file"} << "No password";
    QTest::addRow("open missing container")
        << QStringList {"open", home + "/missing.tsyc", "--to", home + "/out"} << "Cannot open";
    QTest::addRow("extract onto a file")
        << QStringList {"open", home + "/missing.tsyc", "--to", home + "/a file"} << "is not writable";
    QTest::addRow("server down while adding") << QStringList {"add", "42"} << "Cannot get server response";
    QTest::addRow("server down while sending")
        << QStringList {"send", "42", home + "/a file"} << "Cannot get server response";
    QTest::addRow("server down while accepting")
        << QStringList {"accept", "42"} << "Cannot get server response";
    QTest::addRow("server down while listing the inbox") << QStringList {"inbox"} << "Cannot get server response";
}

void TestCliUsage::failsBeforeAnyTransfer()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expectedErr);

    const CliUser::Result result = m_user.run(args);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errText().contains(expectedErr), result.err);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(!QFile::exists(m_user.home() + QStringLiteral("/x.tsyc")));
    QCOMPARE(m_user.run({QStringLiteral("contacts")}).out, QByteArray());
    QCOMPARE(m_user.run({QStringLiteral("history")}).out, QByteArray());
}

void TestCliUsage::interruptCancelsSave()
{
    // Large enough that packing and encrypting take a while after the container file appears.
    const QString source = m_user.home() + QStringLiteral("/big.bin");
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVector<quint32> block(256 * 1024);
        for (int i = 0; i < 64; ++i) {
            QRandomGenerator::global()->fillRange(block.data(), block.size());
            QVERIFY(file.write(reinterpret_cast<const char*>(block.constData()), block.size() * 4) > 0);
        }
    }
    const QString container = m_user.home() + QStringLiteral("/big.tsyc");
    QProcess process;
    m_user.start(process, {QStringLiteral("save"), container, QStringLiteral("--password"), source});
    QVERIFY(process.waitForStarted());
    process.write("secret\n");
    process.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(container), 30000);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("Canceled")) || err.contains(QStringLiteral("Cannot encrypt data")),
             qPrintable(err));
    QVERIFY(!QFile::exists(container));
    QVERIFY(!QFile::exists(container + QStringLiteral(".encrypted")));
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "TestCliUsage.moc"

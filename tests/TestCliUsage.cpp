// tessary-cli without a reachable server: usage and exit codes, the instance lock, failures before
// any transfer, and Ctrl-C during long work.
#include "util/CliUser.h"

#include <QLockFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

class TestCliUsage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usage_data();
    void usage();
    void helpOnEveryCommand();
    void lockHeldByAnotherInstance();
    void fails_data();
    void fails();
    void interruptCancelsSave();
    void followsLocaleSetting_data();
    void followsLocaleSetting();

private:
    CliUser m_user;
};

void TestCliUsage::initTestCase()
{
    QVERIFY2(QFileInfo(CliUser::program()).isExecutable(), "tessary-cli is not built");
    QTcpServer probe; // a port that was free a moment ago: nothing listens there
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    m_user.setServer(QStringLiteral("https://127.0.0.1:%1").arg(probe.serverPort()), QString());
}

void TestCliUsage::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expectedErr");
    QTest::addRow("no command") << QStringList() << "Usage: tessary-cli COMMAND";
    QTest::addRow("unknown command") << QStringList {"frobnicate"} << "Unknown command";
    QTest::addRow("missing paths") << QStringList {"send", "123"} << "Usage: tessary-cli send";
    QTest::addRow("too many arguments") << QStringList {"id", "extra"} << "Too many arguments";
    QTest::addRow("unknown option") << QStringList {"inbox", "--bogus"} << "bogus";
    QTest::addRow("save without method") << QStringList {"save", "x.tsyc", "file"} << "--password";
    QTest::addRow("password argument")
        << QStringList {"save", "x.tsyc", "--password=secret", "file"} << "password";
}

void TestCliUsage::usage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expectedErr);
    const CliUser::Result result = m_user.run(args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(QString::fromUtf8(result.err).contains(expectedErr), result.err);
    QCOMPARE(result.out, QByteArray());
}

void TestCliUsage::helpOnEveryCommand()
{
    const CliUser::Result global = m_user.run({"--help"});
    QCOMPARE(global.exitCode, 0);
    QVERIFY2(global.out.contains("Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another"),
             global.out);
    for (const char* command : {"id", "contacts", "add", "rename", "remove", "send", "inbox", "accept",
                                "reject", "history", "save", "open"}) {
        QVERIFY2(global.out.contains(QByteArray("\n  ") + command + ' '), command);
        const CliUser::Result help = m_user.run({command, "--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith(QByteArray("Usage: tessary-cli ") + command), help.out);
        QCOMPARE(help.err, QByteArray());
    }
}

void TestCliUsage::lockHeldByAnotherInstance()
{
    QVERIFY(QDir().mkpath(m_user.dataDir()));
    const QString lockPath = m_user.dataDir() + QStringLiteral("/run.lock");
    {
        QLockFile lock(lockPath);
        QVERIFY(lock.tryLock(0));
        const CliUser::Result blocked = m_user.run({"contacts"});
        QCOMPARE(blocked.exitCode, 3);
        QVERIFY2(blocked.err.contains("Another instance"), blocked.err);
        QCOMPARE(blocked.out, QByteArray());
    }
    QCOMPARE(m_user.run({"contacts"}).exitCode, 0);
    QLockFile after(lockPath); // released by the finished run
    QVERIFY(after.tryLock(0));
}

void TestCliUsage::fails_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expectedErr");
    const QString home = m_user.home();
    QFile(home + QStringLiteral("/a file")).open(QIODevice::WriteOnly);

    QTest::addRow("remove unknown contact")
        << QStringList {"remove", "42"} << "No contact with the key id 42";
    QTest::addRow("send missing file")
        << QStringList {"send", "42", home + "/missing"} << "No such file or folder";
    QTest::addRow("empty password") << QStringList {"save", home + "/x.tsyc", "--password", home + "/a file"}
                                    << "No password";
    // The operations end without an answer from the server.
    QTest::addRow("add, server down") << QStringList {"add", "42"} << "Cannot get server response";
    QTest::addRow("send, server down")
        << QStringList {"send", "42", home + "/a file"} << "Cannot get server response";
    QTest::addRow("accept, server down") << QStringList {"accept", "42"} << "Cannot get server response";
    QTest::addRow("inbox, server down") << QStringList {"inbox"} << "Cannot get server response";
}

void TestCliUsage::fails()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expectedErr);
    const CliUser::Result result = m_user.run(args);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(QString::fromUtf8(result.err).contains(expectedErr), result.err);
    QCOMPARE(result.out, QByteArray());
    QVERIFY(!QFile::exists(m_user.home() + QStringLiteral("/x.tsyc")));
    QCOMPARE(m_user.run({"contacts"}).out + m_user.run({"history"}).out, QByteArray());
}

void TestCliUsage::interruptCancelsSave()
{
    // Large and random, so that packing and encrypting go on well after the container file appears.
    const QString source = m_user.home() + QStringLiteral("/big.bin");
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVector<quint32> block(256 * 1024);
    for (int i = 0; i < 64; ++i) {
        QRandomGenerator::global()->fillRange(block.data(), block.size());
        QVERIFY(file.write(reinterpret_cast<const char*>(block.constData()), block.size() * 4) > 0);
    }
    file.close();

    const QString container = m_user.home() + QStringLiteral("/big.tsyc");
    QProcess process;
    m_user.start(process, {"save", container, "--password", source});
    QVERIFY(process.waitForStarted());
    process.write("secret\n");
    process.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(container), 30000);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("Canceled") || err.contains("Cannot encrypt data"), err);
    QVERIFY(!QFile::exists(container));
    QVERIFY(!QFile::exists(container + QStringLiteral(".encrypted")));
}

void TestCliUsage::followsLocaleSetting_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // on standard output for help, else on standard error
    QTest::addRow("German usage error") << "de_DE" << QStringList() << 2 << "Kein Befehl angegeben.";
    QTest::addRow("Chinese help, first sentences")
        << "zh_CN" << QStringList {"--help"} << 0 << "显示你自己的密钥 ID。\n";
    QTest::addRow("Russian command help")
        << "ru_RU" << QStringList {"open", "--help"} << 0 << "Распаковать локальный контейнер.";
    QTest::addRow("Russian failure") << "ru_RU" << QStringList {"remove", "42"} << 1
                                     << "Нет контакта с ID ключа 42.";
    QTest::addRow("no translation") << "fr_FR" << QStringList() << 2 << "No command given.";
}

void TestCliUsage::followsLocaleSetting()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    CliUser user;
    user.setServer(QStringLiteral("https://127.0.0.1:1"), QString());
    QVERIFY(QDir().mkpath(user.home() + QStringLiteral("/.config/Tessary")));
    QFile conf(user.home() + QStringLiteral("/.config/Tessary/Tessary.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\nlocale=" + locale.toUtf8() + '\n');
    conf.close();

    const CliUser::Result result = user.run(args);
    QCOMPARE(result.exitCode, exitCode);
    const QString text = QString::fromUtf8(exitCode == 0 ? result.out : result.err);
    QVERIFY2(text.contains(expected), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "TestCliUsage.moc"

#include "gpg/Crypter.h"
#include "gpg/Gpg.h"
#include "models/PrivKeysModel.h"
#include "util/TestHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every key, public or secret, in the test's GnuPG home directory.
QStringList keyring()
{
    QProcess process;
    process.start("gpg", {"--homedir", gpgHomeDir(), "--with-colons", "-k"});
    process.waitForFinished(30000);
    return parseFingerprints(process.readAllStandardOutput());
}

// Points HOME at a directory whose path leaves no room for gpg-agent's socket name, until the guard goes.
auto longHome(const QString& base)
{
    const QString home = base + '/' + QString(100, 'h');
    QDir().mkpath(home + "/.tessary2");
    QFile::setPermissions(home + "/.tessary2",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray old = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    initGpgCommandPrefix();
    return qScopeGuard([old] {
        qputenv("HOME", old);
        initGpgCommandPrefix();
    });
}

const QString kPassword = "pass word \"quoted\" 'single' \\ end";

} // namespace

class TestCrypter : public QObject
{
    Q_OBJECT

    QString secretFor(int method) const { return method == 1 ? m_fpr : kPassword; }
    QString path(const char* name) const { return m_work.filePath(name); }

    TestHome m_home;
    QTemporaryDir m_work {QDir::tempPath() + "/tc r-XXXXXX"};
    QString m_fpr;

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void damagedMessage_data();
    void damagedMessage();
    void wrongPassword();
    void unknownFingerprint_data();
    void unknownFingerprint();
    void invalidMethodRunsNothing_data();
    void invalidMethodRunsNothing();
    void cancelKillsGpg();
    void importDuringGeneration();
    void agentFailureIsReported();
    void cleanupTestCase();
};

void TestCrypter::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    PrivKeysModel keys;
    QSignalSpy completed(&keys, &PrivKeysModel::genKeyPairCompleted);
    keys.genKeyPair();
    QVERIFY(completed.wait(60000));
    m_fpr = keys.record(0).value("fpr").toString();
    QCOMPARE(m_fpr.size(), 40);
}

void TestCrypter::roundTrip_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("staleOutputs");
    QTest::addColumn<bool>("viaStdin");

    QTest::addRow("public key") << 1 << 5000 << false << false;
    // Method 1 encryption has no --yes: an output left from before must go first.
    QTest::addRow("public key over stale outputs") << 1 << 5000 << true << false;
    QTest::addRow("public key, trailer left out") << 1 << 1500000 << false << true;
    QTest::addRow("password with blanks and quotes") << 2 << 5000 << true << false;
    QTest::addRow("password, trailer left out") << 2 << 1500000 << false << true;
}

void TestCrypter::roundTrip()
{
    QFETCH(int, method);
    QFETCH(int, size);
    QFETCH(bool, staleOutputs);
    QFETCH(bool, viaStdin);

    const QString plain = path("pay load.bin");
    const QString encrypted = plain + ".encrypted";
    const QString decrypted = plain + ".decrypted";
    const QByteArray content = randomBytes(size);
    QVERIFY(writeFile(plain, content));
    if (staleOutputs)
        QVERIFY(writeFile(encrypted, "stale") && writeFile(decrypted, "stale"));

    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(crypter.crypt(plain, encrypted, method, secretFor(method), true));
    QCOMPARE(keyring(), QStringList());

    qint64 length = -1;
    if (viaStdin) {
        // A container's trailer behind the message; fed in pieces, gpg sees only the message.
        length = QFileInfo(encrypted).size();
        QVERIFY(writeFile(encrypted, readFile(encrypted) + m_fpr.toLatin1() + '\x01'));
    }
    QVERIFY(crypter.crypt(encrypted, decrypted, method, secretFor(method), false, length));
    QVERIFY(readFile(decrypted) == content);
    QCOMPARE(keyring(), QStringList());
    QCOMPARE(errors.count(), 0);
}

void TestCrypter::damagedMessage_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("damage");
    for (int method : {1, 2}) {
        for (const char* damage : {"alter", "append", "truncate", "append, stdin"})
            QTest::addRow("method %d, %s", method, damage) << method << QString(damage);
    }
}

void TestCrypter::damagedMessage()
{
    QFETCH(int, method);
    QFETCH(QString, damage);

    const QString encrypted = path("message");
    const QString decrypted = path("message.decrypted");
    QVERIFY(writeFile(path("plain"), randomBytes(200000)));
    Crypter crypter;
    QVERIFY(crypter.crypt(path("plain"), encrypted, method, secretFor(method), true));

    // gpg writes the plaintext of all of these and fails only at the end.
    QByteArray message = readFile(encrypted);
    if (damage == "alter")
        message[message.size() / 2] = static_cast<char>(message.at(message.size() / 2) ^ 0x01);
    else if (damage == "truncate")
        message.chop(100);
    else
        message.append("TRAILER\x01");
    QVERIFY(writeFile(encrypted, message));
    QVERIFY(writeFile(decrypted, "stale"));

    QSignalSpy errors(&crypter, &Crypter::error);
    const qint64 length = damage.endsWith("stdin") ? message.size() : -1;
    QVERIFY(!crypter.crypt(encrypted, decrypted, method, secretFor(method), false, length));
    QVERIFY(!QFile::exists(decrypted));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(keyring(), QStringList());
}

void TestCrypter::wrongPassword()
{
    QVERIFY(writeFile(path("plain"), "secret text"));
    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(crypter.crypt(path("plain"), path("encrypted"), 2, kPassword, true));
    QVERIFY(!crypter.crypt(path("encrypted"), path("decrypted"), 2, kPassword + 'x', false));
    QVERIFY(!QFile::exists(path("decrypted")));
    QCOMPARE(errors.count(), 0);
}

void TestCrypter::unknownFingerprint_data()
{
    QTest::addColumn<bool>("encrypt");
    QTest::addRow("encrypt") << true;
    QTest::addRow("decrypt") << false;
}

void TestCrypter::unknownFingerprint()
{
    QFETCH(bool, encrypt);
    const QString unknown = "0123456789ABCDEF0123456789ABCDEF01234567";
    QVERIFY(writeFile(path("input"), "data"));
    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(!crypter.crypt(path("input"), path("output"), 1, unknown, encrypt));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), "Cannot find " + unknown + " key");
    QVERIFY(!QFile::exists(path("output")));
}

void TestCrypter::invalidMethodRunsNothing_data()
{
    QTest::addColumn<int>("method");
    QTest::addRow("method 0") << 0;
    QTest::addRow("method 3") << 3;
}

void TestCrypter::invalidMethodRunsNothing()
{
    QFETCH(int, method);
    // A gpg first on PATH that leaves a mark when anything starts it.
    QTemporaryDir bin;
    const QString mark = bin.filePath("started");
    QVERIFY(writeFile(bin.filePath("gpg"), "#!/bin/sh\ntouch '" + mark.toUtf8() + "'\n"));
    QFile::setPermissions(bin.filePath("gpg"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + oldPath);
    auto restore = qScopeGuard([&oldPath] { qputenv("PATH", oldPath); });

    QVERIFY(writeFile(path("input"), "data"));
    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(!crypter.crypt(path("input"), path("output"), method, m_fpr, true));
    QVERIFY(!crypter.crypt(path("input"), path("output"), method, m_fpr, false, 4));
    QVERIFY(!QFile::exists(mark));
    QVERIFY(!QFile::exists(path("output")));
    QCOMPARE(errors.count(), 0);
}

void TestCrypter::cancelKillsGpg()
{
    // gpg waits on a pipe that nobody writes: an encryption that never ends by itself.
    const QString fifo = path("never ending");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString output = fifo + ".encrypted";

    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    emit crypter.canceled(); // before the call: does not reach it
    QTimer::singleShot(500, &crypter, [&crypter] { emit crypter.canceled(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!crypter.crypt(fifo, output, 1, m_fpr, true));
    QVERIFY(clock.elapsed() >= 500 && clock.elapsed() < 20000);
    QVERIFY(!QFile::exists(output));
    QCOMPARE(keyring(), QStringList());
    QCOMPARE(errors.count(), 0);

    // After the call the cancel no longer reaches anything, and the next call runs normally.
    QVERIFY(writeFile(path("plain"), "after cancel"));
    QVERIFY(crypter.crypt(path("plain"), output, 1, m_fpr, true));
}

void TestCrypter::importDuringGeneration()
{
    // The import and deletion wait for the running generation rather than race it for the keyring.
    PrivKeysModel keys;
    QSignalSpy completed(&keys, &PrivKeysModel::genKeyPairCompleted);
    keys.genKeyPair();
    QVERIFY(writeFile(path("plain"), "while generating"));
    Crypter crypter;
    QVERIFY(crypter.crypt(path("plain"), path("encrypted"), 1, m_fpr, true));
    QVERIFY(completed.count() == 1 || completed.wait(60000));
    QCOMPARE(keys.rowCount(), 2);
    QCOMPARE(keyring(), QStringList());
}

void TestCrypter::agentFailureIsReported()
{
    if (QFileInfo::exists(QString("/run/user/%1").arg(::getuid())))
        QSKIP("gpg-agent's socket lives under /run/user here, whatever the home directory's length");
    auto restore = longHome(m_home.path());

    QVERIFY(writeFile(path("plain"), "data"));
    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(!crypter.crypt(path("plain"), path("encrypted"), 2, kPassword, true));
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.at(0).at(0).toString().contains("could not reach its agent"),
             qPrintable(errors.at(0).at(0).toString()));

    // The secret key import needs the agent too: one message, with gpg's own words and the reason.
    errors.clear();
    QVERIFY(!crypter.crypt(path("encrypted"), path("decrypted"), 1, m_fpr, false));
    QCOMPARE(errors.count(), 1);
    const QString text = errors.at(0).at(0).toString();
    QVERIFY2(text.startsWith("Cannot import key\n") && text.contains("could not reach its agent"),
             qPrintable(text));
}

void TestCrypter::cleanupTestCase()
{
    // Stop the agent that gpg started for the test home before the home is removed under it.
    QProcess::execute("gpgconf", {"--homedir", gpgHomeDir(), "--kill", "gpg-agent"});
}

QTEST_GUILESS_MAIN(TestCrypter)
#include "TestCrypter.moc"

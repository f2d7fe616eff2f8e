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
    void refusedBeforeGpg();
    void cancelKillsGpg();
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
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("ok");
    QTest::addRow("public key") << 1 << "none" << true;
    QTest::addRow("password with blanks and quotes") << 2 << "none" << true;
    QTest::addRow("public key, piped without trailer") << 1 << "piped" << true;
    // gpg gives up early and closes the pipe while much of the message is still to come.
    QTest::addRow("wrong password, piped") << 2 << "piped password" << false;
    for (int method : {1, 2}) {
        QTest::addRow("method %d, altered byte", method) << method << "alter" << false;
        QTest::addRow("method %d, appended bytes", method) << method << "append" << false;
    }
    QTest::addRow("wrong password") << 2 << "password" << false;
}

void TestCrypter::roundTrip()
{
    QFETCH(int, method);
    QFETCH(QString, damage);
    QFETCH(bool, ok);
    const QString plain = path("pay load.bin");
    const QString encrypted = plain + ".encrypted";
    const QString decrypted = plain + ".decrypted";
    // Large enough that gpg writes plaintext before it finds a fault at the end.
    const QByteArray content = randomBytes(damage.startsWith("piped") ? 3000000 : 200000);
    // Outputs left from before must go first (method 1 encryption has no --yes).
    QVERIFY(writeFile(plain, content) && writeFile(encrypted, "stale") && writeFile(decrypted, "stale"));

    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QVERIFY(crypter.crypt(plain, encrypted, method, secretFor(method), true));
    QCOMPARE(keyring(), QStringList());

    QByteArray message = readFile(encrypted);
    const qint64 length = damage.startsWith("piped") ? message.size() : -1;
    if (damage == "alter")
        message[message.size() / 2] = static_cast<char>(message.at(message.size() / 2) ^ 0x01);
    else if (damage == "append" || damage.startsWith("piped"))
        message.append(m_fpr.toLatin1() + '\x01'); // like a container's trailer
    QVERIFY(writeFile(encrypted, message));
    const QString secret = damage.endsWith("password") ? kPassword + 'x' : secretFor(method);
    QCOMPARE(crypter.crypt(encrypted, decrypted, method, secret, false, length), ok);
    QCOMPARE(QFile::exists(decrypted), ok);
    QVERIFY(!ok || readFile(decrypted) == content);
    QCOMPARE(keyring(), QStringList());
    QCOMPARE(errors.count(), 0);
}

void TestCrypter::refusedBeforeGpg()
{
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
    for (bool encrypt : {true, false}) {
        QVERIFY(!crypter.crypt(path("input"), path("output"), 0, m_fpr, encrypt));
        QVERIFY(!crypter.crypt(path("input"), path("output"), 3, m_fpr, encrypt, 4));
    }
    QVERIFY(!QFile::exists(mark));
    QCOMPARE(errors.count(), 0);
    const QString unknown = "0123456789ABCDEF0123456789ABCDEF01234567";
    for (bool encrypt : {true, false}) {
        QVERIFY(!crypter.crypt(path("input"), path("output"), 1, unknown, encrypt));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.takeFirst().at(0).toString(), "Cannot find " + unknown + " key");
    }
    QVERIFY(!QFile::exists(path("output")));
}

void TestCrypter::cancelKillsGpg()
{
    // gpg waits on a pipe that nobody writes: an encryption that never ends by itself.
    const QString fifo = path("never ending");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString output = fifo + ".encrypted";

    Crypter crypter;
    QSignalSpy errors(&crypter, &Crypter::error);
    QTimer::singleShot(500, &crypter, [&crypter] { emit crypter.canceled(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!crypter.crypt(fifo, output, 1, m_fpr, true));
    QVERIFY(clock.elapsed() >= 500 && clock.elapsed() < 20000);
    QVERIFY(!QFile::exists(output));
    QCOMPARE(keyring(), QStringList());
    QCOMPARE(errors.count(), 0);
}

QTEST_GUILESS_MAIN(TestCrypter)
#include "TestCrypter.moc"

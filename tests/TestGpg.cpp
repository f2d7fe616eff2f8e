#include "gpg/Gpg.h"
#include "util/TestHome.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void keyPairGenerated() { emit called(); }
signals:
    void called();
};

// A stand-in for gpg: logs its arguments, keeps what it reads for --gen-key, answers the listing and
// the exports.
const char kFakeGpg[] = R"SH(#!/bin/sh
printf '%s|' "$@" >> "$FAKE_DIR/log"; echo >> "$FAKE_DIR/log"
for a in "$@"; do last="$a"; done
for a in "$@"; do
  case "$a" in
    --gen-key) cat > "$FAKE_DIR/stdin"; exit 0 ;;
    -K) cat "$FAKE_DIR/listing"; exit 0 ;;
    --export) printf 'PUBLIC-%s' "$last"; exit 0 ;;
    --export-secret-keys) printf 'SECRET-%s' "$last"; exit 0 ;;
  esac
done
)SH";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Field of every record of the given type in a colon listing of the real gpg.
QStringList gpgFields(const QStringList& arguments, const QByteArray& type, int field,
                      const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start("gpg", QStringList {"--homedir", gpgHomeDir(), "--with-colons"} + arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    QStringList values;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() > field && fields.at(0) == type)
            values.append(QString::fromUtf8(fields.at(field)));
    }
    return values;
}

} // namespace

class TestGpg : public QObject
{
    Q_OBJECT
    TestHome m_home;

private slots:
    void invocations_data();
    void invocations();
    void realGenerationAndCollection();
};

void TestGpg::invocations_data()
{
    QTest::addColumn<bool>("generate");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QStringList>("fprs");
    QTest::addRow("generation") << true << QByteArray() << QStringList();
    QTest::addRow("empty keyring") << false << QByteArray() << QStringList();
    QTest::addRow("new key and a leftover")
        << false
        << QByteArray("sec:u:2048:1:AAAA:1:::u:::escaESCA:::+:::23::0:\nfpr:::::::::AAAA1111:\n"
                      "grp:::::::::CCCC3333:\nuid:u::::1::X::abcdefghij:\nfpr:::::::::BBBB2222:\n")
        << QStringList {"AAAA1111", "BBBB2222"};
}

void TestGpg::invocations()
{
    QFETCH(bool, generate);
    QFETCH(QByteArray, listing);
    QFETCH(QStringList, fprs);
    QTemporaryDir fake;
    writeFile(fake.filePath("listing"), listing);
    writeFile(fake.filePath("gpg"), kFakeGpg);
    QFile::setPermissions(fake.filePath("gpg"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("FAKE_DIR", QFile::encodeName(fake.path()));
    qputenv("PATH", QFile::encodeName(fake.path()) + ':' + path);
    auto restore = qScopeGuard([&path] { qputenv("PATH", path); });

    // One line per call, each argument followed by "|": the home's blank stays inside one argument.
    auto call = [this](const QStringList& arguments) {
        return QStringList {"--homedir", m_home.dataDir(), arguments.join('|')}.join('|') + "|\n";
    };
    QString expected;
    if (generate) {
        Receiver receiver;
        QSignalSpy called(&receiver, &Receiver::called);
        QVERIFY(startKeyGeneration(&receiver));
        QVERIFY(called.wait(10000));
        QTest::qWait(100); // a second call would come through the same event loop
        QCOMPARE(called.count(), 1);
        expected = call({"--gen-key", "--batch"});
        const QString block = QString::fromLatin1(readFile(fake.filePath("stdin")));
        QVERIFY2(QRegularExpression("\\A%no-protection\nKey-Type: RSA\nKey-Length: 2048\nExpire-Date: 0\n"
                                    "Name-Real: [A-Za-z0-9]{10}\\z")
                     .match(block)
                     .hasMatch(),
                 qPrintable(block));
    } else {
        expected = call({"--with-fingerprint", "--with-colons", "-K"});
        QHash<QString, QPair<QByteArray, QByteArray>> keys;
        for (const QString& fpr : fprs) {
            expected += call({"--export", fpr}) + call({"--export-secret-keys", fpr})
                + call({"--batch", "--yes", "--delete-secret-and-public-key", fpr});
            keys.insert(fpr, qMakePair("SECRET-" + fpr.toLatin1(), "PUBLIC-" + fpr.toLatin1()));
        }
        QCOMPARE(takeSecretKeys(), keys);
    }
    QCOMPARE(QString::fromUtf8(readFile(fake.filePath("log"))), expected);
}

void TestGpg::realGenerationAndCollection()
{
    QVERIFY(takeSecretKeys().isEmpty());

    // Back to back: the second start waits for the first instead of racing it for the keyring's locks.
    Receiver first;
    Receiver second;
    QSignalSpy firstCalled(&first, &Receiver::called);
    QSignalSpy secondCalled(&second, &Receiver::called);
    QVERIFY(startKeyGeneration(&first));
    QVERIFY(startKeyGeneration(&second));
    QVERIFY(firstCalled.count() == 1 || firstCalled.wait(60000));
    QVERIFY(secondCalled.count() == 1 || secondCalled.wait(60000));
    const QStringList names = gpgFields({"-K"}, "uid", 9);
    QCOMPARE(names.size(), 2);
    QVERIFY(names.at(0) != names.at(1));

    // Both are collected, the older one as a leftover of the newer one.
    const auto keys = takeSecretKeys();
    QCOMPARE(keys.size(), 2);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        // Raw packets, no armour: a secret key packet and a public key packet of that fingerprint.
        QCOMPARE(static_cast<quint8>(it.value().first.at(0)) & 0x3c, 0x14);
        QCOMPARE(static_cast<quint8>(it.value().second.at(0)) & 0x3c, 0x18);
        QCOMPARE(gpgFields({"--show-keys"}, "fpr", 9, it.value().second), QStringList {it.key()});
    }
    QCOMPARE(gpgFields({"-k"}, "fpr", 9), QStringList());
    QVERIFY(takeSecretKeys().isEmpty());
}

QTEST_GUILESS_MAIN(TestGpg)
#include "TestGpg.moc"

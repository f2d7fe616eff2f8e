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
public:
    int calls = 0;
public slots:
    void keyPairGenerated()
    {
        ++calls;
        emit called();
    }
signals:
    void called();
};

// A stand-in for gpg: logs each invocation as one line of "|"-terminated arguments, keeps what it
// reads for --gen-key, and answers the listing and the exports.
const char kFakeGpg[] = R"SH(#!/bin/sh
printf '%s|' "$@" >> "$FAKE_DIR/log"; echo >> "$FAKE_DIR/log"
for a in "$@"; do last="$a"; done
for a in "$@"; do
  case "$a" in
    --gen-key) cat > "$FAKE_DIR/stdin"; exit "$(cat "$FAKE_DIR/exitcode")" ;;
    -K) cat "$FAKE_DIR/listing"; exit 0 ;;
    --export) printf 'PUBLIC-%s' "$last"; exit 0 ;;
    --export-secret-keys) printf 'SECRET-%s' "$last"; exit 0 ;;
  esac
done
)SH";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The real gpg on the test's GnuPG home directory.
QByteArray gpgOutput(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start("gpg", QStringList {"--homedir", gpgHomeDir()} + arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

QStringList colonFields(const QByteArray& listing, const QByteArray& type, int field)
{
    QStringList values;
    for (const QByteArray& line : listing.split('\n')) {
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

    // Puts the stand-in first on PATH until the returned guard goes.
    auto fakeGpg(const QByteArray& listing, int exitCode)
    {
        QFile::remove(m_fake.filePath("log"));
        writeFile(m_fake.filePath("listing"), listing);
        writeFile(m_fake.filePath("exitcode"), QByteArray::number(exitCode));
        writeFile(m_fake.filePath("gpg"), kFakeGpg);
        QFile::setPermissions(m_fake.filePath("gpg"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("FAKE_DIR", QFile::encodeName(m_fake.path()));
        qputenv("PATH", QFile::encodeName(m_fake.path()) + ':' + m_path);
        return qScopeGuard([this] { qputenv("PATH", m_path); });
    }
    QList<QStringList> loggedInvocations() const
    {
        QFile log(m_fake.filePath("log"));
        QList<QStringList> invocations;
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (!line.isEmpty())
                    invocations.append(QString::fromUtf8(line.chopped(1)).split('|'));
            }
        }
        return invocations;
    }

    TestHome m_home;
    QTemporaryDir m_fake;
    QByteArray m_path = qgetenv("PATH");

private slots:
    void parseFingerprints_data();
    void parseFingerprints();
    void generationInvocation_data();
    void generationInvocation();
    void collectionInvocations_data();
    void collectionInvocations();
    void missingGpg();
    void realGenerationAndCollection();
    void cleanupTestCase();
};

void TestGpg::parseFingerprints_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QStringList>("expected");

    const QByteArray a = "65AEA7C124DFAA0F6C8A62637FDCAFE725D5D10E";
    const QByteArray b = "DC69ADF0EC467CB5D772115C86767934919638E9";
    QTest::addRow("empty keyring") << QByteArray() << QStringList();
    QTest::addRow("other records ignored")
        << "sec:u:2048:1:7FDCAFE725D5D10E:1796489193:::u:::escaESCA:::+:::23::0:\nfpr:::::::::" + a
            + ":\ngrp:::::::::" + b + ":\nuid:u::::1796489193::8EB2::abcdefghij::::::::::0:\n"
        << QStringList {a};
    QTest::addRow("listing order kept") << "fpr:::::::::" + b + ":\nfpr:::::::::" + a + ":\n"
                                        << QStringList {b, a};
    QTest::addRow("nine fields only") << "fpr::::::::" + a + "\n" << QStringList();
    QTest::addRow("upper-case record type") << "FPR:::::::::" + a + ":\n" << QStringList();
    QTest::addRow("cut at a zero byte")
        << "fpr:::::::::" + a + ":\n" + QByteArray(1, '\0') + "fpr:::::::::" + b << QStringList {a};
    QTest::addRow("carriage return stays") << "fpr:::::::::" + a + "\r\nfpr:::::::::" + b + ":\r\n"
                                           << QStringList {a + "\r", b};
}

void TestGpg::parseFingerprints()
{
    QFETCH(QByteArray, listing);
    QFETCH(QStringList, expected);
    QCOMPARE(::parseFingerprints(listing), expected);
}

void TestGpg::generationInvocation_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addRow("gpg succeeds") << 0;
    QTest::addRow("gpg fails") << 2;
}

void TestGpg::generationInvocation()
{
    QFETCH(int, exitCode);
    auto restore = fakeGpg(QByteArray(), exitCode);

    Receiver receiver;
    QSignalSpy called(&receiver, &Receiver::called);
    QVERIFY(startKeyGeneration(&receiver));
    QVERIFY(called.wait(10000));
    QTest::qWait(100); // a second delivery would come through the same event loop
    QCOMPARE(receiver.calls, 1);

    // The home path with its blank arrives as one argument.
    QCOMPARE(loggedInvocations(),
             (QList<QStringList> {{"--homedir", m_home.dataDir(), "--gen-key", "--batch"}}));
    QFile input(m_fake.filePath("stdin"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QString block = QString::fromLatin1(input.readAll());
    QVERIFY2(QRegularExpression("\\A%no-protection\nKey-Type: RSA\nKey-Length: 2048\nExpire-Date: 0\n"
                                "Name-Real: [A-Za-z0-9]{10}\\z")
                 .match(block)
                 .hasMatch(),
             qPrintable(block));
}

void TestGpg::collectionInvocations_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QStringList>("fingerprints");
    QTest::addRow("empty keyring") << QByteArray() << QStringList();
    QTest::addRow("new key and a leftover")
        << QByteArray("sec:u:2048:1:AAAA:1:::u:::escaESCA:::+:::23::0:\nfpr:::::::::AAAA1111:\n"
                      "uid:u::::1::X::abcdefghij:\nfpr:::::::::BBBB2222:\n")
        << QStringList {"AAAA1111", "BBBB2222"};
}

void TestGpg::collectionInvocations()
{
    QFETCH(QByteArray, listing);
    QFETCH(QStringList, fingerprints);
    auto restore = fakeGpg(listing, 0);

    const auto keys = takeSecretKeys();

    const QStringList home {"--homedir", m_home.dataDir()};
    QList<QStringList> expected {home + QStringList {"--with-fingerprint", "--with-colons", "-K"}};
    QHash<QString, QPair<QByteArray, QByteArray>> expectedKeys;
    for (const QString& fpr : fingerprints) {
        expected << home + QStringList {"--export", fpr} << home + QStringList {"--export-secret-keys", fpr}
                 << home + QStringList {"--batch", "--yes", "--delete-secret-and-public-key", fpr};
        expectedKeys.insert(fpr, qMakePair("SECRET-" + fpr.toLatin1(), "PUBLIC-" + fpr.toLatin1()));
    }
    QCOMPARE(loggedInvocations(), expected);
    QCOMPARE(keys, expectedKeys);
}

void TestGpg::missingGpg()
{
    QTemporaryDir emptyBin;
    qputenv("PATH", QFile::encodeName(emptyBin.path()));
    auto restore = qScopeGuard([this] { qputenv("PATH", m_path); });

    Receiver receiver;
    QVERIFY(!startKeyGeneration(&receiver));
    QVERIFY(takeSecretKeys().isEmpty());
    QTest::qWait(100);
    QCOMPARE(receiver.calls, 0);
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

    const QStringList names = colonFields(gpgOutput({"--with-colons", "-K"}), "uid", 9);
    QCOMPARE(names.size(), 2);
    QVERIFY(names.at(0) != names.at(1));

    const auto keys = takeSecretKeys();
    QCOMPARE(keys.size(), 2);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        // Raw packets, no armour: a secret key packet and a public key packet of that fingerprint.
        QCOMPARE(static_cast<quint8>(it.value().first.at(0)) & 0x3c, 0x14);
        QCOMPARE(static_cast<quint8>(it.value().second.at(0)) & 0x3c, 0x18);
        const QByteArray shown = gpgOutput({"--with-colons", "--show-keys"}, it.value().second);
        QCOMPARE(colonFields(shown, "fpr", 9), QStringList {it.key()});
    }
    QCOMPARE(colonFields(gpgOutput({"--with-colons", "-k"}), "fpr", 9), QStringList());
    QVERIFY(takeSecretKeys().isEmpty());
}

void TestGpg::cleanupTestCase()
{
    // Stop the agent that gpg started for the test home before the home is removed under it.
    QProcess::execute("gpgconf", {"--homedir", gpgHomeDir(), "--kill", "gpg-agent"});
}

QTEST_GUILESS_MAIN(TestGpg)
#include "TestGpg.moc"

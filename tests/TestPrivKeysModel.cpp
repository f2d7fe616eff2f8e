#include "gpg/Gpg.h"
#include "models/PrivKeysModel.h"
#include "net/NetworkManager.h"
#include "util/RelayProcess.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QCryptographicHash>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>
#include <unistd.h>

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public slots:
    void keyPairGenerated() { emit called(); }
signals:
    void called();
};

// Replaces every row with count own keys that were never uploaded (blobs that only look the part).
bool seedOwnKeys(int count)
{
    QSqlQuery query;
    if (!query.exec("DELETE FROM key_data"))
        return false;
    query.prepare("INSERT INTO key_data (fpr, public, private) VALUES (?, ?, ?)");
    for (int i = 0; i < count; ++i) {
        query.bindValue(0, QString("%1").arg(i + 1, 40, 10, QLatin1Char('0')));
        query.bindValue(1, QByteArray("\x99\x01\x0d\x04public ") + QByteArray::number(i));
        query.bindValue(2, QByteArray("\x95\x03\x98\x04secret ") + QByteArray::number(i));
        if (!query.exec())
            return false;
    }
    return true;
}

QStringList fingerprintsWhere(const QString& condition)
{
    QSqlQuery query("SELECT fpr FROM key_data WHERE " + condition);
    QStringList fprs;
    while (query.next())
        fprs.append(query.value(0).toString());
    return fprs;
}

QStringList keyring()
{
    QProcess process;
    process.start("gpg", {"--homedir", gpgHomeDir(), "--with-colons", "-k"});
    process.waitForFinished(30000);
    return parseFingerprints(process.readAllStandardOutput());
}

} // namespace

class TestPrivKeysModel : public QObject
{
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<ScriptedServer> m_server;
    QMutex m_mutex; // guards the reply, which the server's thread reads
    int m_status = 200;
    QByteArray m_reply;

private slots:
    void initTestCase();
    void generation();
    void failedGeneration();
    void upload_data();
    void upload();
    void uploadWithoutRow();
    void editKeyAlias_data();
    void editKeyAlias();
    void uploadToRelay();
    void cleanupTestCase();
};

void TestPrivKeysModel::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    m_server = std::make_unique<ScriptedServer>();
    QVERIFY(m_server->isRunning());
    m_server->makeCurrent();
    m_server->handle("POST", "/api/upload-pubkey", [this](const httplib::Request&, httplib::Response& res) {
        QMutexLocker locker(&m_mutex);
        res.status = m_status;
        res.set_content(m_reply.toStdString(), "application/json");
    });
}

void TestPrivKeysModel::generation()
{
    PrivKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.remoteKeyId(0), QString());
    QSignalSpy completed(&model, &PrivKeysModel::genKeyPairCompleted);
    QSignalSpy errors(&model, &PrivKeysModel::error);

    model.genKeyPair();
    QVERIFY(completed.wait(60000));
    QCOMPARE(model.rowCount(), 1);
    const QString first = model.data(model.index(0, 0), 259).toString();
    QVERIFY(QRegularExpression("\\A[0-9A-F]{40}\\z").match(first).hasMatch());
    QVERIFY(!model.data(model.index(0, 0), 260).toByteArray().isEmpty());
    QVERIFY(!model.data(model.index(0, 0), 261).toByteArray().isEmpty());
    QCOMPARE(fingerprintsWhere("remote_key_id IS NULL AND key_alias IS NULL"), QStringList {first});
    QCOMPARE(keyring(), QStringList());

    // A key left in the keyring by an earlier run is collected together with the new one.
    Receiver leftover;
    QSignalSpy leftoverDone(&leftover, &Receiver::called);
    QVERIFY(startKeyGeneration(&leftover));
    QVERIFY(leftoverDone.wait(60000));
    model.genKeyPair();
    QVERIFY(completed.wait(60000));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(0, 0), 259).toString(), first);

    // A collected key that is stored already adds no row, and the generation still completes.
    QProcess import;
    import.start("gpg", {"--homedir", gpgHomeDir(), "--batch", "--import"});
    import.write(model.data(model.index(0, 0), 261).toByteArray());
    import.closeWriteChannel();
    QVERIFY(import.waitForFinished(30000));
    QCOMPARE(keyring(), QStringList {first});
    model.keyPairGenerated();
    QCOMPARE(model.rowCount(), 3);

    QCOMPARE(completed.count(), 3);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(keyring(), QStringList());
}

void TestPrivKeysModel::failedGeneration()
{
    PrivKeysModel model;
    QSignalSpy completed(&model, &PrivKeysModel::genKeyPairCompleted);
    QSignalSpy errors(&model, &PrivKeysModel::error);

    // Nothing in the keyring to collect.
    model.keyPairGenerated();
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), "Error while generating PGP key pair");

    // No gpg at all: reported at once, so that the first-start page does not wait for ever.
    QTemporaryDir emptyBin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(emptyBin.path()));
    model.genKeyPair();
    qputenv("PATH", path);
    QCOMPARE(errors.count(), 2);
    QVERIFY(errors.at(1).at(0).toString().startsWith("Cannot start gpg"));

    // gpg without its agent, because the home directory's path is too long for the socket.
    if (!QFileInfo::exists(QString("/run/user/%1").arg(::getuid()))) {
        const QString home = m_home.path() + '/' + QString(100, 'h');
        QVERIFY(QDir().mkpath(home + "/.tessary2"));
        QFile::setPermissions(home + "/.tessary2",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home));
        initGpgCommandPrefix();
        auto restore = qScopeGuard([&oldHome] {
            qputenv("HOME", oldHome);
            initGpgCommandPrefix();
        });
        model.genKeyPair();
        QVERIFY(errors.wait(60000));
        const QString text = errors.at(2).at(0).toString();
        QVERIFY2(text.startsWith("Error while generating PGP key pair\n")
                     && text.contains("could not reach its agent"),
                 qPrintable(text));
    }
    QCOMPARE(completed.count(), 0);
}

void TestPrivKeysModel::upload_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("keyId");
    QTest::addColumn<QString>("message");

    QTest::addRow("key id") << 200 << QByteArray(R"({"keyId":"1234567","note":1})") << "1234567" << QString();
    QTest::addRow("empty object") << 200 << QByteArray("{}") << QString() << "Unknown server response";
    QTest::addRow("not an object") << 200 << QByteArray(R"(["keyId"])") << QString()
                                   << "Unknown server response";
    QTest::addRow("empty key id") << 200 << QByteArray(R"({"keyId":""})") << QString()
                                  << "Invalid key id in response";
    QTest::addRow("numeric key id") << 200 << QByteArray(R"({"keyId":123})") << QString()
                                    << "Invalid key id in response";
    QTest::addRow("error wins over key id")
        << 200 << QByteArray(R"({"keyId":"5","error":"Key <b>refused</b>"})") << QString()
        << "Key <b>refused</b>";
    QTest::addRow("empty body") << 200 << QByteArray() << QString() << "Cannot get server response";
    QTest::addRow("HTTP error") << 500 << QByteArray(R"({"keyId":"9"})") << QString()
                                << "Cannot get server response";
}

void TestPrivKeysModel::upload()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, keyId);
    QFETCH(QString, message);
    {
        QMutexLocker locker(&m_mutex);
        m_status = status;
        m_reply = reply;
    }
    QVERIFY(seedOwnKeys(3));
    PrivKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The second of several keys without key id, so that a write keyed on the NULL key id would show.
    const QString fpr = model.data(model.index(1, 0), 259).toString();
    const QByteArray publicKey = model.data(model.index(1, 0), 260).toByteArray();

    QSignalSpy errors(&model, &PrivKeysModel::error);
    QCOMPARE(model.uploadPublicKey(1), keyId);
    const ScriptedServer::Request request = m_server->lastRequest();
    QCOMPARE(request.path, "/api/upload-pubkey");
    QVERIFY(request.body
            == NetworkManager::clientPrefix() + QCryptographicHash::hash(publicKey, QCryptographicHash::Md5)
                + QByteArray::fromHex(fpr.toLatin1()) + publicKey);

    QCOMPARE(errors.count(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(errors.at(0).at(0).toString(), message);
    QCOMPARE(model.remoteKeyId(1), keyId);
    QCOMPARE(fingerprintsWhere("remote_key_id IS NOT NULL"),
             keyId.isEmpty() ? QStringList() : QStringList {fpr});
}

void TestPrivKeysModel::uploadWithoutRow()
{
    QVERIFY(seedOwnKeys(1));
    PrivKeysModel model;
    m_server->clearRequests();
    QSignalSpy errors(&model, &PrivKeysModel::error);
    QVERIFY(model.uploadPublicKey(-1).isEmpty());
    QVERIFY(model.uploadPublicKey(1).isEmpty());
    QCOMPARE(errors.count(), 2);
    QVERIFY(m_server->requests().isEmpty());
}

void TestPrivKeysModel::editKeyAlias_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("result");
    QTest::addRow("negative") << -1 << false;
    QTest::addRow("row count") << 3 << false;
    QTest::addRow("first of keys without key id") << 0 << true;
    QTest::addRow("last row") << 2 << true;
}

void TestPrivKeysModel::editKeyAlias()
{
    QFETCH(int, index);
    QFETCH(bool, result);
    QVERIFY(seedOwnKeys(3));
    PrivKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(model.editKeyAlias(index, "Laptop"), result);
    const QStringList renamed = fingerprintsWhere("key_alias = 'Laptop'");
    if (result) {
        QCOMPARE(renamed, QStringList {model.data(model.index(index, 0), 259).toString()});
        QCOMPARE(model.data(model.index(index, 0), 258).toString(), "Laptop");
    } else {
        QCOMPARE(renamed, QStringList());
    }
}

void TestPrivKeysModel::uploadToRelay()
{
    RelayProcess relay;
    QString reason;
    QVERIFY2(relay.start(&reason), qPrintable(reason));
    relay.makeCurrent();
    auto restore = qScopeGuard([this] { m_server->makeCurrent(); });
    QVERIFY(seedOwnKeys(0));

    PrivKeysModel model;
    QSignalSpy generated(&model, &PrivKeysModel::genKeyPairCompleted);
    for (int i = 0; i < 2; ++i) {
        model.genKeyPair();
        QVERIFY(generated.wait(60000));
    }
    QSignalSpy errors(&model, &PrivKeysModel::error);
    const QString first = model.uploadPublicKey(0);
    const QString second = model.uploadPublicKey(1);
    QVERIFY2(errors.isEmpty(), errors.isEmpty() ? "" : qPrintable(errors.at(0).at(0).toString()));
    QVERIFY(QRegularExpression("\\A[0-9]+\\z").match(first).hasMatch());
    QVERIFY(!second.isEmpty() && second != first);
    QCOMPARE(model.remoteKeyId(0), first);
}

void TestPrivKeysModel::cleanupTestCase()
{
    // Stop the agent that gpg started for the test home before the home is removed under it.
    QProcess::execute("gpgconf", {"--homedir", gpgHomeDir(), "--kill", "gpg-agent"});
}

QTEST_GUILESS_MAIN(TestPrivKeysModel)
#include "TestPrivKeysModel.moc"

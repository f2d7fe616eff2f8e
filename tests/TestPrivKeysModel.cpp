#include "gpg/Gpg.h"
#include "models/PrivKeysModel.h"
#include "net/NetworkManager.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QCryptographicHash>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

namespace {

// Replaces every row with count own keys that were never uploaded (blobs that only look the part).
bool seedOwnKeys(int count)
{
    QSqlQuery query;
    bool ok = query.exec("DELETE FROM key_data");
    for (int i = 1; i <= count; ++i) {
        const QString fpr = QString("%1").arg(i, 40, 10, QLatin1Char('0'));
        ok = ok && query.exec("INSERT INTO key_data (fpr, public, private) VALUES ('" + fpr + "', 'p', 's')");
    }
    return ok;
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
    QByteArray m_reply;

private slots:
    void initTestCase();
    void generation();
    void upload_data();
    void upload();
    void editKeyAlias();
};

void TestPrivKeysModel::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    m_server = std::make_unique<ScriptedServer>();
    QVERIFY(m_server->isRunning());
    m_server->makeCurrent();
    m_server->handle("POST", "/api/upload-pubkey", [this](const httplib::Request&, httplib::Response& res) {
        QMutexLocker locker(&m_mutex);
        res.set_content(m_reply.toStdString(), "application/json");
    });
}

void TestPrivKeysModel::generation()
{
    QVERIFY(seedOwnKeys(0));

    PrivKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy completed(&model, &PrivKeysModel::genKeyPairCompleted);
    QSignalSpy errors(&model, &PrivKeysModel::error);
    model.keyPairGenerated(); // nothing in the keyring to collect
    // No gpg at all: reported at once, so that the first-start page does not wait for ever.
    QTemporaryDir emptyBin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(emptyBin.path()));
    model.genKeyPair();
    qputenv("PATH", path);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.at(0).at(0).toString(), "Error while generating PGP key pair");
    QVERIFY(errors.at(1).at(0).toString().startsWith("Cannot start gpg"));
    QCOMPARE(completed.count(), 0);
    errors.clear();

    model.genKeyPair();
    QVERIFY(completed.wait(60000));
    QCOMPARE(model.rowCount(), 1);
    const QString first = model.data(model.index(0, 0), 259).toString();
    QVERIFY(QRegularExpression("\\A[0-9A-F]{40}\\z").match(first).hasMatch());
    QCOMPARE(fingerprintsWhere("remote_key_id IS NULL AND key_alias IS NULL"), QStringList {first});
    QCOMPARE(keyring(), QStringList());

    // A key left in the keyring by an earlier run is collected together with the new one.
    QCOMPARE(
        QProcess::execute(
            "gpg", {"--homedir", gpgHomeDir(), "--batch", "--passphrase", "", "--quick-gen-key", "leftover"}),
        0);
    model.genKeyPair();
    QVERIFY(completed.wait(60000));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(0, 0), 259).toString(), first);
    QCOMPARE(keyring(), QStringList());
    QCOMPARE(errors.count(), 0);
}

void TestPrivKeysModel::upload_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("keyId");
    QTest::addColumn<QString>("message");
    QTest::addRow("key id") << 1 << QByteArray(R"({"keyId":"1234567"})") << "1234567" << QString();
    QTest::addRow("empty object") << 1 << QByteArray("{}") << QString() << "Unknown server response";
    QTest::addRow("empty key id") << 1 << QByteArray(R"({"keyId":""})") << QString()
                                  << "Invalid key id in response";
    QTest::addRow("numeric key id") << 1 << QByteArray(R"({"keyId":123})") << QString()
                                    << "Invalid key id in response";
    QTest::addRow("error wins over key id")
        << 1 << QByteArray(R"({"keyId":"5","error":"Refused"})") << QString() << "Refused";
    QTest::addRow("empty reply") << 1 << QByteArray() << QString() << "Cannot get server response";
    QTest::addRow("no such row") << 3 << QByteArray(R"({"keyId":"9"})") << QString()
                                 << "There is no own key at position 3 to upload";
}

void TestPrivKeysModel::upload()
{
    QFETCH(int, index);
    QFETCH(QByteArray, reply);
    QFETCH(QString, keyId);
    QFETCH(QString, message);
    {
        QMutexLocker locker(&m_mutex);
        m_reply = reply;
    }
    QVERIFY(seedOwnKeys(3));
    m_server->clearRequests();
    PrivKeysModel model;
    QSignalSpy errors(&model, &PrivKeysModel::error);
    QCOMPARE(model.uploadPublicKey(index), keyId);
    QCOMPARE(errors.count(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(errors.at(0).at(0).toString(), message);
    // The second of several keys without key id, so that a write keyed on the NULL key id would show.
    QCOMPARE(fingerprintsWhere("remote_key_id IS NOT NULL"),
             keyId.isEmpty() ? QStringList() : QStringList {model.data(model.index(1, 0), 259).toString()});
    if (index >= model.rowCount()) {
        QVERIFY(m_server->requests().isEmpty());
        return;
    }
    const QString fpr = model.data(model.index(index, 0), 259).toString();
    const QByteArray publicKey = model.data(model.index(index, 0), 260).toByteArray();
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->lastRequest().path, "/api/upload-pubkey");
    QVERIFY(m_server->lastRequest().body
            == NetworkManager::clientPrefix() + QCryptographicHash::hash(publicKey, QCryptographicHash::Md5)
                + QByteArray::fromHex(fpr.toLatin1()) + publicKey);
}

void TestPrivKeysModel::editKeyAlias()
{
    QVERIFY(seedOwnKeys(3));
    PrivKeysModel model;
    QVERIFY(!model.editKeyAlias(-1, "Laptop"));
    QVERIFY(!model.editKeyAlias(3, "Laptop"));
    QCOMPARE(fingerprintsWhere("key_alias IS NOT NULL"), QStringList());
    // Rows without key id: only the one asked for is renamed.
    QVERIFY(model.editKeyAlias(1, "Laptop"));
    QCOMPARE(fingerprintsWhere("key_alias = 'Laptop'"),
             QStringList {model.data(model.index(1, 0), 259).toString()});
    QCOMPARE(model.data(model.index(1, 0), 258).toString(), "Laptop");
}

QTEST_GUILESS_MAIN(TestPrivKeysModel)
#include "TestPrivKeysModel.moc"

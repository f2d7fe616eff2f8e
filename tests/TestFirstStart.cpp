// The first start with the real gpg: a key pair is made, everything gpg holds is collected and
// removed from its home, and the public key is registered; a failed registration is retried
// without a new key.
#include "app/FirstStartJob.h"
#include "gpg/Gpg.h"
#include "models/PrivKeysModel.h"
#include "net/RelayClient.h"
#include "util/JobRun.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

namespace {

// Every key, public or secret, in the private GnuPG home.
QStringList keyring()
{
    QProcess process;
    process.start("gpg", {"--homedir", gpgHomeDir(), "--with-colons", "-k"});
    process.waitForFinished(30000);
    return parseFingerprints(process.readAllStandardOutput());
}

// fpr|key id of every own key, in storage order.
QStringList ownKeys()
{
    QSqlQuery query("SELECT fpr, remote_key_id FROM key_data WHERE private IS NOT NULL ORDER BY rowid");
    QStringList keys;
    while (query.next())
        keys << query.value(0).toString() + '|' + query.value(1).toString();
    return keys;
}

} // namespace

class TestFirstStart : public QObject
{
    Q_OBJECT

    TestHome m_home;
    ScriptedServer m_server;
    RelayClient m_relay;
    QMutex m_mutex;
    QByteArray m_reply;

    void answer(const QByteArray& reply)
    {
        QMutexLocker lock(&m_mutex);
        m_reply = reply;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.openDatabase());
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        m_server.handle("POST", "/api/upload-pubkey",
                        [this](const httplib::Request&, httplib::Response& res) {
                            QMutexLocker lock(&m_mutex);
                            res.set_content(m_reply.toStdString(), "application/json");
                        });
    }

    void withoutGpg()
    {
        QTemporaryDir emptyBin;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(emptyBin.path()));
        auto restore = qScopeGuard([&path] { qputenv("PATH", path); });
        FirstStartJob job(&m_relay);
        QCOMPARE(JobRun::of(job, &FirstStartJob::succeeded).end,
                 "failed: Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?");
        QCOMPARE(ownKeys(), QStringList());
    }

    void generatesCollectsAndRegisters()
    {
        // A key that an earlier run left in the home is collected along with the new one.
        QCOMPARE(QProcess::execute("gpg",
                                   {"--homedir", gpgHomeDir(), "--batch", "--passphrase", "",
                                    "--quick-gen-key", "leftover"}),
                 0);
        answer(R"({"error":"Registration closed"})");
        FirstStartJob refused(&m_relay);
        QSignalSpy steps(&refused, &Job::stepStarted);
        QCOMPARE(JobRun::of(refused, &FirstStartJob::succeeded).end, "failed: Registration closed");
        QCOMPARE(steps.size(), 2);
        QCOMPARE(steps.at(1).at(0).value<Job::Step>(), Job::Step::Registering);
        const QStringList keys = ownKeys();
        QCOMPARE(keys.size(), 2);
        QCOMPARE(keyring(), QStringList());

        // Again, through the own-keys model as the first-start page does: no new key, the first one
        // is registered, and the relay got its digest, fingerprint and key.
        answer(R"({"keyId":"1234567"})");
        m_server.clearRequests();
        PrivKeysModel model;
        QSignalSpy completed(&model, &PrivKeysModel::genKeyPairCompleted);
        QSignalSpy registered(&model, &PrivKeysModel::keyRegistered);
        model.genKeyPair();
        QVERIFY(registered.wait(60000));
        QCOMPARE(completed.size(), 1);
        QCOMPARE(registered.at(0).at(0).toString(), "1234567");
        const QString fpr = keys.at(0).section('|', 0, 0);
        QCOMPARE(ownKeys(), QStringList({fpr + "|1234567", keys.at(1)}));
        QCOMPARE(model.remoteKeyId(0), "1234567");
        QSqlQuery publicKey("SELECT public FROM key_data WHERE fpr = '" + fpr + "'");
        QVERIFY(publicKey.next());
        const QByteArray key = publicKey.value(0).toByteArray();
        QCOMPARE(m_server.requests().size(), 1);
        QCOMPARE(m_server.lastRequest().body.mid(17),
                 QCryptographicHash::hash(key, QCryptographicHash::Md5) + QByteArray::fromHex(fpr.toLatin1())
                     + key);

        // Registered: nothing more to do, and nothing asked.
        FirstStartJob again(&m_relay);
        const JobRun run = JobRun::of(again, &FirstStartJob::succeeded);
        QCOMPARE(run.end, "succeeded");
        QCOMPARE(run.result.value(0).toString(), "1234567");
        QCOMPARE(m_server.requests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFirstStart)
#include "TestFirstStart.moc"

// Saving files as a container and sending them through a scripted relay, checked from outside: the
// containers are opened with the gpg command line, the temporary folders are watched.
#include "ContainerTestSupport.h"
#include "containers/SaveJob.h"
#include "containers/SendJob.h"
#include "gpg/Crypter.h"
#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"
#include "models/ContactKeys.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"
#include "util/JobRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSqlQuery>
#include <QtTest>

#include <httplib.h>

#include <cstring>

using namespace ContainerTestSupport;

using SizeMap = QMap<QString, int>; // entry name -> size

namespace {

QByteArray randomBytes(int size)
{
    QByteArray b(size, 0);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), size / 4);
    return b;
}

QByteArray logLines(int size)
{
    QByteArray data;
    for (int line = 0; data.size() < size; ++line)
        data += QStringLiteral("2026-12-06 20:%1 INFO request %2 served in %3 ms\n")
                    .arg(line % 60)
                    .arg(line * 7919 % 100003)
                    .arg(line % 97)
                    .toLatin1();
    return data.left(size);
}

QStringList keyring()
{
    QProcess process;
    process.start("gpg", {"--homedir", gpgHomeDir(), "--with-colons", "-k"});
    process.waitForFinished(30000);
    return parseFingerprints(process.readAllStandardOutput());
}

} // namespace

class TestSending : public QObject
{
    Q_OBJECT

    std::unique_ptr<Env> m_env;
    ScriptedServer m_server;
    RelayClient m_relay;
    QString m_fpr, m_ownFpr, m_newFpr;
    QByteArray m_publicKey, m_newKey;
    QMutex m_mutex; // guards what the server's thread reads
    QByteArray m_canUpload;
    QByteArray m_pubKeyReply;
    std::map<std::string, httplib::MultipartFormData> m_parts; // of the last upload

    QString work(const QString& name) const { return m_env->path(name); }

    void answerKey(const QByteArray& keyId, const QString& fpr, const QByteArray& key)
    {
        QMutexLocker lock(&m_mutex);
        m_pubKeyReply
            = QJsonDocument(
                  QJsonObject {{"keyId", QString(keyId)}, {"fpr", fpr}, {"keyData", QString(key.toBase64())}})
                  .toJson();
    }

    QVariantMap writeFiles(const QMap<QString, QByteArray>& contents)
    {
        QVariantMap list;
        for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
            const QString source = work(QStringLiteral("src/%1").arg(list.size()));
            writeFile(source, it.value());
            list.insert(it.key(), source);
        }
        return list;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<Env>();
        QVERIFY(m_env->home.openDatabase());
        QVERIFY(m_env->gpg.generateAndStore("100", false, &m_fpr)); // a contact: public half only
        QVERIFY(m_env->gpg.generateAndStore("1", true, &m_ownFpr)); // the user's own pair, which signs
        QVERIFY(m_env->gpg.generate("New", &m_newFpr, &m_newKey));
        QSqlQuery key("SELECT public FROM key_data WHERE remote_key_id = '100'");
        QVERIFY(key.next());
        m_publicKey = key.value(0).toByteArray();
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        m_server.handle("POST", "/api/download-pubkey",
                        [this](const httplib::Request&, httplib::Response& res) {
                            QMutexLocker lock(&m_mutex);
                            res.set_content(m_pubKeyReply.toStdString(), "application/json");
                        });
        m_server.handle("POST", "/api/can-upload", [this](const httplib::Request&, httplib::Response& res) {
            QMutexLocker lock(&m_mutex);
            res.set_content(m_canUpload.toStdString(), "application/json");
        });
        m_server.handle("POST", "/upload-container",
                        [this](const httplib::Request& req, httplib::Response& res) {
                            QMutexLocker lock(&m_mutex);
                            m_parts = {req.files.begin(), req.files.end()};
                            res.set_content(R"({"fileId":17})", "application/json");
                        });
    }

    void init()
    {
        m_server.clearRequests();
        answerKey("100", m_fpr.toLower(), m_publicKey);
        QSqlQuery restore;
        restore.prepare("UPDATE key_data SET fpr = ?, public = ?, verified = 1 WHERE remote_key_id = '100'");
        restore.addBindValue(m_fpr);
        restore.addBindValue(m_publicKey);
        QVERIFY(restore.exec());
    }

    void localSave_data()
    {
        QTest::addColumn<SizeMap>("files");
        QTest::addColumn<int>("method");
        QTest::addRow("empty share list") << SizeMap() << 2;
        QTest::addRow("chunk boundaries")
            << SizeMap {{"zero", 0}, {"exact", 524288}, {"one more", 524289}} << 2;
        QTest::addRow("non-ASCII names, sorted") << SizeMap {{"Ä/ö.txt", 3}, {"B.txt", 1}, {"a.txt", 2}} << 2;
        QTest::addRow("public key") << SizeMap {{"doc.txt", 1000}} << 1;
    }

    void localSave()
    {
        QFETCH(SizeMap, files);
        QFETCH(int, method);
        QMap<QString, QByteArray> contents;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            contents.insert(it.key(), randomBytes(it.value()));
        const QString path = work(QStringLiteral("out.tsyc"));
        const QString secret = method == 1 ? m_fpr : QStringLiteral("pass word \"quoted\"");
        SaveJob job(path, writeFiles(contents), method, secret);
        const JobRun run = JobRun::of(job, &SaveJob::succeeded);
        QCOMPARE(run.end, QStringLiteral("succeeded"));
        QCOMPARE(run.result.value(0).toLongLong(), QFileInfo(path).size());
        QCOMPARE(keyring(), QStringList());
        const QByteArray trailer = method == 1 ? QByteArray::fromHex(m_fpr.toLatin1()) + '\x01' : "\x02";
        QVERIFY(readFile(path).endsWith(trailer));

        QList<Entry> entries;
        QByteArray status;
        QVERIFY(parsePayload(openContainer(m_env->gpg, path, method == 2 ? secret : QString(), &status),
                             &entries));
        // Signed inside the encryption with the user's own key; a password container is not signed.
        QCOMPARE(status.contains("VALIDSIG " + m_ownFpr.toLatin1()), method == 1);
        QCOMPARE(status.contains("SIG "), method == 1);
        QCOMPARE(entries.size(), files.size());
        int i = 0;
        for (auto it = files.cbegin(); it != files.cend(); ++it, ++i) {
            const Entry& e = entries.at(i);
            QCOMPARE(QString::fromUtf8(e.name), it.key());
            QCOMPARE(e.size, qint64(it.value()));
            QCOMPARE(e.content, contents[it.key()]);
            for (int c = 0; c < e.chunkLengths.size(); ++c)
                QCOMPARE(e.chunkLengths.at(c),
                         c == e.chunkLengths.size() - 1 ? it.value() - c * 524288 : 524288);
        }
        QCOMPARE(QDir(work(QString())).entryList({".tessary-*"}, QDir::Hidden | QDir::AllEntries),
                 QStringList());
        QFile::remove(path);
    }

    // gpg compresses what shrinks and leaves the rest alone, judged from samples of the files.
    void compressionFollowsContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("compressed");
        QTest::addRow("random bytes") << randomBytes(3000 * 1024) << false;
        QTest::addRow("log lines") << logLines(3000 * 1024) << true;
    }

    void compressionFollowsContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, compressed);
        const QString path = work(QStringLiteral("mix.tsyc"));
        SaveJob job(path, writeFiles({{"f", content}}), 2, QStringLiteral("pw"));
        QCOMPARE(JobRun::of(job, &SaveJob::succeeded).end, QStringLiteral("succeeded"));
        QByteArray message = readFile(path);
        message.chop(1);
        QVERIFY(writeFile(path, message));
        QByteArray packets;
        QVERIFY(m_env->gpg.run({"--passphrase", "pw", "--list-packets", path}, &packets));
        QCOMPARE(packets.contains(":compressed packet:"), compressed);
    }

    // Nothing is left at the path but what was there before, and nothing in a temporary folder.
    void failures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("warnings");
        const QString unknown(40, '0');
        QTest::addRow("source missing")
            << "missing" << 2 << "failed: Cannot open %1 for reading" << QStringList();
        QTest::addRow("source shrinks")
            << "shrinks" << 2 << "failed: The file %1 changed while it was being sent" << QStringList();
        QTest::addRow("unknown method") << "a" << 3 << "failed: Cannot encrypt data" << QStringList();
        QTest::addRow("key not stored")
            << "a" << 1 << "failed: Cannot encrypt data" << QStringList {"Cannot find " + unknown + " key"};
        QTest::addRow("folder not writable")
            << "a" << 2 << "failed: Cannot open %2 for writing" << QStringList();
        QTest::addRow("cancelled") << "a" << 2 << "cancelled" << QStringList();
    }

    void failures()
    {
        QFETCH(QString, source);
        QFETCH(int, method);
        QFETCH(QString, end);
        QFETCH(QStringList, warnings);
        QVERIFY(writeFile(work("a"), QByteArray(3 * 524288, 'a'))
                && writeFile(work("shrinks"), QByteArray(3 * 524288, 's')));
        const QString target = end.contains("%2") ? QStringLiteral("/proc/out.tsyc") : work("failed.tsyc");
        QVERIFY(writeFile(work("failed.tsyc"), "what was there"));
        SaveJob job(target, {{"a", work(source)}}, method, method == 1 ? QString(40, '0') : "pw");
        connect(&job, &Job::progressRange, this, [&](qint64, const QString& text) {
            if (text == "Packing data" && source == "shrinks")
                QFile::resize(work("shrinks"), 1000);
            if (text == "Packing data" && end == "cancelled")
                QTimer::singleShot(0, &job, &Job::cancel);
        });
        const JobRun run = JobRun::of(job, &SaveJob::succeeded);
        QCOMPARE(run.end, QString(end).replace("%1", work(source)).replace("%2", target));
        QCOMPARE(run.warnings, warnings);
        QCOMPARE(readFile(work("failed.tsyc")), QByteArray("what was there"));
        QCOMPARE(QDir(work(QString())).entryList({".tessary-*"}, QDir::Hidden | QDir::AllEntries),
                 QStringList());
        QVERIFY2(m_env->temporaries().isEmpty(), qPrintable(m_env->temporaries().join(' ')));
        QCOMPARE(keyring(), QStringList());
    }

    // The whole road of a send (to a relay without resumable uploads): the contact's current key, the
    // question, the upload, the record. While it is uploaded the container is the one file among the
    // unfinished uploads, readable by its owner alone, and nothing is anywhere else; afterwards
    // nothing is left.
    void upload_data()
    {
        QTest::addColumn<QByteArray>("canUpload");
        QTest::addColumn<QString>("answer"); // of "/download-pubkey"
        QTest::addColumn<QString>("end");
        const QByteArray yes(R"({"success":true})");
        const QString none;
        QTest::addRow("sent") << yes << none << "succeeded";
        QTest::addRow("refused") << QByteArray(R"({"success":false,"error":"Quota exceeded"})") << none
                                 << "failed: Quota exceeded";
        QTest::addRow("cancelled while uploading") << yes << none << "cancelled";
        QTest::addRow("another key for the contact") << yes << "new key"
                                                     << "failed: The key of test has changed, so nothing was "
                                                        "sent. Pinned key: %1. Key offered now: %2. "
                                                        "Accept the new key only once test has confirmed it, "
                                                        "for example by comparing the safety number.";
        QTest::addRow("the key of another id")
            << yes << "other id"
            << "failed: The server answered with the key of 101 when asked for 100. It was not used.";
    }

    void upload()
    {
        QFETCH(QByteArray, canUpload);
        QFETCH(QString, answer);
        QFETCH(QString, end);
        {
            QMutexLocker lock(&m_mutex);
            m_canUpload = canUpload;
            m_parts.clear();
        }
        if (!answer.isEmpty())
            answerKey(answer == "new key" ? "100" : "101", m_newFpr, m_newKey);
        QSqlQuery("DELETE FROM file_events").exec();
        const QByteArray content = randomBytes(4 * 1024 * 1024);
        SendJob job(&m_relay, writeFiles({{"up.bin", content}}), QStringLiteral(" 1-00"));
        QStringList during;
        connect(&job, &Job::stepStarted, this, [&](Job::Step step) {
            if (step != Job::Step::Uploading)
                return;
            during = m_env->temporaries();
            if (end == "cancelled")
                job.cancel();
        });
        const JobRun run = JobRun::of(job, &SendJob::succeeded);
        QCOMPARE(run.end,
                 QString(end)
                     .replace("%1", ContactKeys::grouped(m_fpr))
                     .replace("%2", ContactKeys::grouped(m_newFpr)));
        QVERIFY2(m_env->temporaries().isEmpty(), qPrintable(m_env->temporaries().join(' ')));
        QCOMPARE(keyring(), QStringList());
        QSqlQuery events("SELECT remote_key_id, file_id, status, size FROM file_events");
        if (!answer.isEmpty()) {
            // Nothing went out, and the pinned key is the one it was.
            QCOMPARE(requestsTo(m_server, "/api/can-upload").size()
                         + requestsTo(m_server, "/upload-container").size(),
                     0);
            QCOMPARE(ContactKeys::pinned("100"), m_fpr);
            QVERIFY(ContactKeys::isVerified("100"));
        }
        if (answer == "new key") {
            // Once the user accepts the key the relay offers, it is used, and the contact is not verified.
            QString accepted;
            ContactKeys::accept(&m_relay, "100", ContactKeys::grouped(m_newFpr), this,
                                [&](const ContactKeys::Fetched& key) {
                                    accepted = key.error.isNull() ? key.fingerprint : key.error;
                                });
            QTRY_VERIFY_WITH_TIMEOUT(!accepted.isEmpty(), 30000);
            QCOMPARE(accepted, m_newFpr);
            QVERIFY(!ContactKeys::isVerified("100"));
            SendJob again(&m_relay, writeFiles({{"up.bin", content}}), QStringLiteral("100"));
            QCOMPARE(JobRun::of(again, &SendJob::succeeded).end, QStringLiteral("succeeded"));
            QMutexLocker lock(&m_mutex);
            QVERIFY(QByteArray::fromStdString(m_parts["container"].content)
                        .endsWith(QByteArray::fromHex(m_newFpr.toLatin1()) + '\x01'));
            return;
        }
        if (end != "succeeded") {
            QVERIFY(!events.next());
            return;
        }
        QCOMPARE(run.result.value(0).toString(), QStringLiteral("17"));
        QCOMPARE(during.size(), 1);
        QVERIFY(during.value(0).startsWith(UnfinishedUploadsModel::folder() + '/'));
        QCOMPARE(int(QFileInfo(during.value(0)).permissions() & 0x0077), 0); // nothing for group and others
        QVERIFY(events.next());
        QCOMPARE(events.value(0).toString() + ' ' + events.value(1).toString() + ' '
                     + events.value(2).toString() + ' ' + events.value(3).toString(),
                 QStringLiteral("100 17 2 ") + run.result.value(1).toString());
        const qint64 asked
            = QJsonDocument::fromJson(requestsTo(m_server, "/api/can-upload").value(0).body.mid(17))
                  .object()
                  .value("size")
                  .toDouble();
        QMutexLocker lock(&m_mutex);
        QCOMPARE(qint64(m_parts["container"].content.size()), asked);
        QCOMPARE(run.result.value(1).toLongLong(), asked);
        QVERIFY(QByteArray::fromStdString(m_parts["container"].content)
                    .endsWith(QByteArray::fromHex(m_fpr.toLatin1()) + '\x01'));
    }

    // The password reaches gpg through a descriptor of its own: nobody sees it in the process list,
    // yet gpg encrypts and decrypts with it.
    void passwordStaysOffTheCommandLine_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::addRow("encrypt") << true;
        QTest::addRow("decrypt") << false;
    }

    void passwordStaysOffTheCommandLine()
    {
        QFETCH(bool, encrypt);
        const QString password = QStringLiteral("pass wörd \"quoted\"");
        const QByteArray plain = "plain text";
        QByteArray input = plain;
        if (!encrypt) {
            QVERIFY(writeFile(work("plain"), plain));
            QVERIFY(m_env->gpg.run({"--passphrase", password, "-c", "-o", work("message"), work("plain")}));
            input = readFile(work("message"));
        }
        Crypter crypter(2, password, encrypt);
        crypter.setOutputFile(work("output"));
        QSemaphore seen; // gpg gets its input only once its command line has been read
        crypter.setInputProducer([&](char* buffer, qint64 size) -> qint64 {
            if (input.isEmpty())
                return 0;
            seen.acquire();
            const qint64 n = qMin<qint64>(size, input.size());
            std::memcpy(buffer, input.constData(), size_t(n));
            input.remove(0, int(n));
            return n;
        });
        QByteArray commandLine;
        connect(&crypter, &Crypter::started, this, [&] {
            commandLine = readFile(QStringLiteral("/proc/%1/cmdline").arg(crypter.process()->processId()));
            seen.release(1000);
        });
        QSignalSpy finished(&crypter, &Crypter::finished);
        crypter.start();
        QVERIFY(finished.wait(60000));
        QVERIFY2(commandLine.contains("--passphrase-fd"), commandLine.constData());
        QVERIFY(!commandLine.contains(password.toUtf8()) && !commandLine.contains("wörd"));
        QCOMPARE(finished.first().first().toBool(), true);
        if (encrypt)
            QVERIFY(writeFile(work("output"), readFile(work("output")) + '\x02'));
        QCOMPARE(encrypt ? openContainer(m_env->gpg, work("output"), password) : readFile(work("output")),
                 plain);
    }
};

QTEST_GUILESS_MAIN(TestSending)
#include "TestSending.moc"

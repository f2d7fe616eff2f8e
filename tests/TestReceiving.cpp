// Opening containers and receiving them from a scripted relay: what arrives, what a damaged or
// hostile container does, and that every failure leaves the extraction folder as it was and the
// container waiting on the relay.
#include "ContainerTestSupport.h"
#include "containers/OpenJob.h"
#include "containers/PayloadWriter.h"
#include "containers/ReceiveJob.h"
#include "containers/SaveJob.h"
#include "gpg/DecryptionStatus.h"
#include "models/ContactKeys.h"
#include "net/RelayClient.h"
#include "util/JobRun.h"

#include <QMutex>
#include <QSqlQuery>
#include <QtTest>

#include <httplib.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace ContainerTestSupport;

namespace {

using Items = QList<QPair<QString, QByteArray>>; // entry name, content

// A payload as the writer lays it out.
QByteArray payloadOf(const Items& items)
{
    QVector<PayloadRecord> records;
    for (const auto& item : items)
        records.append({item.first, item.second.size()});
    QByteArray payload = PayloadWriter::header(records);
    for (const auto& item : items)
        for (int pos = 0; pos < item.second.size(); pos += 524288) {
            const QByteArray chunk = item.second.mid(pos, 524288);
            payload += PayloadWriter::chunkPrefix(chunk.size()) + chunk;
        }
    return payload;
}

// Every file and folder below root, hidden ones too.
QStringList tree(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

} // namespace

class TestReceiving : public QObject
{
    Q_OBJECT

    std::unique_ptr<Env> m_env;
    std::unique_ptr<QTemporaryDir> m_out;
    ScriptedServer m_server;
    RelayClient m_relay;
    QString m_fpr, m_annFpr, m_bobFpr, m_strangerFpr;
    QByteArray m_strangerKey;
    QMutex m_mutex;
    QByteArray m_container; // what the relay serves as /id42
    QByteArray m_secretKey;

    QString out() const { return m_out->path(); }

    // A container made by the sending side of the program.
    QString send(const Items& items, const QString& name, int method = 2)
    {
        QVariantMap share;
        for (const auto& item : items) {
            const QString source = m_env->path(name + ".src/" + QString::number(share.size()));
            writeFile(source, item.second);
            share.insert(item.first, source);
        }
        SaveJob job(m_env->path(name), share, method, method == 1 ? m_fpr : QStringLiteral("pw"));
        JobRun::of(job, &SaveJob::succeeded);
        return m_env->path(name);
    }

    JobRun open(const QString& path, const QString& password = QStringLiteral("pw"),
                StagingFolder::ExistingFiles existing = StagingFolder::ExistingFiles::Overwrite)
    {
        OpenJob job(path, out(), existing, password);
        return JobRun::of(job, &OpenJob::succeeded);
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<Env>();
        QVERIFY(m_env->home.openDatabase());
        QVERIFY(m_env->gpg.generateAndStore("1", true, &m_fpr)); // the user's own pair
        QSqlQuery key("SELECT private FROM key_data");
        QVERIFY(key.next());
        m_secretKey = key.value(0).toByteArray();
        // Contacts (public halves only, their secret halves in the test's gpg home) and a stranger.
        QVERIFY(m_env->gpg.generateAndStore("2", false, &m_annFpr));
        QVERIFY(QSqlQuery().exec("UPDATE key_data SET key_alias = 'Ann' WHERE remote_key_id = '2'"));
        QVERIFY(m_env->gpg.generateAndStore("3", false, &m_bobFpr));
        QVERIFY(m_env->gpg.generate("Stranger", &m_strangerFpr, &m_strangerKey));
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        m_server.reply("POST", "/api/download-complete", 200, "{}");
        m_server.reply("POST", "/api/download-pubkey", 200,
                       R"({"keyId":"9","fpr":")" + m_strangerFpr.toLatin1() + R"(","keyData":")"
                           + m_strangerKey.toBase64() + R"("})");
        m_server.handle("GET", "/id42", [this](const httplib::Request&, httplib::Response& res) {
            QMutexLocker lock(&m_mutex);
            res.set_content(m_container.toStdString(), "application/octet-stream");
        });
    }

    void init()
    {
        m_out = std::make_unique<QTemporaryDir>(m_env->path("out-XXXXXX"));
        m_server.clearRequests();
        QSqlQuery restore;
        QVERIFY(restore.exec("DELETE FROM key_data WHERE remote_key_id = '9'"));
        restore.prepare("UPDATE key_data SET private = ? WHERE remote_key_id = '1'");
        restore.addBindValue(m_secretKey);
        QVERIFY(restore.exec());
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("signature");
        QTest::addRow("password") << 2 << "Not signed: nothing confirms who sent it";
        QTest::addRow("own key") << 1 << "Signed by you";
    }

    void roundTrip()
    {
        QFETCH(int, method);
        QFETCH(QString, signature);
        const Items items {{"empty", ""},
                           {QStringLiteral("Grüße/日本語.txt"), "unicode"},
                           {"docs/deep/a.txt", QByteArray(524289, 'a')},
                           {"z", QByteArray(524288, 'z')}};
        const QString path = send(items, QStringLiteral("round%1.tsyc").arg(method), method);
        const QByteArray before = readFile(path);
        OpenJob job(path, out(), StagingFolder::ExistingFiles::Overwrite, QStringLiteral("pw"));
        const JobRun run = JobRun::of(job, &OpenJob::succeeded);
        QCOMPARE(run.end, QStringLiteral("succeeded"));
        QCOMPARE(job.signatureText(), signature);
        QMap<QString, QString> arrived; // in container order, which is the order of the names
        for (const auto& item : items) {
            QCOMPARE(readFile(out() + '/' + item.first), item.second);
            arrived.insert(item.first, out() + '/' + item.first);
        }
        QCOMPARE(run.result.value(0).toStringList(), arrived.values());
        // The container is only read, and nothing is left beside the files.
        QCOMPARE(readFile(path), before);
        QCOMPARE(
            tree(out()),
            QStringList({"Grüße", "Grüße/日本語.txt", "docs", "docs/deep", "docs/deep/a.txt", "empty", "z"}));
        QVERIFY2(m_env->temporaries().isEmpty(), qPrintable(m_env->temporaries().join(' ')));
    }

    void existingFiles_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addRow("keep") << true;
        QTest::addRow("overwrite") << false;
    }

    void existingFiles()
    {
        QFETCH(bool, keep);
        const QString path = send({{"a.txt", "new a"}, {"b.txt", "new b"}}, "existing.tsyc");
        QVERIFY(writeFile(out() + "/a.txt", "old"));
        const JobRun run = open(
            path, "pw", keep ? StagingFolder::ExistingFiles::Keep : StagingFolder::ExistingFiles::Overwrite);
        QCOMPARE(run.warnings,
                 QStringList {keep ? "File already exists. Skipping" : "File already exists. Overwriting"});
        QCOMPARE(readFile(out() + "/a.txt"), keep ? QByteArray("old") : QByteArray("new a"));
        QCOMPARE(readFile(out() + "/b.txt"), QByteArray("new b"));
        QCOMPARE(tree(out()), QStringList({"a.txt", "b.txt"}));
    }

    // Nothing arrives, and the extraction folder holds what it held before.
    void failures_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("end");
        const QString cannot = QStringLiteral("failed: Cannot decrypt container");
        QTest::addRow("altered byte") << "alter"
                                      << "pw" << cannot;
        QTest::addRow("cut short") << "cut"
                                   << "pw" << cannot;
        QTest::addRow("unknown method byte") << "method"
                                             << "pw" << cannot;
        QTest::addRow("wrong password") << ""
                                        << "wrong" << cannot;
        QTest::addRow("no password") << ""
                                     << "" << cannot;
        QTest::addRow("no extraction folder") << "nofolder"
                                              << "pw"
                                              << "failed: Directory  is not writable";
        QTest::addRow("missing key") << "nokey"
                                     << "" << cannot;
        // The second entry cannot go where a file blocks its folder: the first goes back too.
        QTest::addRow("a file where a folder must go") << "blocked"
                                                       << "pw"
                                                       << "failed: Cannot write to %1: %2 cannot be created";
    }

    void failures()
    {
        QFETCH(QString, damage);
        QFETCH(QString, password);
        QFETCH(QString, end);
        const QString path = send({{"a.txt", QByteArray(300000, 's')}, {"x/b", "b"}}, "damaged.tsyc",
                                  damage == "nokey" ? 1 : 2);
        QByteArray bytes = readFile(path);
        if (damage == "alter")
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
        else if (damage == "cut")
            bytes = bytes.left(bytes.size() - 1000) + '\x02';
        else if (damage == "method")
            bytes[bytes.size() - 1] = '\x07';
        else if (damage == "nokey")
            QVERIFY(QSqlQuery().exec("UPDATE key_data SET private = NULL WHERE remote_key_id = '1'"));
        else if (damage == "blocked")
            QVERIFY(writeFile(out() + "/x", "in the way"));
        QVERIFY(writeFile(path, bytes));
        const QStringList before = tree(out());
        OpenJob job(path, damage == "nofolder" ? QString() : out(), StagingFolder::ExistingFiles::Overwrite,
                    password);
        const JobRun run = JobRun::of(job, &OpenJob::succeeded);
        QCOMPARE(run.end, QString(end).replace("%1", out()).replace("%2", out() + "/x"));
        QCOMPARE(run.warnings,
                 damage == "nokey" ? QStringList {"Cannot find " + m_fpr + " key"} : QStringList());
        QCOMPARE(tree(out()), before);
    }

    // Payloads no sender of this program makes, wrapped in a valid OpenPGP layer.
    void hostilePayloads_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QStringList>("files");
        QByteArray lying = payloadOf({{"a", "abc"}});
        lying.replace(5, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QByteArray overrun = payloadOf({{"a", "abc"}, {"b", "b"}});
        overrun.replace(overrun.size() - 12, 4, QByteArray("\x00\xff\xff\xff", 4));
        QTest::addRow("huge entry count")
            << lying << "failed: Invalid container header" << QStringList() << QStringList();
        // b's chunk is swallowed by a's overrun: b comes out empty.
        QTest::addRow("chunk overruns") << overrun << "succeeded" << QStringList() << QStringList {"a", "b"};
        const QString unsafe = QStringLiteral("Unsafe file name. Skipping %1");
        Items items;
        QStringList warnings;
        for (const QString name :
             {"../escape.txt", "/tmp/absolute.txt", "a/../../up.txt", "", "link/through.txt", "linkfile"}) {
            items.append({name, name.startsWith("link/") ? QByteArray(600000, 'x') : "x"});
            warnings << unsafe.arg(name);
        }
        QTest::addRow("unsafe names") << payloadOf(items + Items {{"ok.txt", "fine"}}) << "succeeded"
                                      << warnings << QStringList {"ok.txt"};
    }

    void hostilePayloads()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, end);
        QFETCH(QStringList, warnings);
        QFETCH(QStringList, files);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), out() + "/link"));
        QVERIFY(QFile::link(outside.filePath("target"), out() + "/linkfile"));
        const QString path = m_env->path("hostile.tsyc");
        QVERIFY(makePasswordContainer(m_env->gpg, payload, path));
        const JobRun run = open(path);
        QCOMPARE(run.end, end);
        QCOMPARE(run.warnings, warnings);
        QStringList extracted
            = QDir(out()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
        QVERIFY(extracted.removeAll("link") == 1 && extracted.removeAll("linkfile") == 1);
        QCOMPARE(extracted, files);
        QCOMPARE(tree(outside.path()), QStringList());
        QVERIFY(!QFile::exists(QFileInfo(out()).path() + "/escape.txt"));
    }

    // From the relay: downloaded, extracted, and only then reported taken and recorded as received.
    // A failed download or a cancel reports nothing and leaves nothing.
    void receive_data()
    {
        QTest::addColumn<QString>("fileId");
        QTest::addColumn<QString>("end");
        QTest::addRow("received") << "42"
                                  << "succeeded";
        QTest::addRow("cancelled while decrypting") << "42"
                                                    << "cancelled";
    }

    void receive()
    {
        QFETCH(QString, fileId);
        QFETCH(QString, end);
        QSqlQuery("DELETE FROM file_events").exec();
        const QByteArray content = QByteArray(3 * 1024 * 1024, 'r');
        const QString path = send({{"in.bin", content}}, "received.tsyc", 1);
        {
            QMutexLocker lock(&m_mutex);
            m_container = readFile(path);
        }
        ReceiveJob job(&m_relay, fileId, m_container.size(), "1", out(),
                       StagingFolder::ExistingFiles::Overwrite);
        connect(&job, &Job::stepStarted, this, [&](Job::Step step) {
            if (step == Job::Step::Decrypting && end == "cancelled")
                job.cancel();
        });
        const JobRun run = JobRun::of(job, &ReceiveJob::succeeded);
        QCOMPARE(run.end, end);
        QVERIFY2(m_env->temporaries().isEmpty(), qPrintable(m_env->temporaries().join(' ')));
        QSqlQuery event("SELECT remote_key_id, file_id, status, size FROM file_events");
        const auto taken = requestsTo(m_server, "/api/download-complete");
        if (end != "succeeded") {
            QVERIFY(taken.isEmpty());
            QVERIFY(!event.next());
            QCOMPARE(tree(out()), QStringList());
            return;
        }
        QCOMPARE(readFile(out() + "/in.bin"), content);
        QCOMPARE(taken.size(), 1);
        QCOMPARE(taken.at(0).body.mid(17),
                 QByteArray("\x00"
                            "42",
                            3));
        QVERIFY(event.next());
        QCOMPARE(QStringList({event.value(0).toString(), event.value(1).toString(), event.value(2).toString(),
                              event.value(3).toString()}),
                 QStringList({"1", "42", "0", QString::number(m_container.size())}));
    }

    // The relay names the sender: a container counts only unsigned or signed by that sender's pinned
    // key, checked in the same pass as its integrity. A sender without a pinned key has its key
    // fetched and pinned first.
    void signatures_data()
    {
        QTest::addColumn<QString>("signer"); // Ann, the stranger, or nobody
        QTest::addColumn<QString>("uploader");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("signature"); // empty when nothing may arrive
        const QString refused = QStringLiteral("failed: The container is said to come from %1, but it is not "
                                               "signed by the key pinned for %1. Nothing was extracted.");
        const QString ann = QStringLiteral("Ann"), stranger = QStringLiteral("stranger"), none,
                      succeeded = QStringLiteral("succeeded");
        QTest::addRow("signed by the sender") << ann << "2" << succeeded << "Signed by Ann, not verified";
        QTest::addRow("another sender named") << ann << "3" << refused.arg("test") << none;
        QTest::addRow("signed by an unknown key") << stranger << "2" << refused.arg("Ann") << none;
        QTest::addRow("unsigned, as older senders send")
            << none << "2" << succeeded << "Not signed: nothing confirms who sent it";
        QTest::addRow("sender not yet a contact")
            << stranger << "9" << succeeded << "Signed by 9, not verified";
    }

    void signatures()
    {
        QFETCH(QString, signer);
        QFETCH(QString, uploader);
        QFETCH(QString, end);
        QFETCH(QString, signature);
        const QString signerFpr = signer == "Ann" ? m_annFpr : signer.isEmpty() ? QString() : m_strangerFpr;
        {
            QMutexLocker lock(&m_mutex);
            m_container = m_env->gpg.container(payloadOf({{"a.txt", "from outside"}}), m_fpr, signerFpr);
        }
        QSqlQuery("DELETE FROM file_events").exec();
        ReceiveJob job(&m_relay, "42", m_container.size(), uploader, out(),
                       StagingFolder::ExistingFiles::Overwrite);
        QCOMPARE(JobRun::of(job, &ReceiveJob::succeeded).end, end);
        const bool taken = !signature.isEmpty();
        QCOMPARE(tree(out()), taken ? QStringList {"a.txt"} : QStringList());
        QCOMPARE(requestsTo(m_server, "/api/download-complete").size(), taken ? 1 : 0);
        QCOMPARE(job.signatureText(), signature);
        QSqlQuery event("SELECT signer FROM file_events");
        QCOMPARE(event.next(), taken);
        if (taken)
            QCOMPARE(event.value(0).toString() + (event.value(0).isNull() ? "NULL" : ""), signerFpr);
        if (uploader == "9")
            QCOMPARE(ContactKeys::pinned("9"), m_strangerFpr);
    }

    // What gpg says about containers that no sender of this program makes.
    void statusLines_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("read"); // whether intact, then each signature
        const QString ok = QStringLiteral("DECRYPTION_INFO 2 9 0|DECRYPTION_OKAY|GOODMDC|");
        QTest::addRow("subkey signature") << ok + "NEWSIG|GOODSIG 1 A|VALIDSIG SUB d t 0 4 0 22 10 00 PRIMARY"
                                          << "intact Good:PRIMARY";
        QTest::addRow("bad, expired, unknown")
            << ok + "NEWSIG|BADSIG 1 A|NEWSIG|EXPKEYSIG 2 B|NEWSIG|ERRSIG 3 1 10 00 t 9 FPR"
            << "intact Bad: Invalid: Unchecked:FPR";
        QTest::addRow("not integrity-protected") << "DECRYPTION_INFO 0 9 0|DECRYPTION_OKAY"
                                                 << "damaged";
        QTest::addRow("failed integrity check") << "DECRYPTION_INFO 2 9 0|BADMDC|DECRYPTION_OKAY"
                                                << "damaged";
    }

    void statusLines()
    {
        QFETCH(QString, lines);
        QFETCH(QString, read);
        QByteArrayList status;
        for (const QString& line : lines.split('|'))
            status << line.toLatin1();
        const DecryptionStatus parsed = DecryptionStatus::parse(status);
        QStringList words {parsed.intact ? "intact" : "damaged"};
        const QStringList outcomes {"Good", "Bad", "Unchecked", "Invalid"};
        for (const auto& signature : parsed.signatures)
            words << outcomes.at(int(signature.outcome)) + ':' + signature.fingerprint;
        QCOMPARE(words.join(' '), read);
    }

    // A disk that fills up while the files are written: a failure that says so, no file left
    // behind, and the container still waiting on the relay.
    void fullDisk()
    {
        if (::geteuid() != 0)
            QSKIP("Mounting a small file system needs root");
        QTemporaryDir small;
        if (::mount("tmpfs", QFile::encodeName(small.path()).constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("No tmpfs to mount here");
        auto unmount
            = qScopeGuard([&] { ::umount2(QFile::encodeName(small.path()).constData(), MNT_DETACH); });
        const QString path
            = send({{"fits.txt", "small"}, {"big.bin", QByteArray(3 * 1024 * 1024, 'b')}}, "full.tsyc", 1);
        {
            QMutexLocker lock(&m_mutex);
            m_container = readFile(path);
        }
        ReceiveJob job(&m_relay, "42", m_container.size(), "1", small.path(),
                       StagingFolder::ExistingFiles::Overwrite);
        const JobRun run = JobRun::of(job, &ReceiveJob::succeeded);
        QCOMPARE(run.end,
                 QStringLiteral("failed: Cannot write to %1: No space left on device").arg(small.path()));
        QCOMPARE(tree(small.path()), QStringList());
        QVERIFY(requestsTo(m_server, "/api/download-complete").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReceiving)
#include "TestReceiving.moc"

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
#include "models/FileEventsModel.h"
#include "net/RelayClient.h"
#include "util/JobRun.h"

#include <QMutex>
#include <QSqlQuery>
#include <QtTest>

#include <httplib.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace ContainerTestSupport;

Q_DECLARE_METATYPE(StagingFolder::ExistingFiles)

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

// "ENTRY -> NAME: OUTCOME" for each entry of the job's result.
QStringList outcomes(const QList<QVariant>& result)
{
    static const char* names[] = {"arrived", "replaced", "renamed", "skipped", "unsafe"};
    QStringList list;
    for (const ArrivedFile& file : result.value(0).value<Arrival>())
        list << file.entryName + " -> " + file.name + ": " + names[int(file.outcome)];
    return list;
}

using Files = QMap<QString, QByteArray>; // relative path -> content

Files contents(const QString& root)
{
    Files files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(root.size() + 1), readFile(path));
    }
    return files;
}

// A small FAT file system, which ignores the case of names, mounted at path: by the kernel where it
// has the driver, else through FUSE by fusefat. Needs root; unmounted when the object goes.
class FatFolder
{
public:
    explicit FatFolder(const QString& path)
        : m_path(path)
    {
        if (::geteuid() != 0) {
            m_why = QStringLiteral("Mounting a file system needs root");
            return;
        }
        const QString image = path + QStringLiteral(".img");
        QDir().mkpath(path);
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(8 * 1024 * 1024)
            || run("mkfs.vfat", {image}) != 0) {
            m_why = QStringLiteral("No FAT image could be made (is mkfs.vfat installed?)");
            return;
        }
        m_mounted = run("mount", {"-o", "loop", image, path}) == 0
            || run("fusefat", {"-o", "rw+", image, path}) == 0;
        if (!m_mounted)
            m_why = QStringLiteral("Neither the kernel nor fusefat mounts a FAT file system here");
    }
    ~FatFolder()
    {
        if (m_mounted)
            run("umount", {m_path});
    }
    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    QString path() const { return m_path; }

private:
    static int run(const char* program, const QStringList& args)
    {
        QProcess process;
        process.start(QString::fromLatin1(program), args);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QString m_path;
    QString m_why;
    bool m_mounted = false;
};

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
        QStringList arrived;
        for (const auto& item : items) {
            QCOMPARE(readFile(out() + '/' + item.first), item.second);
            arrived << item.first + " -> " + item.first + ": arrived";
        }
        arrived.sort(); // the sender packs in the order of the names
        QCOMPARE(outcomes(run.result), arrived);
        // The container is only read, and nothing is left beside the files.
        QCOMPARE(readFile(path), before);
        QCOMPARE(
            tree(out()),
            QStringList({"Grüße", "Grüße/日本語.txt", "docs", "docs/deep", "docs/deep/a.txt", "empty", "z"}));
        QVERIFY2(m_env->temporaries().isEmpty(), qPrintable(m_env->temporaries().join(' ')));
    }

    // Names that are taken, in the folder and inside the container itself: every entry's fate is
    // reported, and under "keep both" nothing that was there changes.
    void nameClashes_data()
    {
        using Policy = StagingFolder::ExistingFiles;
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<Files>("files");
        QTest::addRow("keep both")
            << Policy::KeepBoth
            << QStringList {"report.pdf -> report (2).pdf: renamed",
                            "Photos/a.jpg -> Photos (1)/a.jpg: renamed",
                            "Photos/b.jpg -> Photos (1)/b.jpg: renamed",
                            "report.pdf -> report (3).pdf: renamed", "Notes -> Notes (1): renamed"}
            << Files {{"report.pdf", "old report"},     {"report (1).pdf", "old copy"},
                      {"report (2).pdf", "new report"}, {"report (3).pdf", "second report"},
                      {"Photos/a.jpg", "old a"},        {"Photos (1)/a.jpg", "new a"},
                      {"Photos (1)/b.jpg", "new b"},    {"Notes/x", "x"},
                      {"Notes (1)", "notes file"}};
        QTest::addRow("overwrite")
            << Policy::Overwrite
            << QStringList {"report.pdf -> report.pdf: replaced", "Photos/a.jpg -> Photos/a.jpg: replaced",
                            "Photos/b.jpg -> Photos/b.jpg: arrived", "report.pdf -> report (2).pdf: renamed",
                            "Notes -> Notes (1): renamed"}
            << Files {{"report.pdf", "new report"},        {"report (1).pdf", "old copy"},
                      {"report (2).pdf", "second report"}, {"Photos/a.jpg", "new a"},
                      {"Photos/b.jpg", "new b"},           {"Notes/x", "x"},
                      {"Notes (1)", "notes file"}};
        QTest::addRow("keep") << Policy::Keep
                              << QStringList {"report.pdf -> report.pdf: skipped",
                                              "Photos/a.jpg -> Photos/a.jpg: skipped",
                                              "Photos/b.jpg -> Photos/b.jpg: arrived",
                                              "report.pdf -> report.pdf: skipped", "Notes -> Notes: skipped"}
                              << Files {{"report.pdf", "old report"},
                                        {"report (1).pdf", "old copy"},
                                        {"Photos/a.jpg", "old a"},
                                        {"Photos/b.jpg", "new b"},
                                        {"Notes/x", "x"}};
    }

    void nameClashes()
    {
        QFETCH(StagingFolder::ExistingFiles, policy);
        QFETCH(QStringList, reported);
        QFETCH(Files, files);
        for (const auto& [name, content] : {std::pair {"report.pdf", "old report"},
                                            {"report (1).pdf", "old copy"},
                                            {"Photos/a.jpg", "old a"},
                                            {"Notes/x", "x"}})
            QVERIFY(writeFile(out() + '/' + name, content));
        // Made by hand: this program's sender never names an entry twice.
        const QString path = m_env->path("clashes.tsyc");
        QVERIFY(makePasswordContainer(m_env->gpg,
                                      payloadOf({{"report.pdf", "new report"},
                                                 {"Photos/a.jpg", "new a"},
                                                 {"Photos/b.jpg", "new b"},
                                                 {"report.pdf", "second report"},
                                                 {"Notes", "notes file"}}),
                                      path));
        const JobRun run = open(path, "pw", policy);
        QCOMPARE(run.end, QStringLiteral("succeeded"));
        QCOMPARE(outcomes(run.result), reported);
        QCOMPARE(contents(out()), files);
    }

    // Names that differ only in case are two files where the file system says so, and one name
    // taken twice where it does not (a FAT file system, mounted as root).
    void namesThatDifferInCase_data()
    {
        using Policy = StagingFolder::ExistingFiles;
        QTest::addColumn<bool>("fat");
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QByteArray>("kept"); // what readme.txt holds afterwards
        const QStringList apart {"README.txt -> README.txt: arrived", "Readme.txt -> Readme.txt: arrived"};
        QTest::addRow("Linux, keep both") << false << Policy::KeepBoth << apart << QByteArray("old");
        QTest::addRow("Linux, overwrite") << false << Policy::Overwrite << apart << QByteArray("old");
        QTest::addRow("FAT, keep both")
            << true << Policy::KeepBoth
            << QStringList {"README.txt -> README (1).txt: renamed", "Readme.txt -> Readme (2).txt: renamed"}
            << QByteArray("old");
        QTest::addRow("FAT, overwrite")
            << true << Policy::Overwrite
            << QStringList {"README.txt -> README.txt: replaced", "Readme.txt -> Readme (1).txt: renamed"}
            << QByteArray("new 1");
    }

    void namesThatDifferInCase()
    {
        QFETCH(bool, fat);
        QFETCH(StagingFolder::ExistingFiles, policy);
        QFETCH(QStringList, reported);
        QFETCH(QByteArray, kept);
        const QString path = send({{"README.txt", "new 1"}, {"Readme.txt", "new 2"}}, "case.tsyc");
        std::unique_ptr<FatFolder> fatFolder;
        if (fat) {
            fatFolder = std::make_unique<FatFolder>(m_env->path("fat"));
            if (!fatFolder->mounted())
                QSKIP(qPrintable(fatFolder->why()));
        }
        const QString folder = fat ? fatFolder->path() : out();
        QVERIFY(writeFile(folder + "/readme.txt", "old"));
        OpenJob job(path, folder, policy, "pw");
        const JobRun run = JobRun::of(job, &OpenJob::succeeded);
        QCOMPARE(run.end, QStringLiteral("succeeded"));
        QCOMPARE(outcomes(run.result), reported);
        const Arrival arrival = run.result.value(0).value<Arrival>();
        QCOMPARE(readFile(folder + '/' + arrival.at(1).name), QByteArray("new 2"));
        QCOMPARE(readFile(folder + '/' + arrival.at(0).name), QByteArray("new 1"));
        QCOMPARE(readFile(folder + "/readme.txt"), kept);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(),
                 3 - reported.filter(": replaced").size());
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
        // The second entry cannot take its name: the first goes back too, and the folder made for it.
        QTest::addRow("a name too long for the file system")
            << "long"
            << "pw"
            << "failed: Cannot write to %1: Cannot open destination file: File name too long";
    }

    void failures()
    {
        QFETCH(QString, damage);
        QFETCH(QString, password);
        QFETCH(QString, end);
        const QString path = send(
            {{"a.txt", QByteArray(300000, 's')}, {damage == "long" ? "x/" + QString(300, 'n') : "x/b", "b"}},
            "damaged.tsyc", damage == "nokey" ? 1 : 2);
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
        QCOMPARE(run.end, QString(end).replace("%1", out()));
        QCOMPARE(run.warnings,
                 damage == "nokey" ? QStringList {"Cannot find " + m_fpr + " key"} : QStringList());
        QCOMPARE(tree(out()), before);
    }

    // Payloads no sender of this program makes, wrapped in a valid OpenPGP layer.
    void hostilePayloads_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("files");
        QByteArray lying = payloadOf({{"a", "abc"}});
        lying.replace(5, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QByteArray overrun = payloadOf({{"a", "abc"}, {"b", "b"}});
        overrun.replace(overrun.size() - 12, 4, QByteArray("\x00\xff\xff\xff", 4));
        QTest::addRow("huge entry count")
            << lying << "failed: Invalid container header" << QStringList() << QStringList();
        // b's chunk is swallowed by a's overrun: b comes out empty.
        QTest::addRow("chunk overruns")
            << overrun << "succeeded" << QStringList {"a -> a: arrived", "b -> b: arrived"}
            << QStringList {"a", "b"};
        Items items;
        QStringList reported;
        for (const QString name : {"../escape.txt", "/tmp/absolute.txt", "a/../../up.txt", ""}) {
            items.append({name, "x"});
            reported << name + " -> " + name + ": unsafe";
        }
        // Symbolic links in the folder are never written through: the entries go beside them.
        items << Items {{"link/through.txt", QByteArray(600000, 'x')}, {"linkfile", "x"}, {"ok.txt", "fine"}};
        reported << "link/through.txt -> link (1)/through.txt: renamed"
                 << "linkfile -> linkfile (1): renamed"
                 << "ok.txt -> ok.txt: arrived";
        QTest::addRow("unsafe names and links") << payloadOf(items) << "succeeded" << reported
                                                << QStringList {"link (1)", "linkfile (1)", "ok.txt"};
    }

    void hostilePayloads()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, end);
        QFETCH(QStringList, reported);
        QFETCH(QStringList, files);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), out() + "/link"));
        QVERIFY(QFile::link(outside.filePath("target"), out() + "/linkfile"));
        const QString path = m_env->path("hostile.tsyc");
        QVERIFY(makePasswordContainer(m_env->gpg, payload, path));
        const JobRun run = open(path);
        QCOMPARE(run.end, end);
        QCOMPARE(outcomes(run.result), reported);
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
        QSqlQuery("DELETE FROM event_files").exec();
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
        // The history keeps what arrived, as it is named in the folder.
        const QVariantMap arrived {{"name", "in.bin"}, {"size", double(content.size())}};
        QCOMPARE(FileEventsModel().files(0), QVariantList {arrived});
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

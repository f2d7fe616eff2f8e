#include "ContainerTestSupport.h"
#include "containers/ContainerManager.h"
#include "util/ScriptedPrompter.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

using namespace ContainerTestSupport;

using SizeMap = QMap<QString, int>; // entry name -> size

namespace {

QByteArray randomBytes(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(QRandomGenerator::global()->bounded(256));
    return b;
}

// Every signal of a manager, in order, as "name(args)".
class Recorder : public QObject
{
public:
    explicit Recorder(ContainerManager* m)
    {
        connect(m, &ContainerManager::error, this, [this](const QString& t) { log << "error(" + t + ")"; });
        connect(m, &ContainerManager::success, this, [this](const QString& id, qlonglong size) {
            log << QStringLiteral("success(%1,%2)").arg(id).arg(size);
        });
        connect(m, &ContainerManager::finished, this, [this] { log << QStringLiteral("finished"); });
        connect(m, &ContainerManager::canceled, this, [this] { log << QStringLiteral("canceled"); });
        connect(m, &ContainerManager::uploadingStart, this,
                [this] { log << QStringLiteral("uploadingStart"); });
    }
    QStringList log;
};

} // namespace

class TestContainerManagerSending : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<GpgHome> m_gpg;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<ScriptedServer> m_server;
    QString m_fpr;
    // What the scripted server answers; set by each data row.
    std::string m_canUpload;
    std::string m_uploadReply;
    int m_uploadStatus = 200;
    struct Part
    {
        std::string filename;
        std::string contentType;
        QByteArray content;
    };
    std::map<std::string, Part> m_parts; // the form parts of the last upload, by name

    QString work(const QString& name) const { return m_work->filePath(name); }
    QStringList leftovers() const
    {
        return QDir(m_tmp->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }
    QList<ScriptedServer::Request> requestsTo(const QString& path) const
    {
        QList<ScriptedServer::Request> list;
        for (const auto& r : m_server->requests())
            if (r.path == path)
                list << r;
        return list;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        m_gpg = std::make_unique<GpgHome>();
        QByteArray pub, sec;
        QVERIFY(m_gpg->generate(&m_fpr, &pub, &sec));
        QVERIFY(storeKey(QStringLiteral("100"), m_fpr, pub, QByteArray())); // a contact: public half only
        m_work = std::make_unique<QTemporaryDir>();
        m_tmp = std::make_unique<QTemporaryDir>();
        // Temporary containers of uploads land here, so the test sees that none is left behind.
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));

        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_server->handle("POST", "/api/can-upload", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_canUpload, "application/json");
        });
        m_server->handle("POST", "/upload-container",
                         [this](const httplib::Request& req, httplib::Response& res) {
                             m_parts.clear();
                             for (const auto& file : req.files)
                                 m_parts[file.first] = {file.second.filename, file.second.content_type,
                                                        QByteArray::fromStdString(file.second.content)};
                             res.status = m_uploadStatus;
                             res.set_content(m_uploadReply, "application/json");
                         });
    }

    // gpg-agent of the product's GnuPG home would otherwise outlive the test and its home folder.
    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", m_home->dataDir(), "--kill", "all"});
    }

    void init() { m_server->clearRequests(); }

    void localSave_data()
    {
        QTest::addColumn<SizeMap>("files"); // entry name -> size
        QTest::addColumn<int>("method");
        QTest::addRow("empty share list") << SizeMap() << 2;
        QTest::addRow("chunk boundaries")
            << SizeMap {{"zero", 0}, {"exact", 524288}, {"one more", 524289}} << 2;
        QTest::addRow("non-ASCII names, sorted")
            << SizeMap {{QStringLiteral("Ä/ö.txt"), 3}, {"B.txt", 1}, {"a.txt", 2}} << 2;
        QTest::addRow("public key") << SizeMap {{"doc.txt", 1000}} << 1;
    }

    void localSave()
    {
        QFETCH(SizeMap, files);
        QFETCH(int, method);
        QVariantMap share;
        QMap<QString, QByteArray> contents;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString source = work(QStringLiteral("src/%1").arg(contents.size()));
            contents[it.key()] = randomBytes(it.value());
            QVERIFY(writeFile(source, contents[it.key()]));
            share.insert(it.key(), source);
        }
        const QString path = work(QStringLiteral("out.tsyc"));
        const QString secret = method == 1 ? m_fpr : QStringLiteral("pass word \"quoted\"");
        ContainerManager manager;
        Recorder recorder(&manager);
        manager.shareContainer(path, share, method, secret);
        const qint64 size = QFileInfo(path).size();
        QCOMPARE(recorder.log.join('|'), QStringLiteral("success(,%1)|finished").arg(size));
        QVERIFY(!QFile::exists(path + ".encrypted"));

        const QByteArray bytes = readFile(path);
        if (method == 1) {
            QCOMPARE(bytes.right(21), QByteArray::fromHex(m_fpr.toLatin1()) + '\x01');
        } else {
            QCOMPARE(bytes.right(1), QByteArray("\x02"));
            QVERIFY(bytes.right(21).left(20) != QByteArray::fromHex(m_fpr.toLatin1()));
        }
        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(*m_gpg, path, method == 2 ? secret : QString()), &entries));
        QCOMPARE(entries.size(), files.size());
        int i = 0;
        for (auto it = files.cbegin(); it != files.cend(); ++it, ++i) {
            QCOMPARE(QString::fromUtf8(entries.at(i).name), it.key());
            QCOMPARE(entries.at(i).size, qint64(it.value()));
            QCOMPARE(entries.at(i).content, contents[it.key()]);
            for (int c = 0; c < entries.at(i).chunkLengths.size(); ++c) {
                const bool last = c == entries.at(i).chunkLengths.size() - 1;
                QCOMPARE(entries.at(i).chunkLengths.at(c), last ? it.value() - c * 524288 : 524288);
            }
        }
        QFile::remove(path);
    }

    // The save path itself in the share list: it is being written, so it goes in empty, and every
    // entry's chunks still add up to its header size.
    void containerInItsOwnList()
    {
        const QString path = work(QStringLiteral("self.tsyc"));
        QVERIFY(writeFile(path, QByteArray(5000, 'x')));
        QVERIFY(writeFile(work("z.txt"), "zzz"));
        ContainerManager manager;
        Recorder recorder(&manager);
        manager.shareContainer(path, {{"self.tsyc", path}, {"z.txt", work("z.txt")}}, 2,
                               QStringLiteral("pw"));
        QCOMPARE(recorder.log.value(1), QStringLiteral("finished"));
        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(*m_gpg, path, QStringLiteral("pw")), &entries));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).size, qint64(0));
        QCOMPARE(entries.at(1).content, QByteArray("zzz"));
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<bool>("existedBefore");
        QTest::addColumn<QStringList>("log");
        QTest::addRow("measuring") << "Calculating total size" << false
                                   << QStringList {"canceled", "finished"};
        QTest::addRow("packing over an old file")
            << "Packing data" << true << QStringList {"canceled", "finished"};
        QTest::addRow("encrypting") << "" << false
                                    << QStringList {"canceled", "finished", "error(Cannot encrypt data)"};
    }

    void cancel()
    {
        QFETCH(QString, phase);
        QFETCH(bool, existedBefore);
        QFETCH(QStringList, log);
        QVERIFY(writeFile(work("big"), randomBytes(3 * 524288)));
        QVERIFY(writeFile(work("small"), "s"));
        const QString path = work(QStringLiteral("cancelled.tsyc"));
        QFile::remove(path);
        if (existedBefore)
            QVERIFY(writeFile(path, "old"));
        ContainerManager manager;
        QString current;
        connect(&manager, qOverload<float, float, QString>(&ContainerManager::progressInit), this,
                [&](float, float, const QString& text) { current = text; });
        bool done = false;
        connect(&manager, &ContainerManager::progressValueChanged, this, [&](float) {
            if (!done && current == phase) {
                done = true;
                manager.cancel();
            }
        });
        Recorder recorder(&manager);
        manager.shareContainer(path, {{"a", work("big")}, {"b", work("small")}}, 2, QStringLiteral("pw"));
        QVERIFY(done);
        QCOMPARE(recorder.log, log);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(path + ".encrypted"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("pathLeft");
        const QString missing = QStringLiteral("/nonexistent/dir/x.tsyc");
        QTest::addRow("save path not writable")
            << missing << "a" << 2 << "pw" << QStringList {"error(Cannot open " + missing + " for writing)"}
            << false;
        QTest::addRow("source missing")
            << "partial.tsyc"
            << "missing" << 2 << "pw" << QStringList {"error(Cannot open %1 for reading)"} << true;
        QTest::addRow("unknown method")
            << "m3.tsyc"
            << "a" << 3 << "pw" << QStringList {"error(Cannot encrypt data)"} << false;
        QTest::addRow("key not stored")
            << "nokey.tsyc"
            << "a" << 1 << "0000000000000000000000000000000000000000"
            << QStringList {"error(Cannot find 0000000000000000000000000000000000000000 key)",
                            "error(Cannot encrypt data)"}
            << false;
    }

    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QString, source);
        QFETCH(int, method);
        QFETCH(QString, secret);
        QFETCH(QStringList, log);
        QFETCH(bool, pathLeft);
        QVERIFY(writeFile(work("a"), "aaa"));
        const QString target = path.startsWith('/') ? path : work(path);
        const QString sourcePath = work(source);
        ContainerManager manager;
        Recorder recorder(&manager);
        manager.shareContainer(target, {{"a", sourcePath}}, method, secret);
        log.replaceInStrings(QStringLiteral("%1"), sourcePath);
        QCOMPARE(recorder.log, log);
        QCOMPARE(QFile::exists(target), pathLeft);
        QFile::remove(target);
    }

    void upload_data()
    {
        QTest::addColumn<QByteArray>("canUpload");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("uploaded");
        QTest::addRow("file id 17") << QByteArray(R"({"success":true})") << 200
                                    << QByteArray(R"({"fileId":17})")
                                    << QStringList {"uploadingStart", "finished", "success(17,%1)"} << true;
        QTest::addRow("file id as text")
            << QByteArray(R"({"success":true})") << 200 << QByteArray(R"({"fileId":"17"})")
            << QStringList {"uploadingStart", "error(Invalid file id in response)", "finished"} << true;
        QTest::addRow("server error text")
            << QByteArray(R"({"success":true})") << 200 << QByteArray(R"({"error":"Disk full"})")
            << QStringList {"uploadingStart", "error(Disk full)", "finished"} << true;
        QTest::addRow("neither member") << QByteArray(R"({"success":true})") << 200 << QByteArray("{}")
                                        << QStringList {"uploadingStart", "finished"} << true;
        QTest::addRow("HTTP 500") << QByteArray(R"({"success":true})") << 500 << QByteArray()
                                  << QStringList {"uploadingStart",
                                                  "error(Network error occured: InternalServerError)",
                                                  "finished"}
                                  << true;
        QTest::addRow("quota") << QByteArray(R"({"success":false,"error":"Quota exceeded"})") << 200
                               << QByteArray() << QStringList {"error(Quota exceeded)"} << false;
        QTest::addRow("refused without text") << QByteArray(R"({"success":false})") << 200 << QByteArray()
                                              << QStringList {"error(Invalid server response)"} << false;
        QTest::addRow("no answer") << QByteArray() << 200 << QByteArray()
                                   << QStringList {"error(Invalid server response)"} << false;
    }

    void upload()
    {
        QFETCH(QByteArray, canUpload);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, log);
        QFETCH(bool, uploaded);
        m_canUpload = canUpload.toStdString();
        m_uploadStatus = status;
        m_uploadReply = reply.toStdString();
        QVERIFY(writeFile(work("up.txt"), randomBytes(70000)));
        ContainerManager manager;
        Recorder recorder(&manager);
        manager.shareContainer(QString(), {{"up.txt", work("up.txt")}}, 2, QStringLiteral("pw"));
        QVERIFY(leftovers().isEmpty());

        const auto asks = requestsTo(QStringLiteral("/api/can-upload"));
        QCOMPARE(asks.size(), 1);
        const qint64 size = QJsonDocument::fromJson(asks.at(0).body.mid(17))
                                .object()
                                .value("size")
                                .toVariant()
                                .toLongLong();
        QVERIFY(size > 70000);
        log.replaceInStrings(QStringLiteral("%1"), QString::number(size));
        QCOMPARE(recorder.log, log);

        const auto uploads = requestsTo(QStringLiteral("/upload-container"));
        QCOMPARE(uploads.size(), uploaded ? 1 : 0);
        if (!uploaded)
            return;
        const ScriptedServer::Request& up = uploads.at(0);
        QCOMPARE(up.headers.value("user-agent"), QStringLiteral("Tessary/2.0.1"));
        QVERIFY(up.headers.value("content-type").startsWith("multipart/form-data"));
        QCOMPARE(m_parts.size(), size_t(2));
        const Part& container = m_parts["container"];
        QCOMPARE(container.filename, std::string("container"));
        QCOMPARE(container.contentType, std::string("application/octet-stream"));
        // The container part holds exactly the container: size as announced, trailer at its end,
        // and it opens with the password.
        QCOMPARE(qint64(container.content.size()), size);
        QCOMPARE(container.content.right(1), QByteArray("\x02"));
        QVERIFY(writeFile(work("uploaded.tsyc"), container.content));
        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(*m_gpg, work("uploaded.tsyc"), QStringLiteral("pw")), &entries));
        QCOMPARE(entries.value(0).content, readFile(work("up.txt")));
        const QByteArray uid = QSettings().value("uid").toUuid().toString().toLatin1();
        QCOMPARE(uid.size(), 38);
        QCOMPARE(m_parts["uid"].content, uid);
        QVERIFY(m_parts["uid"].filename.empty());
    }

    void cancelUpload()
    {
        m_canUpload = R"({"success":true})";
        m_uploadStatus = 200;
        m_uploadReply = R"({"fileId":5})";
        QVERIFY(writeFile(work("large"), randomBytes(4 * 1024 * 1024)));
        ContainerManager manager;
        bool uploading = false;
        connect(&manager, &ContainerManager::uploadingStart, this, [&] { uploading = true; });
        connect(&manager, &ContainerManager::progressValueChanged, this, [&](float value) {
            if (uploading && value > 0 && !QTest::currentTestFailed()) {
                uploading = false;
                manager.cancel();
            }
        });
        Recorder recorder(&manager);
        manager.shareContainer(QString(), {{"large", work("large")}}, 2, QStringLiteral("pw"));
        QCOMPARE(recorder.log, (QStringList {"uploadingStart", "canceled", "finished", "finished"}));
        QVERIFY(leftovers().isEmpty());
    }

    void cancelWhileAskingTheServer()
    {
        m_canUpload = R"({"success":true})";
        ContainerManager manager;
        // The cancel arrives while "/can-upload" waits: nothing may be uploaded afterwards.
        QTimer::singleShot(0, &manager, &ContainerManager::cancel);
        QVERIFY(writeFile(work("c.txt"), "c"));
        manager.shareContainer(QString(), {{"c.txt", work("c.txt")}}, 2, QStringLiteral("pw"));
        QCOMPARE(requestsTo(QStringLiteral("/upload-container")).size(), 0);
        QVERIFY(leftovers().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerSending)
#include "TestContainerManagerSending.moc"

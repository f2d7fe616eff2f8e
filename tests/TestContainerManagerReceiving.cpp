#include "ContainerTestSupport.h"
#include "containers/ContainerManager.h"
#include "util/ScriptedPrompter.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QSettings>
#include <QThread>
#include <QtTest>

#include <httplib.h>

using namespace ContainerTestSupport;

class TestContainerManagerReceiving : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<GpgHome> m_gpg;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<ScriptedServer> m_server;
    std::string m_container; // what GET /id42 serves
    std::string m_newFiles; // what "/check-new-files" answers

    QList<ScriptedServer::Request> requestsTo(const QString& path) const
    {
        QList<ScriptedServer::Request> list;
        for (const auto& r : m_server->requests())
            if (r.path == path)
                list << r;
        return list;
    }
    QStringList leftovers() const
    {
        return QDir(m_tmp->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

    // Every signal of a manager, in order.
    static void record(ContainerManager* m, QStringList* log)
    {
        QObject::connect(m, &ContainerManager::start, [log] { *log << "start"; });
        QObject::connect(m, &ContainerManager::info, [log](const QString& t) { *log << "info(" + t + ")"; });
        QObject::connect(m, &ContainerManager::warn, [log](const QString& t) { *log << "warn(" + t + ")"; });
        QObject::connect(m, &ContainerManager::error,
                         [log](const QString& t) { *log << "error(" + t + ")"; });
        QObject::connect(m, &ContainerManager::decryptionStart, [log] { *log << "decryptionStart"; });
        QObject::connect(m, &ContainerManager::finished, [log] { *log << "finished"; });
        QObject::connect(m, &ContainerManager::serverClear, [log](const QString& id, bool rejected) {
            *log << QStringLiteral("serverClear(%1,%2)").arg(id).arg(rejected);
        });
        QObject::connect(m, &ContainerManager::cleared, [log] { *log << "cleared"; });
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        m_gpg = std::make_unique<GpgHome>();
        m_work = std::make_unique<QTemporaryDir>();
        m_out = std::make_unique<QTemporaryDir>();
        m_tmp = std::make_unique<QTemporaryDir>();
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
        QSettings().setValue("extractPath", m_out->path());

        QVERIFY(writeFile(m_work->filePath("in.txt"), "received content"));
        const QString path = m_work->filePath("c.tsyc");
        ContainerManager sender;
        sender.shareContainer(path, {{"in.txt", m_work->filePath("in.txt")}}, 2, "pw");
        m_container = readFile(path).toStdString();
        QVERIFY(!m_container.empty());

        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_server->handle("GET", "/id42", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_container, "application/octet-stream");
        });
        m_server->reply("POST", "/api/download-complete", 200, "{}");
        m_server->handle("POST", "/api/check-new-files",
                         [this](const httplib::Request&, httplib::Response& res) {
                             res.set_content(m_newFiles, "application/json");
                         });
        // Endless and slow: only a cancel ends this download.
        m_server->handle("GET", "/id7", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t, httplib::DataSink& sink) {
                QThread::msleep(20);
                const std::string piece(65536, 'x');
                return sink.write(piece.data(), piece.size());
            });
        });
    }

    // gpg-agent of the product's GnuPG home would otherwise outlive the test and its home folder.
    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", m_home->dataDir(), "--kill", "all"});
    }

    void init() { m_server->clearRequests(); }

    void downloadAndExtract()
    {
        ScriptedPrompter prompter;
        prompter.passwords.enqueue("pw");
        ContainerManager manager(nullptr, &prompter);
        QStringList log;
        record(&manager, &log);
        QSignalSpy progress(&manager, &ContainerManager::progressValueChanged);
        manager.downloadById("42");
        QCOMPARE(log,
                 (QStringList {"start", "info(Downloading crypted container)", "start", "decryptionStart",
                               "info(Decrypting container)", "info(Extracting " + m_out->path() + "/in.txt)",
                               "finished", "cleared", "serverClear(42,0)", "finished"}));
        QVERIFY(progress.count() > 0);
        QCOMPARE(readFile(m_out->path() + "/in.txt"), QByteArray("received content"));
        const auto downloads = requestsTo("/id42");
        QCOMPARE(downloads.size(), 1);
        QCOMPARE(downloads.at(0).headers.value("user-agent"), QStringLiteral("Tessary/2.0.1"));
        const auto complete = requestsTo("/api/download-complete");
        QCOMPARE(complete.size(), 1);
        QCOMPARE(complete.at(0).body.mid(17),
                 QByteArray("\x00"
                            "42",
                            3));
        QVERIFY(leftovers().isEmpty());
    }

    void reject()
    {
        ContainerManager manager;
        QStringList log;
        record(&manager, &log);
        emit manager.serverClear("42", true);
        QCOMPARE(log, (QStringList {"cleared", "serverClear(42,1)"}));
        QCOMPARE(requestsTo("/api/download-complete").value(0).body.mid(17),
                 QByteArray("\x01"
                            "42"));
    }

    void failedDownload()
    {
        ContainerManager manager;
        QStringList log;
        record(&manager, &log);
        manager.downloadById("404");
        QVERIFY(log.contains("error(Network error occured: ContentNotFoundError)"));
        QVERIFY(log.contains("error(Cannot decrypt container)"));
        QVERIFY(!log.contains("cleared"));
        QCOMPARE(log.last(), QStringLiteral("finished"));
        QVERIFY(requestsTo("/api/download-complete").isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    void cancelDownload()
    {
        ContainerManager manager;
        QStringList log;
        record(&manager, &log);
        int reports = 0;
        connect(&manager, &ContainerManager::progressValueChanged, &manager, [&] {
            if (++reports == 5)
                manager.cancel();
        });
        manager.downloadById("7");
        QCOMPARE(log,
                 (QStringList {"start", "info(Downloading crypted container)", "finished", "warn(Canceled)",
                               "finished"}));
        QVERIFY(requestsTo("/api/download-complete").isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    void checkNewFiles_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::addRow("two files") << QByteArray(
            R"([{"fileId":5,"fileSize":100,"uploaderKeyId":"77"},{"fileId":"6"}])")
                                   << 2;
        QTest::addRow("empty array") << QByteArray("[]") << 0;
        QTest::addRow("object") << QByteArray(R"({"fileId":5})") << 0;
        QTest::addRow("no body") << QByteArray() << 0;
    }

    void checkNewFiles()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        m_newFiles = reply.toStdString();
        ContainerManager manager;
        const QVariantList files = manager.checkNewFiles();
        QCOMPARE(files.size(), count);
        QCOMPARE(requestsTo("/api/check-new-files").value(0).body.mid(17), QByteArray("CHECK"));
        if (count == 2) {
            const QVariantMap first = files.at(0).toMap();
            QCOMPARE(first.value("fileId").toInt(), 5);
            QCOMPARE(first.value("fileSize").toLongLong(), 100);
            QCOMPARE(first.value("uploaderKeyId").toString(), QStringLiteral("77"));
            QCOMPARE(files.at(1).toMap().value("fileId").toString(), QStringLiteral("6"));
        }
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerReceiving)
#include "TestContainerManagerReceiving.moc"

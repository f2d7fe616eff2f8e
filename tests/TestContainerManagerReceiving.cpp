#include "ContainerTestSupport.h"
#include "util/ScriptedPrompter.h"

#include <QSettings>
#include <QThread>
#include <QtTest>

#include <httplib.h>

using namespace ContainerTestSupport;

class TestContainerManagerReceiving : public QObject
{
    Q_OBJECT

    std::unique_ptr<Env> m_env;
    std::unique_ptr<ScriptedServer> m_server;
    std::string m_newFiles; // what "/check-new-files" answers

    QString out() const { return m_env->path("out"); }
    QByteArray completeBody() const
    {
        return requestsTo(*m_server, "/api/download-complete").value(0).body.mid(17);
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<Env>();
        QVERIFY(m_env->home.openDatabase());
        QVERIFY(QDir().mkpath(out()));
        QSettings().setValue("extractPath", out());
        QVERIFY(writeFile(m_env->path("in.txt"), "received content"));
        ContainerManager sender;
        sender.shareContainer(m_env->path("c.tsyc"), {{"in.txt", m_env->path("in.txt")}}, 2, "pw");
        const std::string container = readFile(m_env->path("c.tsyc")).toStdString();
        QVERIFY(!container.empty());

        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_server->handle("GET", "/id42", [container](const httplib::Request&, httplib::Response& res) {
            res.set_content(container, "application/octet-stream");
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

    void init() { m_server->clearRequests(); }

    void downloadAndExtract()
    {
        ScriptedPrompter prompter;
        prompter.passwords.enqueue("pw");
        ContainerManager manager(nullptr, &prompter);
        QStringList log;
        record(&manager, &log);
        manager.downloadById("42");
        QCOMPARE(log, (QStringList {"finished", "cleared", "serverClear(42,0)", "finished"}));
        QCOMPARE(readFile(out() + "/in.txt"), QByteArray("received content"));
        QCOMPARE(requestsTo(*m_server, "/id42").size(), 1);
        QCOMPARE(completeBody(),
                 QByteArray("\x00"
                            "42",
                            3));
        QVERIFY(m_env->leftovers().isEmpty());
    }

    void reject()
    {
        ContainerManager manager;
        QStringList log;
        record(&manager, &log);
        emit manager.serverClear("42", true);
        QCOMPARE(log, (QStringList {"cleared", "serverClear(42,1)"}));
        QCOMPARE(completeBody(),
                 QByteArray("\x01"
                            "42"));
    }

    // A failed or cancelled download must not tell the server it was received.
    void failedDownload_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("log");
        QTest::addRow("not found") << "404"
                                   << QStringList {"error(Network error occured: ContentNotFoundError)",
                                                   "error(Cannot decrypt container)", "finished", "finished"};
        QTest::addRow("cancelled") << "7"
                                   << QStringList {"canceled", "finished", "warn(Canceled)", "finished"};
    }

    void failedDownload()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, log);
        ContainerManager manager;
        QStringList actual;
        record(&manager, &actual);
        int reports = 0; // the endless download of id 7 is cancelled at its fifth progress report
        connect(&manager, &ContainerManager::progressValueChanged, &manager, [&] {
            if (++reports == 5)
                manager.cancel();
        });
        manager.downloadById(id);
        QCOMPARE(actual, log);
        QVERIFY(requestsTo(*m_server, "/api/download-complete").isEmpty());
        QVERIFY(m_env->leftovers().isEmpty());
    }

    void checkNewFiles_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::addRow("two files") << QByteArray(
            R"([{"fileId":5,"fileSize":100,"uploaderKeyId":"77"},{"fileId":6}])")
                                   << 2;
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
        QCOMPARE(requestsTo(*m_server, "/api/check-new-files").value(0).body.mid(17), QByteArray("CHECK"));
        if (count) {
            const QVariantMap first = files.at(0).toMap();
            QCOMPARE(first.value("fileId").toInt(), 5);
            QCOMPARE(first.value("fileSize").toLongLong(), 100);
            QCOMPARE(first.value("uploaderKeyId").toString(), QStringLiteral("77"));
        }
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerReceiving)
#include "TestContainerManagerReceiving.moc"

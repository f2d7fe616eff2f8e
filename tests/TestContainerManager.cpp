// The pages' view of the jobs: the slots of ContainerManager that QML calls and the order of the
// signals it hears, with the dialogs answered by a script.
#include "ContainerTestSupport.h"
#include "containers/ContainerManager.h"
#include "util/ScriptedPrompter.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <httplib.h>

using namespace ContainerTestSupport;

class TestContainerManager : public QObject
{
    Q_OBJECT

    Env m_env;
    ScriptedServer m_server;
    ScriptedPrompter m_prompter;
    ContainerManager m_manager {nullptr, &m_prompter};
    QStringList m_log;

    // Every signal that tells QML how an operation goes, in order.
    void record()
    {
        connect(&m_manager, &ContainerManager::error, this,
                [this](const QString& t) { m_log << "error(" + t + ")"; });
        connect(&m_manager, &ContainerManager::success, this,
                [this](const QString& id, qlonglong) { m_log << "success(" + id + ")"; });
        connect(&m_manager, &ContainerManager::finished, this, [this] { m_log << "finished"; });
        connect(&m_manager, &ContainerManager::canceled, this, [this] { m_log << "canceled"; });
        connect(&m_manager, &ContainerManager::decryptionStart, this, [this] { m_log << "decryptionStart"; });
        connect(&m_manager, &ContainerManager::serverClear, this, [this](const QString& id, bool rejected) {
            m_log << QStringLiteral("serverClear(%1,%2)").arg(id).arg(rejected);
        });
        connect(&m_manager, &ContainerManager::cleared, this, [this] { m_log << "cleared"; });
    }

    QStringList takeLog(const QString& last)
    {
        (void)QTest::qWaitFor([&] { return m_log.contains(last); }, 60000);
        return std::exchange(m_log, QStringList());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.home.openDatabase());
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        m_server.reply("POST", "/api/download-complete", 200, "{}");
        m_server.reply("POST", "/api/check-new-files", 200, R"([{"fileId":5,"fileSize":9}])");
        record();
    }

    // The folders of the dialogs are remembered; a cancelled dialog changes nothing.
    void dialogs()
    {
        m_prompter.saveNames.enqueue("/data/out/photos.tsyc");
        QCOMPARE(m_manager.saveContainerDialog("photos.tsyc"), "/data/out/photos.tsyc");
        QCOMPARE(m_prompter.preselected.last(), "photos.tsyc");
        QCOMPARE(m_manager.saveContainerDialog(), QString());
        m_prompter.openNames.enqueue("/data/in/x.tsyc");
        QCOMPARE(m_manager.openContainerDialog(), "/data/in/x.tsyc");
        QSettings settings;
        QCOMPARE(settings.value("fileDialogs/lastSaveContainer").toString(), "/data/out");
        QCOMPARE(settings.value("fileDialogs/lastOpenContainer").toString(), "/data/in");
        // A folder that is not there is no place to start: the default folder is.
        m_manager.openDirDialog(m_env.path("gone"));
        QCOMPARE(m_prompter.startDirs.last(), m_manager.defaultExtractPath());
        QVERIFY(m_manager.isDirWritable(m_manager.defaultExtractPath()));
    }

    // Saved locally, then opened: the password is asked for until one is given; a cancel ends it
    // without a word.
    void localContainer()
    {
        const QString path = m_env.path("local.tsyc");
        QVERIFY(writeFile(m_env.path("in.txt"), "local content"));
        m_manager.shareContainer(path, {{"in.txt", m_env.path("in.txt")}}, 2, "pw");
        QCOMPARE(takeLog("finished"), QStringList({"success()", "finished"}));

        QSettings().setValue("extractPath", m_env.path("out"));
        QDir().mkpath(m_env.path("out"));
        m_prompter.passwords.enqueue(QString()); // cancel
        m_manager.extractContainer(path);
        QCOMPARE(takeLog("finished"), QStringList {"finished"});
        m_prompter.passwords << ""
                             << "wrong";
        m_manager.extractContainer(path);
        QCOMPARE(takeLog("finished"),
                 QStringList({"decryptionStart", "error(Cannot decrypt container)", "finished"}));
        QCOMPARE(m_prompter.questions.count("Enter password"), 3);
        m_prompter.passwords << "pw";
        m_manager.extractContainer(path);
        QCOMPARE(takeLog("finished"), QStringList({"decryptionStart", "finished"}));
        QCOMPARE(readFile(m_env.path("out/in.txt")), QByteArray("local content"));
    }

    void relay()
    {
        QSignalSpy listed(&m_manager, &ContainerManager::newFiles);
        m_manager.checkNewFiles();
        QVERIFY(listed.wait(30000));
        QCOMPARE(listed.at(0).at(0).toList().value(0).toMap().value("fileId").toInt(), 5);
        // A rejection is asked first; a "no" tells the relay nothing.
        const int requests = m_server.requests().size();
        QVERIFY(!m_manager.rejectFile("5", 9, "77"));
        QCOMPARE(m_server.requests().size(), requests);
        m_prompter.confirmations.enqueue(true);
        QVERIFY(m_manager.rejectFile("5", 9, "77"));
        QCOMPARE(takeLog("finished"), QStringList({"serverClear(5,1)", "cleared", "finished"}));
        QVERIFY2(m_prompter.questions.last().contains("from 77 (0.01 Kb)"),
                 qPrintable(m_prompter.questions.last()));
        QCOMPARE(m_server.lastRequest().body.mid(17),
                 QByteArray("\x01"
                            "5"));
        QSqlQuery event("SELECT remote_key_id, file_id, status, size FROM file_events");
        QVERIFY(event.next());
        QCOMPARE(QStringList({event.value(0).toString(), event.value(1).toString(), event.value(2).toString(),
                              event.value(3).toString()}),
                 QStringList({"77", "5", "1", "9"}));
        // Nothing running: a cancel still says so.
        m_manager.cancel();
        QCOMPARE(takeLog("finished"), QStringList({"canceled", "finished"}));
    }
};

QTEST_GUILESS_MAIN(TestContainerManager)
#include "TestContainerManager.moc"

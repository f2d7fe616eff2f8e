#include "ContainerTestSupport.h"
#include "containers/ContainerManager.h"
#include "containers/PayloadWriter.h"
#include "util/ScriptedPrompter.h"
#include "util/TestHome.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QSettings>
#include <QtTest>

using namespace ContainerTestSupport;

namespace {

struct Item
{
    QString name;
    QByteArray content;
};

// A payload as the writer lays it out, from names and contents.
QByteArray payloadOf(const QList<Item>& items)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PayloadWriter writer(&buffer);
    QVector<PayloadRecord> records;
    for (const Item& item : items)
        records.append({item.name, item.content.size()});
    writer.writeHeader(records);
    for (const Item& item : items)
        for (int pos = 0; pos < item.content.size(); pos += 524288)
            writer.writeChunk(item.content.constData() + pos, qMin(524288, item.content.size() - pos));
    return buffer.data();
}

QStringList tree(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

class Recorder : public QObject
{
public:
    explicit Recorder(ContainerManager* m)
    {
        connect(m, &ContainerManager::error, this, [this](const QString& t) { log << "error(" + t + ")"; });
        connect(m, &ContainerManager::warn, this, [this](const QString& t) { log << "warn(" + t + ")"; });
        connect(m, &ContainerManager::finished, this, [this] { log << QStringLiteral("finished"); });
    }
    QStringList log;
};

} // namespace

class TestContainerManagerExtracting : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<GpgHome> m_gpg;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_out;
    QString m_fpr;

    QString work(const QString& name) const { return m_work->filePath(name); }
    QString out() const { return m_out->path(); }

    // A container sent by the real pipeline with a password.
    QString send(const QList<Item>& items, const QString& name, int method = 2, const QString& secret = "pw")
    {
        QVariantMap share;
        int i = 0;
        for (const Item& item : items) {
            const QString source = work(QStringLiteral("src-%1-%2").arg(name).arg(i++));
            writeFile(source, item.content);
            share.insert(item.name, source);
        }
        const QString path = work(name);
        ContainerManager sender;
        sender.shareContainer(path, share, method, secret);
        return path;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        m_gpg = std::make_unique<GpgHome>();
        QByteArray pub, sec;
        QVERIFY(m_gpg->generate(&m_fpr, &pub, &sec));
        QVERIFY(storeKey(QStringLiteral("1"), m_fpr, pub, sec)); // the user's own pair
        m_work = std::make_unique<QTemporaryDir>();
    }

    // gpg-agent of the product's GnuPG home would otherwise outlive the test and its home folder.
    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", m_home->dataDir(), "--kill", "all"});
    }

    void init()
    {
        m_out = std::make_unique<QTemporaryDir>();
        QSettings settings;
        settings.setValue("extractPath", out());
        settings.setValue("dontOverwriteExistingFiles", false);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("method");
        QTest::addRow("password") << 2;
        QTest::addRow("own key") << 1;
    }

    void roundTrip()
    {
        QFETCH(int, method);
        const QList<Item> items {{"empty", ""},
                                 {QStringLiteral("Grüße/日本語.txt"), "unicode"},
                                 {"docs/deep/a.txt", QByteArray(524289, 'a')},
                                 {"z", QByteArray(524288, 'z')}};
        const QString path = send(items, QStringLiteral("round%1.tsyc").arg(method), method,
                                  method == 1 ? m_fpr : QStringLiteral("pw"));
        const QByteArray before = readFile(path);
        ScriptedPrompter prompter;
        prompter.passwords.enqueue("pw");
        ContainerManager manager(nullptr, &prompter);
        Recorder recorder(&manager);
        QVERIFY(manager.extractContainer(path));
        QCOMPARE(recorder.log, QStringList {"finished"});
        QCOMPARE(prompter.questions, method == 2 ? QStringList {"Enter password"} : QStringList());
        for (const Item& item : items)
            QCOMPARE(readFile(out() + '/' + item.name), item.content);
        QVERIFY(QFileInfo(out() + "/empty").isFile());
        // A user's container file is never changed, and nothing is left beside it.
        QCOMPARE(readFile(path), before);
        QVERIFY(!QFile::exists(path + ".decrypted"));
    }

    void existingFiles_data()
    {
        QTest::addColumn<bool>("dontOverwrite");
        QTest::addRow("skip") << true;
        QTest::addRow("overwrite") << false;
    }

    void existingFiles()
    {
        QFETCH(bool, dontOverwrite);
        const QString path = send({{"a.txt", "new a"}, {"b.txt", "new b"}}, "existing.tsyc");
        QVERIFY(writeFile(out() + "/a.txt", "old"));
        QSettings().setValue("dontOverwriteExistingFiles", dontOverwrite);
        ScriptedPrompter prompter;
        prompter.passwords.enqueue("pw");
        ContainerManager manager(nullptr, &prompter);
        Recorder recorder(&manager);
        QVERIFY(manager.extractContainer(path));
        QCOMPARE(recorder.log.value(0),
                 dontOverwrite ? QStringLiteral("warn(File already exists. Skipping)")
                               : QStringLiteral("warn(File already exists. Overwriting)"));
        QCOMPARE(readFile(out() + "/a.txt"), dontOverwrite ? QByteArray("old") : QByteArray("new a"));
        QCOMPARE(readFile(out() + "/b.txt"), QByteArray("new b"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("questions");
        const QStringList cannot {"error(Cannot decrypt container)", "finished"};
        QTest::addRow("altered byte") << "alter" << QStringList {"pw"} << cannot << 1;
        QTest::addRow("cut short") << "cut" << QStringList {"pw"} << cannot << 1;
        QTest::addRow("unknown method byte") << "method" << QStringList() << cannot << 0;
        QTest::addRow("wrong password") << "" << QStringList {"wrong"} << cannot << 1;
        QTest::addRow("password cancelled") << "" << QStringList() << QStringList {"finished"} << 1;
        QTest::addRow("empty password asked again")
            << "" << QStringList {"", "", "pw"} << QStringList {"finished"} << 3;
        QTest::addRow("no extraction folder")
            << "nofolder" << QStringList {"pw"}
            << QStringList {"error(Directory  is not writable)", "finished"} << 0;
        QTest::addRow("missing container")
            << "missing" << QStringList {"pw"}
            << QStringList {"error(Cannot open %1 for reading)", "finished"} << 0;
    }

    void failures()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, passwords);
        QFETCH(QStringList, log);
        QFETCH(int, questions);
        QString path = send({{"secret.txt", QByteArray(300000, 's')}, {"b", "b"}}, "damaged.tsyc");
        QByteArray bytes = readFile(path);
        if (damage == "alter")
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
        else if (damage == "cut")
            bytes = bytes.left(bytes.size() - 1000) + '\x02';
        else if (damage == "method")
            bytes[bytes.size() - 1] = '\x07';
        else if (damage == "nofolder")
            QSettings().remove("extractPath");
        else if (damage == "missing")
            path = work("does-not-exist.tsyc");
        if (damage != "missing")
            QVERIFY(writeFile(path, bytes));
        ScriptedPrompter prompter;
        for (const QString& p : passwords)
            prompter.passwords.enqueue(p);
        ContainerManager manager(nullptr, &prompter);
        Recorder recorder(&manager);
        QCOMPARE(manager.extractContainer(path), log.size() == 1 && damage.isEmpty() && questions == 3);
        log.replaceInStrings("%1", path);
        QCOMPARE(recorder.log, log);
        QCOMPARE(prompter.questions.size(), questions);
        if (questions != 3)
            QCOMPARE(tree(out()), QStringList());
        QVERIFY(!QFile::exists(path + ".decrypted"));
    }

    void missingKey()
    {
        const QString path = send({{"a", "a"}}, "key.tsyc", 1, m_fpr);
        QSqlQuery remove;
        QVERIFY(remove.exec("UPDATE key_data SET private = NULL"));
        ContainerManager manager;
        Recorder recorder(&manager);
        QVERIFY(!manager.extractContainer(path));
        QCOMPARE(recorder.log.mid(recorder.log.size() - 2),
                 (QStringList {"error(Cannot decrypt container)", "finished"}));
        QVERIFY(recorder.log.first().startsWith(QStringLiteral("error(Cannot find ")));
        QCOMPARE(tree(out()), QStringList());
    }

    // Payloads no sender of this program makes, wrapped in a valid OpenPGP layer.
    void hostilePayloads_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("files");
        QByteArray lying = payloadOf({{"a", "abc"}});
        lying.replace(5, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QByteArray version0 = payloadOf({{"v0", "zero"}});
        version0[4] = 0;
        QByteArray version2 = version0;
        version2[4] = 2;
        QByteArray overrun = payloadOf({{"a", "abc"}, {"b", "b"}});
        overrun.replace(overrun.size() - 12, 4, QByteArray("\x00\xff\xff\xff", 4));
        QTest::addRow("huge entry count")
            << lying << false << QStringList {"error(Invalid container header)", "finished"} << QStringList();
        QTest::addRow("wrong magic") << QByteArray("XXXX") + payloadOf({}).mid(4) << false
                                     << QStringList {"error(Invalid container header)", "finished"}
                                     << QStringList();
        QTest::addRow("version 2") << version2 << false
                                   << QStringList {"error(Unknown container version)", "finished"}
                                   << QStringList();
        QTest::addRow("version 0") << version0 << true << QStringList {"finished"} << QStringList {"v0"};
        QTest::addRow("chunk overruns")
            << overrun << true << QStringList {"finished"} << QStringList {"a", "b"};
        const QString unsafe = QStringLiteral("warn(Unsafe file name. Skipping %1)");
        QTest::addRow("unsafe names") << payloadOf({{"../escape.txt", "x"},
                                                    {"/tmp/absolute.txt", "x"},
                                                    {"a/../../up.txt", "x"},
                                                    {"", "x"},
                                                    {"link/through.txt", QByteArray(600000, 'x')},
                                                    {"linkfile", "x"},
                                                    {"ok.txt", "fine"}})
                                      << true
                                      << QStringList {unsafe.arg("../escape.txt"),
                                                      unsafe.arg("/tmp/absolute.txt"),
                                                      unsafe.arg("a/../../up.txt"),
                                                      unsafe.arg(""),
                                                      unsafe.arg("link/through.txt"),
                                                      unsafe.arg("linkfile"),
                                                      "finished"}
                                      << QStringList {"ok.txt"};
    }

    void hostilePayloads()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, result);
        QFETCH(QStringList, log);
        QFETCH(QStringList, files);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), out() + "/link"));
        QVERIFY(QFile::link(outside.filePath("target"), out() + "/linkfile"));
        const QString path = work("hostile.tsyc");
        QVERIFY(makePasswordContainer(*m_gpg, payload, "pw", path));
        ScriptedPrompter prompter;
        prompter.passwords.enqueue("pw");
        ContainerManager manager(nullptr, &prompter);
        Recorder recorder(&manager);
        QCOMPARE(manager.extractContainer(path), result);
        QCOMPARE(recorder.log, log);
        QStringList extracted = QDir(out()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        QVERIFY(extracted.removeAll("link") == 1 && extracted.removeAll("linkfile") == 1);
        QCOMPARE(extracted, files);
        QCOMPARE(tree(outside.path()), QStringList());
        QVERIFY(!QFile::exists(QFileInfo(out()).path() + "/escape.txt"));
        if (files.contains("ok.txt"))
            QCOMPARE(readFile(out() + "/ok.txt"), QByteArray("fine"));
        if (files.contains("a"))
            QCOMPARE(readFile(out() + "/b"), QByteArray()); // its chunk was swallowed by the overrun
        QVERIFY(!QFile::exists(path + ".decrypted"));
    }

    void folders()
    {
        ContainerManager manager;
        QVERIFY(manager.isDirWritable(out()));
        QVERIFY(!manager.isDirWritable(QString()));
        QVERIFY(!manager.isDirWritable(out() + "/missing"));
        QVERIFY(writeFile(out() + "/file", "f"));
        QVERIFY(!manager.isDirWritable(out() + "/file"));
        const QString expected = m_home->path() + "/Documents/Tessary";
        QDir(expected).removeRecursively();
        QCOMPARE(manager.defaultExtractPath(), expected);
        QVERIFY(QFileInfo(expected).isDir());

        ScriptedPrompter prompter;
        ContainerManager dialogs(nullptr, &prompter);
        prompter.directories.enqueue(out());
        QCOMPARE(dialogs.openDirDialog(out() + "/missing"), out());
        QCOMPARE(prompter.startDirs.last(), expected);
        prompter.saveNames.enqueue(out() + "/x.tsyc");
        QCOMPARE(dialogs.saveContainerDialog("photos.tsyc"), out() + "/x.tsyc");
        QCOMPARE(prompter.preselected.last(), QStringLiteral("photos.tsyc"));
        QCOMPARE(QSettings().value("fileDialogs/lastSaveContainer").toString(), out());
        QCOMPARE(dialogs.openContainerDialog(), QString()); // cancelled: nothing stored
        QVERIFY(!QSettings().contains("fileDialogs/lastOpenContainer"));

        QSignalSpy canceled(&dialogs, &ContainerManager::canceled);
        QSignalSpy finished(&dialogs, &ContainerManager::finished);
        dialogs.showError("broken");
        dialogs.showError("again"); // after the first, no second box
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.at(0).title, QStringLiteral("Error"));
        QCOMPARE(prompter.messages.at(0).icon, Prompter::Icon::Critical);
        QCOMPARE(canceled.count(), 2);
        QCOMPARE(finished.count(), 2);
        dialogs.showSuccess("done");
        QCOMPARE(prompter.messages.at(1).title, QStringLiteral("Success"));
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerExtracting)
#include "TestContainerManagerExtracting.moc"

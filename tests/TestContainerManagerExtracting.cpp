#include "ContainerTestSupport.h"
#include "containers/PayloadWriter.h"
#include "util/ScriptedPrompter.h"

#include <QBuffer>
#include <QSettings>
#include <QtTest>

using namespace ContainerTestSupport;

namespace {

using Items = QList<QPair<QString, QByteArray>>; // entry name, content

// A payload as the writer lays it out.
QByteArray payloadOf(const Items& items)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PayloadWriter writer(&buffer);
    QVector<PayloadRecord> records;
    for (const auto& item : items)
        records.append({item.first, item.second.size()});
    writer.writeHeader(records);
    for (const auto& item : items)
        for (int pos = 0; pos < item.second.size(); pos += 524288)
            writer.writeChunk(item.second.constData() + pos, qMin(524288, item.second.size() - pos));
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

} // namespace

class TestContainerManagerExtracting : public QObject
{
    Q_OBJECT

    std::unique_ptr<Env> m_env;
    std::unique_ptr<QTemporaryDir> m_out;
    QString m_fpr;

    QString out() const { return m_out->path(); }

    // A container made by the real sending pipeline.
    QString send(const Items& items, const QString& name, int method = 2)
    {
        QVariantMap share;
        for (const auto& item : items) {
            const QString source = m_env->path(name + ".src/" + QString::number(share.size()));
            writeFile(source, item.second);
            share.insert(item.first, source);
        }
        ContainerManager sender;
        sender.shareContainer(m_env->path(name), share, method, method == 1 ? m_fpr : QStringLiteral("pw"));
        return m_env->path(name);
    }

    // Extracts path answering the password prompts; the log of the manager's signals.
    QStringList extract(const QString& path, const QStringList& passwords = {"pw"}, int* questions = nullptr,
                        bool result = true)
    {
        ScriptedPrompter prompter;
        for (const QString& p : passwords)
            prompter.passwords.enqueue(p);
        ContainerManager manager(nullptr, &prompter);
        QStringList log;
        record(&manager, &log);
        if (manager.extractContainer(path) != result)
            log << "unexpected result";
        if (questions)
            *questions = prompter.questions.size();
        return log;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<Env>();
        QVERIFY(m_env->home.openDatabase());
        QVERIFY(m_env->gpg.generateAndStore("1", true, &m_fpr)); // the user's own pair
    }

    void init()
    {
        m_out = std::make_unique<QTemporaryDir>();
        QSettings().setValue("extractPath", out());
        QSettings().setValue("dontOverwriteExistingFiles", false);
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
        const Items items {{"empty", ""},
                           {QStringLiteral("Grüße/日本語.txt"), "unicode"},
                           {"docs/deep/a.txt", QByteArray(524289, 'a')},
                           {"z", QByteArray(524288, 'z')}};
        const QString path = send(items, QStringLiteral("round%1.tsyc").arg(method), method);
        const QByteArray before = readFile(path);
        int questions = 0;
        QCOMPARE(extract(path, {"pw"}, &questions), QStringList {"finished"});
        QCOMPARE(questions, method == 2 ? 1 : 0);
        for (const auto& item : items)
            QCOMPARE(readFile(out() + '/' + item.first), item.second);
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
        QCOMPARE(extract(path).value(0),
                 dontOverwrite ? QStringLiteral("warn(File already exists. Skipping)")
                               : QStringLiteral("warn(File already exists. Overwriting)"));
        QCOMPARE(readFile(out() + "/a.txt"), dontOverwrite ? QByteArray("old") : QByteArray("new a"));
        QCOMPARE(readFile(out() + "/b.txt"), QByteArray("new b"));
    }

    // Nothing is written, and nothing is left beside the container.
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
        QTest::addRow("empty extraction folder")
            << "nofolder" << QStringList {"pw"}
            << QStringList {"error(Directory  is not writable)", "finished"} << 0;
        QTest::addRow("missing key") << "nokey" << QStringList()
                                     << QStringList {"error(Cannot find %1 key)", cannot.at(0), "finished"}
                                     << 0;
    }

    void failures()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, passwords);
        QFETCH(QStringList, log);
        QFETCH(int, questions);
        const QString path = send({{"secret.txt", QByteArray(300000, 's')}, {"b", "b"}}, "damaged.tsyc",
                                  damage == "nokey" ? 1 : 2);
        QByteArray bytes = readFile(path);
        if (damage == "alter")
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
        else if (damage == "cut")
            bytes = bytes.left(bytes.size() - 1000) + '\x02';
        else if (damage == "method")
            bytes[bytes.size() - 1] = '\x07';
        else if (damage == "nofolder")
            QSettings().setValue("extractPath", QString());
        else if (damage == "nokey")
            QVERIFY(QSqlQuery().exec("UPDATE key_data SET private = NULL")); // the last row: stays so
        QVERIFY(writeFile(path, bytes));
        int asked = 0;
        QCOMPARE(extract(path, passwords, &asked, false), log.replaceInStrings("%1", m_fpr));
        QCOMPARE(asked, questions);
        QCOMPARE(tree(out()), QStringList());
        QVERIFY(!QFile::exists(path + ".decrypted"));
    }

    // Payloads no sender of this program makes, wrapped in a valid OpenPGP layer.
    void hostilePayloads_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("files");
        QByteArray lying = payloadOf({{"a", "abc"}});
        lying.replace(5, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QByteArray overrun = payloadOf({{"a", "abc"}, {"b", "b"}});
        overrun.replace(overrun.size() - 12, 4, QByteArray("\x00\xff\xff\xff", 4));
        QTest::addRow("huge entry count")
            << lying << QStringList {"error(Invalid container header)", "finished"} << QStringList();
        // b's chunk is swallowed by a's overrun: b comes out empty.
        QTest::addRow("chunk overruns") << overrun << QStringList {"finished"} << QStringList {"a", "b"};
        const QString unsafe = QStringLiteral("warn(Unsafe file name. Skipping %1)");
        Items items;
        QStringList log;
        for (const QString name :
             {"../escape.txt", "/tmp/absolute.txt", "a/../../up.txt", "", "link/through.txt", "linkfile"}) {
            items.append({name, name.startsWith("link/") ? QByteArray(600000, 'x') : "x"});
            log << unsafe.arg(name);
        }
        QTest::addRow("unsafe names") << payloadOf(items + Items {{"ok.txt", "fine"}})
                                      << log + QStringList {"finished"} << QStringList {"ok.txt"};
    }

    void hostilePayloads()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, log);
        QFETCH(QStringList, files);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), out() + "/link"));
        QVERIFY(QFile::link(outside.filePath("target"), out() + "/linkfile"));
        const QString path = m_env->path("hostile.tsyc");
        QVERIFY(makePasswordContainer(m_env->gpg, payload, path));
        QCOMPARE(extract(path, {"pw"}, nullptr, files.size() > 0), log);
        QStringList extracted = QDir(out()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        QVERIFY(extracted.removeAll("link") == 1 && extracted.removeAll("linkfile") == 1);
        QCOMPARE(extracted, files);
        QCOMPARE(tree(outside.path()), QStringList());
        QVERIFY(!QFile::exists(QFileInfo(out()).path() + "/escape.txt"));
        if (files.contains("ok.txt"))
            QCOMPARE(readFile(out() + "/ok.txt"), QByteArray("fine"));
        if (files.contains("b"))
            QCOMPARE(readFile(out() + "/b"), QByteArray());
        QVERIFY(!QFile::exists(path + ".decrypted"));
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerExtracting)
#include "TestContainerManagerExtracting.moc"

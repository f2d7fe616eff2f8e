#include "ContainerTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

using namespace ContainerTestSupport;

using SizeMap = QMap<QString, int>; // entry name -> size

static QByteArray randomBytes(int size)
{
    QByteArray b(size, 0);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), size / 4);
    return b;
}

class TestContainerManagerSending : public QObject
{
    Q_OBJECT

    std::unique_ptr<Env> m_env;
    std::unique_ptr<ScriptedServer> m_server;
    QString m_fpr;
    // What the scripted server answers; set by each data row.
    std::string m_canUpload = R"({"success":true})", m_uploadReply;
    int m_uploadStatus = 200;
    std::map<std::string, httplib::MultipartFormData> m_parts; // of the last upload, by name

    QString work(const QString& name) const { return m_env->path(name); }

    // Shares one file through the manager; the log of its signals.
    QStringList share(const QString& path, const QVariantMap& files, int method = 2,
                      const QString& secret = "pw")
    {
        ContainerManager manager;
        QStringList log;
        record(&manager, &log);
        manager.shareContainer(path, files, method, secret);
        return log;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<Env>();
        QVERIFY(m_env->home.openDatabase());
        QVERIFY(m_env->gpg.generateAndStore("100", false, &m_fpr)); // a contact: public half only
        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_server->handle("POST", "/api/can-upload", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_canUpload, "application/json");
        });
        m_server->handle("POST", "/upload-container",
                         [this](const httplib::Request& req, httplib::Response& res) {
                             m_parts = {req.files.begin(), req.files.end()};
                             res.status = m_uploadStatus;
                             res.set_content(m_uploadReply, "application/json");
                         });
    }

    void init() { m_server->clearRequests(); }

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
        QVariantMap list;
        QMap<QString, QByteArray> contents;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString source = work(QStringLiteral("src/%1").arg(contents.size()));
            QVERIFY(writeFile(source, contents[it.key()] = randomBytes(it.value())));
            list.insert(it.key(), source);
        }
        const QString path = work(QStringLiteral("out.tsyc"));
        const QString secret = method == 1 ? m_fpr : QStringLiteral("pass word \"quoted\"");
        const QStringList log = share(path, list, method, secret);
        QCOMPARE(log.join('|'), QStringLiteral("success(,%1)|finished").arg(QFileInfo(path).size()));
        QVERIFY(!QFile::exists(path + ".encrypted"));
        const QByteArray trailer = method == 1 ? QByteArray::fromHex(m_fpr.toLatin1()) + '\x01' : "\x02";
        QVERIFY(readFile(path).endsWith(trailer));
        QVERIFY(method == 1 || readFile(path).right(21).left(20) != trailer.left(20));

        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(m_env->gpg, path, method == 2 ? secret : QString()), &entries));
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
        QFile::remove(path);
    }

    // gpg compresses what shrinks and leaves the rest alone, judged from samples of the files.
    void compressionFollowsContent_data()
    {
        QTest::addColumn<QStringList>("kinds"); // one file per item: "random" or "text", and its KiB
        QTest::addColumn<bool>("compressed");
        QTest::addRow("random bytes") << QStringList {"random 3000"} << false;
        QTest::addRow("log lines") << QStringList {"text 3000"} << true;
        QTest::addRow("a little text beside much random") << QStringList {"random 4000", "text 100"} << false;
        QTest::addRow("text with a random part") << QStringList {"text 3000", "random 200"} << true;
        QStringList manySmall;
        for (int i = 0; i < 300; ++i)
            manySmall << QStringLiteral("text 4");
        QTest::addRow("many small text files") << manySmall << true;
        QTest::addRow("nothing to sample") << QStringList {"text 0"} << false;
    }

    void compressionFollowsContent()
    {
        QFETCH(QStringList, kinds);
        QFETCH(bool, compressed);
        QVariantMap list;
        for (int i = 0; i < kinds.size(); ++i) {
            const QStringList kind = kinds.at(i).split(' ');
            const int bytes = kind.at(1).toInt() * 1024;
            QByteArray data;
            if (kind.at(0) == "random") {
                data = randomBytes(bytes);
            } else {
                for (int line = 0; data.size() < bytes; ++line)
                    data += QStringLiteral("2026-12-06 20:%1 INFO request %2 served in %3 ms\n")
                                .arg(line % 60)
                                .arg(line * 7919 % 100003)
                                .arg(line % 97)
                                .toLatin1();
                data.truncate(bytes);
            }
            const QString source = work(QStringLiteral("mix/%1").arg(i));
            QVERIFY(writeFile(source, data));
            list.insert(QStringLiteral("f%1").arg(i, 4, 10, QChar('0')), source);
        }
        const QString path = work(QStringLiteral("mix.tsyc"));
        QCOMPARE(share(path, list).value(1), QStringLiteral("finished"));
        QByteArray message = readFile(path);
        message.chop(1);
        QVERIFY(writeFile(path, message));
        QByteArray packets;
        QVERIFY(m_env->gpg.run({"--passphrase", "pw", "--list-packets", path}, &packets));
        QCOMPARE(packets.contains(":compressed packet:"), compressed);
        QFile::remove(path);
    }

    // The save path itself in the share list: it is being written, so it goes in empty, and every
    // entry's chunks still add up to its header size.
    void containerInItsOwnList()
    {
        const QString path = work(QStringLiteral("self.tsyc"));
        QVERIFY(writeFile(path, QByteArray(5000, 'x')) && writeFile(work("z.txt"), "zzz"));
        QCOMPARE(share(path, {{"self.tsyc", path}, {"z.txt", work("z.txt")}}).value(1),
                 QStringLiteral("finished"));
        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(m_env->gpg, path, "pw"), &entries));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).size, qint64(0));
        QCOMPARE(entries.at(1).content, QByteArray("zzz"));
    }

    // Cancel at the first progress of a phase ("upload": once bytes went out); no file at the save
    // path and no temporary is left.
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
        QTest::addRow("uploading") << "upload" << false
                                   << QStringList {"uploadingStart", "canceled", "finished", "finished"};
    }

    void cancel()
    {
        QFETCH(QString, phase);
        QFETCH(bool, existedBefore);
        QFETCH(QStringList, log);
        m_uploadReply = R"({"fileId":5})";
        QVERIFY(writeFile(work("big"), randomBytes(4 * 524288)) && writeFile(work("small"), "s"));
        const QString path = phase == "upload" ? QString() : work(QStringLiteral("cancelled.tsyc"));
        QFile::remove(path);
        if (existedBefore)
            QVERIFY(writeFile(path, "old"));
        ContainerManager manager;
        QString current;
        connect(&manager, &ContainerManager::uploadingStart, this, [&] { current = "upload"; });
        connect(&manager, qOverload<float, float, QString>(&ContainerManager::progressInit), this,
                [&](float, float, const QString& text) {
                    if (current != "upload")
                        current = text;
                });
        bool done = false;
        connect(&manager, &ContainerManager::progressValueChanged, this, [&](float value) {
            if (!done && current == phase && (phase != "upload" || value > 0)) {
                done = true;
                manager.cancel();
            }
        });
        QStringList actual;
        record(&manager, &actual);
        manager.shareContainer(path, {{"a", work("big")}, {"b", work("small")}}, 2, QStringLiteral("pw"));
        QVERIFY(done);
        QCOMPARE(actual, log);
        QVERIFY(!QFile::exists(path) && !QFile::exists(path + ".encrypted"));
        QVERIFY(m_env->leftovers().isEmpty());
    }

    // A cancel that arrives while "/can-upload" waits: nothing may be uploaded afterwards.
    void cancelWhileAskingTheServer()
    {
        ContainerManager manager;
        QTimer::singleShot(0, &manager, &ContainerManager::cancel);
        QVERIFY(writeFile(work("c.txt"), "c"));
        manager.shareContainer(QString(), {{"c.txt", work("c.txt")}}, 2, QStringLiteral("pw"));
        QVERIFY(requestsTo(*m_server, "/upload-container").isEmpty());
        QVERIFY(m_env->leftovers().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("method");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("pathLeft");
        QTest::addRow("source missing")
            << "missing" << 2 << QStringList {"error(Cannot open %1 for reading)"} << true;
        QTest::addRow("unknown method") << "a" << 3 << QStringList {"error(Cannot encrypt data)"} << false;
        QTest::addRow("key not stored")
            << "a" << 1
            << QStringList {"error(Cannot find " + QString(40, '0') + " key)", "error(Cannot encrypt data)"}
            << false;
    }

    void failures()
    {
        QFETCH(QString, source);
        QFETCH(int, method);
        QFETCH(QStringList, log);
        QFETCH(bool, pathLeft);
        QVERIFY(writeFile(work("a"), "aaa"));
        const QString target = work("failed.tsyc");
        QCOMPARE(share(target, {{"a", work(source)}}, method, method == 1 ? QString(40, '0') : "pw"),
                 log.replaceInStrings("%1", work(source)));
        QCOMPARE(QFile::exists(target), pathLeft);
        QFile::remove(target);
    }

    void upload_data()
    {
        QTest::addColumn<QByteArray>("canUpload");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("log");
        const QByteArray yes(R"({"success":true})");
        QTest::addRow("file id 17") << yes << 200 << QByteArray(R"({"fileId":17})")
                                    << QStringList {"uploadingStart", "finished", "success(17,%1)"};
        QTest::addRow("file id as text")
            << yes << 200 << QByteArray(R"({"fileId":"17"})")
            << QStringList {"uploadingStart", "error(Invalid file id in response)", "finished"};
        QTest::addRow("HTTP 500") << yes << 500 << QByteArray()
                                  << QStringList {"uploadingStart",
                                                  "error(Network error occured: InternalServerError)",
                                                  "finished"};
        QTest::addRow("quota") << QByteArray(R"({"success":false,"error":"Quota exceeded"})") << 200
                               << QByteArray() << QStringList {"error(Quota exceeded)"};
        QTest::addRow("refused without text") << QByteArray(R"({"success":false})") << 200 << QByteArray()
                                              << QStringList {"error(Invalid server response)"};
        QTest::addRow("no answer") << QByteArray() << 200 << QByteArray()
                                   << QStringList {"error(Invalid server response)"};
    }

    void upload()
    {
        QFETCH(QByteArray, canUpload);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, log);
        m_canUpload = canUpload.toStdString();
        m_uploadStatus = status;
        m_uploadReply = reply.toStdString();
        m_parts.clear();
        QVERIFY(writeFile(work("up.txt"), randomBytes(70000)));
        const QStringList actual = share(QString(), {{"up.txt", work("up.txt")}});
        QVERIFY(m_env->leftovers().isEmpty());

        const auto asks = requestsTo(*m_server, "/api/can-upload");
        QCOMPARE(asks.size(), 1);
        const qint64 size
            = QJsonDocument::fromJson(asks.at(0).body.mid(17)).object().value("size").toDouble();
        QVERIFY(size > 70000);
        QCOMPARE(actual, log.replaceInStrings("%1", QString::number(size)));

        const bool uploaded = log.first() == "uploadingStart";
        QCOMPARE(requestsTo(*m_server, "/upload-container").size(), int(uploaded));
        if (!uploaded)
            return;
        // The container part holds exactly the container: size as announced, opens with the password.
        QCOMPARE(m_parts.size(), size_t(2));
        const auto& container = m_parts["container"];
        QCOMPARE(QString::fromStdString(container.filename + "|" + container.content_type),
                 QStringLiteral("container|application/octet-stream"));
        QCOMPARE(qint64(container.content.size()), size);
        QVERIFY(writeFile(work("uploaded.tsyc"), QByteArray::fromStdString(container.content)));
        QList<Entry> entries;
        QVERIFY(parsePayload(openContainer(m_env->gpg, work("uploaded.tsyc"), "pw"), &entries));
        QCOMPARE(entries.value(0).content, readFile(work("up.txt")));
        QCOMPARE(m_parts["uid"].content, QSettings().value("uid").toUuid().toString().toStdString());
        QVERIFY(m_parts["uid"].filename.empty());
    }
};

QTEST_GUILESS_MAIN(TestContainerManagerSending)
#include "TestContainerManagerSending.moc"

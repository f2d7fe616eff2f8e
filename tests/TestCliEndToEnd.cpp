// Two users of the real tessary-cli program exchange files through the real relay server, with real
// gpg, each in a home directory of their own.
#include "util/CliUser.h"
#include "util/RelayProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return data;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Relative path of every file below dir -> size and digest of its content.
QMap<QString, QString> snapshot(const QString& dir)
{
    QMap<QString, QString> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        files.insert(QDir(dir).relativeFilePath(path),
                     QString::number(file.size()) + QLatin1Char(' ')
                         + QString::fromLatin1(hash.result().toHex()));
    }
    return files;
}

QByteArray lastByte(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return QByteArray();
    file.seek(file.size() - 1);
    return file.read(1);
}

// The history line of fileId split into its five fields; empty when there is none.
QStringList historyRow(const CliUser::Result& history, const QString& fileId)
{
    for (const QString& line : history.lines()) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 5 && fields.at(2) == fileId)
            return fields;
    }
    return {};
}

QStringList inboxIds(const CliUser::Result& inbox)
{
    QStringList ids;
    for (const QString& line : inbox.lines())
        ids << line.section(QLatin1Char('\t'), 0, 0);
    return ids;
}

const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));

} // namespace

class TestCliEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void bothUsersGetIds();
    void contacts();
    void sendFolderTreeAndAccept();
    void acceptUsesRememberedFolder();
    void rejectedSendLeavesNothing();
    void localContainersRoundTrip_data();
    void localContainersRoundTrip();
    void openWithWrongPassword();
    void sendToUnknownKeyFails();
    void deadServerLosesNothing();

private:
    CliUser::Result sendFile(const QString& name, const QByteArray& content);
    void pointUsersAtRelay();

    QTemporaryDir m_serverData {QStringLiteral("/tmp/tcs-XXXXXX")};
    QTemporaryDir m_work {QStringLiteral("/tmp/tcw-XXXXXX")};
    std::unique_ptr<RelayProcess> m_relay;
    CliUser m_alice;
    CliUser m_bob;
    QString m_aliceId;
    QString m_bobId;
    QString m_tree;
    QString m_bobInbox;
};

void TestCliEndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(CliUser::program()).isExecutable(), "tessary-cli is not built");
    QVERIFY(m_serverData.isValid() && m_work.isValid() && m_alice.isValid() && m_bob.isValid());
    m_relay = std::make_unique<RelayProcess>(m_serverData.path());
    QString error;
    QVERIFY2(m_relay->start(&error), qPrintable(error));
    pointUsersAtRelay();

    // A tree with non-ASCII names, an empty file, files on both sides of the 524288-byte chunk size,
    // a larger random file and an empty folder (which contributes nothing).
    m_tree = m_work.filePath(QStringLiteral("Ünï tree"));
    QVERIFY(writeFile(m_tree + QStringLiteral("/größe €.txt"), "Grüße aus dem Test\n"));
    QVERIFY(writeFile(m_tree + QStringLiteral("/empty"), QByteArray()));
    QVERIFY(writeFile(m_tree + QStringLiteral("/chunk.bin"), randomBytes(524288)));
    QVERIFY(writeFile(m_tree + QStringLiteral("/chunk+1.bin"), randomBytes(524289)));
    QVERIFY(writeFile(m_tree + QStringLiteral("/日本/深い/random.bin"), randomBytes(4 * 1024 * 1024 + 17)));
    QVERIFY(QDir().mkpath(m_tree + QStringLiteral("/leer")));
    m_bobInbox = m_bob.home() + QStringLiteral("/in box");
}

void TestCliEndToEnd::pointUsersAtRelay()
{
    m_alice.setServer(m_relay->baseUrl(), m_relay->caFile());
    m_bob.setServer(m_relay->baseUrl(), m_relay->caFile());
}

CliUser::Result TestCliEndToEnd::sendFile(const QString& name, const QByteArray& content)
{
    const QString path = m_work.filePath(name);
    writeFile(path, content);
    return m_alice.run({QStringLiteral("send"), m_bobId, path});
}

void TestCliEndToEnd::bothUsersGetIds()
{
    const CliUser::Result first = m_alice.run({QStringLiteral("id")});
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(first.lines().size(), 1);
    m_aliceId = first.lines().constFirst();
    QVERIFY2(digitsOnly.match(m_aliceId).hasMatch(), qPrintable(m_aliceId));

    // The key pair is made once; later calls print the same id.
    const CliUser::Result again = m_alice.run({QStringLiteral("id")});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.lines(), QStringList {m_aliceId});

    const CliUser::Result bob = m_bob.run({QStringLiteral("id")});
    QCOMPARE(bob.exitCode, 0);
    QCOMPARE(bob.lines().size(), 1);
    m_bobId = bob.lines().constFirst();
    QVERIFY(digitsOnly.match(m_bobId).hasMatch());
    QVERIFY(m_bobId != m_aliceId);
}

void TestCliEndToEnd::contacts()
{
    QCOMPARE(m_alice.run({QStringLiteral("contacts")}).lines(), QStringList());
    // Typed with blanks and a hyphen: reduced to its digits like in the interface.
    const QString typed = m_bobId.left(1) + QStringLiteral(" -") + m_bobId.mid(1);
    const CliUser::Result added = m_alice.run({QStringLiteral("add"), typed, QStringLiteral("Bob")});
    QVERIFY2(added.exitCode == 0, added.err);
    QCOMPARE(m_alice.run({QStringLiteral("contacts")}).lines(),
             QStringList {m_bobId + QStringLiteral("\tBob")});

    const CliUser::Result twice = m_alice.run({QStringLiteral("add"), m_bobId});
    QCOMPARE(twice.exitCode, 1);
    QVERIFY2(twice.errText().contains(QStringLiteral("You already have this contact")), twice.err);

    QCOMPARE(m_alice.run({QStringLiteral("rename"), m_bobId, QStringLiteral("Bob Ünal")}).exitCode, 0);
    QCOMPARE(m_alice.run({QStringLiteral("contacts")}).lines(),
             QStringList {m_bobId + QStringLiteral("\tBob Ünal")});

    // A contact to delete again, and one without a title, sorted first.
    QCOMPARE(m_alice.run({QStringLiteral("add"), m_aliceId}).exitCode, 1); // own key id is stored already
    QCOMPARE(m_bob.run({QStringLiteral("add"), m_aliceId}).exitCode, 0);
    QCOMPARE(m_bob.run({QStringLiteral("contacts")}).lines(), QStringList {m_aliceId + QStringLiteral("\t")});
    QCOMPARE(m_bob.run({QStringLiteral("remove"), m_aliceId}).exitCode, 0);
    QCOMPARE(m_bob.run({QStringLiteral("contacts")}).lines(), QStringList());
    QCOMPARE(m_bob.run({QStringLiteral("add"), m_aliceId, QStringLiteral("Alice")}).exitCode, 0);
    QCOMPARE(m_bob.run({QStringLiteral("contacts")}).lines(),
             QStringList {m_aliceId + QStringLiteral("\tAlice")});
}

void TestCliEndToEnd::sendFolderTreeAndAccept()
{
    const QString single = m_work.filePath(QStringLiteral("single file.txt"));
    QVERIFY(writeFile(single, "sent beside the folder\n"));
    const CliUser::Result sent = m_alice.run({QStringLiteral("send"), m_bobId, m_tree, single});
    QVERIFY2(sent.exitCode == 0, sent.err);
    QCOMPARE(sent.lines().size(), 1);
    const QString fileId = sent.lines().constFirst();
    QVERIFY2(digitsOnly.match(fileId).hasMatch(), qPrintable(fileId));

    const QStringList waiting = historyRow(m_alice.run({QStringLiteral("history")}), fileId);
    QCOMPARE(waiting.size(), 5);
    QCOMPARE(waiting.at(1), m_bobId);
    QCOMPARE(waiting.at(3), QStringLiteral("WaitDeliver"));
    const qint64 containerSize = waiting.at(4).toLongLong();
    QVERIFY(containerSize > 5 * 1024 * 1024);
    QVERIFY(QDateTime::fromString(waiting.at(0), Qt::ISODate).isValid());

    // Bob knows Alice by her title.
    const CliUser::Result inbox = m_bob.run({QStringLiteral("inbox")});
    QCOMPARE(inbox.exitCode, 0);
    QVERIFY2(inbox.lines().contains(fileId + QLatin1Char('\t') + QString::number(containerSize)
                                    + QStringLiteral("\tAlice")),
             inbox.out);

    const CliUser::Result accepted
        = m_bob.run({QStringLiteral("accept"), fileId, QStringLiteral("--to"), m_bobInbox});
    QVERIFY2(accepted.exitCode == 0, accepted.err);
    QCOMPARE(accepted.lines(), QStringList {m_bobInbox});

    QMap<QString, QString> expected;
    const QMap<QString, QString> tree = snapshot(m_tree);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        expected.insert(QStringLiteral("Ünï tree/") + it.key(), it.value());
    expected.insert(QStringLiteral("single file.txt"),
                    snapshot(m_work.path()).value(QStringLiteral("single file.txt")));
    QCOMPARE(expected.size(), 6);
    QCOMPARE(snapshot(m_bobInbox), expected);

    const QStringList received = historyRow(m_bob.run({QStringLiteral("history")}), fileId);
    QCOMPARE(received,
             (QStringList {received.value(0), m_aliceId, fileId, QStringLiteral("Received"),
                           QString::number(containerSize)}));
    QVERIFY(!inboxIds(m_bob.run({QStringLiteral("inbox")})).contains(fileId));
    QCOMPARE(historyRow(m_alice.run({QStringLiteral("history")}), fileId).value(3),
             QStringLiteral("Delivered"));
}

void TestCliEndToEnd::acceptUsesRememberedFolder()
{
    const CliUser::Result sent = sendFile(QStringLiteral("note.txt"), "remember the folder\n");
    QVERIFY2(sent.exitCode == 0, sent.err);
    // No --to: the folder of the last accept, which the download page would also have kept.
    const CliUser::Result accepted = m_bob.run({QStringLiteral("accept"), sent.lines().value(0)});
    QVERIFY2(accepted.exitCode == 0, accepted.err);
    QCOMPARE(accepted.lines(), QStringList {m_bobInbox});
    QFile note(m_bobInbox + QStringLiteral("/note.txt"));
    QVERIFY(note.open(QIODevice::ReadOnly));
    QCOMPARE(note.readAll(), QByteArray("remember the folder\n"));
}

void TestCliEndToEnd::rejectedSendLeavesNothing()
{
    const CliUser::Result sent = sendFile(QStringLiteral("reject me.txt"), "not wanted\n");
    QVERIFY2(sent.exitCode == 0, sent.err);
    const QString fileId = sent.lines().value(0);
    QVERIFY(inboxIds(m_bob.run({QStringLiteral("inbox")})).contains(fileId));
    const int bobHistory = m_bob.run({QStringLiteral("history")}).lines().size();

    const CliUser::Result rejected = m_bob.run({QStringLiteral("reject"), fileId});
    QVERIFY2(rejected.exitCode == 0, rejected.err);

    QVERIFY(!inboxIds(m_bob.run({QStringLiteral("inbox")})).contains(fileId));
    QVERIFY(!QFile::exists(m_bobInbox + QStringLiteral("/reject me.txt")));
    QCOMPARE(m_bob.run({QStringLiteral("history")}).lines().size(), bobHistory);
    QCOMPARE(historyRow(m_alice.run({QStringLiteral("history")}), fileId).value(3),
             QStringLiteral("Rejected"));

    // Gone from the server: neither accepting nor rejecting it again is possible.
    QCOMPARE(m_bob.run({QStringLiteral("accept"), fileId}).exitCode, 1);
    QCOMPARE(m_bob.run({QStringLiteral("reject"), fileId}).exitCode, 1);
    QVERIFY(!QFile::exists(m_bobInbox + QStringLiteral("/reject me.txt")));
}

void TestCliEndToEnd::localContainersRoundTrip_data()
{
    QTest::addColumn<QStringList>("method");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<char>("methodByte");
    QTest::addRow("password") << QStringList {QStringLiteral("--password")} << QByteArray("correct horse\n")
                              << '\x02';
    QTest::addRow("password without line end")
        << QStringList {QStringLiteral("--password")} << QByteArray("pässwörd") << '\x02';
    QTest::addRow("contact key") << QStringList {QStringLiteral("--to"), QStringLiteral("contact")}
                                 << QByteArray() << '\x01';
}

void TestCliEndToEnd::localContainersRoundTrip()
{
    QFETCH(QStringList, method);
    QFETCH(QByteArray, password);
    QFETCH(char, methodByte);
    method.replaceInStrings(QStringLiteral("contact"), m_bobId);
    const QString tag
        = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString container = m_work.filePath(tag + QStringLiteral(".tsyc"));

    const CliUser::Result saved = m_alice.run(
        QStringList {QStringLiteral("save"), container} + method + QStringList {m_tree}, password);
    QVERIFY2(saved.exitCode == 0, saved.err);
    QCOMPARE(lastByte(container), QByteArray(1, methodByte));

    const QString out = m_bob.home() + QStringLiteral("/opened ") + tag;
    const CliUser::Result opened
        = m_bob.run({QStringLiteral("open"), container, QStringLiteral("--to"), out}, password);
    QVERIFY2(opened.exitCode == 0, opened.err);
    QCOMPARE(opened.lines(), QStringList {out});
    QCOMPARE(snapshot(out + QStringLiteral("/Ünï tree")), snapshot(m_tree));
}

void TestCliEndToEnd::openWithWrongPassword()
{
    const QString container = m_work.filePath(QStringLiteral("secret.tsyc"));
    const QString source = m_work.filePath(QStringLiteral("secret.txt"));
    QVERIFY(writeFile(source, "for the right password only\n"));
    QCOMPARE(m_alice.run({QStringLiteral("save"), container, QStringLiteral("--password"), source}, "right\n")
                 .exitCode,
             0);

    const QString out = m_bob.home() + QStringLiteral("/wrong");
    const CliUser::Result wrong
        = m_bob.run({QStringLiteral("open"), container, QStringLiteral("--to"), out}, "wrong\n");
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY2(wrong.errText().contains(QStringLiteral("Cannot decrypt container")), wrong.err);
    QCOMPARE(snapshot(out).size(), 0);

    const CliUser::Result noPassword
        = m_bob.run({QStringLiteral("open"), container, QStringLiteral("--to"), out});
    QCOMPARE(noPassword.exitCode, 1);
    QVERIFY2(!noPassword.err.isEmpty(), "no message without a password");
    QCOMPARE(snapshot(out).size(), 0);

    // A container made for Bob's key cannot be opened by Alice.
    const QString forBob = m_work.filePath(QStringLiteral("for bob.tsyc"));
    QCOMPARE(m_alice.run({QStringLiteral("save"), forBob, QStringLiteral("--to"), m_bobId, source}).exitCode,
             0);
    const CliUser::Result notMine
        = m_alice.run({QStringLiteral("open"), forBob, QStringLiteral("--to"), out});
    QCOMPARE(notMine.exitCode, 1);
    QVERIFY2(notMine.errText().contains(QStringLiteral("Cannot decrypt container")), notMine.err);
}

void TestCliEndToEnd::sendToUnknownKeyFails()
{
    const int historyBefore = m_alice.run({QStringLiteral("history")}).lines().size();
    const QString path = m_work.filePath(QStringLiteral("nobody.txt"));
    QVERIFY(writeFile(path, "to nobody\n"));
    const CliUser::Result sent = m_alice.run({QStringLiteral("send"), QStringLiteral("987654321"), path});
    QCOMPARE(sent.exitCode, 1);
    QCOMPARE(sent.out, QByteArray());
    // The server's own words (they name the key id), not one of the client's fallbacks.
    const QString message = sent.errText().trimmed();
    QVERIFY2(message.contains(QStringLiteral("987654321")), qPrintable(message));
    for (const char* clientText : {"Cannot get server response", "Invalid server response",
                                   "Invalid key data in response", "was not downloaded"})
        QVERIFY2(!message.contains(QLatin1String(clientText)), qPrintable(message));
    QCOMPARE(m_alice.run({QStringLiteral("history")}).lines().size(), historyBefore);
}

void TestCliEndToEnd::deadServerLosesNothing()
{
    const CliUser::Result pending
        = sendFile(QStringLiteral("survivor.txt"), "still there after the outage\n");
    QVERIFY2(pending.exitCode == 0, pending.err);
    const QString fileId = pending.lines().value(0);
    const CliUser::Result historyBefore = m_alice.run({QStringLiteral("history")});

    m_relay->stop();

    const CliUser::Result sent = sendFile(QStringLiteral("during outage.txt"), "never sent\n");
    QCOMPARE(sent.exitCode, 1);
    QVERIFY2(sent.errText().contains(QStringLiteral("Cannot get server response")), sent.err);
    const CliUser::Result added = m_bob.run({QStringLiteral("add"), QStringLiteral("123")});
    QCOMPARE(added.exitCode, 1);
    QVERIFY2(added.errText().contains(QStringLiteral("Cannot get server response")), added.err);
    QCOMPARE(m_bob.run({QStringLiteral("accept"), fileId}).exitCode, 1);
    QVERIFY(!QFile::exists(m_bobInbox + QStringLiteral("/survivor.txt")));
    // The delivery check fails silently; the history stays as it was.
    const CliUser::Result historyDuring = m_alice.run({QStringLiteral("history")});
    QCOMPARE(historyDuring.exitCode, 0);
    QCOMPARE(historyDuring.lines(), historyBefore.lines());

    // The server comes back on the same data (at a new port): the waiting container is still there.
    m_relay = std::make_unique<RelayProcess>(m_serverData.path());
    QString error;
    QVERIFY2(m_relay->start(&error), qPrintable(error));
    pointUsersAtRelay();
    QVERIFY(inboxIds(m_bob.run({QStringLiteral("inbox")})).contains(fileId));
    const CliUser::Result accepted = m_bob.run({QStringLiteral("accept"), fileId});
    QVERIFY2(accepted.exitCode == 0, accepted.err);
    QFile survivor(m_bobInbox + QStringLiteral("/survivor.txt"));
    QVERIFY(survivor.open(QIODevice::ReadOnly));
    QCOMPARE(survivor.readAll(), QByteArray("still there after the outage\n"));
    QCOMPARE(historyRow(m_alice.run({QStringLiteral("history")}), fileId).value(3),
             QStringLiteral("Delivered"));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "TestCliEndToEnd.moc"

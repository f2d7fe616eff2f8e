// Two users of the real tessary-cli exchange files through the real relay server with real gpg.
#include "util/CliUser.h"
#include "util/RelayProcess.h"
#include "util/TestFiles.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

using namespace TestFiles;

namespace {

// The status column of fileId in the user's history.
QString historyStatus(const CliUser& user, const QString& fileId)
{
    for (const QString& line : user.run({"history"}).lines()) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 5 && fields.at(2) == fileId)
            return fields.at(3);
    }
    return QString();
}

bool inInbox(const CliUser& user, const QString& fileId)
{
    return user.run({"inbox"}).out.contains(fileId.toLatin1() + '\t');
}

} // namespace

class TestCliEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void idsAndContacts();
    void sendTreeAndAccept();
    void rejectLeavesNothing();
    void localContainers_data();
    void localContainers();
    void sendToUnknownKeyFails();
    void deadServerLosesNothing();

private:
    void startRelay();
    QString send(const QString& name, const QByteArray& content);

    QTemporaryDir m_serverData {QStringLiteral("/tmp/tcs-XXXXXX")};
    QTemporaryDir m_work {QStringLiteral("/tmp/tcw-XXXXXX")};
    std::unique_ptr<RelayProcess> m_relay;
    CliUser m_alice, m_bob;
    QString m_aliceId, m_bobId, m_tree, m_bobInbox;
};

void TestCliEndToEnd::startRelay()
{
    m_relay = std::make_unique<RelayProcess>(m_serverData.path());
    QString error;
    QVERIFY2(m_relay->start(&error), qPrintable(error));
    m_alice.setServer(m_relay->baseUrl(), m_relay->caFile());
    m_bob.setServer(m_relay->baseUrl(), m_relay->caFile());
}

void TestCliEndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(CliUser::program()).isExecutable(), "tessary-cli is not built");
    startRelay();
    // Non-ASCII names, an empty file, both sides of the 524288-byte chunk size, a larger random file.
    m_tree = m_work.filePath(QStringLiteral("Ünï tree"));
    QVERIFY(write(m_tree + QStringLiteral("/größe €.txt"), "Grüße aus dem Test\n"));
    QVERIFY(write(m_tree + QStringLiteral("/empty"), QByteArray()));
    QVERIFY(write(m_tree + QStringLiteral("/chunk.bin"), randomBytes(524288)));
    QVERIFY(write(m_tree + QStringLiteral("/chunk+1.bin"), randomBytes(524289)));
    QVERIFY(write(m_tree + QStringLiteral("/日本/深い/random.bin"), randomBytes(4 * 1024 * 1024 + 17)));
    m_bobInbox = m_bob.home() + QStringLiteral("/in box");
}

QString TestCliEndToEnd::send(const QString& name, const QByteArray& content)
{
    write(m_work.filePath(name), content);
    const CliUser::Result sent = m_alice.run({"send", m_bobId, m_work.filePath(name)});
    return sent.exitCode == 0 ? sent.lines().value(0) : QString();
}

void TestCliEndToEnd::idsAndContacts()
{
    const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    m_aliceId = m_alice.run({"id"}).lines().value(0);
    m_bobId = m_bob.run({"id"}).lines().value(0);
    QVERIFY2(digits.match(m_aliceId).hasMatch() && digits.match(m_bobId).hasMatch(),
             qPrintable(m_aliceId + ' ' + m_bobId));
    QVERIFY(m_aliceId != m_bobId);
    QCOMPARE(m_alice.run({"id"}).lines(), QStringList {m_aliceId}); // the key pair is made once

    const CliUser::Result added = m_alice.run({"add", m_bobId, "Bob"});
    QVERIFY2(added.exitCode == 0, added.err);
    QCOMPARE(m_alice.run({"contacts"}).lines(), QStringList {m_bobId + "\tBob"});
    QCOMPARE(m_bob.run({"add", m_aliceId, "Alice"}).exitCode, 0);
}

void TestCliEndToEnd::sendTreeAndAccept()
{
    const CliUser::Result sent = m_alice.run({"send", m_bobId, m_tree});
    QVERIFY2(sent.exitCode == 0, sent.err);
    const QString fileId = sent.lines().value(0);

    const QString inbox = QString::fromUtf8(m_bob.run({"inbox"}).out);
    QVERIFY2(inbox.contains(QRegularExpression('^' + fileId + QStringLiteral("\t[0-9]+\tAlice$"),
                                               QRegularExpression::MultilineOption)),
             qPrintable(inbox));

    const CliUser::Result accepted = m_bob.run({"accept", fileId, "--to", m_bobInbox});
    QVERIFY2(accepted.exitCode == 0, accepted.err);
    QCOMPARE(accepted.lines(), QStringList {m_bobInbox});
    QCOMPARE(snapshot(m_bobInbox + QStringLiteral("/Ünï tree")), snapshot(m_tree));
    QCOMPARE(QDir(m_bobInbox).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList {"Ünï tree"});
    QCOMPARE(snapshot(m_tree).size(), 5);

    QVERIFY(!inInbox(m_bob, fileId));
    QCOMPARE(historyStatus(m_alice, fileId), QStringLiteral("Delivered"));
}

void TestCliEndToEnd::rejectLeavesNothing()
{
    const QString fileId = send(QStringLiteral("reject me.txt"), "not wanted\n");
    QVERIFY(inInbox(m_bob, fileId));
    const CliUser::Result rejected = m_bob.run({"reject", fileId});
    QVERIFY2(rejected.exitCode == 0, rejected.err);
    QVERIFY(!inInbox(m_bob, fileId));
    QCOMPARE(historyStatus(m_alice, fileId), QStringLiteral("Rejected"));
    QCOMPARE(m_bob.run({"accept", fileId, "--to", m_bobInbox}).exitCode, 1); // gone from the server
    QVERIFY(!QFile::exists(m_bobInbox + QStringLiteral("/reject me.txt")));
}

void TestCliEndToEnd::localContainers_data()
{
    QTest::addColumn<QStringList>("method");
    QTest::addColumn<QByteArray>("password");
    QTest::addRow("password") << QStringList {"--password"} << QByteArray("correct horse\n");
    QTest::addRow("password-no-newline") << QStringList {"--password"} << QByteArray("pässwörd");
    QTest::addRow("contact-key") << QStringList {"--to", "BOB"} << QByteArray();
}

void TestCliEndToEnd::localContainers()
{
    QFETCH(QStringList, method);
    QFETCH(QByteArray, password);
    method.replaceInStrings(QStringLiteral("BOB"), m_bobId);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString container = m_work.filePath(tag + QStringLiteral(".tsyc"));

    const CliUser::Result saved
        = m_alice.run(QStringList {"save", container} + method + QStringList {m_tree}, password);
    QVERIFY2(saved.exitCode == 0, saved.err);

    // The wrong password, or a key that is not the recipient's, extracts nothing.
    const QString wrongOut = m_work.filePath(tag + QStringLiteral(" wrong"));
    const CliUser::Result wrong
        = (password.isEmpty() ? m_alice : m_bob).run({"open", container, "--to", wrongOut}, "wrong\n");
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY2(wrong.err.contains("Cannot decrypt container"), wrong.err);
    QCOMPARE(snapshot(wrongOut).size(), 0);

    const QString out = m_bob.home() + QStringLiteral("/opened ") + tag;
    const CliUser::Result opened = m_bob.run({"open", container, "--to", out}, password);
    QVERIFY2(opened.exitCode == 0, opened.err);
    QCOMPARE(opened.lines(), QStringList {out});
    QCOMPARE(snapshot(out + QStringLiteral("/Ünï tree")), snapshot(m_tree));
}

void TestCliEndToEnd::sendToUnknownKeyFails()
{
    const QByteArray history = m_alice.run({"history"}).out;
    QVERIFY(write(m_work.filePath(QStringLiteral("nobody.txt")), "to nobody\n"));
    const CliUser::Result sent
        = m_alice.run({"send", "987654321", m_work.filePath(QStringLiteral("nobody.txt"))});
    QCOMPARE(sent.exitCode, 1);
    QCOMPARE(sent.out, QByteArray());
    QVERIFY2(sent.err.contains("No key with the ID 987654321 is registered on this server."), sent.err);
    QCOMPARE(m_alice.run({"history"}).out, history);
}

void TestCliEndToEnd::deadServerLosesNothing()
{
    const QString fileId = send(QStringLiteral("survivor.txt"), "still there after the outage\n");
    QVERIFY(!fileId.isEmpty());
    const QByteArray history = m_alice.run({"history"}).out;
    m_relay->stop();

    const CliUser::Result sent
        = m_alice.run({"send", m_bobId, m_work.filePath(QStringLiteral("survivor.txt"))});
    QCOMPARE(sent.exitCode, 1);
    QVERIFY2(sent.err.contains("Cannot get server response"), sent.err);
    QCOMPARE(m_bob.run({"accept", fileId, "--to", m_bobInbox}).exitCode, 1);
    QVERIFY(!QFile::exists(m_bobInbox + QStringLiteral("/survivor.txt")));
    const CliUser::Result historyDuring = m_alice.run({"history"});
    QCOMPARE(historyDuring.exitCode, 0); // the delivery check fails silently
    QCOMPARE(historyDuring.out, history);

    startRelay(); // same data, new port: the waiting container is still there
    const CliUser::Result accepted = m_bob.run({"accept", fileId, "--to", m_bobInbox});
    QVERIFY2(accepted.exitCode == 0, accepted.err);
    QFile survivor(m_bobInbox + QStringLiteral("/survivor.txt"));
    QVERIFY(survivor.open(QIODevice::ReadOnly));
    QCOMPARE(survivor.readAll(), QByteArray("still there after the outage\n"));
    QCOMPARE(historyStatus(m_alice, fileId), QStringLiteral("Delivered"));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "TestCliEndToEnd.moc"

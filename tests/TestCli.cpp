// tessary-cli's commands, run in this process as function calls: usage and failures, the language,
// what reaches the terminal from outside, and two users exchanging files through the real relay
// server with real gpg.
#include "cli/CliApp.h"
#include "util/RelayProcess.h"
#include "util/ScriptedServer.h"
#include "util/TestFiles.h"
#include "util/TestHome.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpServer>
#include <QtTest>

#include <httplib.h>

using namespace TestFiles;

namespace {

struct Result
{
    int code = -1;
    QString out;
    QString err;
    QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

// Runs one command as the user of home, with input as its standard input.
Result cli(TestHome& home, const QStringList& args, const QByteArray& input = QByteArray())
{
    home.makeCurrent();
    QBuffer in, out, err;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    CliApp app;
    app.setStreams(&in, &out, &err);
    Result result;
    result.code = app.run(QStringList {"tessary-cli"} + args);
    result.out = QString::fromUtf8(out.data());
    result.err = QString::fromUtf8(err.data());
    return result;
}

QString historyStatus(TestHome& user, const QString& fileId)
{
    for (const QString& line : cli(user, {"history"}).lines()) {
        const QStringList fields = line.split('\t');
        if (fields.size() == 6 && fields.at(2) == fileId)
            return fields.at(3) + (fields.at(5).isEmpty() ? QString() : ", " + fields.at(5));
    }
    return QString();
}

// No escape, bell or line break from outside: every character printable, every message one line.
bool terminalSafe(const QString& text)
{
    static const QRegularExpression control(QStringLiteral("[\\x00-\\x08\\x0b-\\x1f\\x7f-\\x9f]"));
    return !text.contains(control);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    TestHome m_alice, m_bob;
    QTemporaryDir m_work {QStringLiteral("/tmp/tcw-XXXXXX")};
    QString m_deadUrl;

    void offline()
    {
        qputenv("TESSARY_SERVER_URL", m_deadUrl.toUtf8());
        qunsetenv("TESSARY_CA_FILE");
    }

private slots:
    void initTestCase()
    {
        QTcpServer probe; // a port that was free a moment ago: nothing listens there
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_deadUrl = QStringLiteral("https://127.0.0.1:%1").arg(probe.serverPort());
    }

    void init() { offline(); }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expectedErr");
        QTest::addRow("no command") << QStringList() << "Usage: tessary-cli COMMAND";
        QTest::addRow("unknown command") << QStringList {"frobnicate"} << "Unknown command";
        QTest::addRow("missing paths") << QStringList {"send", "123"} << "Usage: tessary-cli send";
        QTest::addRow("too many arguments") << QStringList {"id", "extra"} << "Too many arguments";
        QTest::addRow("unknown option") << QStringList {"inbox", "--bogus"} << "bogus";
        QTest::addRow("save without method") << QStringList {"save", "x.tsyc", "file"} << "--password";
        QTest::addRow("password argument")
            << QStringList {"save", "x.tsyc", "--password=secret", "file"} << "password";
    }

    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expectedErr);
        const Result result = cli(m_alice, args);
        QCOMPARE(result.code, 2);
        QVERIFY2(result.err.contains(expectedErr), qPrintable(result.err));
        QCOMPARE(result.out, QString());
    }

    void helpOnEveryCommand()
    {
        const Result global = cli(m_alice, {"--help"});
        QCOMPARE(global.code, 0);
        QVERIFY(
            global.out.contains("Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another"));
        for (const char* command :
             {"id", "contacts", "add", "rename", "remove", "fingerprint", "verify", "accept-key", "send",
              "inbox", "accept", "reject", "history", "save", "open"}) {
            QVERIFY2(global.out.contains(QStringLiteral("\n  %1 ").arg(command)), command);
            const Result help = cli(m_alice, {command, "--help"});
            QCOMPARE(help.code, 0);
            QVERIFY2(help.out.startsWith(QStringLiteral("Usage: tessary-cli ") + command),
                     qPrintable(help.out));
        }
        QCOMPARE(cli(m_alice, {"--version"}).out, QStringLiteral("tessary-cli " TESSARY_VERSION "\n"));
    }

    // Failures before any transfer, also with no server to answer: a message, nothing stored.
    void fails_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expectedErr");
        const QString dir = m_work.path();
        QFile(dir + "/a file").open(QIODevice::WriteOnly);
        QTest::addRow("remove unknown contact")
            << QStringList {"remove", "42"} << "No contact with the key id 42.";
        QTest::addRow("send missing file")
            << QStringList {"send", "42", dir + "/missing"} << "No such file or folder";
        QTest::addRow("empty password")
            << QStringList {"save", dir + "/x.tsyc", "--password", dir + "/a file"} << "No password given";
        QTest::addRow("add, server down") << QStringList {"add", "42"} << "Cannot get server response";
        QTest::addRow("send, server down")
            << QStringList {"send", "42", dir + "/a file"} << "Cannot get server response";
        QTest::addRow("accept, server down") << QStringList {"accept", "42"} << "Cannot get server response";
        QTest::addRow("inbox, server down") << QStringList {"inbox"} << "Cannot get server response";
    }

    void fails()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expectedErr);
        const Result result = cli(m_alice, args);
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(expectedErr), qPrintable(result.err));
        QCOMPARE(result.out, QString());
        QVERIFY(!QFile::exists(m_work.filePath("x.tsyc")));
        QCOMPARE(cli(m_alice, {"contacts"}).out + cli(m_alice, {"history"}).out, QString());
    }

    void followsLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected"); // on standard output for help, else on standard error
        QTest::addRow("German usage error") << "de_DE" << QStringList() << "Kein Befehl angegeben.";
        QTest::addRow("Chinese help, first sentences")
            << "zh_CN" << QStringList {"--help"} << "显示你自己的密钥 ID。\n";
        QTest::addRow("Russian failure")
            << "ru_RU" << QStringList {"remove", "42"} << "Нет контакта с ID ключа 42.";
    }

    void followsLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        // As main() does, from the translations of the build tree.
        QTranslator translator;
        QVERIFY(translator.load(locale, QCoreApplication::applicationDirPath() + "/../i18n"));
        QCoreApplication::installTranslator(&translator);
        const Result result = cli(m_alice, args);
        QCoreApplication::removeTranslator(&translator);
        QVERIFY2((result.out + result.err).contains(expected), qPrintable(result.out + result.err));
    }

    // Texts from a relay or a sender reach the terminal with their control characters replaced.
    void outsideTextIsMadeHarmless()
    {
        ScriptedServer relay;
        QVERIFY(relay.isRunning());
        relay.makeCurrent();
        relay.reply("POST", "/api/attach-key", 200,
                    "{\"error\":\"\\u001b]0;pwned\\u0007\\u001b[2JQuota\\nDone: sent\"}");
        relay.reply("POST", "/api/check-new-files", 200,
                    "[{\"fileId\":5,\"fileSize\":1,\"uploaderKeyId\":\"7\\u001b[31m\\r\\nfake\\u009b\"}]");
        const Result added = cli(m_alice, {"add", "1"});
        QCOMPARE(added.code, 1);
        QVERIFY2(terminalSafe(added.err) && added.err.count('\n') == 1, qPrintable(added.err));
        QVERIFY(added.err.contains("Quota Done: sent"));
        const Result inbox = cli(m_alice, {"inbox"});
        QCOMPARE(inbox.code, 0);
        QVERIFY2(terminalSafe(inbox.out) && inbox.lines().size() == 1, qPrintable(inbox.out));

        // A sender's file name, from a container made by hand.
        const QString container = m_work.filePath("named.tsyc");
        QProcess gpg;
        const QByteArray payload = QByteArray("TSYC\x01\0\0\0\x01", 9) + QByteArray("\0\0\0\x11", 4)
            + "../\x1b]0;pwned\x07.txt" + QByteArray(8, '\0');
        gpg.start("gpg", {"--homedir", m_alice.dataDir(), "--batch", "--passphrase", "pw", "-c"});
        gpg.write(payload);
        gpg.closeWriteChannel();
        QVERIFY(gpg.waitForFinished(60000));
        QVERIFY(write(container, gpg.readAllStandardOutput() + '\x02'));
        const Result opened = cli(m_alice, {"open", container, "--to", m_work.filePath("named")}, "pw\n");
        QCOMPARE(opened.code, 0);
        QVERIFY2(opened.err.contains(".txt: not saved: the name leads out of the folder")
                     && terminalSafe(opened.err),
                 qPrintable(opened.err));
    }

    // Two users exchange files through the real relay: a tree with odd names and both sides of the
    // chunk size, a rejection, local containers.
    void twoUsers()
    {
        RelayProcess server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        server.makeCurrent();
        const QString aliceId = cli(m_alice, {"id"}).out.trimmed();
        const QString bobId = cli(m_bob, {"id"}).out.trimmed();
        QVERIFY2(QRegularExpression("^[0-9]+$").match(aliceId).hasMatch(), qPrintable(aliceId));
        QVERIFY(bobId != aliceId);
        QCOMPARE(cli(m_alice, {"id"}).out.trimmed(), aliceId); // made once
        QCOMPARE(cli(m_alice, {"add", bobId, "Bob"}).code, 0);
        QCOMPARE(cli(m_alice, {"contacts"}).lines(), QStringList {bobId + "\tBob\tunverified"});
        QCOMPARE(cli(m_bob, {"add", aliceId, "Alice"}).code, 0);

        // Each has the other's key pinned, and both see the same safety number to compare.
        const QString bobFpr = cli(m_bob, {"fingerprint"}).out.trimmed();
        const QStringList aliceSees = cli(m_alice, {"fingerprint", bobId}).lines();
        const QStringList bobSees = cli(m_bob, {"fingerprint", aliceId}).lines();
        QCOMPARE(aliceSees.value(0), "Fingerprint: " + bobFpr);
        QVERIFY2(
            QRegularExpression("^Safety number: (\\d{5} ){11}\\d{5}$").match(aliceSees.value(1)).hasMatch(),
            qPrintable(aliceSees.join('\n')));
        QCOMPARE(bobSees.value(1), aliceSees.value(1));
        QCOMPARE(cli(m_alice, {"verify", bobId}).code, 0);
        QCOMPARE(cli(m_alice, {"contacts"}).lines(), QStringList {bobId + "\tBob\tverified"});

        const QString tree = m_work.filePath(QStringLiteral("Ünï tree"));
        QVERIFY(write(tree + QStringLiteral("/größe €.txt"), "Grüße aus dem Test\n"));
        QVERIFY(write(tree + QStringLiteral("/empty"), QByteArray()));
        QVERIFY(write(tree + QStringLiteral("/chunk.bin"), randomBytes(524288)));
        QVERIFY(write(tree + QStringLiteral("/日本/深い/random.bin"), randomBytes(4 * 1024 * 1024 + 17)));
        const Result sent = cli(m_alice, {"send", bobId, tree});
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        const QString fileId = sent.out.trimmed();
        QVERIFY2(cli(m_bob, {"inbox"})
                     .out.contains(QRegularExpression('^' + fileId + "\t[0-9]+\tAlice$",
                                                      QRegularExpression::MultilineOption)),
                 qPrintable(fileId));
        const QString inbox = m_work.filePath("bob in");
        const Result accepted = cli(m_bob, {"accept", fileId, "--to", inbox});
        QVERIFY2(accepted.code == 0, qPrintable(accepted.err));
        QCOMPARE(accepted.lines(), QStringList {inbox});
        QCOMPARE(accepted.err, QStringLiteral("Signed by Alice, not verified\n"));
        QCOMPARE(snapshot(inbox + QStringLiteral("/Ünï tree")), snapshot(tree));
        QCOMPARE(QDir(inbox).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList {"Ünï tree"});
        QVERIFY(cli(m_bob, {"inbox"}).out.isEmpty());
        QCOMPARE(historyStatus(m_alice, fileId), QStringLiteral("Delivered"));
        QCOMPARE(historyStatus(m_bob, fileId), QStringLiteral("Received, Signed, not verified"));
        // Both histories list the files under the transfer.
        for (TestHome* user : {&m_alice, &m_bob})
            QVERIFY(cli(*user, {"history", "--files"})
                        .lines()
                        .contains(QStringLiteral("\t4194321\tÜnï tree/日本/深い/random.bin")));

        QVERIFY(write(m_work.filePath("no.txt"), "not wanted\n"));
        const QString rejectedId = cli(m_alice, {"send", bobId, m_work.filePath("no.txt")}).out.trimmed();
        const Result declined = cli(m_bob, {"reject", rejectedId}, "n\n");
        QCOMPARE(declined.code, 1);
        QVERIFY2(
            declined.err.contains(QRegularExpression("^Reject the files from Alice \\(0\\.[0-9]+ Kb\\)\\?")),
            qPrintable(declined.err));
        QCOMPARE(cli(m_bob, {"reject", rejectedId}, "y\n").code, 0);
        QCOMPARE(historyStatus(m_alice, rejectedId), QStringLiteral("Rejected"));
        QCOMPARE(historyStatus(m_bob, rejectedId), QStringLiteral("Rejected"));
        QCOMPARE(cli(m_bob, {"accept", rejectedId, "--to", inbox}).code, 1); // gone from the server

        // Local containers: with a password, and to Bob's key; a wrong password extracts nothing.
        const QString locked = m_work.filePath("locked.tsyc");
        QCOMPARE(cli(m_alice, {"save", locked, "--password", tree}, "pässwörd\n").code, 0);
        QCOMPARE(cli(m_bob, {"open", locked, "--to", m_work.filePath("wrong")}, "wrong\n").err,
                 QStringLiteral("Cannot decrypt container\n"));
        QCOMPARE(snapshot(m_work.filePath("wrong")).size(), 0);
        QCOMPARE(cli(m_bob, {"open", locked, "--to", m_work.filePath("opened")}, "pässwörd").code, 0);
        QCOMPARE(snapshot(m_work.filePath(QStringLiteral("opened/Ünï tree"))), snapshot(tree));
        const QString forBob = m_work.filePath("bob.tsyc");
        QCOMPARE(cli(m_alice, {"save", forBob, "--to", bobId, m_work.filePath("no.txt")}).code, 0);
        QCOMPARE(cli(m_alice, {"open", forBob, "--to", m_work.filePath("not alice")}).code, 1);
        QCOMPARE(cli(m_bob, {"open", forBob, "--to", m_work.filePath("for bob")}).code, 0);
        // Once more into the same folder: the file there stays, the new one goes beside it, saying so.
        const Result again = cli(m_bob, {"open", forBob, "--to", m_work.filePath("for bob")});
        QCOMPARE(again.code, 0);
        QCOMPARE(again.err,
                 QStringLiteral("no (1).txt: sent as no.txt, a name that was taken\n"
                                "Signed by Alice, not verified\n"));
        QCOMPARE(snapshot(m_work.filePath("for bob")).keys(), (QStringList {"no (1).txt", "no.txt"}));

        // The key Alice pinned for Bob is not the one the relay offers: nothing goes out until she
        // accepts the offered key, and Bob is not verified then.
        m_alice.makeCurrent();
        QVERIFY(m_alice.openDatabase());
        QVERIFY(QSqlQuery().exec("UPDATE key_data SET fpr = '" + QString(40, 'A')
                                 + "' WHERE remote_key_id = " + bobId));
        const Result stopped = cli(m_alice, {"send", bobId, m_work.filePath("no.txt")});
        QCOMPARE(stopped.code, 1);
        const QString hint = "tessary-cli accept-key " + bobId + ' ' + QString(bobFpr).remove(' ');
        QVERIFY2(stopped.err.startsWith("The key of Bob has changed") && stopped.err.contains(hint),
                 qPrintable(stopped.err));
        QCOMPARE(cli(m_alice, hint.split(' ').mid(1)).code, 0);
        QCOMPARE(cli(m_alice, {"send", bobId, m_work.filePath("no.txt")}).code, 0);
        QCOMPARE(cli(m_alice, {"contacts"}).lines(), QStringList {bobId + "\tBob\tunverified"});
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"

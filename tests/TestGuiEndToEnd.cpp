// Two people use the real window, each with a HOME of their own, against the real relay server
// and real gpg: the pages are driven by clicks, key presses and a drop, as a person would.
#include "util/CliUser.h"
#include "util/RelayProcess.h"
#include "util/TestFiles.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

using namespace TestFiles;

namespace {

// Fails the test with the driver's own account of what went wrong.
#define RUN_WINDOW(user, script, result)                                                                     \
    CliUser::Result result = (user).runWindow(script);                                                       \
    QVERIFY2(result.exitCode == 0, (result.out + result.err).constData())

QString printed(const CliUser::Result& result, const QString& key)
{
    const QRegularExpression line(QRegularExpression::escape(key) + QStringLiteral("=(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(result.out)).captured(1);
}

// First start: Next, keys made and registered, Done, and the own id on the home page.
const char* firstStart = R"(
waitVisible btnNext
click btnNext
waitVisible btnKeysDone
click btnKeysDone
waitMatch privKeyIdText text ^[0-9]+$
print privKeyIdText text
quit
)";

} // namespace

class TestGuiEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartRegisters();
    void addContactAndSendFolder();
    void acceptIntoChosenFolder();
    void senderSeesDelivered();
    void cancelledSendKeepsTheList();
    void cancelledDownloadIsOfferedAgain();
    void rejectLeavesNothing();
    void secondStartRaisesTheWindow();
    void eventsFollowANewContact();
    void verifiedMarkAfterComparing();
    void keyChangeStopsSharing();
    void unfinishedUploadResumes();

private:
    QString shareTo(const QString& keyId) const;

    QTemporaryDir m_work {QStringLiteral("/tmp/tgw-XXXXXX")};
    RelayProcess m_relay;
    CliUser m_alice;
    CliUser m_bob;
    QString m_aliceId;
    QString m_bobId;
    QString m_tree;
    QString m_big;
};

void TestGuiEndToEnd::initTestCase()
{
    QVERIFY(m_work.isValid());
    QString error;
    QVERIFY2(m_relay.start(&error), qPrintable(error));
    m_alice.setServer(m_relay.baseUrl(), m_relay.caFile());
    m_bob.setServer(m_relay.baseUrl(), m_relay.caFile());

    m_tree = m_work.filePath(QStringLiteral("Urlaub 2026"));
    QVERIFY(write(m_tree + QStringLiteral("/Strand.jpg"), randomBytes(700 * 1024 + 3)));
    QVERIFY(write(m_tree + QStringLiteral("/notes/größe.txt"), "Grüße\n"));
    QVERIFY(write(m_tree + QStringLiteral("/notes/empty"), QByteArray()));
}

void TestGuiEndToEnd::firstStartRegisters()
{
    RUN_WINDOW(m_alice, firstStart, alice);
    m_aliceId = printed(alice, QStringLiteral("privKeyIdText.text"));
    RUN_WINDOW(m_bob, firstStart, bob);
    m_bobId = printed(bob, QStringLiteral("privKeyIdText.text"));
    QVERIFY(!m_aliceId.isEmpty());
    QVERIFY(!m_bobId.isEmpty());
    QVERIFY(m_aliceId != m_bobId);

    // The id survives a restart and the window opens on the home page, not on the first start.
    RUN_WINDOW(m_alice,
               QStringLiteral("wait privKeyIdText text %1\nwaitHidden btnNext\nquit\n").arg(m_aliceId),
               again);
}

// The steps from the home page to a filled sharing page for a contact.
QString TestGuiEndToEnd::shareTo(const QString& keyId) const
{
    return QStringLiteral("click tabContactsBtn\n"
                          "waitVisible contactRow_%1\n"
                          "hover contactRow_%1\n"
                          "click btnShareTo\n"
                          "waitVisible shareDropArea\n")
        .arg(keyId);
}

void TestGuiEndToEnd::addContactAndSendFolder()
{
    QVERIFY(!m_aliceId.isEmpty());
    const QString script = QStringLiteral("click btnAddContact\n"
                                          "waitVisible newContactId\n"
                                          "click newContactId\n"
                                          "type %1\n"
                                          "key Enter\n"
                                          "waitVisible newContactTitle\n"
                                          "click newContactTitle\n"
                                          "type Alice <i>A.</i>\n"
                                          "key Enter\n"
                                          "click btnAddContactDone\n"
                                          "waitHidden contactsEmptyHint\n")
                               .arg(m_aliceId)
        + shareTo(m_aliceId)
        + QStringLiteral("wait titleText text Files to send to <b>Alice &lt;i&gt;A.&lt;/i&gt;</b>\n"
                         "answerDir %1\n"
                         "click btnAddFolder\n"
                         "waitVisible btnSendFiles\n"
                         "click btnSendFiles\n"
                         "waitVisible btnShareDone\n"
                         "click btnShareDone\n"
                         "click tabEventsBtn\n"
                         "wait eventStatusText_0 text Waiting for delivery\n"
                         "quit\n")
              .arg(m_tree);
    RUN_WINDOW(m_bob, script, bob);
}

void TestGuiEndToEnd::acceptIntoChosenFolder()
{
    const QString target = m_work.filePath(QStringLiteral("Eingang"));
    QVERIFY(QDir().mkpath(target));
    // The window asks the server at start and opens the download page; Bob is no contact of
    // Alice's, so he is shown by his key id. From the folder view there is a way back to the offer.
    // The done view lists what arrived, and so does the event.
    const QString script
        = QStringLiteral(
              "waitVisible btnAccept\n"
              "waitMatch downloadHeaderText text ^<b>%1</b> wants to send you files$\n"
              "wait downloadSenderTrust text Not among your contacts: nothing confirms who this is\n"
              "click btnAccept\n"
              "waitVisible btnSaveDownload\n"
              "click btnDownloadBack\n"
              "waitVisible btnReject\n"
              "click btnAccept\n"
              "answerDir %2\n"
              "click btnChangeFolder\n"
              "wait extractPathText text %2\n"
              "click btnSaveDownload\n"
              "waitVisible btnOpenFolder\n"
              "wait arrivedCountText text 3 files saved\n"
              "wait downloadSignatureText text Signed by %1, not verified\n"
              "print arrivedName_0 text\n"
              "print arrivedName_1 text\n"
              "print arrivedName_2 text\n"
              "click btnDownloadDone\n"
              "click tabEventsBtn\n"
              "wait eventStatusText_0 text Received\n"
              "waitMatch eventDetailText_0 text Signed, not verified$\n"
              "click eventStatusText_0\n"
              "waitVisible lvEventFiles\n"
              "print eventFileName_0 text\n"
              "print eventFileName_1 text\n"
              "print eventFileName_2 text\n"
              "quit\n")
              .arg(m_bobId, target);
    RUN_WINDOW(m_alice, script, alice);
    QCOMPARE(snapshot(target + QStringLiteral("/Urlaub 2026")), snapshot(m_tree));
    QCOMPARE(snapshot(target).size(), 3);
    const QStringList names {"Urlaub 2026/Strand.jpg", "Urlaub 2026/notes/empty",
                             "Urlaub 2026/notes/größe.txt"};
    for (const QString& list : {QStringLiteral("arrivedName_"), QStringLiteral("eventFileName_")}) {
        QStringList shown;
        for (int i = 0; i < 3; ++i)
            shown.append(printed(alice, list + QString::number(i) + QStringLiteral(".text")));
        shown.sort();
        QCOMPARE(shown, names);
    }
}

void TestGuiEndToEnd::senderSeesDelivered()
{
    // The events tab asks about waiting transfers once when it is created.
    RUN_WINDOW(m_bob, "click tabEventsBtn\nwait eventStatusText_0 text Delivered\nquit\n", bob);
}

void TestGuiEndToEnd::cancelledSendKeepsTheList()
{
    m_big = m_work.filePath(QStringLiteral("big/film.mkv"));
    QVERIFY(write(m_big, randomBytes(192 * 1024 * 1024)));
    // Cancel while the file is packed, encrypted or uploaded: back to the list, nothing recorded and
    // nothing announced. Then the same list is sent for good.
    const QString script = shareTo(m_aliceId)
        + QStringLiteral("drop shareDropArea %1\n"
                         "click btnSendFiles\n"
                         "click btnCancelShare\n"
                         "waitVisible btnSendFiles\n"
                         "print lvShareFiles count\n"
                         "print lvFileEvents count\n"
                         "click btnSendFiles\n"
                         "waitVisible btnShareDone\n"
                         "print lvFileEvents count\n"
                         "quit\n")
              .arg(m_big);
    RUN_WINDOW(m_bob, script, bob);
    const QStringList counts
        = QString::fromUtf8(bob.out).split(QLatin1Char('\n')).filter(QStringLiteral("count="));
    QCOMPARE(counts, QStringList({"lvShareFiles.count=1", "lvFileEvents.count=1", "lvFileEvents.count=2"}));
    QCOMPARE(m_alice.run({"inbox"}).lines().size(), 1);
}

void TestGuiEndToEnd::cancelledDownloadIsOfferedAgain()
{
    const QString target = m_work.filePath(QStringLiteral("Abbruch"));
    QVERIFY(QDir().mkpath(target));
    const QString script = QStringLiteral("waitVisible btnAccept\n"
                                          "click btnAccept\n"
                                          "answerDir %1\n"
                                          "click btnChangeFolder\n"
                                          "wait extractPathText text %1\n"
                                          "click btnSaveDownload\n"
                                          "click btnCancelDownload\n"
                                          "waitVisible tabEventsBtn\n"
                                          "click tabEventsBtn\n"
                                          "print lvFileEvents count\n"
                                          "quit\n")
                               .arg(target);
    RUN_WINDOW(m_alice, script, alice);
    QCOMPARE(printed(alice, QStringLiteral("lvFileEvents.count")), QStringLiteral("1"));
    // Nothing complete arrived, and the transfer still waits on the server.
    QVERIFY(!snapshot(target).values().contains(snapshot(QFileInfo(m_big).path()).value("film.mkv")));
    QCOMPARE(m_alice.run({"inbox"}).lines().size(), 1);
}

void TestGuiEndToEnd::rejectLeavesNothing()
{
    const QString target = m_work.filePath(QStringLiteral("Eingang"));
    const auto before = snapshot(m_alice.home());
    // The cancelled transfer is offered again at the next start; this time it is turned down, after
    // a question that is first answered no.
    RUN_WINDOW(
        m_alice,
        QStringLiteral("waitVisible btnReject\nanswerConfirm no\nclick btnReject\n"
                       "asked ^Reject files: Reject the files from %1 \\(\n"
                       "answerConfirm yes\nclick btnReject\nwaitVisible tabEventsBtn\nclick tabEventsBtn\n"
                       "wait eventStatusText_0 text Rejected\nprint lvFileEvents count\nquit\n")
            .arg(m_bobId),
        alice);
    QCOMPARE(printed(alice, QStringLiteral("lvFileEvents.count")), QStringLiteral("2"));
    QCOMPARE(snapshot(target).size(), 3);
    QVERIFY(m_alice.run({"inbox"}).lines().isEmpty());
    // Nothing was written anywhere in Alice's home but her database and settings.
    for (const QString& file : snapshot(m_alice.home()).keys())
        QVERIFY2(before.contains(file) || file.startsWith(QLatin1String(".tessary2/"))
                     || file.startsWith(QLatin1String(".config/")),
                 qPrintable(file));

    RUN_WINDOW(m_bob, "click tabEventsBtn\nwait eventStatusText_0 text Rejected\nquit\n", bobAfter);
}

void TestGuiEndToEnd::secondStartRaisesTheWindow()
{
    // The running window hides, as in the tray; a second start of the program brings it back and
    // ends at once with 0.
    QTemporaryFile script(m_alice.home() + QStringLiteral("/script-XXXXXX"));
    QVERIFY(script.open());
    script.write("waitVisible tabEventsBtn\nhideWindow\nprint privKeyIdText text\nwaitWindowShown\nquit\n");
    script.close();
    QProcess first;
    first.setProcessEnvironment(m_alice.environment());
    first.start(QStringLiteral(TESSARY_GUI_DRIVER_BIN), {script.fileName()});
    auto stop = qScopeGuard([&] {
        first.kill();
        first.waitForFinished(10000);
    });
    QByteArray out;
    while (!out.contains("privKeyIdText.text=") && first.waitForReadyRead(90000))
        out += first.readAllStandardOutput();
    QVERIFY2(out.contains("privKeyIdText.text="), (out + first.readAllStandardError()).constData());

    QProcess second;
    second.setProcessEnvironment(m_alice.environment());
    second.start(QStringLiteral(TESSARY_GUI_BIN), QStringList());
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(first.waitForFinished(90000));
    QVERIFY2(first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0,
             (out + first.readAll()).constData());
}

void TestGuiEndToEnd::eventsFollowANewContact()
{
    // Bob is among Alice's contacts since she took his container, without a title: her events show
    // his id until she names him, then the name, in the same run. Her own id is refused before
    // anything is asked of the server.
    const QString script = QStringLiteral("click tabEventsBtn\n"
                                          "wait eventCounterpart_0 text %1\n"
                                          "click tabContactsBtn\n"
                                          "click btnAddContact\n"
                                          "waitVisible newContactId\n"
                                          "click newContactId\n"
                                          "type %2\n"
                                          "key Enter\n"
                                          "wait newContactText text This is your own ID\n"
                                          "click btnBack\n"
                                          "waitVisible contactRow_%1\n"
                                          "hover contactRow_%1\n"
                                          "click btnEditContact\n"
                                          "waitVisible editContactName\n"
                                          "set editContactName text Bob\n"
                                          "click btnSaveTitle\n"
                                          "waitVisible tabEventsBtn\n"
                                          "click tabEventsBtn\n"
                                          "wait eventCounterpart_0 text Bob\n"
                                          "quit\n")
                               .arg(m_bobId, m_aliceId);
    RUN_WINDOW(m_alice, script, alice);
}

// Bob compares what his window shows with what Alice's side computes, and marks her verified.
void TestGuiEndToEnd::verifiedMarkAfterComparing()
{
    const QString script
        = QStringLiteral("click btnOwnFingerprint\n"
                         "waitVisible ownFingerprintText\n"
                         "print ownFingerprintText text\n"
                         "click btnOwnFingerprintClose\n"
                         "waitHidden ownFingerprintText\n"
                         "click tabContactsBtn\n"
                         "waitVisible contactRow_%1\n"
                         "waitHidden verifiedMark_%1\n"
                         "hover contactRow_%1\n"
                         "click btnEditContact\n"
                         "waitVisible contactSafetyNumber\n"
                         "print contactFingerprint text\n"
                         "print contactSafetyNumber text\n"
                         "click btnMarkVerified\n"
                         "wait contactTrustText text Verified: you compared the safety number\n"
                         "click btnBack\n"
                         "waitVisible verifiedMark_%1\n"
                         "quit\n")
              .arg(m_aliceId);
    RUN_WINDOW(m_bob, script, bob);
    // Alice pinned Bob's key when she took his container.
    const QStringList aliceSees = m_alice.run({"fingerprint", m_bobId}).lines();
    QCOMPARE(aliceSees.value(0), "Fingerprint: " + printed(bob, QStringLiteral("ownFingerprintText.text")));
    QCOMPARE(aliceSees.value(1),
             "Safety number: " + printed(bob, QStringLiteral("contactSafetyNumber.text")));
    QCOMPARE(printed(bob, QStringLiteral("contactFingerprint.text")),
             QString::fromUtf8(m_alice.run({"fingerprint"}).out.trimmed()));
}

// The relay hands out Carol's key for Alice's id: the sharing page stops, says so, and sends only
// after Bob accepts the new key, which leaves Alice unverified.
void TestGuiEndToEnd::keyChangeStopsSharing()
{
    CliUser carol;
    carol.setServer(m_relay.baseUrl(), m_relay.caFile());
    const QString carolId = QString::fromUtf8(carol.run({"id"}).out.trimmed());
    QVERIFY(!carolId.isEmpty());
    {
        QSqlDatabase db = m_relay.openDatabase(QStringLiteral("relay"));
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT fpr, key_data FROM pubkeys WHERE key_id = '" + carolId + "'")
                && query.next());
        const QVariant fpr = query.value(0), key = query.value(1);
        QVERIFY(query.exec("DELETE FROM pubkeys WHERE key_id = '" + carolId + "'"));
        query.prepare("UPDATE pubkeys SET fpr = ?, key_data = ? WHERE key_id = ?");
        for (const QVariant& value : {fpr, key, QVariant(m_aliceId)})
            query.addBindValue(value);
        QVERIFY(query.exec());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("relay"));
    QVERIFY(write(m_work.filePath(QStringLiteral("changed.txt")), "for Alice only\n"));
    const QString script = shareTo(m_aliceId)
        + QStringLiteral(
              "wait shareTrustText text Verified: you compared the safety number\n"
              "drop shareDropArea %1\n"
              "click btnSendFiles\n"
              "waitVisible btnAcceptKey\n"
              "waitHidden btnShareRetry\n"
              "print shareErrorText text\n"
              "click btnAcceptKey\n"
              "waitVisible btnSendFiles\n"
              "wait shareTrustText text Not verified: compare the safety number on the contact's page\n"
              "click btnSendFiles\n"
              "waitVisible btnShareDone\n"
              "quit\n")
              .arg(m_work.filePath(QStringLiteral("changed.txt")));
    RUN_WINDOW(m_bob, script, bob);
    QVERIFY2(printed(bob, QStringLiteral("shareErrorText.text"))
                 .startsWith("The key of Alice <i>A.</i> has changed"),
             bob.out.constData());
    QCOMPARE(m_bob.run({"contacts"}).lines().filter(m_aliceId),
             QStringList {m_aliceId + "\tAlice <i>A.</i>\tunverified"});
}

// A send that was killed while uploading is shown among the events, and Resume there finishes it.
void TestGuiEndToEnd::unfinishedUploadResumes()
{
    const QString film = m_work.filePath(QStringLiteral("later/film.mkv"));
    QVERIFY(write(film, randomBytes(96 * 1024 * 1024)));
    const int waiting = m_alice.run({"inbox"}).lines().size();
    QProcess send;
    m_bob.start(send, {"send", m_aliceId, film});
    const QDir uploads(m_relay.dataDir() + QStringLiteral("/containers/uploads"));
    QTRY_VERIFY_WITH_TIMEOUT(uploads.entryInfoList({"*.part"}).value(0).size() > 0, 120000);
    send.kill();
    QVERIFY(send.waitForFinished(30000));

    RUN_WINDOW(m_bob,
               "click tabEventsBtn\nwait uploadStateText_0 text Upload not finished\n"
               "click btnResumeUpload_0\nwaitHidden uploadRow_0\nwait eventStatusText_0 text Waiting for "
               "delivery\nquit\n",
               bob);
    QCOMPARE(m_alice.run({"inbox"}).lines().size(), waiting + 1);
}

QTEST_GUILESS_MAIN(TestGuiEndToEnd)
#include "TestGuiEndToEnd.moc"

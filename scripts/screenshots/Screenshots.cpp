// Renders every page and view of the window at its smallest size and at its full width into PNG
// files (under TESSARY_SCREENSHOT_DIR, else ./screenshots), for a person to look at, and fails on
// any QML warning met on the way. Run by scripts/screenshots.sh. The people and their data are real: a relay
// server, and contacts, a transfer and history made with the command-line tool.
#include "util/CliUser.h"
#include "util/RelayProcess.h"
#include "util/TestFiles.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

class Screenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyView_data();
    void everyView();
    void translatedPages_data();
    void translatedPages();
    void cleanupTestCase();

private:
    static QString outputDir()
    {
        const QString dir = qEnvironmentVariable("TESSARY_SCREENSHOT_DIR");
        return QDir(dir.isEmpty() ? QStringLiteral("screenshots") : dir).absolutePath();
    }
    // The script lines that let the window settle and save it as DIR/NAME.png.
    QString grabStep(const QString& dir, const QString& name);

    RelayProcess m_relay;
    CliUser m_alice; // has a transfer waiting
    CliUser m_bob; // has contacts and history
    CliUser m_dana; // a contact with a long name
    QString m_aliceId;
    QString m_file;
    QStringList m_shots;
};

QString Screenshots::grabStep(const QString& dir, const QString& name)
{
    m_shots.append(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    return QStringLiteral("sleep 400\ngrab %1\n").arg(m_shots.constLast());
}

void Screenshots::initTestCase()
{
    QString error;
    QVERIFY2(m_relay.start(&error), qPrintable(error));
    for (CliUser* user : {&m_alice, &m_bob, &m_dana})
        user->setServer(m_relay.baseUrl(), m_relay.caFile());
    m_aliceId = QString::fromUtf8(m_alice.run({"id"}).out).trimmed();
    const QString danaId = QString::fromUtf8(m_dana.run({"id"}).out).trimmed();
    QCOMPARE(m_bob.run({"id"}).exitCode, 0);
    QVERIFY(!m_aliceId.isEmpty() && !danaId.isEmpty());
    QCOMPARE(m_bob.run({"add", m_aliceId, "Alice Martin"}).exitCode, 0);
    QCOMPARE(m_bob.run({"add", danaId, "Dana Lindqvist-Oyelaran, Research and Development"}).exitCode, 0);
    QCOMPARE(m_bob.run({"verify", danaId}).exitCode, 0);
    m_file = m_bob.home() + QStringLiteral("/Holiday photos/IMG_2041.jpg");
    QVERIFY(TestFiles::write(m_file, TestFiles::randomBytes(3 * 1024 * 1024 + 4321)));
    // Two for each size of the window: one is accepted, one rejected.
    for (int i = 0; i < 4; ++i) {
        const CliUser::Result sent = m_bob.run({"send", m_aliceId, m_file});
        QVERIFY2(sent.exitCode == 0, sent.err.constData());
    }
    // And an upload of Bob's that did not finish.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bob"));
    db.setDatabaseName(m_bob.dataDir() + QStringLiteral("/data.db3"));
    QVERIFY(db.open());
    QSqlQuery unfinished(db);
    QVERIFY(unfinished.exec(QStringLiteral("INSERT INTO unfinished_uploads (datetime, remote_key_id, size, "
                                           "upload_url) VALUES ('2026-12-08T10:00:00', '%1', 734003200, '')")
                                .arg(danaId)));
    QVERIFY(TestFiles::write(
        m_bob.dataDir() + QStringLiteral("/uploads/%1.tsyc").arg(unfinished.lastInsertId().toLongLong()),
        "x"));
}

void Screenshots::everyView_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addRow("450x600") << 450 << 600;
    QTest::addRow("600x600") << 600 << 600;
}

void Screenshots::everyView()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QString dir = outputDir() + QStringLiteral("/%1x%2").arg(width).arg(height);
    QVERIFY(QDir().mkpath(dir));
    auto shot = [&](const QString& name) { return grabStep(dir, name); };
    const QString resize = QStringLiteral("resize %1 %2\nsleep 200\n").arg(width).arg(height);

    // Someone new: the first-start views, the error view with a message from gpg.
    CliUser carol;
    QString script = resize + QStringLiteral("waitVisible btnNext\n") + shot("01-first-start-welcome");
    for (int view = 1; view <= 3; ++view)
        script += QStringLiteral("set stackGenKeys currentIndex %1\n").arg(view)
            + shot(QStringLiteral("01-first-start-view%1").arg(view));
    script += QStringLiteral(
                  "set keyErrorText text Cannot start gpg to generate a key pair. Is GnuPG installed and "
                  "on the PATH?\nset stackGenKeys currentIndex 4\n")
        + shot("01-first-start-error") + QStringLiteral("quit\n");
    CliUser::Result result = carol.runWindow(script);
    QVERIFY2(result.exitCode == 0, result.out.constData());

    // Bob: home, contacts, adding, editing, sharing, events, settings and its sub pages.
    script = resize + QStringLiteral("waitVisible lvContacts\n") + shot("02-home-contacts")
        + QStringLiteral("click btnOwnFingerprint\nwaitVisible ownFingerprintText\n")
        + shot("02-own-fingerprint")
        + QStringLiteral("click btnOwnFingerprintClose\nwaitHidden ownFingerprintText\n")
        + QStringLiteral("hover contactRow_%1\n").arg(m_aliceId) + shot("02-home-contact-hovered")
        + QStringLiteral("click tabEventsBtn\n") + shot("03-events")
        + QStringLiteral("click eventStatusText_0\nwaitVisible lvEventFiles\n") + shot("03-event-files")
        + QStringLiteral(
                 "click btnBack\nclick tabContactsBtn\nclick btnAddContact\nwaitVisible newContactId\n")
        + shot("04-add-contact")
        + QStringLiteral("click newContactId\ntype 1\nkey Enter\n"
                         "wait newContactText text No user has this ID. Please check it.\n")
        + shot("04-add-contact-not-found")
        + QStringLiteral("click newContactId\ntype Bob\nkey Enter\n"
                         "wait newContactText text An ID is made of digits only\n")
        + shot("04-add-contact-letters");
    for (int view = 1; view <= 3; ++view)
        script += QStringLiteral("set stackAddContact currentIndex %1\n").arg(view)
            + shot(QStringLiteral("04-add-contact-view%1").arg(view));
    script += QStringLiteral("click btnBack\nhover contactRow_%1\nclick btnEditContact\n").arg(m_aliceId)
        + shot("05-edit-contact") + QStringLiteral("click btnDeleteContact\n")
        + shot("05-edit-contact-delete") + QStringLiteral("click btnCancelDelete\nsleep 500\nclick btnBack\n")
        + QStringLiteral("hover contactRow_%1\nclick btnShareTo\nwaitVisible shareDropArea\n").arg(m_aliceId)
        + shot("06-share-empty") + QStringLiteral("drop shareDropArea %1\n").arg(QFileInfo(m_file).path())
        + shot("06-share-list")
        + QStringLiteral("set shareHeader visible false\nset filesList visible false\n"
                         "set stackShareFiles visible true\nset stackShareFiles currentIndex 0\n")
        + shot("06-share-key")
        + QStringLiteral("set shareProgressText text Uploading data to server...\n"
                         "set shareProgressBar to 3150000\nset shareProgressBar value 1200000\n"
                         "set stackShareFiles currentIndex 1\n")
        + shot("06-share-progress")
        + QStringLiteral("set shareProgressInfo text Connection lost, retrying in 20 s\n")
        + shot("06-share-retrying") + QStringLiteral("set stackShareFiles currentIndex 2\n")
        + shot("06-share-done")
        + QStringLiteral("set shareErrorText text Cannot get server response\n"
                         "set stackShareFiles currentIndex 3\n")
        + shot("06-share-error")
        + QStringLiteral(
                  "set pageShareFiles offeredFingerprint 0123456789ABCDEF0123456789ABCDEF01234567\n"
                  "set shareErrorText text The key of Alice Martin has changed, so nothing was sent. "
                  "Pinned key: 9D2E 51A0 7C33 B184 0F6A  2C95 E871 4B3D 6A02 CC19. Key offered now: 0123 "
                  "4567 89AB CDEF 0123 4567 89AB CDEF 0123 4567. Accept the new key only once Alice Martin "
                  "has confirmed it, for example by comparing the safety number.\n")
        + shot("06-share-key-changed")
        + QStringLiteral("click btnShareClose\nwaitVisible btnSettings\nclick btnSettings\n")
        + shot("07-settings") + QStringLiteral("click btnLocale\n") + shot("07-settings-language")
        + QStringLiteral("click btnBack\nclick btnAbout\n") + shot("07-settings-about")
        + QStringLiteral("click btnBack\nclick btnContactUs\n") + shot("07-settings-contact")
        + QStringLiteral("click feedbackName\ntype Bob\nclick feedbackEmail\ntype bob@example.org\n"
                         "click feedbackMessage\ntype The window looks fine.\nclick btnSendFeedback\n"
                         "waitVisible btnCloseFeedbackResult\n"
                         "wait feedbackResultText text Message sent\n"
                         "wait feedbackMessage text \n")
        + shot("07-settings-contact-sent") + QStringLiteral("quit\n");
    result = m_bob.runWindow(script);
    QVERIFY2(result.exitCode == 0, result.out.constData());

    // Alice: the download page for the first waiting transfer, every view of it; the files go into
    // a folder that already holds a file of that name, so it is kept beside it. The second
    // transfer is rejected, after the question.
    const QString inbox = m_alice.home() + QStringLiteral("/Inbox %1").arg(width);
    QVERIFY(TestFiles::write(inbox + QStringLiteral("/IMG_2041.jpg"), "an older photo"));
    script = resize + QStringLiteral("waitVisible btnAccept\n") + shot("08-download-request")
        + QStringLiteral("click btnAccept\nwaitVisible btnSaveDownload\nanswerDir %1\nclick btnChangeFolder\n"
                         "wait extractPathText text %1\n")
              .arg(inbox)
        + shot("08-download-folder")
        + QStringLiteral("set downloadProgressText text Downloading from the server…\n"
                         "set stackDownload currentIndex 2\n")
        + shot("08-download-progress")
        + QStringLiteral("set downloadProgressInfo text Connection lost, retrying in 20 s\n")
        + shot("08-download-retrying")
        + QStringLiteral(
                 "set stackDownload currentIndex 1\nclick btnSaveDownload\nwaitVisible btnDownloadDone\n")
        + shot("08-download-done")
        + QStringLiteral("set downloadErrorText text Cannot decrypt the container\n"
                         "set stackDownload currentIndex 4\n")
        + shot("08-download-error")
        + QStringLiteral("click btnDownloadClose\nclick btnCheckNow\nwaitVisible btnReject\nanswerConfirm "
                         "no\nclick btnReject\n"
                         "asked ^Reject files\n")
        + QStringLiteral("grabConfirmation %1/08-download-reject-question.png\n").arg(dir)
        + QStringLiteral("answerConfirm yes\nclick btnReject\nwaitVisible lvContacts\n")
        + shot("09-home-empty") + QStringLiteral("click tabEventsBtn\n") + shot("09-events-rejected")
        + QStringLiteral("quit\n");
    result = m_alice.runWindow(script);
    QVERIFY2(result.exitCode == 0, result.out.constData());
}

void Screenshots::translatedPages_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addRow("de_DE") << QStringLiteral("de_DE");
    QTest::addRow("ru_RU") << QStringLiteral("ru_RU");
    QTest::addRow("zh_CN") << QStringLiteral("zh_CN");
}

void Screenshots::translatedPages()
{
    QFETCH(QString, locale);
    const QString dir = outputDir() + QLatin1Char('/') + locale;
    QVERIFY(QDir().mkpath(dir));
    auto shot = [&](const QString& name) { return grabStep(dir, name); };

    // Someone whose system speaks the language starts for the first time.
    CliUser newcomer;
    QVERIFY(TestFiles::write(newcomer.home() + QStringLiteral("/.config/Tessary/Tessary.conf"),
                             QStringLiteral("[General]\nlocale=%1\n").arg(locale).toUtf8()));
    CliUser::Result result = newcomer.runWindow(QStringLiteral("waitVisible btnNext\n") + shot("first-start")
                                                + QStringLiteral("quit\n"));
    QVERIFY2(result.exitCode == 0, result.out.constData());

    // Bob picks the language on the settings page: every visible text changes at once.
    result = m_bob.runWindow(QStringLiteral("click btnSettings\nclick btnLocale\nclick localeRow_%1\n"
                                            "waitMatch titleText text ^(?!Settings$).+\n")
                                 .arg(locale)
                             + shot("settings") + QStringLiteral("click btnLocale\n")
                             + shot("settings-language") + QStringLiteral("click btnBack\nclick btnBack\n")
                             + shot("home") + QStringLiteral("click tabEventsBtn\n") + shot("events")
                             + QStringLiteral("click tabContactsBtn\nhover contactRow_%1\nclick btnShareTo\n"
                                              "waitVisible shareDropArea\ndrop shareDropArea %2\n")
                                   .arg(m_aliceId, m_file)
                             + shot("sharing")
                             + QStringLiteral("click btnBack\nclick btnSettings\nclick btnLocale\n"
                                              "click localeRow_en_GB\nwait titleText text Settings\nquit\n"));
    QVERIFY2(result.exitCode == 0, result.out.constData());
}

void Screenshots::cleanupTestCase()
{
    for (const QString& file : qAsConst(m_shots))
        QVERIFY2(QFileInfo(file).size() > 0, qPrintable(file));
    qInfo().noquote() << "Screenshots:\n" + m_shots.join(QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(Screenshots)
#include "Screenshots.moc"

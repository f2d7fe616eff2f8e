// Requests the relay must refuse, each checked to change nothing: refusals a user has to read come
// as HTTP 200 with {"error": "..."}, malformed requests as 400 (or 413 for an oversized body).

#include "GpgTestKeys.h"
#include "RelayClient.h"
#include "util/RelayProcess.h"

#include <QDir>
#include <QJsonArray>
#include <QtTest>

#include <memory>

namespace {
enum class Case
{
    WrongMd5,
    FingerprintOfAnotherKey,
    TruncatedKey,
    SecretKey,
    KeyOfAnotherInstallation,
    AttachUnknownKeyId,
    DownloadUnknownKeyId,
    CanUploadOverLimit,
    ContainerOverLimit,
    PasswordContainer,
    UnknownMethodContainer,
    UnknownRecipient,
    CompleteByStranger,
    CompleteByUploader,
    DeliveredForSomeoneElse,
    WrongPrefixByte,
    BodyShorterThanPrefix,
    AttachLengthBeyondBody,
    AttachNotDigits,
    CanUploadNotJson,
    CanUploadSizeAsText,
    CheckNewFilesOtherBody,
    CompleteBadFlag,
    CompleteNoFileId,
    DeliveredNotArray,
    FeedbackNotObject,
    UploadWithoutUid,
    UploadUidNotUuid,
    UploadNotMultipart,
    ApiBodyOverLimit,
};
} // namespace
Q_DECLARE_METATYPE(Case)

class TestRelayRefusals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedAndNothingChanged_data();
    void refusedAndNothingChanged();
    void deliveryIsReportedOnlyToTheUploader();

private:
    // Everything a refusal must leave as it was, as the three users and the disk see it.
    struct Snapshot
    {
        QByteArray forAlice, forBob, forCarol, delivered, keyOfAlice, keyOfBob, waitingBytes;
        QStringList blobFiles;
        bool operator==(const Snapshot& o) const
        {
            return forAlice == o.forAlice && forBob == o.forBob && forCarol == o.forCarol
                && delivered == o.delivered && keyOfAlice == o.keyOfAlice && keyOfBob == o.keyOfBob
                && waitingBytes == o.waitingBytes && blobFiles == o.blobFiles;
        }
    };
    Snapshot snapshot() const;
    RelayClient::Reply perform(Case c) const;
    QByteArray pubKeyCall(const QByteArray& key, const QString& fpr, bool damageDigest) const;

    std::unique_ptr<GpgTestKeys> m_keys;
    std::unique_ptr<RelayProcess> m_relay;
    std::unique_ptr<RelayClient> m_client;
    const QUuid m_alice = QUuid::createUuid();
    const QUuid m_bob = QUuid::createUuid();
    const QUuid m_carol = QUuid::createUuid();
    QString m_aliceKeyId, m_bobKeyId;
    qint32 m_waiting = 0; // Alice's container for Bob, waiting throughout
    static constexpr int maxContainer = 64 * 1024;
};

void TestRelayRefusals::initTestCase()
{
    // Key 3 is never registered: it stands for a new user's key.
    m_keys = std::make_unique<GpgTestKeys>(4);
    QVERIFY2(m_keys->isValid(), qPrintable(m_keys->error()));
    m_relay = std::make_unique<RelayProcess>(
        QString(),
        QStringList {QStringLiteral("--max-container"), QStringLiteral("64K"),
                     QStringLiteral("--api-body-limit"), QStringLiteral("16K")});
    QString error;
    QVERIFY2(m_relay->start(&error), qPrintable(error));
    m_client = std::make_unique<RelayClient>(m_relay->baseUrl(), m_relay->caFile());

    m_aliceKeyId = m_client->registerKey(m_alice, m_keys->key(0).publicKey, m_keys->key(0).fingerprint);
    m_bobKeyId = m_client->registerKey(m_bob, m_keys->key(1).publicKey, m_keys->key(1).fingerprint);
    QVERIFY(!m_client->registerKey(m_carol, m_keys->key(2).publicKey, m_keys->key(2).fingerprint).isEmpty());
    m_waiting = m_client->uploadFileId(
        m_client->upload(RelayClient::container(QByteArray(1000, 'w'), m_keys->key(1).fingerprint), m_alice));
    QVERIFY(m_waiting > 0);
}

TestRelayRefusals::Snapshot TestRelayRefusals::snapshot() const
{
    auto list = [&](const QUuid& who) {
        return m_client->call(QStringLiteral("check-new-files"), who, "CHECK").body;
    };
    Snapshot s;
    s.forAlice = list(m_alice);
    s.forBob = list(m_bob);
    s.forCarol = list(m_carol);
    s.delivered = m_client
                      ->call(QStringLiteral("check-delivered"), m_alice,
                             QByteArray::number(m_waiting).prepend('[') + ']')
                      .body;
    s.keyOfAlice = m_client->call(QStringLiteral("download-pubkey"), m_bob, m_aliceKeyId.toLatin1()).body;
    s.keyOfBob = m_client->call(QStringLiteral("download-pubkey"), m_alice, m_bobKeyId.toLatin1()).body;
    s.waitingBytes = m_client->download(m_waiting).body;
    s.blobFiles = QDir(m_relay->dataDir() + QStringLiteral("/containers")).entryList(QDir::Files);
    s.blobFiles += QDir(m_relay->dataDir() + QStringLiteral("/containers/incoming")).entryList(QDir::Files);
    return s;
}

QByteArray TestRelayRefusals::pubKeyCall(const QByteArray& key, const QString& fpr, bool damageDigest) const
{
    QByteArray body = RelayClient::pubKeyBody(key, fpr);
    if (damageDigest)
        body[3] = static_cast<char>(body[3] ^ 0x40);
    return body;
}

RelayClient::Reply TestRelayRefusals::perform(Case c) const
{
    const GpgTestKeys::Key& fresh = m_keys->key(3);
    const QString bobFpr = m_keys->key(1).fingerprint;
    auto call = [&](const char* endpoint, const QUuid& who, const QByteArray& payload) {
        return m_client->call(QString::fromLatin1(endpoint), who, payload);
    };
    switch (c) {
    case Case::WrongMd5:
        return call("upload-pubkey", m_carol, pubKeyCall(fresh.publicKey, fresh.fingerprint, true));
    case Case::FingerprintOfAnotherKey:
        return call("upload-pubkey", m_carol, pubKeyCall(fresh.publicKey, m_keys->key(0).fingerprint, false));
    case Case::TruncatedKey:
        return call("upload-pubkey", m_carol,
                    pubKeyCall(fresh.publicKey.left(200), fresh.fingerprint, false));
    case Case::SecretKey:
        return call("upload-pubkey", m_carol, pubKeyCall(fresh.secretKey, fresh.fingerprint, false));
    case Case::KeyOfAnotherInstallation:
        return call("upload-pubkey", m_carol,
                    pubKeyCall(m_keys->key(0).publicKey, m_keys->key(0).fingerprint, false));
    case Case::AttachUnknownKeyId:
        return call("attach-key", m_alice, RelayClient::attachBody(QStringLiteral("12")));
    case Case::DownloadUnknownKeyId:
        return call("download-pubkey", m_alice, "12");
    case Case::CanUploadOverLimit:
        return call("can-upload", m_alice,
                    QByteArray("{\"size\":") + QByteArray::number(maxContainer + 1) + '}');
    case Case::ContainerOverLimit:
        return m_client->upload(RelayClient::container(QByteArray(maxContainer, 'o'), bobFpr), m_alice);
    case Case::PasswordContainer:
        return m_client->upload(RelayClient::container(QByteArray(500, 'p'), QString(), 2), m_alice);
    case Case::UnknownMethodContainer:
        return m_client->upload(RelayClient::container(QByteArray(500, 'u'), QString(), 7), m_alice);
    case Case::UnknownRecipient:
        return m_client->upload(RelayClient::container(QByteArray(500, 'r'), fresh.fingerprint), m_alice);
    case Case::CompleteByStranger:
        return call("download-complete", m_carol, RelayClient::completeBody(false, m_waiting));
    case Case::CompleteByUploader:
        return call("download-complete", m_alice, RelayClient::completeBody(true, m_waiting));
    case Case::DeliveredForSomeoneElse:
        return call("check-delivered", m_carol, QByteArray::number(m_waiting).prepend('[') + ']');
    case Case::WrongPrefixByte: {
        QByteArray body = QByteArray(1, '\x02') + m_alice.toRfc4122() + "CHECK";
        return m_client->post(QStringLiteral("/api/check-new-files"), body);
    }
    case Case::BodyShorterThanPrefix:
        return m_client->post(QStringLiteral("/api/check-new-files"), QByteArray(1, '\x03') + "CHECK");
    case Case::AttachLengthBeyondBody:
        return call("attach-key", m_alice, QByteArray(1, char(20)) + m_bobKeyId.toLatin1());
    case Case::AttachNotDigits:
        return call("attach-key", m_alice, QByteArray(1, char(3)) + "1a3");
    case Case::CanUploadNotJson:
        return call("can-upload", m_alice, "size=10");
    case Case::CanUploadSizeAsText:
        return call("can-upload", m_alice, "{\"size\":\"10\"}");
    case Case::CheckNewFilesOtherBody:
        return call("check-new-files", m_bob, "LIST");
    case Case::CompleteBadFlag:
        return call("download-complete", m_bob, QByteArray(1, '\x07') + QByteArray::number(m_waiting));
    case Case::CompleteNoFileId:
        return call("download-complete", m_bob, QByteArray(1, '\x00') + "abc");
    case Case::DeliveredNotArray:
        return call("check-delivered", m_alice, "{\"fileId\":1}");
    case Case::FeedbackNotObject:
        return call("send-feedback", m_alice, "[\"hello\"]");
    case Case::UploadWithoutUid: {
        const QByteArray body
            = "--b\r\nContent-Disposition: form-data; name=\"container\"; filename=\"container\"\r\n\r\n"
            + RelayClient::container("data", bobFpr) + "\r\n--b--\r\n";
        return m_client->post(QStringLiteral("/upload-container"), body,
                              QStringLiteral("multipart/form-data; boundary=b"));
    }
    case Case::UploadUidNotUuid: {
        QTemporaryFile file;
        file.open();
        file.write(RelayClient::container("data", bobFpr));
        file.flush();
        return m_client->upload(file.fileName(), QStringLiteral("{not-a-uuid}"));
    }
    case Case::UploadNotMultipart:
        return m_client->post(QStringLiteral("/upload-container"), RelayClient::container("data", bobFpr));
    case Case::ApiBodyOverLimit:
        return call("send-feedback", m_alice, "{\"message\":\"" + QByteArray(20000, 'm') + "\"}");
    }
    return RelayClient::Reply();
}

void TestRelayRefusals::refusedAndNothingChanged_data()
{
    QTest::addColumn<Case>("request");
    QTest::addColumn<int>("status");

    // Refusals the user reads.
    QTest::addRow("wrong MD5") << Case::WrongMd5 << 200;
    QTest::addRow("fingerprint of another key") << Case::FingerprintOfAnotherKey << 200;
    QTest::addRow("truncated key packets") << Case::TruncatedKey << 200;
    QTest::addRow("secret key") << Case::SecretKey << 200;
    QTest::addRow("key registered by another installation") << Case::KeyOfAnotherInstallation << 200;
    QTest::addRow("attach unknown key id") << Case::AttachUnknownKeyId << 200;
    QTest::addRow("download unknown key id") << Case::DownloadUnknownKeyId << 200;
    QTest::addRow("can-upload over the limit") << Case::CanUploadOverLimit << 200;
    QTest::addRow("container over the limit") << Case::ContainerOverLimit << 200;
    QTest::addRow("method 2 container") << Case::PasswordContainer << 200;
    QTest::addRow("unknown method byte") << Case::UnknownMethodContainer << 200;
    QTest::addRow("recipient key not registered") << Case::UnknownRecipient << 200;
    QTest::addRow("download-complete from a stranger") << Case::CompleteByStranger << 200;
    QTest::addRow("download-complete from the uploader") << Case::CompleteByUploader << 200;
    // Not a refusal but an empty answer: the file is not the caller's to ask about.
    QTest::addRow("check-delivered for someone else's file") << Case::DeliveredForSomeoneElse << -200;

    // Malformed requests.
    QTest::addRow("prefix byte not 0x03") << Case::WrongPrefixByte << 400;
    QTest::addRow("body shorter than the prefix") << Case::BodyShorterThanPrefix << 400;
    QTest::addRow("attach length beyond the body") << Case::AttachLengthBeyondBody << 400;
    QTest::addRow("attach key id not digits") << Case::AttachNotDigits << 400;
    QTest::addRow("can-upload not JSON") << Case::CanUploadNotJson << 400;
    QTest::addRow("can-upload size as text") << Case::CanUploadSizeAsText << 400;
    QTest::addRow("check-new-files other body") << Case::CheckNewFilesOtherBody << 400;
    QTest::addRow("download-complete flag 7") << Case::CompleteBadFlag << 400;
    QTest::addRow("download-complete without file id") << Case::CompleteNoFileId << 400;
    QTest::addRow("check-delivered not an array") << Case::DeliveredNotArray << 400;
    QTest::addRow("feedback not an object") << Case::FeedbackNotObject << 400;
    QTest::addRow("upload without uid part") << Case::UploadWithoutUid << 400;
    QTest::addRow("upload uid not a UUID") << Case::UploadUidNotUuid << 400;
    QTest::addRow("upload not multipart") << Case::UploadNotMultipart << 400;
    QTest::addRow("api body over the limit") << Case::ApiBodyOverLimit << 413;
}

void TestRelayRefusals::refusedAndNothingChanged()
{
    QFETCH(Case, request);
    QFETCH(int, status);

    const Snapshot before = snapshot();
    QCOMPARE(before.forBob.count("fileId"), 1);
    const RelayClient::Reply reply = perform(request);
    if (status == -200) {
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.json().array().size(), 0);
    } else {
        QCOMPARE(reply.status, status);
        if (status == 200)
            QVERIFY2(reply.isRefusal(), reply.body.constData());
        else
            QVERIFY(reply.error().isEmpty());
    }
    QVERIFY(snapshot() == before);
}

void TestRelayRefusals::deliveryIsReportedOnlyToTheUploader()
{
    const qint32 fileId = m_client->uploadFileId(
        m_client->upload(RelayClient::container("done", m_keys->key(1).fingerprint), m_alice));
    QVERIFY(fileId > 0);
    QCOMPARE(
        m_client->call(QStringLiteral("download-complete"), m_bob, RelayClient::completeBody(false, fileId))
            .status,
        200);

    const QByteArray ask = QByteArray::number(fileId).prepend('[') + ']';
    QCOMPARE(m_client->call(QStringLiteral("check-delivered"), m_carol, ask).json().array().size(), 0);
    QCOMPARE(m_client->call(QStringLiteral("check-delivered"), m_bob, ask).json().array().size(), 0);
    QCOMPARE(m_client->call(QStringLiteral("check-delivered"), m_alice, ask).json().array().size(), 1);
}

QTEST_GUILESS_MAIN(TestRelayRefusals)
#include "TestRelayRefusals.moc"

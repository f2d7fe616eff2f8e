// The relay's check of uploaded keys, on keys made by gpg and taken apart: what it accepts, gpg
// imports as a key that can encrypt; what it refuses, it refuses for the reason a user is told.

#include "OpenPgpKey.h"
#include "OpenPgpPacket.h"
#include "RelayClient.h"

#include <QtTest>

#include <functional>

namespace {
using Status = OpenPgpKey::Status;

struct Packet
{
    int tag;
    int owner; // the primary key (6), user id (13), user attribute (17) or subkey (14) it follows
    QByteArray bytes; // header and body
};

QVector<Packet> packetsOf(const QByteArray& key)
{
    QVector<Packet> list;
    qint64 pos = 0;
    int owner = 0;
    OpenPgpPacket p;
    while (pos < key.size()
           && OpenPgpPacket::read(key.constData() + pos, key.size() - pos, &p) == OpenPgpPacket::Parse::Ok) {
        owner = p.tag == 2 ? owner : p.tag;
        list.append({p.tag, owner, key.mid(int(pos), int(p.headerSize + p.bodyLength))});
        pos += p.headerSize + p.bodyLength;
    }
    return list;
}

// The key with each packet replaced by what change makes of it (nothing drops it).
QByteArray rewritten(const QByteArray& key, const std::function<QByteArray(const Packet&)>& change)
{
    QByteArray out;
    for (const Packet& p : packetsOf(key))
        out += change(p);
    return out;
}

QByteArray without(const QByteArray& key, const std::function<bool(const Packet&)>& drop)
{
    return rewritten(key, [&](const Packet& p) { return drop(p) ? QByteArray() : p.bytes; });
}
} // namespace

class TestOpenPgpKey : public QObject
{
    Q_OBJECT

    TestKeyring m_keyring;
    TestKey m_rsa, m_client, m_ed25519, m_signOnly, m_p256;

private slots:
    void initTestCase()
    {
        m_rsa = m_keyring.make("RSA <rsa@example.org>", "rsa2048", "sign", "rsa2048");
        // As the Tessary client makes them: one RSA key that signs and encrypts, no subkey.
        m_client = m_keyring.make("Xq3Lm9Tz0a", "rsa2048", "cert,sign,encr");
        m_ed25519 = m_keyring.make("Ed <ed@example.org>", "ed25519", "sign", "cv25519");
        m_signOnly = m_keyring.make("Signer <sign@example.org>", "ed25519", "sign");
        m_p256 = m_keyring.make("P-256 <p256@example.org>", "nistp256", "sign", "nistp256");
        for (const TestKey* key : {&m_rsa, &m_client, &m_ed25519, &m_signOnly, &m_p256})
            QVERIFY(!key->fingerprint.isEmpty());
    }

    void keys_data()
    {
        QTest::addColumn<QByteArray>("packets");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("fingerprint"); // of a valid key

        const QByteArray rsa = m_rsa.publicKey;
        QTest::addRow("RSA with an encryption subkey") << rsa << int(Status::Valid) << m_rsa.fingerprint;
        QTest::addRow("RSA that signs and encrypts, as the client makes it")
            << m_client.publicKey << int(Status::Valid) << m_client.fingerprint;
        QTest::addRow("Ed25519 with a Curve25519 subkey")
            << m_ed25519.publicKey << int(Status::Valid) << m_ed25519.fingerprint;

        QTest::addRow("empty") << QByteArray() << int(Status::NotOpenPgp) << QString();
        QTest::addRow("3-byte packet")
            << QByteArray("\xc6\x01\x04", 3) << int(Status::NotOpenPgp) << QString();
        QTest::addRow("no user id") << without(rsa, [](const Packet& p) { return p.owner == 13; })
                                    << int(Status::NoUserId) << QString();
        QTest::addRow("no self-signature")
            << without(rsa, [](const Packet& p) { return p.tag == 2 && p.owner == 13; })
            << int(Status::NoSelfSignature) << QString();
        QTest::addRow("forged self-signature") << rewritten(rsa, [](const Packet& p) {
            QByteArray bytes = p.bytes;
            if (p.tag == 2 && p.owner == 13)
                bytes[bytes.size() - 1] = char(bytes.back() ^ 0x01);
            return bytes;
        }) << int(Status::NoSelfSignature) << QString();
        QTest::addRow("no encryption key")
            << m_signOnly.publicKey << int(Status::NoEncryptionKey) << QString();
        QTest::addRow("subkey without its binding")
            << without(rsa, [](const Packet& p) { return p.tag == 2 && p.owner == 14; })
            << int(Status::NoEncryptionKey) << QString();
        QTest::addRow("literal data after the key") << rsa
                + QByteArray("\xcb\x0b"
                             "b\x00\x00\x00\x00\x00hello",
                             13) << int(Status::TrailingData)
                                                    << QString();
        QTest::addRow("bytes after the key") << rsa + "trailing" << int(Status::TrailingData) << QString();
        QTest::addRow("secret key") << m_rsa.secretKey << int(Status::SecretKey) << QString();
        QTest::addRow("secret subkey after the key")
            << rsa + without(m_rsa.secretKey, [](const Packet& p) { return p.tag != 7; })
            << int(Status::SecretKey) << QString();
        QTest::addRow("two keys") << rsa + m_ed25519.publicKey << int(Status::SeveralKeys) << QString();
        // Real and usable, but its ECDSA signatures are not among those the relay verifies.
        QTest::addRow("ECDSA P-256") << m_p256.publicKey << int(Status::Unsupported) << QString();
    }

    void keys()
    {
        QFETCH(QByteArray, packets);
        QFETCH(int, status);
        QFETCH(QString, fingerprint);
        const OpenPgpKey key(packets);
        QCOMPARE(int(key.status()), status);
        QCOMPARE(QString::fromLatin1(key.fingerprint().toHex().toUpper()), fingerprint);
        if (status == int(Status::Valid))
            QVERIFY(TestKeyring::importsForEncryption(packets));
    }
};

QTEST_GUILESS_MAIN(TestOpenPgpKey)
#include "TestOpenPgpKey.moc"

#include "OpenPgpKey.h"

#include "OpenPgpPacket.h"

#include <QCryptographicHash>
#include <QVector>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <memory>

namespace {
enum Tag
{
    Signature = 2,
    SecretKey = 5,
    PublicKey = 6,
    SecretSubkey = 7,
    Trust = 12,
    UserId = 13,
    PublicSubkey = 14,
    UserAttribute = 17
};
enum Algorithm
{
    Rsa = 1,
    RsaEncryptOnly = 2,
    RsaSignOnly = 3,
    ElGamal = 16,
    Ecdh = 18,
    EdDsa = 22
};
constexpr char ed25519Oid[] = "\x2b\x06\x01\x04\x01\xda\x47\x0f\x01";

struct Packet
{
    int tag;
    QByteArray body;
};

// Reads the fields of one packet body in order; any read past the end sets ok to false.
class Fields
{
public:
    explicit Fields(const QByteArray& data)
        : m_data(data)
    {
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_data.size(); }
    int position() const { return m_pos; }

    QByteArray bytes(int count)
    {
        if (count < 0 || count > m_data.size() - m_pos) {
            m_ok = false;
            return QByteArray();
        }
        m_pos += count;
        return m_data.mid(m_pos - count, count);
    }
    quint32 number(int size)
    {
        quint32 value = 0;
        for (char c : bytes(size))
            value = (value << 8) | static_cast<quint8>(c);
        return value;
    }
    QByteArray mpi() { return bytes(int((number(2) + 7) / 8)); }

private:
    const QByteArray& m_data;
    int m_pos = 0;
    bool m_ok = true;
};

// What a version 4 public key or subkey packet holds.
struct Key
{
    int algorithm = 0;
    QByteArray first, second; // RSA: n and e; EdDSA: curve oid and point
};

bool readKey(const QByteArray& body, Key* key)
{
    Fields fields(body);
    if (fields.number(1) != 4)
        return false;
    fields.number(4); // creation time
    key->algorithm = int(fields.number(1));
    if (key->algorithm == Rsa || key->algorithm == RsaEncryptOnly || key->algorithm == RsaSignOnly) {
        key->first = fields.mpi();
        key->second = fields.mpi();
    } else if (key->algorithm == EdDsa) {
        key->first = fields.bytes(int(fields.number(1)));
        key->second = fields.mpi();
    }
    // Other algorithms' material is not needed: only RSA and EdDSA keys verify signatures here.
    return fields.ok();
}

struct SignaturePacket
{
    int type = 0;
    int algorithm = 0;
    int hashAlgorithm = 0;
    QByteArray hashed; // version to the end of the hashed subpackets: what the hash covers
    QByteArray issuer; // 8-byte key id or 20-byte fingerprint, empty if neither is given
    int keyFlags = -1; // first byte of the hashed key flags, -1 without
    QByteArray left16;
    QVector<QByteArray> values; // the signature's MPIs
};

void readSubpackets(const QByteArray& area, bool hashed, SignaturePacket* signature)
{
    Fields fields(area);
    while (fields.ok() && !fields.atEnd()) {
        const quint32 first = fields.number(1);
        const int length = int(first < 192       ? first
                                   : first < 255 ? ((first - 192) << 8) + fields.number(1) + 192
                                                 : fields.number(4));
        const QByteArray body = fields.bytes(length);
        if (body.isEmpty())
            continue;
        const int type = body.at(0) & 0x7f;
        if (type == 16 && body.size() == 9)
            signature->issuer = body.mid(1);
        else if (type == 33 && body.size() == 22 && body.at(1) == 4)
            signature->issuer = body.mid(2);
        else if (type == 27 && hashed && body.size() >= 2)
            signature->keyFlags = static_cast<quint8>(body.at(1));
    }
}

bool readSignature(const QByteArray& body, SignaturePacket* signature)
{
    Fields fields(body);
    if (fields.number(1) != 4)
        return false;
    signature->type = int(fields.number(1));
    signature->algorithm = int(fields.number(1));
    signature->hashAlgorithm = int(fields.number(1));
    const QByteArray hashedArea = fields.bytes(int(fields.number(2)));
    signature->hashed = body.left(fields.position());
    const QByteArray unhashedArea = fields.bytes(int(fields.number(2)));
    signature->left16 = fields.bytes(2);
    while (fields.ok() && !fields.atEnd())
        signature->values.append(fields.mpi());
    readSubpackets(unhashedArea, false, signature);
    readSubpackets(hashedArea, true, signature);
    return fields.ok();
}

const EVP_MD* digestFor(int hashAlgorithm)
{
    switch (hashAlgorithm) {
    case 8:
        return EVP_sha256();
    case 9:
        return EVP_sha384();
    case 10:
        return EVP_sha512();
    case 11:
        return EVP_sha224();
    default:
        return nullptr; // MD5, SHA-1 and RIPEMD-160 are not trusted for a self-signature
    }
}

QByteArray leftPadded(const QByteArray& value, int size)
{
    return value.size() >= size ? value : QByteArray(size - value.size(), '\0') + value;
}

struct OpenSslFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

bool verifyRsa(const Key& signer, const EVP_MD* md, const QByteArray& digest, const QByteArray& value)
{
    // OSSL_PARAM big numbers are in native (here little-endian) byte order.
    QByteArray n(signer.first), e(signer.second);
    std::reverse(n.begin(), n.end());
    std::reverse(e.begin(), e.end());
    OSSL_PARAM params[] = {OSSL_PARAM_construct_BN(OSSL_PKEY_PARAM_RSA_N, reinterpret_cast<uchar*>(n.data()),
                                                   std::size_t(n.size())),
                           OSSL_PARAM_construct_BN(OSSL_PKEY_PARAM_RSA_E, reinterpret_cast<uchar*>(e.data()),
                                                   std::size_t(e.size())),
                           OSSL_PARAM_construct_end()};
    std::unique_ptr<EVP_PKEY_CTX, OpenSslFree> make(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!make || EVP_PKEY_fromdata_init(make.get()) != 1
        || EVP_PKEY_fromdata(make.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return false;
    std::unique_ptr<EVP_PKEY, OpenSslFree> key(raw);
    std::unique_ptr<EVP_PKEY_CTX, OpenSslFree> check(EVP_PKEY_CTX_new(key.get(), nullptr));
    const QByteArray signature = leftPadded(value, signer.first.size());
    return check && EVP_PKEY_verify_init(check.get()) == 1
        && EVP_PKEY_CTX_set_rsa_padding(check.get(), RSA_PKCS1_PADDING) == 1
        && EVP_PKEY_CTX_set_signature_md(check.get(), md) == 1
        && EVP_PKEY_verify(check.get(), reinterpret_cast<const uchar*>(signature.constData()),
                           std::size_t(signature.size()), reinterpret_cast<const uchar*>(digest.constData()),
                           std::size_t(digest.size()))
        == 1;
}

// OpenPGP's Ed25519 signs the digest, which is the message for EdDSA.
bool verifyEd25519(const Key& signer, const QByteArray& digest, const QByteArray& r, const QByteArray& s)
{
    if (signer.second.size() != 33 || signer.second.at(0) != 0x40 || r.size() > 32 || s.size() > 32)
        return false;
    std::unique_ptr<EVP_PKEY, OpenSslFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const uchar*>(signer.second.constData() + 1), 32));
    std::unique_ptr<EVP_MD_CTX, OpenSslFree> check(EVP_MD_CTX_new());
    const QByteArray signature = leftPadded(r, 32) + leftPadded(s, 32);
    return key && check && EVP_DigestVerifyInit(check.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(check.get(), reinterpret_cast<const uchar*>(signature.constData()), 64,
                            reinterpret_cast<const uchar*>(digest.constData()), std::size_t(digest.size()))
        == 1;
}

QByteArray lengthPrefixed(char head, const QByteArray& body, int lengthBytes)
{
    QByteArray out(1, head);
    for (int i = lengthBytes - 1; i >= 0; --i)
        out += char((body.size() >> (8 * i)) & 0xff);
    return out + body;
}

// Whether signature, over the primary key's packet and then `object` (a user id or subkey already
// framed for hashing), was made by the primary key.
bool verifies(const Key& primary, const QByteArray& primaryBody, const QByteArray& object,
              const SignaturePacket& signature)
{
    const EVP_MD* md = digestFor(signature.hashAlgorithm);
    if (!md || signature.algorithm != primary.algorithm)
        return false;
    const int n = signature.hashed.size();
    const char trailer[6] = {4, char(0xff), char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    const QByteArray data
        = lengthPrefixed(char(0x99), primaryBody, 2) + object + signature.hashed + QByteArray(trailer, 6);
    QByteArray digest(EVP_MD_get_size(md), '\0');
    if (EVP_Digest(data.constData(), std::size_t(data.size()), reinterpret_cast<uchar*>(digest.data()),
                   nullptr, md, nullptr)
            != 1
        || !digest.startsWith(signature.left16))
        return false;
    if (primary.algorithm == EdDsa)
        return signature.values.size() == 2
            && verifyEd25519(primary, digest, signature.values.at(0), signature.values.at(1));
    return signature.values.size() == 1 && verifyRsa(primary, md, digest, signature.values.at(0));
}

bool canEncrypt(int algorithm)
{
    return algorithm == Rsa || algorithm == RsaEncryptOnly || algorithm == ElGamal || algorithm == Ecdh;
}

bool mayEncrypt(int algorithm, int keyFlags)
{
    return canEncrypt(algorithm) && (keyFlags < 0 || (keyFlags & 0x0c));
}
} // namespace

OpenPgpKey::OpenPgpKey(const QByteArray& packets)
{
    m_status = check(packets);
}

OpenPgpKey::Status OpenPgpKey::check(const QByteArray& packets)
{
    // Keys are exported with definite lengths only; anything else ends the key.
    QVector<Packet> list;
    qint64 pos = 0;
    bool wellFormed = true;
    while (pos < packets.size() && wellFormed) {
        OpenPgpPacket header;
        wellFormed = OpenPgpPacket::read(packets.constData() + pos, packets.size() - pos, &header)
                == OpenPgpPacket::Parse::Ok
            && header.length == OpenPgpPacket::Length::Definite
            && header.bodyLength <= packets.size() - pos - header.headerSize;
        if (wellFormed) {
            list.append({header.tag, packets.mid(int(pos + header.headerSize), int(header.bodyLength))});
            pos += header.headerSize + header.bodyLength;
        }
    }
    if (std::any_of(list.begin(), list.end(),
                    [](const Packet& p) { return p.tag == SecretKey || p.tag == SecretSubkey; }))
        return Status::SecretKey;
    if (list.isEmpty() || list.first().tag != PublicKey)
        return Status::NotOpenPgp;
    const QByteArray& primaryBody = list.first().body;
    Key primary;
    if (primaryBody.isEmpty() || primaryBody.at(0) != 4 || primaryBody.size() > 0xffff)
        return Status::Unsupported;
    if (!readKey(primaryBody, &primary))
        return Status::NotOpenPgp;
    m_fingerprint
        = QCryptographicHash::hash(lengthPrefixed(char(0x99), primaryBody, 2), QCryptographicHash::Sha1);

    for (const Packet& p : list.mid(1)) {
        if (p.tag == PublicKey)
            return Status::SeveralKeys;
        if (p.tag != Signature && p.tag != Trust && p.tag != UserId && p.tag != UserAttribute
            && p.tag != PublicSubkey)
            return Status::TrailingData;
    }
    if (!wellFormed)
        return Status::TrailingData;
    if (primary.algorithm != Rsa && primary.algorithm != RsaSignOnly
        && !(primary.algorithm == EdDsa && primary.first == QByteArray(ed25519Oid)))
        return Status::Unsupported;

    // Each signature belongs to the user id or subkey before it.
    bool anyUserId = false, certified = false, encryption = false;
    QByteArray object; // the user id or subkey as hashed, empty before the first
    int objectTag = 0;
    Key subkey;
    for (const Packet& p : list.mid(1)) {
        if (p.tag == UserId || p.tag == UserAttribute) {
            anyUserId = anyUserId || p.tag == UserId;
            object = lengthPrefixed(char(p.tag == UserId ? 0xb4 : 0xd1), p.body, 4);
            objectTag = p.tag;
        } else if (p.tag == PublicSubkey) {
            object = lengthPrefixed(char(0x99), p.body, 2);
            objectTag = readKey(p.body, &subkey) ? p.tag : 0;
        }
        SignaturePacket signature;
        if (p.tag != Signature || object.isEmpty() || !readSignature(p.body, &signature)
            || (signature.issuer != m_fingerprint && signature.issuer != m_fingerprint.right(8)))
            continue;
        const bool certification = objectTag == UserId && signature.type >= 0x10 && signature.type <= 0x13;
        const bool binding = objectTag == PublicSubkey && signature.type == 0x18;
        if ((certification || binding) && verifies(primary, primaryBody, object, signature)) {
            certified = certified || certification;
            encryption = encryption || (certification && mayEncrypt(primary.algorithm, signature.keyFlags))
                || (binding && mayEncrypt(subkey.algorithm, signature.keyFlags));
        }
    }
    if (!anyUserId)
        return Status::NoUserId;
    if (!certified)
        return Status::NoSelfSignature;
    return encryption ? Status::Valid : Status::NoEncryptionKey;
}

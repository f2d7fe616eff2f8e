#include "DevTls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {
struct OpenSslFree
{
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
using Cert = std::unique_ptr<X509, OpenSslFree>;
using Key = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using Bio = std::unique_ptr<BIO, OpenSslFree>;

constexpr long caDays = 3650;
constexpr long serverDays = 397;
constexpr long renewBeforeDays = 30;

Key newKey()
{
    return Key(EVP_EC_gen("P-256"));
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, OpenSslFree> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

// issuer/issuerKey null: self-signed.
Cert newCert(EVP_PKEY* key, const char* commonName, long days, X509* issuer, EVP_PKEY* issuerKey, bool ca)
{
    Cert cert(X509_new());
    std::unique_ptr<BIGNUM, OpenSslFree> serial(BN_new());
    if (!cert || !serial || !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)
        || !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
        return nullptr;
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 86400);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Tessary relay"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));

    bool ok = addExtension(cert.get(), signer, NID_subject_key_identifier, "hash")
        && addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (ca) {
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE,pathlen:0")
            && addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE")
            && addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature")
            && addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth")
            && addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,IP:::1,DNS:localhost");
    }
    if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        return nullptr;
    return cert;
}

// Writes through a temporary file and a rename, so an interrupted start never leaves half a PEM.
bool writePem(const QString& path, bool secret, const std::function<int(BIO*)>& write)
{
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        return false;
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    const QString temp = path + QStringLiteral(".tmp");
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.setPermissions(secret ? QFile::ReadOwner | QFile::WriteOwner
                               : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const bool written = file.write(data, size) == size && file.flush();
    file.close();
    QFile::remove(path);
    return written && QFile::rename(temp, path);
}

Bio readFile(const QString& path)
{
    return Bio(BIO_new_file(QFile::encodeName(path).constData(), "r"));
}

Cert readCert(const QString& path)
{
    Bio bio = readFile(path);
    return Cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Key readKey(const QString& path)
{
    Bio bio = readFile(path);
    return Key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

bool validFor(X509* cert, long days)
{
    time_t limit = time(nullptr) + days * 86400;
    return X509_cmp_time(X509_get0_notAfter(cert), &limit) > 0;
}
} // namespace

DevTls::DevTls(const QString& dir)
    : m_dir(QFileInfo(dir).absoluteFilePath())
{
}

QString DevTls::caFile() const
{
    return m_dir + QStringLiteral("/ca.pem");
}

QString DevTls::certFile() const
{
    return m_dir + QStringLiteral("/server.pem");
}

QString DevTls::keyFile() const
{
    return m_dir + QStringLiteral("/server.key");
}

bool DevTls::ensure(QString* error)
{
    if (!QDir().mkpath(m_dir)) {
        *error = QStringLiteral("cannot create %1").arg(m_dir);
        return false;
    }
    ::chmod(QFile::encodeName(m_dir).constData(), 0700);
    const QString caKeyFile = m_dir + QStringLiteral("/ca.key");

    Cert ca = readCert(caFile());
    Key caKey = readKey(caKeyFile);
    const bool haveCa = ca && caKey && X509_check_private_key(ca.get(), caKey.get()) == 1;
    if (!haveCa) {
        // Without a usable CA everything is made anew; clients must then trust the new ca.pem.
        caKey = newKey();
        ca = caKey ? newCert(caKey.get(), "Tessary relay private CA", caDays, nullptr, nullptr, true)
                   : nullptr;
        if (!ca
            || !writePem(caKeyFile, true,
                         [&](BIO* b) {
                             return PEM_write_bio_PrivateKey(b, caKey.get(), nullptr, nullptr, 0, nullptr,
                                                             nullptr);
                         })
            || !writePem(caFile(), false, [&](BIO* b) { return PEM_write_bio_X509(b, ca.get()); })) {
            *error = QStringLiteral("cannot create the private CA in %1").arg(m_dir);
            return false;
        }
    }

    Cert server = readCert(certFile());
    Key serverKey = readKey(keyFile());
    const bool serverUsable = haveCa && server && serverKey
        && X509_check_private_key(server.get(), serverKey.get()) == 1
        && X509_verify(server.get(), caKey.get()) == 1 && validFor(server.get(), renewBeforeDays);
    if (serverUsable)
        return true;

    serverKey = newKey();
    server = serverKey ? newCert(serverKey.get(), "localhost", serverDays, ca.get(), caKey.get(), false)
                       : nullptr;
    if (!server
        || !writePem(keyFile(), true,
                     [&](BIO* b) {
                         return PEM_write_bio_PrivateKey(b, serverKey.get(), nullptr, nullptr, 0, nullptr,
                                                         nullptr);
                     })
        || !writePem(certFile(), false, [&](BIO* b) { return PEM_write_bio_X509(b, server.get()); })) {
        *error = QStringLiteral("cannot create the server certificate in %1").arg(m_dir);
        return false;
    }
    return true;
}

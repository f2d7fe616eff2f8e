#pragma once

// Fixtures shared by the container pipeline tests: a real key pair made by gpg, containers and
// payloads built and opened with the gpg command line directly (independently of the code under
// test), and a payload parser written from the byte layout.

#include "containers/ContainerTrailer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>

namespace ContainerTestSupport {

// A GnuPG home of the test's own (short path: gpg-agent's socket lives inside it).
class GpgHome
{
public:
    GpgHome()
        : m_dir(QStringLiteral("/tmp/tg-XXXXXX"))
    {
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~GpgHome() { QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", m_dir.path(), "--kill", "all"}); }

    bool run(const QStringList& args, QByteArray* out = nullptr) const
    {
        QProcess p;
        p.start(QStringLiteral("gpg"), QStringList {"--homedir", m_dir.path(), "--batch", "--yes"} + args);
        if (!p.waitForFinished(120000))
            return false;
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Generates a key pair (Curve25519, quick to make) without passphrase; its parts as gpg exports them.
    bool generate(QString* fpr, QByteArray* publicKey, QByteArray* secretKey) const
    {
        QByteArray listing;
        if (!run({"--passphrase", "", "--quick-gen-key", "Test <test@example.org>", "future-default",
                  "default", "never"})
            || !run({"--with-colons", "--list-secret-keys"}, &listing))
            return false;
        for (const QByteArray& line : listing.split('\n')) {
            if (line.startsWith("fpr:")) {
                *fpr = QString::fromLatin1(line.split(':').value(9));
                break;
            }
        }
        return !fpr->isEmpty() && run({"--export", *fpr}, publicKey)
            && run({"--export-secret-keys", *fpr}, secretKey);
    }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

inline bool storeKey(const QString& keyId, const QString& fpr, const QByteArray& pub, const QByteArray& sec)
{
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "INSERT INTO key_data (remote_key_id, key_alias, fpr, public, private) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(keyId);
    q.addBindValue(QStringLiteral("test"));
    q.addBindValue(fpr);
    q.addBindValue(pub);
    q.addBindValue(sec.isEmpty() ? QVariant(QVariant::ByteArray) : QVariant(sec));
    return q.exec();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A method-2 container around any payload bytes, made with the gpg command line.
inline bool makePasswordContainer(const GpgHome& gpg, const QByteArray& payload, const QString& password,
                                  const QString& path)
{
    const QString plain = path + QStringLiteral(".plain");
    const bool ok = writeFile(plain, payload) && gpg.run({"--passphrase", password, "-c", "-o", path, plain});
    QFile::remove(plain);
    if (!ok)
        return false;
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(ContainerTrailer::encode(2, password)) == 1;
}

// The payload inside a container: the trailer cut off, then gpg -d with the password or with the
// secret key imported into gpg's home.
inline QByteArray openContainer(const GpgHome& gpg, const QString& path, const QString& password = QString())
{
    QByteArray bytes = readFile(path);
    if (bytes.isEmpty())
        return QByteArray();
    bytes.chop(bytes.endsWith('\x01') ? 21 : 1);
    const QString message = path + QStringLiteral(".message");
    writeFile(message, bytes);
    QStringList args;
    if (!password.isNull())
        args << "--passphrase" << password;
    QByteArray out;
    const bool ok = gpg.run(args + QStringList {"-d", message}, &out);
    QFile::remove(message);
    return ok ? out : QByteArray();
}

struct Entry
{
    QByteArray name;
    qint64 size;
    QList<int> chunkLengths;
    QByteArray content;
};

// Parses a payload from its byte layout; false when it does not add up exactly.
inline bool parsePayload(const QByteArray& p, QList<Entry>* entries)
{
    int pos = 0;
    auto need = [&](int n) { return pos + n <= p.size(); };
    if (!need(9) || p.left(4) != "TSYC" || p.at(4) != 1)
        return false;
    const qint32 count = qFromBigEndian<qint32>(p.constData() + 5);
    pos = 9;
    for (int i = 0; i < count; ++i) {
        if (!need(4))
            return false;
        const int len = int(qFromBigEndian<quint32>(p.constData() + pos));
        pos += 4;
        if (!need(len + 8))
            return false;
        Entry e {p.mid(pos, len), qFromBigEndian<qint64>(p.constData() + pos + len), {}, {}};
        pos += len + 8;
        entries->append(e);
    }
    for (Entry& e : *entries) {
        while (e.content.size() < e.size) {
            if (!need(4))
                return false;
            const int len = int(qFromBigEndian<quint32>(p.constData() + pos));
            pos += 4;
            if (!need(len))
                return false;
            e.chunkLengths.append(len);
            e.content += p.mid(pos, len);
            pos += len;
        }
    }
    return pos == p.size();
}

} // namespace ContainerTestSupport

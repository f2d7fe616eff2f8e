#pragma once

// Fixtures of the container tests: a product home, a gpg home of the test's own, and containers and
// payloads made and opened with the gpg command line, independently of the code under test.

#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>

namespace ContainerTestSupport {

// Short path: gpg-agent's socket lives inside it.
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

    // A key pair without passphrase made in this home: its fingerprint and, if asked, both halves.
    bool generate(const QString& name, QString* fpr, QByteArray* pub = nullptr,
                  QByteArray* sec = nullptr) const
    {
        const QString uid = name + QStringLiteral(" <test@example.org>");
        QByteArray listing;
        if (!run({"--passphrase", "", "--quick-gen-key", uid, "future-default", "default", "never"})
            || !run({"--with-colons", "--list-secret-keys", "=" + uid}, &listing))
            return false;
        *fpr = QString::fromLatin1(listing.mid(listing.indexOf("\nfpr:")).split(':').value(9));
        return !fpr->isEmpty() && (!pub || run({"--export", *fpr}, pub))
            && (!sec || run({"--export-secret-keys", *fpr}, sec));
    }

    // A key pair, stored in the product's database as keyId (secret half optional).
    bool generateAndStore(const QString& keyId, bool withSecret, QString* fpr)
    {
        QByteArray pub, sec;
        if (!generate(QStringLiteral("Key ") + keyId, fpr, &pub, &sec))
            return false;
        QSqlQuery q;
        q.prepare(QStringLiteral("INSERT INTO key_data (remote_key_id, key_alias, fpr, public, private) "
                                 "VALUES (?, 'test', ?, ?, ?)"));
        for (const QVariant& v : {QVariant(keyId), QVariant(*fpr), QVariant(pub),
                                  withSecret ? QVariant(sec) : QVariant(QVariant::ByteArray)})
            q.addBindValue(v);
        return q.exec();
    }

    // A method-1 container to the key to, signed by the key signer of this home unless it is empty.
    QByteArray container(const QByteArray& payload, const QString& to, const QString& signer) const
    {
        const QString plain = m_dir.filePath(QStringLiteral("plain")),
                      out = m_dir.filePath(QStringLiteral("out"));
        QFile file(plain);
        if (!file.open(QIODevice::WriteOnly) || file.write(payload) != payload.size())
            return QByteArray();
        file.close();
        QStringList args {"--trust-model", "always", "-e", "-r", to, "-o", out};
        if (!signer.isEmpty())
            args << "-s"
                 << "-u" << signer;
        QFile encrypted(out);
        if (!run(args << plain) || !encrypted.open(QIODevice::ReadOnly))
            return QByteArray();
        return encrypted.readAll() + QByteArray::fromHex(to.toLatin1()) + '\x01';
    }

private:
    QTemporaryDir m_dir;
};

// Product home with its database, a gpg home, a work folder and TMPDIR, all watched for files.
struct Env
{
    TestHome home;
    GpgHome gpg;
    QTemporaryDir work, tmp;
    Env() { qputenv("TMPDIR", QFile::encodeName(tmp.path())); }
    // gpg-agent of the product's GnuPG home would otherwise outlive the test and its home folder.
    ~Env() { QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", home.dataDir(), "--kill", "all"}); }
    QString path(const QString& name) const { return work.filePath(name); }
    // Every file in TMPDIR, in the product's temporary folder and among its unfinished uploads.
    QStringList temporaries() const
    {
        QStringList files;
        for (const QString& dir : {tmp.path(), home.dataDir() + QStringLiteral("/tmp"),
                                   home.dataDir() + QStringLiteral("/uploads")}) {
            QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        }
        return files;
    }
};

inline QList<ScriptedServer::Request> requestsTo(const ScriptedServer& server, const QString& path)
{
    QList<ScriptedServer::Request> list;
    for (const auto& r : server.requests())
        if (r.path == path)
            list << r;
    return list;
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

// A method-2 container around any payload bytes.
inline bool makePasswordContainer(const GpgHome& gpg, const QByteArray& payload, const QString& path)
{
    const QString plain = path + QStringLiteral(".plain");
    const bool ok = writeFile(plain, payload) && gpg.run({"--passphrase", "pw", "-c", "-o", path, plain});
    QFile::remove(plain);
    QFile f(path);
    return ok && f.open(QIODevice::Append) && f.write("\x02") == 1;
}

// The payload inside a container: trailer cut off, then gpg -d with the password (or gpg's own
// keys); *status gets gpg's status lines.
inline QByteArray openContainer(const GpgHome& gpg, const QString& path, const QString& password = QString(),
                                QByteArray* status = nullptr)
{
    QByteArray bytes = readFile(path);
    bytes.chop(bytes.endsWith('\x01') ? 21 : 1);
    const QString message = path + QStringLiteral(".message"), statusFile = path + QStringLiteral(".status");
    writeFile(message, bytes);
    QStringList args {"--status-file", statusFile};
    if (!password.isNull())
        args << "--passphrase" << password;
    QByteArray out;
    const bool ok = !bytes.isEmpty() && gpg.run(args + QStringList {"-d", message}, &out);
    if (status)
        *status = readFile(statusFile);
    QFile::remove(message);
    QFile::remove(statusFile);
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
    int pos = 9;
    auto need = [&](int n) { return pos + n <= p.size(); };
    auto be32 = [&] { return int(qFromBigEndian<quint32>(p.constData() + (pos += 4) - 4)); };
    if (p.size() < 9 || p.left(4) != "TSYC" || p.at(4) != 1)
        return false;
    for (int i = qFromBigEndian<qint32>(p.constData() + 5); i > 0; --i) {
        const int len = need(4) ? be32() : -1;
        if (len < 0 || !need(len + 8))
            return false;
        entries->append({p.mid(pos, len), qFromBigEndian<qint64>(p.constData() + pos + len), {}, {}});
        pos += len + 8;
    }
    for (Entry& e : *entries) {
        while (e.content.size() < e.size) {
            const int len = need(4) ? be32() : -1;
            if (len < 0 || !need(len))
                return false;
            e.chunkLengths.append(len);
            e.content += p.mid(pos, len);
            pos += len;
        }
    }
    return pos == p.size();
}

} // namespace ContainerTestSupport

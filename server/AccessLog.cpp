#include "AccessLog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

AccessLog::~AccessLog()
{
    if (m_ownsFile && m_out)
        std::fclose(m_out);
}

bool AccessLog::open(const QString& path, const QString& saltFile, QString* error)
{
    QFile salt(saltFile);
    if (salt.open(QIODevice::ReadOnly))
        m_salt = salt.readAll();
    salt.close();
    if (m_salt.size() != 32) {
        m_salt.resize(32);
        if (RAND_bytes(reinterpret_cast<unsigned char*>(m_salt.data()), m_salt.size()) != 1
            || !salt.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || !salt.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
            || salt.write(m_salt) != m_salt.size() || !salt.flush()) {
            *error = QStringLiteral("cannot write %1").arg(saltFile);
            return false;
        }
    }

    if (path.isEmpty()) {
        m_out = stderr;
        return true;
    }
    m_out = std::fopen(QFile::encodeName(path).constData(), "a");
    if (!m_out) {
        *error = QStringLiteral("cannot open the access log %1").arg(path);
        return false;
    }
    m_ownsFile = true;
    return true;
}

QString AccessLog::pseudonym(const QByteArray& installation) const
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), m_salt.constData(), m_salt.size(),
         reinterpret_cast<const unsigned char*>(installation.constData()),
         static_cast<size_t>(installation.size()), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), 6).toHex());
}

void AccessLog::write(const Entry& entry)
{
    QJsonObject line {
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("remote"), entry.remote},
        {QStringLiteral("method"), entry.method},
        {QStringLiteral("path"), entry.path},
        {QStringLiteral("status"), entry.status},
        {QStringLiteral("in"), double(entry.bytesIn)},
        {QStringLiteral("out"), double(entry.bytesOut)},
    };
    if (entry.millis >= 0)
        line.insert(QStringLiteral("ms"), double(entry.millis));
    if (!entry.caller.isEmpty())
        line.insert(QStringLiteral("caller"), entry.caller);
    if (!entry.outcome.isEmpty())
        line.insert(QStringLiteral("outcome"), entry.outcome);
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_out)
        return;
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), m_out);
    std::fflush(m_out);
}

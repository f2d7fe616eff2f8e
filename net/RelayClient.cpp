#include "net/RelayClient.h"

#include "net/ServerConfig.h"

#include <QCryptographicHash>
#include <QFileDevice>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSettings>
#include <QUuid>

#include <cmath>

namespace {

QJsonObject objectOf(const RelayCall& call)
{
    return QJsonDocument::fromJson(call.reply()).object();
}

QString errorMember(const QJsonObject& object)
{
    return object.value(QStringLiteral("error")).toString(QStringLiteral(""));
}

// A count in a header: decimal digits only, or -1.
qint64 headerNumber(const RelayCall& call, const QByteArray& name)
{
    const QByteArray text = call.header(name).trimmed();
    bool ok = !text.isEmpty() && text.size() <= 18;
    for (char c : text)
        ok = ok && c >= '0' && c <= '9';
    return ok ? text.toLongLong() : -1;
}

} // namespace

RelayClient::RelayClient(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
}

QByteArray RelayClient::clientPrefix()
{
    QByteArray prefix(1, '\x03');
    prefix.append(QSettings().value(QStringLiteral("uid")).toUuid().toRfc4122());
    return prefix;
}

QString RelayClient::normalizeKeyId(const QString& keyId)
{
    static const QRegularExpression nonDigits(QStringLiteral("[^0-9]"));
    return QString(keyId).remove(nonDigits);
}

QNetworkRequest RelayClient::request(const QString& url) const
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    return request;
}

RelayCall* RelayClient::json(const QString& path, const QByteArray& body, QObject* context,
                             std::function<void(RelayCall&)> done)
{
    QNetworkRequest req = request(serverBaseUrl() + QStringLiteral("/api") + path);
    const QVariant locale = QSettings().value(QStringLiteral("locale"));
    if (locale.isValid())
        req.setRawHeader("Accept-Language", locale.toString().toUtf8());
    if (!body.isEmpty())
        req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    auto* call = new RelayCall(m_manager, req, context);
    // An empty body makes the call a GET without the prefix.
    if (!body.isEmpty())
        call->setBody(clientPrefix() + body);
    call->setFollowRedirects(true);
    call->setReplyLimit(maxReplyBytes);
    call->setTimeouts(m_timeoutMs, 3 * m_timeoutMs);
    connect(call, &RelayCall::finished, call, [call, done] {
        done(*call);
        call->deleteLater();
    });
    call->start();
    return call;
}

QNetworkRequest RelayClient::tusRequest(const QString& url) const
{
    QNetworkRequest req = request(url);
    req.setRawHeader("Tus-Resumable", "1.0.0");
    req.setRawHeader("Tessary-Installation", QSettings().value(QStringLiteral("uid")).toUuid().toByteArray());
    return req;
}

RelayCall* RelayClient::tus(const QByteArray& verb, QNetworkRequest req, const QByteArray& body,
                            QObject* context, std::function<void(RelayCall&)> done)
{
    if (verb == "PATCH")
        req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/offset+octet-stream"));
    auto* call = new RelayCall(m_manager, req, context);
    call->setVerb(verb);
    call->setBody(body);
    call->setKeepErrorReply(true);
    call->setReplyLimit(RelayCall::errorReplyLimit);
    call->setTimeouts(m_timeoutMs);
    connect(call, &RelayCall::finished, call, [call, done] {
        done(*call);
        call->deleteLater();
    });
    call->start();
    return call;
}

bool RelayClient::isTransient(const RelayCall& call)
{
    switch (call.failure()) {
    case RelayCall::Failure::TimedOut:
    case RelayCall::Failure::TooShort:
        return true;
    case RelayCall::Failure::Network: {
        // The connection failed (refused, reset, no route, a proxy in the way), also in the middle
        // of an answer; but not a certificate that fails or a redirect that may not be followed.
        const int error = call.networkError();
        if ((error >= QNetworkReply::ConnectionRefusedError && error <= QNetworkReply::UnknownNetworkError
             && error != QNetworkReply::SslHandshakeFailedError
             && error != QNetworkReply::OperationCanceledError
             && error != QNetworkReply::TooManyRedirectsError
             && error != QNetworkReply::InsecureRedirectError)
            || (error >= QNetworkReply::ProxyConnectionRefusedError
                && error <= QNetworkReply::UnknownProxyError))
            return true;
        // Or the relay could not serve it now.
        const int status = call.status();
        return status >= 500 || status == 408 || status == 423 || status == 429;
    }
    default:
        return false;
    }
}

template<typename T> void RelayClient::fillStatus(Result<T>& result, const RelayCall& call)
{
    result.status = call.status();
    result.transient = !result.ok() && isTransient(call);
}

QString RelayClient::statusError(const RelayCall& call)
{
    const QString text = call.status() >= 400 ? errorMember(objectOf(call)) : QString();
    return text.isEmpty() ? transportError(call) : text;
}

QString RelayClient::transportError(const RelayCall& call)
{
    switch (call.failure()) {
    case RelayCall::Failure::None:
        break;
    case RelayCall::Failure::Network: {
        const char* name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(call.networkError());
        return tr("Network error occured: %1").arg(QString::fromLatin1(name ? name : ""));
    }
    case RelayCall::Failure::TimedOut:
        return tr("The server stopped responding");
    case RelayCall::Failure::TooLarge:
    case RelayCall::Failure::TooShort:
    case RelayCall::Failure::Write:
        break;
    }
    return QString();
}

RelayCall* RelayClient::uploadPubKey(const QByteArray& publicKey, const QString& fpr, QObject* context,
                                     Callback<QString> done)
{
    QByteArray body = QCryptographicHash::hash(publicKey, QCryptographicHash::Md5);
    body.append(QByteArray::fromHex(fpr.toLatin1()));
    body.append(publicKey);
    return json(QStringLiteral("/upload-pubkey"), body, context, [done](RelayCall& call) {
        Result<QString> result;
        const QJsonObject object = objectOf(call);
        if (call.failure() == RelayCall::Failure::TooLarge)
            result.error = tr("The server's reply is too large");
        else if (call.reply().isEmpty())
            result.error = tr("Cannot get server response");
        else if (object.contains(QStringLiteral("error")))
            result.error = errorMember(object);
        else if (!object.contains(QStringLiteral("keyId")))
            result.error = tr("Unknown server response");
        else if ((result.value = object.value(QStringLiteral("keyId")).toString()).isEmpty())
            result.error = tr("Invalid key id in response");
        done(result);
    });
}

RelayCall* RelayClient::attachKey(const QString& keyId, const QString& title, QObject* context,
                                  Callback<QString> done)
{
    const QString id = normalizeKeyId(keyId);
    QByteArray body(1, char(id.size() & 0xff));
    body.append(id.toLatin1());
    body.append(title.toUtf8());
    return json(QStringLiteral("/attach-key"), body, context, [done](RelayCall& call) {
        Result<QString> result;
        const QJsonObject object = objectOf(call);
        if (call.failure() == RelayCall::Failure::TooLarge)
            result.error = tr("The server's reply is too large");
        else if (call.reply().isEmpty())
            result.error = tr("Cannot get server response");
        else if (object.contains(QStringLiteral("error")))
            result.error = errorMember(object);
        else if ((result.value = object.value(QStringLiteral("keyId")).toString()).isEmpty())
            result.error = tr("Invalid server response");
        done(result);
    });
}

RelayCall* RelayClient::downloadPubKey(const QString& keyId, QObject* context, Callback<PublicKey> done)
{
    return json(QStringLiteral("/download-pubkey"), normalizeKeyId(keyId).toLatin1(), context,
                [done](RelayCall& call) {
                    Result<PublicKey> result;
                    const QJsonObject object = objectOf(call);
                    PublicKey& key = result.value;
                    if (call.failure() == RelayCall::Failure::TooLarge) {
                        result.error = tr("The server's reply is too large");
                    } else if (call.reply().isEmpty()) {
                        result.error = tr("Cannot get server response");
                    } else if (object.contains(QStringLiteral("error"))) {
                        result.error = errorMember(object);
                    } else if (object.contains(QStringLiteral("keyData"))) {
                        key.keyId = object.value(QStringLiteral("keyId")).toString();
                        key.fpr = object.value(QStringLiteral("fpr")).toString().toUpper();
                        key.key = QByteArray::fromBase64(
                            object.value(QStringLiteral("keyData")).toString().toLatin1());
                        if (key.keyId.isEmpty() || key.fpr.isEmpty() || key.key.isEmpty())
                            result.error = tr("Invalid key data in response");
                    } else {
                        result.error = tr("Invalid server response");
                    }
                    done(result);
                });
}

RelayCall* RelayClient::canUpload(qint64 size, QObject* context, Callback<bool> done)
{
    const QJsonObject object {{QStringLiteral("size"), double(size)}};
    return json(QStringLiteral("/can-upload"), QJsonDocument(object).toJson(QJsonDocument::Compact), context,
                [done](RelayCall& call) {
                    Result<bool> result;
                    const QJsonObject reply = objectOf(call);
                    result.value = reply.value(QStringLiteral("success")).toBool(false);
                    if (call.failure() == RelayCall::Failure::TooLarge)
                        result.error = tr("The server's reply is too large");
                    else if (result.value)
                        ;
                    else if (reply.contains(QStringLiteral("error")))
                        result.error = errorMember(reply);
                    else
                        result.error = tr("Invalid server response");
                    done(result);
                });
}

RelayCall* RelayClient::uploadContainer(QIODevice* container, QObject* context, Callback<QString> done)
{
    auto* form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart containerPart;
    containerPart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    containerPart.setHeader(QNetworkRequest::ContentDispositionHeader,
                            QStringLiteral("form-data; name=\"container\"; filename=\"container\""));
    containerPart.setBodyDevice(container);
    form->append(containerPart);
    QHttpPart uidPart;
    uidPart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"uid\""));
    uidPart.setBody(QSettings().value(QStringLiteral("uid")).toUuid().toString().toLatin1());
    form->append(uidPart);

    auto* call
        = new RelayCall(m_manager, request(serverBaseUrl() + QStringLiteral("/upload-container")), context);
    call->setMultipart(form);
    call->setReplyLimit(maxReplyBytes);
    call->setTimeouts(m_timeoutMs);
    connect(call, &RelayCall::finished, call, [call, done] {
        Result<QString> result;
        const QJsonObject object = objectOf(*call);
        const QJsonValue fileId = object.value(QStringLiteral("fileId"));
        const double id = fileId.toDouble(0);
        if (call->failure() == RelayCall::Failure::TooLarge)
            result.error = tr("The server's reply is too large");
        else if (call->failure() != RelayCall::Failure::None)
            result.error = transportError(*call);
        else if (object.contains(QStringLiteral("error")))
            result.error = errorMember(object);
        else if (!object.contains(QStringLiteral("fileId")))
            result.error = tr("Invalid server response");
        else if (!(id >= 1 && id < 9e15 && std::floor(id) == id))
            result.error = tr("Invalid file id in response");
        else
            result.value = QString::number(qint64(id));
        done(result);
        call->deleteLater();
    });
    call->start();
    return call;
}

RelayCall* RelayClient::checkNewFiles(QObject* context, Callback<QVariantList> done)
{
    return json(QStringLiteral("/check-new-files"), QByteArrayLiteral("CHECK"), context,
                [done](RelayCall& call) {
                    Result<QVariantList> result;
                    const QJsonDocument document = QJsonDocument::fromJson(call.reply());
                    if (call.failure() == RelayCall::Failure::TooLarge)
                        result.error = tr("The server's reply is too large");
                    else if (call.reply().isEmpty())
                        result.error = tr("Cannot get server response");
                    else if (!document.isArray())
                        result.error = tr("Invalid server response");
                    else
                        result.value = document.array().toVariantList();
                    done(result);
                });
}

RelayCall* RelayClient::download(const QString& fileId, qint64 offset, qint64 size, const QByteArray& etag,
                                 QIODevice* sink, QObject* context, Callback<QByteArray> done)
{
    QNetworkRequest req = request(serverBaseUrl() + QStringLiteral("/id") + fileId);
    if (offset > 0) {
        req.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
        req.setRawHeader("If-Match", etag);
    }
    auto* call = new RelayCall(m_manager, req, context);
    call->setFollowRedirects(true);
    call->setSink(sink, size - offset);
    call->setKeepErrorReply(true);
    call->setTimeouts(m_timeoutMs);
    // Only the rest of the container whose beginning is here may follow it.
    const QByteArray range = "bytes " + QByteArray::number(offset) + '-' + QByteArray::number(size - 1) + '/'
        + QByteArray::number(size);
    call->setHeaderCheck([call, offset, range] {
        const int status = call->status();
        return status < 200 || status >= 300 || (offset == 0 && status == 200)
            || (status == 206 && call->header("Content-Range") == range);
    });
    connect(call, &RelayCall::finished, call, [call, done, sink, offset, size] {
        Result<QByteArray> result;
        result.value = call->header("ETag");
        switch (call->failure()) {
        case RelayCall::Failure::None:
            break;
        case RelayCall::Failure::TooLarge:
            result.error = tr("The server sent more than the announced %1 bytes").arg(size);
            break;
        case RelayCall::Failure::TooShort:
            result.error = tr("The server sent only %1 of the announced %2 bytes")
                               .arg(offset + call->received())
                               .arg(size);
            break;
        case RelayCall::Failure::Write: {
            const auto* file = qobject_cast<QFileDevice*>(sink);
            result.error = tr("Cannot write to %1: %2")
                               .arg(file ? QFileInfo(file->fileName()).absolutePath() : QString(),
                                    sink->errorString());
            break;
        }
        default:
            result.error = statusError(*call);
        }
        fillStatus(result, *call);
        // An answer that is not the rest of the same container counts as another container.
        if (call->networkError() == QNetworkReply::ProtocolFailure && call->status() >= 200
            && call->status() < 300)
            result.status = 412;
        done(result);
        call->deleteLater();
    });
    call->start();
    return call;
}

RelayCall* RelayClient::downloadComplete(const QString& fileId, bool rejected, QObject* context,
                                         Callback<bool> done)
{
    QByteArray body(1, rejected ? '\x01' : '\x00');
    body.append(fileId.toUtf8());
    return json(QStringLiteral("/download-complete"), body, context, [done](RelayCall& call) {
        Result<bool> result;
        result.value = call.failure() == RelayCall::Failure::None;
        if (!result.value)
            result.error = tr("Cannot get server response");
        done(result);
    });
}

RelayCall* RelayClient::checkDelivered(const QList<qint64>& fileIds, QObject* context,
                                       Callback<QList<Delivery>> done)
{
    QJsonArray ids;
    for (qint64 id : fileIds)
        ids.append(double(id));
    return json(QStringLiteral("/check-delivered"), QJsonDocument(ids).toJson(QJsonDocument::Compact),
                context, [done](RelayCall& call) {
                    Result<QList<Delivery>> result;
                    if (call.failure() != RelayCall::Failure::None)
                        result.error = tr("Cannot get server response");
                    const QJsonArray answers = QJsonDocument::fromJson(call.reply()).array();
                    for (const QJsonValue& value : answers) {
                        const QJsonObject answer = value.toObject();
                        result.value.append({qint64(answer.value(QStringLiteral("fileId")).toDouble()),
                                             answer.value(QStringLiteral("rejected")).toBool(false)});
                    }
                    done(result);
                });
}

RelayCall* RelayClient::createUpload(qint64 length, const QString& recipientFpr, QObject* context,
                                     Callback<QString> done)
{
    QNetworkRequest req = tusRequest(serverBaseUrl() + QStringLiteral("/uploads"));
    req.setRawHeader("Upload-Length", QByteArray::number(length));
    if (!recipientFpr.isEmpty())
        req.setRawHeader("Upload-Metadata", "recipient " + recipientFpr.toLatin1().toBase64());
    const QUrl base = req.url();
    return tus("POST", req, QByteArray(), context, [done, base](RelayCall& call) {
        Result<QString> result;
        const QByteArray location = call.header("Location");
        if (call.failure() == RelayCall::Failure::None && call.status() == 201 && !location.isEmpty())
            result.value = base.resolved(QUrl::fromEncoded(location)).toString();
        else if (call.failure() == RelayCall::Failure::None)
            result.error = tr("Invalid server response");
        else
            result.error = statusError(call);
        fillStatus(result, call);
        done(result);
    });
}

RelayCall* RelayClient::uploadState(const QString& url, QObject* context, Callback<UploadState> done)
{
    return tus("HEAD", tusRequest(url), QByteArray(), context, [done](RelayCall& call) {
        Result<UploadState> result;
        UploadState& state = result.value;
        state.offset = headerNumber(call, "Upload-Offset");
        state.length = headerNumber(call, "Upload-Length");
        const qint64 fileId = headerNumber(call, "Upload-File-Id");
        if (fileId > 0)
            state.fileId = QString::number(fileId);
        if (call.failure() != RelayCall::Failure::None)
            result.error = statusError(call);
        else if (state.offset < 0 || state.length < state.offset)
            result.error = tr("Invalid server response");
        fillStatus(result, call);
        done(result);
    });
}

RelayCall* RelayClient::appendUpload(const QString& url, qint64 offset, const QByteArray& bytes,
                                     QObject* context, Callback<UploadState> done)
{
    QNetworkRequest req = tusRequest(url);
    req.setRawHeader("Upload-Offset", QByteArray::number(offset));
    return tus("PATCH", req, bytes, context, [done, offset, end = offset + bytes.size()](RelayCall& call) {
        Result<UploadState> result;
        UploadState& state = result.value;
        state.offset = headerNumber(call, "Upload-Offset");
        const qint64 fileId = headerNumber(call, "Upload-File-Id");
        if (fileId > 0)
            state.fileId = QString::number(fileId);
        if (call.failure() != RelayCall::Failure::None)
            result.error = statusError(call);
        else if (state.offset < offset || state.offset > end || (call.status() == 200) != (fileId > 0))
            result.error = tr("Invalid server response");
        fillStatus(result, call);
        done(result);
    });
}

RelayCall* RelayClient::dropUpload(const QString& url, QObject* context, Callback<bool> done)
{
    return tus("DELETE", tusRequest(url), QByteArray(), context, [done](RelayCall& call) {
        Result<bool> result;
        // An upload the relay does not know is gone already.
        result.value = call.failure() == RelayCall::Failure::None || call.status() == 404;
        if (!result.value)
            result.error = statusError(call);
        fillStatus(result, call);
        done(result);
    });
}

RelayCall* RelayClient::sendFeedback(const QString& name, const QString& email, const QString& message,
                                     QObject* context, Callback<bool> done)
{
    const QJsonObject object {
        {QStringLiteral("name"), name},
        {QStringLiteral("email"), email},
        {QStringLiteral("message"), message},
    };
    return json(QStringLiteral("/send-feedback"), QJsonDocument(object).toJson(QJsonDocument::Compact),
                context, [done](RelayCall& call) {
                    Result<bool> result;
                    result.value = objectOf(call).value(QStringLiteral("success")).toBool(false);
                    if (!result.value)
                        result.error = tr("Cannot get server response");
                    done(result);
                });
}

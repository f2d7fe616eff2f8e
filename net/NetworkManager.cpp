#include "net/NetworkManager.h"

#include "net/ServerConfig.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QUuid>

NetworkManager::NetworkManager(QObject* parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
}

QByteArray NetworkManager::clientPrefix()
{
    QSettings settings;
    QByteArray prefix(1, '\x03');
    prefix.append(settings.value(QStringLiteral("uid")).toUuid().toRfc4122());
    return prefix;
}

QByteArray NetworkManager::request(const QString& path, QByteArray body, int timeoutMs)
{
    QSettings settings;
    QNetworkRequest req(QUrl(serverBaseUrl() + QStringLiteral("/api") + path, QUrl::TolerantMode));
    // Follow redirects (the successor of the FollowRedirectsAttribute switch; never HTTPS to HTTP).
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    const QVariant locale = settings.value(QStringLiteral("locale"));
    if (locale.isValid())
        req.setRawHeader("Accept-Language", locale.toString().toUtf8());

    QNetworkReply* reply;
    if (!body.isEmpty()) {
        body.prepend(clientPrefix());
        req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
        reply = manager->post(req, body);
    } else {
        reply = manager->get(req);
    }

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::downloadProgress, this, &NetworkManager::resetTimeout);
    connect(timer, &QTimer::timeout, reply, &QNetworkReply::abort);
    timer->setInterval(timeoutMs);
    timer->start();
    // The reply may already have failed (e.g. an unparsable URL) before the loop runs.
    if (!reply->isFinished())
        loop.exec();
    reply->deleteLater();

    if (reply->isFinished() && reply->error() == QNetworkReply::NoError)
        return reply->readAll();
    return QByteArray();
}

void NetworkManager::resetTimeout()
{
    timer->stop();
    timer->start();
}

#pragma once

#include <QByteArray>
#include <QObject>

class QNetworkAccessManager;
class QTimer;

// One blocking JSON call to the relay server. Create on the stack, call request() once, destroy.
// The caller's thread keeps processing events while it waits.
class NetworkManager : public QObject
{
    Q_OBJECT
public:
    explicit NetworkManager(QObject* parent = nullptr);

    // Sends body (behind the 17-byte client prefix; an empty body is a GET without prefix) to
    // serverBaseUrl + "/api" + path. Returns the reply body, or an empty array on any failure:
    // network or TLS error, HTTP error status, or no download progress for timeoutMs.
    QByteArray request(const QString& path, QByteArray body, int timeoutMs);

    // The 0x03 byte followed by the 16 RFC 4122 bytes of the installation id ("uid").
    static QByteArray clientPrefix();

private slots:
    void resetTimeout();

private:
    QNetworkAccessManager* manager;
    QTimer* timer;
};

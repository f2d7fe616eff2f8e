#include "app/WindowActivation.h"

#include "platform/Platform.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray request = QByteArrayLiteral("show\n");
const QByteArray answer = QByteArrayLiteral("ok\n");

} // namespace

WindowActivation::WindowActivation(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                // Whoever connects is this user; still, nothing but the one request is read.
                if (socket->bytesAvailable() < request.size())
                    return;
                if (socket->read(request.size()) == request) {
                    emit activationRequested();
                    socket->write(answer);
                }
                socket->disconnectFromServer();
            });
        }
    });
}

bool WindowActivation::listen(const QString& dataDir)
{
    const QString name = Platform::instanceServerName(dataDir);
    // Only the holder of the lock listens, so a name in use is left over from a run that was killed.
    QLocalServer::removeServer(name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    return m_server->listen(name);
}

bool WindowActivation::activateRunning(const QString& dataDir, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(Platform::instanceServerName(dataDir));
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (socket.bytesAvailable() < answer.size())
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    return socket.read(answer.size()) == answer;
}

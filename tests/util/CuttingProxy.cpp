#include "util/CuttingProxy.h"

#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

namespace {
constexpr qint64 bufferBytes = 256 * 1024;
} // namespace

class ProxyWorker : public QObject
{
public:
    std::atomic<int> serverPort {0};
    std::atomic<qint64> bytes[2] {{0}, {0}};
    std::atomic<int> connections {0};
    std::atomic<int> cuts {0};
    QMutex mutex; // guards cutsAt
    QList<qint64> cutsAt[2];

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &ProxyWorker::accept);
        return m_server->listen(QHostAddress::LocalHost) ? m_server->serverPort() : 0;
    }

private:
    void accept()
    {
        while (QTcpSocket* client = m_server->nextPendingConnection()) {
            ++connections;
            auto* server = new QTcpSocket(client);
            // Nothing piles up here: what is counted has gone on, as far as the kernel's buffers.
            client->setReadBufferSize(bufferBytes);
            server->setReadBufferSize(bufferBytes);
            // Bytes from the client wait in its socket until the server is there.
            const auto up = [=] {
                if (server->state() == QAbstractSocket::ConnectedState)
                    pass(CuttingProxy::Up, client, server);
            };
            const auto down = [=] { pass(CuttingProxy::Down, server, client); };
            connect(server, &QTcpSocket::connected, client, up);
            connect(client, &QTcpSocket::readyRead, server, up);
            connect(server, &QTcpSocket::bytesWritten, client, up);
            connect(server, &QTcpSocket::readyRead, client, down);
            connect(client, &QTcpSocket::bytesWritten, client, down);
            connect(server, &QTcpSocket::errorOccurred, client, [=] {
                if (server->state() != QAbstractSocket::ConnectedState)
                    close(client, server);
            });
            connect(client, &QTcpSocket::disconnected, client, [=] { close(client, server); });
            connect(server, &QTcpSocket::disconnected, client, [=] { close(client, server); });
            server->connectToHost(QHostAddress::LocalHost, quint16(serverPort.load()));
        }
    }

    // Both close, the other side after what it still has to send.
    void close(QTcpSocket* client, QTcpSocket* server)
    {
        client->disconnectFromHost();
        server->disconnectFromHost();
        client->deleteLater();
    }

    void pass(CuttingProxy::Direction direction, QTcpSocket* from, QTcpSocket* to)
    {
        const qint64 room = bufferBytes - to->bytesToWrite();
        const QByteArray data = from->isOpen() && room > 0 ? from->read(room) : QByteArray();
        if (data.isEmpty())
            return;
        qint64 allowed = data.size();
        bool cut = false;
        {
            QMutexLocker lock(&mutex);
            QList<qint64>& due = cutsAt[direction];
            if (!due.isEmpty() && bytes[direction] + data.size() >= due.first()) {
                allowed = qMax<qint64>(0, due.takeFirst() - bytes[direction]);
                cut = true;
            }
        }
        to->write(data.constData(), allowed);
        bytes[direction] += allowed;
        if (!cut)
            return;
        ++cuts;
        to->flush();
        QTcpSocket* client = direction == CuttingProxy::Up ? from : to;
        QTcpSocket* server = direction == CuttingProxy::Up ? to : from;
        client->abort();
        server->abort();
        client->deleteLater();
    }

    QTcpServer* m_server = nullptr;
};

CuttingProxy::CuttingProxy(quint16 serverPort)
    : m_thread(new QThread)
    , m_worker(new ProxyWorker)
{
    m_worker->serverPort = serverPort;
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [this] { m_port = m_worker->listen(); }, Qt::BlockingQueuedConnection);
}

CuttingProxy::~CuttingProxy()
{
    m_thread->quit();
    m_thread->wait();
}

QString CuttingProxy::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port);
}

void CuttingProxy::setServerPort(quint16 port)
{
    m_worker->serverPort = port;
}

void CuttingProxy::cutAt(Direction direction, const QList<qint64>& totals)
{
    QMutexLocker lock(&m_worker->mutex);
    m_worker->cutsAt[direction] = totals;
}

void CuttingProxy::reset()
{
    QMutexLocker lock(&m_worker->mutex);
    for (int direction : {Up, Down}) {
        m_worker->cutsAt[direction].clear();
        m_worker->bytes[direction] = 0;
    }
    m_worker->connections = 0;
    m_worker->cuts = 0;
}

qint64 CuttingProxy::bytes(Direction direction) const
{
    return m_worker->bytes[direction];
}

int CuttingProxy::connections() const
{
    return m_worker->connections;
}

int CuttingProxy::cuts() const
{
    return m_worker->cuts;
}

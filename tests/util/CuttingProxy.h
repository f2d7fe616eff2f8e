#pragma once

#include <QList>
#include <QString>

#include <memory>

class QThread;
class ProxyWorker;

// A TCP proxy on 127.0.0.1 in front of a server's port, on a thread of its own. It passes the bytes
// on as they come, TLS and all, without looking into them, and counts them in each direction. When
// the bytes in one direction reach a total it was given, it cuts the connection that carries them
// there; and it can be pointed at another port (a server that was started again).
class CuttingProxy
{
public:
    enum Direction
    {
        Up, // client to server
        Down // server to client
    };

    explicit CuttingProxy(quint16 serverPort);
    ~CuttingProxy();

    QString baseUrl() const; // https://127.0.0.1:PORT
    void setServerPort(quint16 port);

    // Cuts when the bytes counted in direction reach each of totals, in turn.
    void cutAt(Direction direction, const QList<qint64>& totals);
    // Counts from zero again, with no cuts to come.
    void reset();
    qint64 bytes(Direction direction) const;
    int connections() const;
    int cuts() const;

private:
    std::unique_ptr<QThread> m_thread;
    ProxyWorker* m_worker;
    quint16 m_port = 0;
};

#pragma once

#include <QObject>

class QLocalServer;

// One window per user: the running window listens, and a second start of the program asks it to come
// to the front instead of opening another.
class WindowActivation : public QObject
{
    Q_OBJECT
public:
    explicit WindowActivation(QObject* parent = nullptr);

    // Listens for later starts of the user whose data folder is dataDir; false when it cannot.
    bool listen(const QString& dataDir);

    // Asks the running window to come to the front; true when it said it would within timeoutMs.
    static bool activateRunning(const QString& dataDir, int timeoutMs = 3000);

signals:
    void activationRequested();

private:
    QLocalServer* m_server;
};

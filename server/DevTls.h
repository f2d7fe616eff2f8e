#pragma once

#include <QString>

// A private certificate authority and a server certificate for 127.0.0.1, ::1 and localhost, for
// trying the relay out and for tests. Created once in a folder and reused; the server certificate
// is renewed from the same CA when it nears its end, so clients keep trusting ca.pem.
class DevTls
{
public:
    explicit DevTls(const QString& dir);

    // Makes sure ca.pem, ca.key, server.pem and server.key exist and are usable.
    bool ensure(QString* error);

    QString caFile() const; // dir/ca.pem
    QString certFile() const; // dir/server.pem
    QString keyFile() const; // dir/server.key

private:
    QString m_dir;
};

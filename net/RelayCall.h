#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QHttpMultiPart;
class QIODevice;
class QNetworkAccessManager;

// One HTTP exchange with the relay. It never waits: the reply's signals drive it, and it ends with
// finished() exactly once unless abort() was called first. Everything that comes back is bounded:
// a reply kept in memory fails beyond its limit, a reply streamed into a sink fails beyond its
// announced size, and a call fails when less than minimumProgressBytes moved within the time-out
// (a dripping reply fails like a silent one), or when it takes longer than its total limit.
class RelayCall : public QObject
{
    Q_OBJECT
public:
    enum class Failure
    {
        None,
        Network, // refused, TLS, HTTP error status, a redirect that may not be followed
        TimedOut,
        TooLarge, // a reply beyond the memory limit, or a download beyond its announced size
        TooShort, // a download that ended before its announced size
        Write // the sink refused the bytes
    };

    static constexpr qint64 minimumProgressBytes = 1024;

    RelayCall(QNetworkAccessManager* manager, const QNetworkRequest& request, QObject* parent);
    ~RelayCall() override;

    // A POST of body; without one the call is a GET.
    void setBody(const QByteArray& body) { m_body = body; }
    // A POST of a multipart form (taken over). Such a call is never redirected.
    void setMultipart(QHttpMultiPart* multipart);
    void setFollowRedirects(bool follow) { m_followRedirects = follow; }
    void setTimeouts(int inactivityMs, int totalMs = 0);
    // The reply is kept in memory up to limit bytes.
    void setReplyLimit(qint64 limit) { m_limit = limit; }
    // The reply is written to sink instead, and must be exactly size bytes long.
    void setSink(QIODevice* sink, qint64 size);

    void start();
    void abort();

    Failure failure() const { return m_failure; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }
    QByteArray reply() const { return m_reply; }
    qint64 received() const { return m_received; }

signals:
    void progress(qint64 done, qint64 total);
    void finished();

private:
    void send();
    void onReadyRead();
    void onFinished();
    void onProgress(qint64 done, qint64 total);
    // Takes what the reply holds; false once the call has failed.
    bool drain(bool all);
    bool isRedirect() const;
    void fail(Failure failure);
    void end();
    void dropReply();

    QNetworkAccessManager* m_manager;
    QNetworkRequest m_request;
    QByteArray m_verb;
    QByteArray m_body;
    QHttpMultiPart* m_multipart = nullptr;
    bool m_followRedirects = false;
    int m_redirects = 0;
    qint64 m_limit = 0;
    QIODevice* m_sink = nullptr;
    qint64 m_size = -1;

    QPointer<QNetworkReply> m_networkReply;
    QTimer m_inactivity;
    QTimer m_total;
    qint64 m_moved = 0; // bytes up and down
    qint64 m_movedAtRestart = 0;
    qint64 m_uploaded = 0;
    qint64 m_downloaded = 0;

    Failure m_failure = Failure::None;
    QNetworkReply::NetworkError m_networkError = QNetworkReply::NoError;
    QByteArray m_reply;
    QByteArray m_block; // for the sink
    qint64 m_received = 0;
    bool m_ended = false;
};

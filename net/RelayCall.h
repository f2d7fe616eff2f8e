#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

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
    // Another method than GET or POST (HEAD, PATCH, DELETE); the body, if any, goes with it.
    void setVerb(const QByteArray& verb) { m_verb = verb; }
    // A POST of a multipart form (taken over). Such a call is never redirected.
    void setMultipart(QHttpMultiPart* multipart);
    void setFollowRedirects(bool follow) { m_followRedirects = follow; }
    void setTimeouts(int inactivityMs, int totalMs = 0);
    // The reply is kept in memory up to limit bytes.
    void setReplyLimit(qint64 limit) { m_limit = limit; }
    // The reply is written to sink instead, and must be exactly size bytes long. Only a success
    // goes there: the body of an error status is kept in memory (up to errorReplyLimit).
    void setSink(QIODevice* sink, qint64 size);
    // The body of an answer with an error status is kept (within the limit) for the caller to read.
    void setKeepErrorReply(bool keep) { m_keepErrorReply = keep; }
    // Called once the answer's status and headers are in, before any of its body is taken; false
    // fails the call as a protocol failure.
    void setHeaderCheck(std::function<bool()> check) { m_headerCheck = std::move(check); }

    void start();
    void abort();
    bool hasEnded() const { return m_ended; }

    Failure failure() const { return m_failure; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }
    QByteArray reply() const { return m_reply; }
    qint64 received() const { return m_received; }
    // The status of the answer, 0 while (or when) none came; its headers by name.
    int status() const { return m_status; }
    QByteArray header(const QByteArray& name) const;

    static constexpr qint64 errorReplyLimit = 64 * 1024;

signals:
    // Bytes of the reply taken (a download), or of the body sent (an upload).
    void progress(qint64 done, qint64 total);
    // The answer's status and headers are in, and passed the check.
    void headersReceived();
    void finished();

private:
    void send();
    void onReadyRead();
    void onFinished();
    // Bytes moved: the call is not idle.
    void noteMovement();
    // Takes what the reply holds; false once the call has failed.
    bool drain(bool all);
    bool isRedirect() const;
    // Whether the body of the answer goes to the sink: a success does, an error status does not.
    bool toSink() const { return m_sink && (m_status == 0 || (m_status >= 200 && m_status < 300)); }
    // Takes the status and headers of an answer that is not a redirect; false when they fail the check.
    bool takeHeaders();
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

    std::function<bool()> m_headerCheck;
    bool m_keepErrorReply = false;
    int m_status = 0;
    QList<QNetworkReply::RawHeaderPair> m_headers;

    Failure m_failure = Failure::None;
    QNetworkReply::NetworkError m_networkError = QNetworkReply::NoError;
    QByteArray m_reply;
    QByteArray m_block; // for the sink
    qint64 m_received = 0;
    bool m_ended = false;
};

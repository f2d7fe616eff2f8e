#include "net/RelayCall.h"

#include <QHttpMultiPart>
#include <QIODevice>
#include <QNetworkAccessManager>

namespace {

// The network layer hands a reply over in small pieces; the sink gets them in blocks of this size.
constexpr qint64 blockBytes = 256 * 1024;
constexpr int maxRedirects = 5;

} // namespace

RelayCall::RelayCall(QNetworkAccessManager* manager, const QNetworkRequest& request, QObject* parent)
    : QObject(parent)
    , m_manager(manager)
    , m_request(request)
{
    m_inactivity.setSingleShot(true);
    m_total.setSingleShot(true);
    connect(&m_inactivity, &QTimer::timeout, this, [this] { fail(Failure::TimedOut); });
    connect(&m_total, &QTimer::timeout, this, [this] { fail(Failure::TimedOut); });
}

RelayCall::~RelayCall()
{
    dropReply();
}

void RelayCall::setMultipart(QHttpMultiPart* multipart)
{
    m_multipart = multipart;
    multipart->setParent(this);
}

void RelayCall::setTimeouts(int inactivityMs, int totalMs)
{
    m_inactivity.setInterval(inactivityMs);
    m_total.setInterval(totalMs);
}

void RelayCall::setSink(QIODevice* sink, qint64 size)
{
    m_sink = sink;
    m_size = size;
    m_limit = qMax(m_limit, errorReplyLimit);
    m_block.reserve(int(2 * blockBytes));
}

QByteArray RelayCall::header(const QByteArray& name) const
{
    for (const QNetworkReply::RawHeaderPair& pair : m_headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

void RelayCall::start()
{
    if (m_verb.isEmpty())
        m_verb = m_body.isEmpty() && !m_multipart ? QByteArrayLiteral("GET") : QByteArrayLiteral("POST");
    if (m_total.interval() > 0)
        m_total.start();
    send();
}

void RelayCall::send()
{
    m_request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (m_multipart)
        m_networkReply = m_manager->post(m_request, m_multipart);
    else if (m_verb == "POST")
        // Handed over as bytes, the body stays whole for a request that the network layer has to
        // send again on a fresh connection.
        m_networkReply = m_manager->post(m_request, m_body);
    else if (m_verb == "GET")
        m_networkReply = m_manager->get(m_request);
    else if (m_verb == "HEAD")
        m_networkReply = m_manager->head(m_request);
    else
        m_networkReply = m_manager->sendCustomRequest(m_request, m_verb, m_body);
    QNetworkReply* reply = m_networkReply;
    // Qt stops reading from the socket while this much waits, so a fast server cannot fill memory;
    // a download gets room enough that the network thread does not keep stopping.
    reply->setReadBufferSize(m_sink ? 16 * blockBytes : blockBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, &RelayCall::takeHeaders);
    connect(reply, &QNetworkReply::readyRead, this, &RelayCall::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &RelayCall::onFinished);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 done, qint64) {
        m_moved += done - m_downloaded;
        m_downloaded = done;
        // What is on its way already counts: a reply that outgrows its limit is not read any further.
        if (done > (toSink() ? m_size : m_limit) && !isRedirect())
            return fail(Failure::TooLarge);
        noteMovement();
        if (m_sink)
            emit progress(m_received, m_size);
    });
    connect(reply, &QNetworkReply::uploadProgress, this, [this](qint64 done, qint64 total) {
        m_moved += done - m_uploaded;
        m_uploaded = done;
        noteMovement();
        if (total > 0 && !m_sink)
            emit progress(done, total);
    });
    m_uploaded = m_downloaded = 0;
    m_status = 0;
    m_headers.clear();
    m_inactivity.start();
}

void RelayCall::noteMovement()
{
    if (m_moved - m_movedAtRestart >= minimumProgressBytes) {
        m_movedAtRestart = m_moved;
        m_inactivity.start();
    }
}

bool RelayCall::takeHeaders()
{
    QNetworkReply* reply = m_networkReply;
    if (!reply || m_status != 0 || isRedirect())
        return reply != nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        return true;
    m_status = status;
    m_headers = reply->rawHeaderPairs();
    if (m_headerCheck && !m_headerCheck()) {
        m_networkError = QNetworkReply::ProtocolFailure;
        fail(Failure::Network);
        return false;
    }
    emit headersReceived();
    return m_networkReply != nullptr;
}

bool RelayCall::isRedirect() const
{
    const int status
        = m_networkReply ? m_networkReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    return status >= 300 && status < 400;
}

void RelayCall::onReadyRead()
{
    drain(false);
}

bool RelayCall::drain(bool all)
{
    QNetworkReply* reply = m_networkReply;
    if (!reply || !takeHeaders())
        return false;
    if (isRedirect()) {
        reply->readAll(); // the body of a redirect is of no use
        return true;
    }
    // A reply that announces more than it may have is refused before it is read.
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > (toSink() ? m_size : m_limit)) {
        fail(Failure::TooLarge);
        return false;
    }
    if (!toSink()) {
        m_reply += reply->read(m_limit + 1 - m_reply.size());
        m_received = m_reply.size();
        if (m_reply.size() > m_limit) {
            fail(Failure::TooLarge);
            return false;
        }
        return true;
    }
    // Everything is taken at once, so that the network layer never waits for room; the sink gets it
    // in blocks.
    const qint64 available = reply->bytesAvailable();
    if (m_received + m_block.size() + available > m_size) {
        fail(Failure::TooLarge);
        return false;
    }
    const int kept = m_block.size();
    m_block.resize(kept + int(available));
    m_block.resize(kept + int(qMax<qint64>(0, reply->read(m_block.data() + kept, available))));
    if (m_block.size() < blockBytes && !all)
        return true;
    if (m_sink->write(m_block) != m_block.size()) {
        fail(Failure::Write);
        return false;
    }
    m_received += m_block.size();
    m_block.resize(0); // keeps the reserved room
    return true;
}

void RelayCall::onFinished()
{
    QNetworkReply* reply = m_networkReply;
    if (!reply || !drain(true))
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status >= 300 && status < 400 && !target.isEmpty()) {
        const QUrl next = reply->url().resolved(target);
        // Never from HTTPS to plain HTTP, and never a multipart form or a download a second time.
        if (!m_followRedirects || m_multipart || m_redirects >= maxRedirects
            || (reply->url().scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https"))) {
            m_networkError = QNetworkReply::ProtocolFailure;
            fail(Failure::Network);
            return;
        }
        ++m_redirects;
        // 307 and 308 repeat the request as it was; the older codes turn it into a GET.
        if (status != 307 && status != 308) {
            m_verb = QByteArrayLiteral("GET");
            m_body.clear();
            m_request.setHeader(QNetworkRequest::ContentTypeHeader, QVariant());
        }
        m_request.setUrl(next);
        dropReply();
        send();
        return;
    }
    m_networkError = reply->error();
    if (m_networkError != QNetworkReply::NoError) {
        // What a server says along with an error status counts for nothing, unless asked for.
        if (!m_keepErrorReply || m_status == 0)
            m_reply.clear();
        fail(Failure::Network);
    } else if (m_sink && m_received != m_size)
        fail(Failure::TooShort);
    else
        end();
}

void RelayCall::fail(Failure failure)
{
    if (m_ended)
        return;
    m_failure = failure;
    if (failure != Failure::Network)
        m_reply.clear();
    end();
}

void RelayCall::end()
{
    if (m_ended)
        return;
    m_ended = true;
    dropReply();
    m_inactivity.stop();
    m_total.stop();
    emit finished();
}

void RelayCall::abort()
{
    m_ended = true;
    dropReply();
    m_inactivity.stop();
    m_total.stop();
}

void RelayCall::dropReply()
{
    if (QNetworkReply* reply = m_networkReply) {
        m_networkReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

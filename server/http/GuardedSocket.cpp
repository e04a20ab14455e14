#include "http/GuardedSocket.h"

#include "http/HttpTypes.h"

namespace {

// A request line opens with an upper-case method and a space (after
// optional empty lines); TLS greetings, binary probes and stray text do not.
bool opensLikeRequest(const QByteArray &start)
{
    qsizetype i = 0;
    while (i < start.size() && (start.at(i) == '\r' || start.at(i) == '\n'))
        ++i;
    const qsizetype methodStart = i;
    for (; i < start.size(); ++i) {
        const char c = start.at(i);
        if (c == ' ')
            return i > methodStart;
        if (c < 'A' || c > 'Z')
            return false;
    }
    return i - methodStart < 16;  // still inside a method name
}

} // namespace

GuardedSocket::GuardedSocket(int requestTimeoutMs, QObject *parent) : QTcpSocket(parent)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(requestTimeoutMs);
    connect(&m_deadline, &QTimer::timeout, this, &GuardedSocket::expire);
    m_deadline.start();
    // Connected before the HTTP server's own handler, so this sees every
    // byte first and can drain what must never reach the parser.
    connect(this, &QTcpSocket::readyRead, this, &GuardedSocket::guard);
    connect(this, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
}

GuardedSocket::~GuardedSocket()
{
    if (!m_counts)
        return;
    --m_counts->total;
    drop(m_key);
    drop(m_claim);
}

void GuardedSocket::drop(QString &key)
{
    if (key.isEmpty())
        return;
    if (--m_counts->perClient[key] <= 0)
        m_counts->perClient.remove(key);
    key.clear();
}

void GuardedSocket::hold(std::shared_ptr<ConnectionCounts> counts, QString key)
{
    m_counts = std::move(counts);
    m_key = std::move(key);
    ++m_counts->total;
    if (!m_key.isEmpty())
        ++m_counts->perClient[m_key];
}

bool GuardedSocket::claimFor(const QString &clientKey, int limit)
{
    if (!m_counts)
        return false;
    drop(m_claim);
    if (m_counts->perClient.value(clientKey) >= limit)
        return false;
    m_claim = clientKey;
    ++m_counts->perClient[m_claim];
    return true;
}

void GuardedSocket::refuse(const QByteArray &answer)
{
    if (m_refused)
        return;
    m_refused = true;
    readAll();
    write(answer);
    // A client that never reads the answer is cut off when the deadline runs out again.
    m_deadline.start();
    disconnectFromHost();
}

void GuardedSocket::requestComplete()
{
    m_pending = 0;
    m_deadline.stop();
}

void GuardedSocket::answerSent()
{
    if (m_counts)
        drop(m_claim);
    if (!m_refused)
        m_deadline.start();
}

void GuardedSocket::guard()
{
    if (m_refused) {
        readAll();
        return;
    }
    if (!m_started) {
        m_opening += peek(16 - m_opening.size());
        if (!opensLikeRequest(m_opening)) {
            refuse(serialise(HttpReply::error(400, QStringLiteral("请求格式错误")), true));
            return;
        }
        m_started = m_opening.size() >= 16 || m_opening.contains(' ');
    }
    m_pending += bytesAvailable();
    if (m_pending > maxPendingBytes)
        refuse(serialise(HttpReply::error(413, QStringLiteral("请求内容过大")), true));
}

void GuardedSocket::expire()
{
    if (m_refused) {
        abort();
        deleteLater();
        return;
    }
    // A request cut short is told so; an idle connection just closes.
    refuse(m_pending > 0 ? serialise(HttpReply::error(408, QStringLiteral("请求超时")), true) : QByteArray());
}

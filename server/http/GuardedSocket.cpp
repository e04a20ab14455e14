#include "http/GuardedSocket.h"

#include "http/HttpTypes.h"

#include <sys/socket.h>

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
    for (QTimer *timer : {&m_deadline, &m_stalled}) {
        timer->setSingleShot(true);
        timer->setInterval(requestTimeoutMs);
    }
    connect(&m_deadline, &QTimer::timeout, this, &GuardedSocket::expire);
    connect(&m_stalled, &QTimer::timeout, this, &GuardedSocket::cutOff);
    connect(this, &QIODevice::bytesWritten, this, &GuardedSocket::outputMoved);
    m_deadline.start();
    // Connected before the HTTP server's own handler, so this sees every
    // byte first and can drain what must never reach the parser.
    connect(this, &QTcpSocket::readyRead, this, &GuardedSocket::guard);
    connect(this, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
}

GuardedSocket::~GuardedSocket() { release(); }

void GuardedSocket::release()
{
    if (!m_counts)
        return;
    if (m_isWaiting)
        m_counts->waiting.erase(m_waiting);
    m_isWaiting = false;
    --m_counts->total;
    drop(m_keys);
    drop(m_claim);
    m_counts.reset();
}

void GuardedSocket::drop(ClientKeys &keys)
{
    for (const ClientKey &key : std::as_const(keys)) {
        if (--m_counts->perClient[key.key] <= 0)
            m_counts->perClient.remove(key.key);
    }
    keys.clear();
}

void GuardedSocket::hold(std::shared_ptr<ConnectionCounts> counts, const ClientKeys &client)
{
    m_counts = std::move(counts);
    m_keys = client;
    ++m_counts->total;
    for (const ClientKey &key : client)
        ++m_counts->perClient[key.key];
    m_waiting = m_counts->waiting.insert(m_counts->waiting.end(), this);
    m_isWaiting = true;
}

bool GuardedSocket::claimFor(const ClientKeys &client, int limit)
{
    if (!m_counts)
        return false;
    drop(m_claim);
    for (const ClientKey &key : client) {
        if (m_counts->perClient.value(key.key) >= qint64(limit) * key.share)
            return false;
    }
    m_claim = client;
    for (const ClientKey &key : client)
        ++m_counts->perClient[key.key];
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
    if (m_isWaiting && m_counts)
        m_counts->waiting.erase(m_waiting);
    m_isWaiting = false;
}

void GuardedSocket::answer(const QByteArray &head, const QByteArray &body, bool close)
{
    if (state() != QAbstractSocket::ConnectedState)
        return;
    // A client that asks and never reads would otherwise grow this buffer without end.
    const qint64 unsent = bytesToWrite();
    if (unsent > 0 && unsent + head.size() + body.size() > maxUnsentBytes) {
        cutOff();
        return;
    }
    // A long body goes out as it is, shared with the cache that holds it.
    if (body.size() < 64 * 1024) {
        write(head + body);
    } else {
        write(head);
        write(body);
    }
    if (bytesToWrite() > 0 && !m_stalled.isActive())
        m_stalled.start();
    if (m_counts)
        drop(m_claim);
    if (close) {
        disconnectFromHost();
        return;
    }
    if (m_refused)
        return;
    m_deadline.start();
    if (m_counts && !m_isWaiting) {
        m_waiting = m_counts->waiting.insert(m_counts->waiting.end(), this);
        m_isWaiting = true;
    }
}

void GuardedSocket::outputMoved()
{
    if (bytesToWrite() > 0)
        m_stalled.start();
    else
        m_stalled.stop();
}

void GuardedSocket::cutOff()
{
    release();
    // Reset rather than close, so that the kernel drops what is unsent too.
    const linger reset{1, 0};
    if (socketDescriptor() >= 0)
        ::setsockopt(int(socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    abort();
    deleteLater();
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
        cutOff();
        return;
    }
    // A request cut short is told so; an idle connection just closes.
    refuse(m_pending > 0 ? serialise(HttpReply::error(408, QStringLiteral("请求超时")), true) : QByteArray());
}

#include "http/GuardedTcpServer.h"

#include "http/HttpTypes.h"

#include <algorithm>

GuardedTcpServer::GuardedTcpServer(Limits limits, const TrustedProxies &proxies, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_proxies(proxies)
{
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new GuardedSocket(m_limits.requestTimeoutMs, this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // An answer's last segment must not wait for the client's delayed acknowledgement.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const ClientKeys client = m_proxies.contains(socket->peerAddress()) ? ClientKeys() : clientKeys(socket->peerAddress());
    const bool clientFull = std::any_of(client.cbegin(), client.cend(), [this](const ClientKey &key) {
        return m_counts->perClient.value(key.key) >= qint64(m_limits.perClient) * key.share;
    });
    // Half-open connections must not keep everyone else out.
    if (!clientFull && m_counts->total >= m_limits.total && !m_counts->waiting.empty())
        m_counts->waiting.front()->cutOff();
    if (clientFull || m_counts->total >= m_limits.total) {
        socket->refuse(serialise(HttpReply::error(503, QStringLiteral("连接数过多，请稍后再试")), true));
        return;
    }
    socket->hold(m_counts, client);
    addPendingConnection(socket);
}

#include "http/GuardedTcpServer.h"

#include "http/HttpTypes.h"

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
    const QString key = m_proxies.contains(socket->peerAddress()) ? QString() : clientKey(socket->peerAddress());
    if (m_counts->total >= m_limits.total || m_counts->perClient.value(key) >= m_limits.perClient) {
        socket->refuse(serialise(HttpReply::error(503, QStringLiteral("连接数过多，请稍后再试")), true));
        return;
    }
    socket->hold(m_counts, key);
    addPendingConnection(socket);
}

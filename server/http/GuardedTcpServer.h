#pragma once

#include "http/GuardedSocket.h"
#include "http/TrustedProxies.h"

#include <QTcpServer>

#include <memory>

// Accepts connections as GuardedSockets. A client whose buckets hold their
// share of the per-address limit is refused with 503. When every slot is
// taken, the connection that has waited longest for a whole request is cut
// off to make room; only when every connection is being answered is the
// newcomer refused. A trusted proxy's connections count towards the total
// only; its requests count per client (GuardedSocket::claimFor).
class GuardedTcpServer : public QTcpServer {
public:
    struct Limits {
        int perClient = 64;
        int total = 1024;
        int requestTimeoutMs = 20000;
    };

    GuardedTcpServer(Limits limits, const TrustedProxies &proxies, QObject *parent);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Limits m_limits;
    const TrustedProxies &m_proxies;
    // Shared with the sockets, which may outlive this server at shutdown.
    std::shared_ptr<ConnectionCounts> m_counts = std::make_shared<ConnectionCounts>();
};

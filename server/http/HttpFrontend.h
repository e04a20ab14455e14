#pragma once

#include "http/GuardedTcpServer.h"
#include "http/Router.h"

#include <QAbstractHttpServer>
#include <QHostAddress>

// Turns Qt's parsed requests into HttpRequest, dispatches them through the
// Router and writes the answers itself, so every answer (errors included)
// gets the same headers and the optional artificial latency. Answers still
// being computed off the event loop are written when they arrive.
class HttpFrontend : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 maxBodyBytes = 64 * 1024;

    HttpFrontend(const Router &router, GuardedTcpServer::Limits limits, const TrustedProxies &proxies, int latencyMs,
                 QObject *parent = nullptr);

    // Port actually bound (useful with port 0), or 0 on failure.
    quint16 start(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_error; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void deliver(QTcpSocket *socket, HttpReply reply, bool close, bool head);
    void send(QTcpSocket *socket, const HttpReply &reply, bool close);

    const Router &m_router;
    GuardedTcpServer::Limits m_limits;
    const TrustedProxies &m_proxies;
    int m_latencyMs = 0;
    QString m_error;
};

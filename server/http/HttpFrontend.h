#pragma once

#include "http/Router.h"

#include <QAbstractHttpServer>
#include <QHostAddress>

class QTcpServer;

// Turns Qt's parsed requests into HttpRequest, dispatches them through the
// Router and writes the answers itself, so every answer (errors included)
// gets the same headers and the optional artificial latency.
class HttpFrontend : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 maxBodyBytes = 64 * 1024;
    // Bytes one connection may send without completing a request before it
    // is answered 413 and closed; stops a huge upload from filling memory.
    static constexpr qint64 maxPendingBytes = 1024 * 1024;

    HttpFrontend(const Router &router, int latencyMs, QObject *parent = nullptr);

    // Port actually bound (useful with port 0), or 0 on failure.
    quint16 start(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_error; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void send(QTcpSocket *socket, const HttpReply &reply, bool close);

    const Router &m_router;
    int m_latencyMs = 0;
    QString m_error;
};

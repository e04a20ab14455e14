#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A loopback HTTP server that answers every request with a fixed head and
// then keeps sending `chunk` every `intervalMs` until `totalChunks` went out
// (-1: forever) or the client hangs up. FakeServer always sends a complete
// body with Content-Length; this one covers slow and growing bodies.
class TrickleServer : public QObject {
    Q_OBJECT
public:
    TrickleServer(QByteArray head, QByteArray chunk, int intervalMs, int totalChunks = -1)
        : m_head(std::move(head)), m_chunk(std::move(chunk)), m_interval(intervalMs), m_total(totalChunks)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TrickleServer::onConnection);
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    qint64 bytesSent() const { return m_sent; }
    int connections() const { return m_connections; }
    bool clientHungUp() const { return m_hungUp; }

private:
    void onConnection()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { start(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this] { m_hungUp = true; });
        }
    }

    void start(QTcpSocket *socket)
    {
        socket->readAll();
        if (socket->property("started").toBool())
            return;
        socket->setProperty("started", true);
        socket->write(m_head);
        auto *timer = new QTimer(socket);
        QPointer<QTcpSocket> guard(socket);
        connect(timer, &QTimer::timeout, this, [this, guard, timer] {
            if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
                timer->stop();
                return;
            }
            // Never let the kernel buffer grow without bound when the client stops reading.
            if (guard->bytesToWrite() > 4 * m_chunk.size())
                return;
            guard->write(m_chunk);
            m_sent += m_chunk.size();
            const int sent = guard->property("chunks").toInt() + 1;
            guard->setProperty("chunks", sent);
            if (m_total >= 0 && sent >= m_total) {
                timer->stop();
                guard->disconnectFromHost();
            }
        });
        timer->start(m_interval);
    }

    QTcpServer m_server;
    QByteArray m_head;
    QByteArray m_chunk;
    int m_interval;
    int m_total;
    qint64 m_sent = 0;
    int m_connections = 0;
    bool m_hungUp = false;
};

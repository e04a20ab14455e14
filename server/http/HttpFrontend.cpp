#include "http/HttpFrontend.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const char *const pendingProperty = "papeloPendingBytes";
const char *const rejectedProperty = "papeloRejected";

QByteArray serialise(const HttpReply &reply, bool close)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    for (const auto &h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    return out + reply.body;
}

// Counts what a connection sends before the parser sees it. Connected ahead of
// QAbstractHttpServer's own handler, so once a connection is over its budget
// the data is drained here and never reaches the request parser.
class GuardedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { guard(socket); });
        addPendingConnection(socket);
    }

private:
    static void guard(QTcpSocket *socket)
    {
        if (socket->property(rejectedProperty).toBool()) {
            socket->readAll();
            return;
        }
        const qint64 pending = socket->property(pendingProperty).toLongLong() + socket->bytesAvailable();
        socket->setProperty(pendingProperty, pending);
        if (pending <= HttpFrontend::maxPendingBytes)
            return;
        socket->setProperty(rejectedProperty, true);
        socket->readAll();
        socket->write(serialise(HttpReply::error(413, QStringLiteral("请求内容过大")), true));
        socket->disconnectFromHost();
    }
};

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    case QHttpServerRequest::Method::Connect: return "CONNECT";
    case QHttpServerRequest::Method::Trace: return "TRACE";
    default: return "UNKNOWN";
    }
}

} // namespace

HttpFrontend::HttpFrontend(const Router &router, int latencyMs, QObject *parent)
    : QAbstractHttpServer(parent), m_router(router), m_latencyMs(latencyMs)
{
}

quint16 HttpFrontend::start(const QHostAddress &address, quint16 port)
{
    auto *tcp = new GuardedTcpServer(this);
    if (!tcp->listen(address, port)) {
        m_error = tcp->errorString();
        delete tcp;
        return 0;
    }
    bind(tcp);
    return tcp->serverPort();
}

bool HttpFrontend::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    socket->setProperty(pendingProperty, qint64(0));
    const bool close = request.value("Connection").compare("close", Qt::CaseInsensitive) == 0;

    HttpRequest r;
    r.method = methodName(request.method());
    r.path = request.url().path();
    r.query = request.query();
    r.headers = request.headers();
    r.body = request.body();
    r.remote = request.remoteAddress();
    bool isV4 = false;
    const quint32 v4 = socket->localAddress().toIPv4Address(&isV4);
    const QString address = isV4 ? QHostAddress(v4).toString()
                                 : QLatin1Char('[') + socket->localAddress().toString() + QLatin1Char(']');
    r.localHost = address + QLatin1Char(':') + QString::number(socket->localPort());

    HttpReply reply;
    if (r.body.size() > maxBodyBytes)
        reply = HttpReply::error(413, QStringLiteral("请求内容过大（上限 %1 KB）").arg(maxBodyBytes / 1024));
    else
        reply = m_router.dispatch(r);
    if (r.method == "HEAD")
        reply.body.clear();

    if (m_latencyMs <= 0) {
        send(socket, reply, close);
        return true;
    }
    QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(m_latencyMs, socket, [this, target, reply, close] {
        if (target)
            send(target, reply, close);
    });
    return true;
}

void HttpFrontend::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    send(socket, HttpReply::error(404, QStringLiteral("未找到")), false);
}

void HttpFrontend::send(QTcpSocket *socket, const HttpReply &reply, bool close)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->write(serialise(reply, close));
    if (close)
        socket->disconnectFromHost();
}

#include "http/HttpFrontend.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

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

HttpFrontend::HttpFrontend(const Router &router, GuardedTcpServer::Limits limits, const TrustedProxies &proxies,
                           int latencyMs, QObject *parent)
    : QAbstractHttpServer(parent), m_router(router), m_limits(limits), m_proxies(proxies), m_latencyMs(latencyMs)
{
}

quint16 HttpFrontend::start(const QHostAddress &address, quint16 port)
{
    auto *tcp = new GuardedTcpServer(m_limits, m_proxies, this);
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
    if (auto *guarded = qobject_cast<GuardedSocket *>(socket))
        guarded->requestComplete();
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
    const bool head = r.method == "HEAD";

    if (m_proxies.contains(r.remote)) {
        m_proxies.apply(r);
        auto *guarded = qobject_cast<GuardedSocket *>(socket);
        if (guarded && !guarded->claimFor(clientKeys(r.remote), m_limits.perClient)) {
            deliver(socket, HttpReply::error(503, QStringLiteral("连接数过多，请稍后再试")), true, head);
            return true;
        }
    }

    if (r.body.size() > maxBodyBytes) {
        deliver(socket, HttpReply::error(413, QStringLiteral("请求内容过大（上限 %1 KB）").arg(maxBodyBytes / 1024)), close, head);
        return true;
    }
    const HttpAnswer answer = m_router.dispatch(r);
    if (answer.isReady()) {
        deliver(socket, answer.reply(), close, head);
        return true;
    }
    QPointer<QTcpSocket> target(socket);
    answer.later().then(this, [this, target, close, head](const HttpReply &reply) {
        if (target)
            deliver(target, reply, close, head);
    });
    return true;
}

void HttpFrontend::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    send(socket, HttpReply::error(404, QStringLiteral("未找到")), false);
}

void HttpFrontend::deliver(QTcpSocket *socket, HttpReply reply, bool close, bool head)
{
    if (head)
        reply.body.clear();
    if (m_latencyMs <= 0) {
        send(socket, reply, close);
        return;
    }
    QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(m_latencyMs, socket, [this, target, reply, close] {
        if (target)
            send(target, reply, close);
    });
}

void HttpFrontend::send(QTcpSocket *socket, const HttpReply &reply, bool close)
{
    if (auto *guarded = qobject_cast<GuardedSocket *>(socket)) {
        guarded->answer(serialiseHead(reply, close), reply.body, close);
        return;
    }
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->write(serialise(reply, close));
    if (close)
        socket->disconnectFromHost();
}

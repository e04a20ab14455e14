#include "FakeServer.h"

#include "NginxProcess.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

using Response = FakeServer::Response;

QByteArray FakeServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("") : value;
    return {};
}

QJsonObject FakeServer::Request::jsonBody() const { return QJsonDocument::fromJson(body).object(); }

QString FakeServer::Request::queryItem(const QString &name) const
{
    const QUrlQuery q(QString::fromLatin1(rawQuery));
    if (!q.hasQueryItem(name))
        return QString();
    const QString value = q.queryItemValue(name, QUrl::FullyDecoded);
    return value.isNull() ? QStringLiteral("") : value;
}

QStringList FakeServer::Request::queryKeys() const
{
    QStringList keys;
    for (const auto &item : QUrlQuery(QString::fromLatin1(rawQuery)).queryItems())
        keys << item.first;
    return keys;
}

Response Response::json(const QJsonObject &o, int status) { return raw(status, QJsonDocument(o).toJson(QJsonDocument::Compact)); }
Response Response::json(const QJsonArray &a, int status) { return raw(status, QJsonDocument(a).toJson(QJsonDocument::Compact)); }

Response Response::raw(int status, QByteArray body, QByteArray contentType)
{
    return {.status = status, .body = std::move(body), .headers = {{"Content-Type", std::move(contentType)}}};
}

Response Response::stream(QByteArray head, QByteArray chunk, int everyMs, int chunks)
{
    return {.head = std::move(head), .chunk = std::move(chunk), .chunkEveryMs = everyMs, .chunks = chunks};
}

Response FakeServer::stalled() { return {.stall = true}; }

Response FakeServer::delayed(Response response, int ms)
{
    response.delayMs = ms;
    return response;
}

QString FakeServer::deadBaseUrl() { return QStringLiteral("http://127.0.0.1:%1").arg(NginxProcess::freePort()); }

FakeServer::FakeServer(QObject *parent) : QObject(parent)
{
    m_fallback = [](const Request &) { return Response::raw(404, R"({"error":"not found"})"); };
    connect(&m_server, &QTcpServer::newConnection, this, &FakeServer::onConnection);
}

FakeServer::~FakeServer()
{
    for (QTcpSocket *s : findChildren<QTcpSocket *>())
        s->abort();
}

bool FakeServer::listen(const QHostAddress &address) { return m_server.listen(address, 0); }

QString FakeServer::baseUrl() const
{
    const QHostAddress address = m_server.serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                                                                             : address.toString();
    return QStringLiteral("http://%1:%2").arg(host).arg(m_server.serverPort());
}

quint16 FakeServer::port() const { return m_server.serverPort(); }

void FakeServer::on(const QByteArray &method, const QByteArray &path, Response response)
{
    on(method, path, [response](const Request &) { return response; });
}

void FakeServer::on(const QByteArray &method, const QByteArray &path, Handler handler)
{
    m_routes.insert(method + ' ' + path, std::move(handler));
}

void FakeServer::setFallback(Handler handler) { m_fallback = std::move(handler); }

QList<FakeServer::Request> FakeServer::requestsTo(const QByteArray &path) const
{
    QList<Request> out;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(out), [&](auto &r) { return r.path == path; });
    return out;
}

void FakeServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer = QByteArray()]() mutable {
            buffer += socket->readAll();
            const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0 || socket->property("handled").toBool())
                return;
            QList<QByteArray> lines = buffer.left(headEnd).split('\n');
            const QList<QByteArray> first = lines.takeFirst().trimmed().split(' ');
            Request req{.method = first.value(0), .target = first.value(1)};
            const qsizetype q = req.target.indexOf('?');
            req.path = req.target.left(q < 0 ? req.target.size() : q);
            req.hasQuery = q >= 0;
            req.rawQuery = q < 0 ? QByteArray() : req.target.mid(q + 1);
            for (const QByteArray &line : lines)
                if (const qsizetype colon = line.indexOf(':'); colon > 0)
                    req.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            const qsizetype length = req.header("Content-Length").toLongLong();
            if (buffer.size() - (headEnd + 4) < length)
                return; // the rest of the body is still coming
            req.body = buffer.mid(headEnd + 4, length);
            socket->setProperty("handled", true);
            m_requests.append(req);

            const auto route = m_routes.constFind(req.method + ' ' + req.path);
            const Response response = route != m_routes.constEnd() ? (*route)(req) : m_fallback(req);
            m_maxInFlight = std::max(m_maxInFlight, ++m_inFlight);
            if (response.stall)
                return; // counted in flight until the client gives up
            QTimer::singleShot(response.delayMs, this, [this, guard = QPointer(socket), response] {
                --m_inFlight;
                if (guard)
                    respond(guard, response);
            });
        });
    }
}

void FakeServer::respond(QTcpSocket *socket, const Response &response)
{
    if (!response.head.isEmpty()) {
        socket->write(response.head);
        auto *timer = new QTimer(socket); // dies with the connection
        connect(timer, &QTimer::timeout, timer, [this, socket, timer, response, sent = 0]() mutable {
            // Never let the send buffer grow without bound when the client stops reading.
            if (socket->bytesToWrite() > 4 * response.chunk.size())
                return;
            socket->write(response.chunk);
            m_streamed += response.chunk.size();
            if (response.chunks >= 0 && ++sent >= response.chunks) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(response.chunkEveryMs);
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto &[key, value] : response.headers)
        out += key + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    // With stallAfterBytes the answer never finishes.
    socket->write(out + (response.stallAfterBytes < 0 ? response.body : response.body.left(response.stallAfterBytes)));
    if (response.stallAfterBytes < 0)
        socket->disconnectFromHost();
}

#include "FakeServer.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

QByteArray FakeServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second.isNull() ? QByteArray("") : h.second;
    return {};
}

QJsonObject FakeServer::Request::jsonBody() const { return QJsonDocument::fromJson(body).object(); }

QString FakeServer::Request::queryItem(const QString &name) const
{
    const QUrlQuery q(QString::fromLatin1(rawQuery));
    if (!q.hasQueryItem(name))
        return QString();
    const QString v = q.queryItemValue(name, QUrl::FullyDecoded);
    return v.isNull() ? QString(QLatin1String("")) : v;
}

QStringList FakeServer::Request::queryKeys() const
{
    QStringList keys;
    for (const auto &item : QUrlQuery(QString::fromLatin1(rawQuery)).queryItems())
        keys << item.first;
    return keys;
}

FakeServer::Response FakeServer::Response::json(const QJsonObject &o, int status)
{
    return raw(status, QJsonDocument(o).toJson(QJsonDocument::Compact));
}

FakeServer::Response FakeServer::Response::json(const QJsonArray &a, int status)
{
    return raw(status, QJsonDocument(a).toJson(QJsonDocument::Compact));
}

FakeServer::Response FakeServer::Response::raw(int status, QByteArray body, QByteArray contentType)
{
    Response r;
    r.status = status;
    r.body = std::move(body);
    r.headers.append({"Content-Type", contentType});
    return r;
}

FakeServer::Response FakeServer::Response::stream(QByteArray head, QByteArray chunk, int everyMs, int chunks)
{
    Response r;
    r.head = std::move(head);
    r.chunk = std::move(chunk);
    r.chunkEveryMs = everyMs;
    r.chunks = chunks;
    return r;
}

FakeServer::Response FakeServer::stalled()
{
    Response r;
    r.stall = true;
    return r;
}

FakeServer::Response FakeServer::delayed(Response response, int ms)
{
    response.delayMs = ms;
    return response;
}

QString FakeServer::deadBaseUrl()
{
    // A port the kernel just handed out and took back stays free for the test.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

FakeServer::FakeServer(QObject *parent) : QObject(parent)
{
    m_fallback = [](const Request &) { return Response::json(QJsonObject{{"error", "not found"}}, 404); };
    connect(&m_server, &QTcpServer::newConnection, this, &FakeServer::onConnection);
}

FakeServer::~FakeServer() { dropConnections(); }

bool FakeServer::listen() { return m_server.listen(QHostAddress::LocalHost, 0); }

QString FakeServer::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

quint16 FakeServer::port() const { return m_server.serverPort(); }

void FakeServer::on(const QByteArray &method, const QByteArray &path, Response response)
{
    m_routes.insert(method + ' ' + path, [response](const Request &) { return response; });
}

void FakeServer::on(const QByteArray &method, const QByteArray &path, Handler handler)
{
    m_routes.insert(method + ' ' + path, std::move(handler));
}

void FakeServer::setFallback(Handler handler) { m_fallback = std::move(handler); }

QList<FakeServer::Request> FakeServer::requestsTo(const QByteArray &path) const
{
    QList<Request> out;
    for (const auto &r : m_requests)
        if (r.path == path)
            out.append(r);
    return out;
}

void FakeServer::dropConnections()
{
    for (QTcpSocket *s : findChildren<QTcpSocket *>())
        s->abort();
}

void FakeServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0 || socket->property("handled").toBool())
                return;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            Request req;
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            req.method = first.value(0);
            req.target = first.value(1);
            const qsizetype q = req.target.indexOf('?');
            req.path = q < 0 ? req.target : req.target.left(q);
            req.hasQuery = q >= 0;
            req.rawQuery = q < 0 ? QByteArray() : req.target.mid(q + 1);
            qsizetype length = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines.at(i).trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0)
                    continue;
                req.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
                if (req.headers.last().first.compare("Content-Length", Qt::CaseInsensitive) == 0)
                    length = req.headers.last().second.toLongLong();
            }
            if (buffer->size() - (headerEnd + 4) < length)
                return; // wait for the rest of the body
            req.body = buffer->mid(headerEnd + 4, length);
            socket->setProperty("handled", true);
            m_requests.append(req);

            const auto it = m_routes.constFind(req.method + ' ' + req.path);
            const Response response = it != m_routes.constEnd() ? (*it)(req) : m_fallback(req);
            ++m_inFlight;
            m_maxInFlight = std::max(m_maxInFlight, m_inFlight);
            if (response.stall)
                return; // counted in flight until the client gives up
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(response.delayMs, this, [this, guard, response] {
                --m_inFlight;
                if (guard)
                    respond(guard, response);
            });
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
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
    for (const auto &h : response.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (response.stallAfterBytes >= 0) {
        socket->write(out + response.body.left(response.stallAfterBytes));
        return; // never finishes
    }
    socket->write(out + response.body);
    socket->disconnectFromHost();
}

#include "http/HttpTypes.h"

#include "core/Envelopes.h"

#include <QJsonDocument>


QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

QString HttpRequest::origin() const
{
    const QByteArray host = header("Host");
    // A Host header with anything but host[:port] characters is not echoed
    // into URLs we hand out.
    static const QByteArray allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]";
    bool clean = !host.isEmpty() && host.size() < 256;
    for (char c : host)
        clean = clean && allowed.contains(c);
    return scheme + QStringLiteral("://") + (clean ? QString::fromLatin1(host) : localHost);
}

HttpReply HttpReply::json(const QJsonObject &object, int status)
{
    HttpReply r;
    r.status = status;
    r.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return r;
}

HttpReply HttpReply::json(const QJsonArray &array, int status)
{
    HttpReply r;
    r.status = status;
    r.body = QJsonDocument(array).toJson(QJsonDocument::Compact);
    return r;
}

HttpReply HttpReply::error(int status, const QString &message)
{
    papelo::APIError e;
    e.error = message;
    return json(e.toJson(), status);
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray serialise(const HttpReply &reply, bool close) { return serialiseHead(reply, close) + reply.body; }

QByteArray serialiseHead(const HttpReply &reply, bool close)
{
    QByteArray out;
    out.reserve(256);
    out.append("HTTP/1.1 ").append(QByteArray::number(reply.status)).append(' ').append(reasonPhrase(reply.status));
    out.append("\r\nContent-Type: ").append(reply.contentType);
    out.append("\r\nContent-Length: ").append(QByteArray::number(reply.body.size())).append("\r\n");
    for (const auto &h : reply.headers)
        out.append(h.first).append(": ").append(h.second).append("\r\n");
    out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    return out;
}

HttpReply retryLater(int status, const QString &message, qint64 retryAfterMs)
{
    const qint64 seconds = qMax<qint64>(1, (retryAfterMs + 999) / 1000);
    HttpReply reply = HttpReply::error(status, message.arg(seconds));
    reply.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(seconds)));
    return reply;
}

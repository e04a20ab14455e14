#pragma once

#include <QByteArray>
#include <QFuture>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One parsed request as the routes see it.
struct HttpRequest {
    QByteArray method;
    QString path;  // decoded, without the query
    QUrlQuery query;
    HeaderList headers;
    QByteArray body;
    QHostAddress remote;  // the client: the peer, or whom a trusted proxy forwards
    QString localHost;  // "address:port" the connection arrived at, for requests without Host
    QString scheme = QStringLiteral("http");  // "https" when a trusted proxy says so

    QByteArray header(const QByteArray &name) const;  // case-insensitive, empty when absent
    // "<scheme>://<Host header>": the address the reader used, so absolute
    // image URLs stay right whatever port, name or proxy reached us.
    QString origin() const;
};

struct HttpReply {
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body;
    HeaderList headers;

    static HttpReply json(const QJsonObject &object, int status = 200);
    static HttpReply json(const QJsonArray &array, int status = 200);
    // Every failure carries {"error": message}.
    static HttpReply error(int status, const QString &message);
};

// What a handler gives back: the reply itself, or one still being computed
// off the event loop, whose result arrives on the main thread.
class HttpAnswer {
public:
    HttpAnswer(HttpReply reply) : m_reply(std::move(reply)), m_ready(true) {}
    HttpAnswer(QFuture<HttpReply> later) : m_later(std::move(later)) {}
    bool isReady() const { return m_ready; }
    const HttpReply &reply() const { return m_reply; }
    QFuture<HttpReply> later() const { return m_later; }

private:
    HttpReply m_reply;
    QFuture<HttpReply> m_later;
    bool m_ready = false;
};

QByteArray reasonPhrase(int status);
// The whole HTTP/1.1 message; every answer carries the same headers.
QByteArray serialise(const HttpReply &reply, bool close);
// Its status line and headers only: the body may then be written as it is,
// shared with whatever cache holds it.
QByteArray serialiseHead(const HttpReply &reply, bool close);


// An error reply that tells the client when to try again.
HttpReply retryLater(int status, const QString &message, qint64 retryAfterMs);

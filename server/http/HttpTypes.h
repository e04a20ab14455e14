#pragma once

#include <QByteArray>
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
    QHostAddress remote;
    QString localHost;  // "address:port" the connection arrived at, for requests without Host

    QByteArray header(const QByteArray &name) const;  // case-insensitive, empty when absent
    // "http://<Host header>": the address the reader used, so absolute image
    // URLs stay right whatever port or name reached us.
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

QByteArray reasonPhrase(int status);

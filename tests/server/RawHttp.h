#pragma once

// Requests the reader's APIClient cannot make (other methods, unknown paths,
// malformed or oversized bodies, raw bytes), for the server tests.

#include <QByteArray>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QTcpSocket>
#include <QTimer>

namespace rawhttp {

struct Reply {
    int status = 0;  // 0: no HTTP answer
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return {};
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QString error() const { return json().value(QStringLiteral("error")).toString(); }
};

inline Reply send(const QString &url, const QByteArray &method, const QByteArray &body = {},
                  const QList<QPair<QByteArray, QByteArray>> &headers = {}, int timeoutMs = 15000)
{
    QNetworkAccessManager nam;
    QNetworkRequest request{QUrl(url)};
    for (const auto &h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply *reply = nam.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    Reply r;
    if (reply->isFinished()) {
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.body = reply->readAll();
        r.headers = reply->rawHeaderPairs();
    }
    reply->abort();
    delete reply;
    return r;
}

inline Reply postJson(const QString &url, const QByteArray &body,
                      QList<QPair<QByteArray, QByteArray>> headers = {})
{
    headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    return send(url, "POST", body, headers);
}

// Writes bytes on a plain socket and returns everything the server sends
// until it closes or goes quiet for quietMs.
inline QByteArray exchange(quint16 port, const QByteArray &bytes, int quietMs = 3000)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(bytes);
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForBytesWritten(50);
        if (!socket.waitForReadyRead(quietMs) && socket.bytesToWrite() == 0)
            break;
        received += socket.readAll();
    }
    received += socket.readAll();
    return received;
}

} // namespace rawhttp

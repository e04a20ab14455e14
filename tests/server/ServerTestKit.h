#pragma once

// What the server tests share besides ServerProcess: the reader's APIClient
// calls reduced to a value or a refusal, raw HTTP for the requests APIClient
// cannot make, and direct access to the SQLite file.

#include "core/APIClient.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QtTest>
#include <QUuid>

#include <memory>

// Declares `name` as a running server with the given options, or fails the test.
#define KIT_STARTED(name, ...)     \
    ServerProcess name{__VA_ARGS__}; \
    QVERIFY2(name.start(), qPrintable(name.errorString()))

namespace kit {

// "--flag value --other value" as the server's arguments.
inline QStringList args(const char *line) { return QString::fromLatin1(line).split(QLatin1Char(' ')); }

// The value of a call that must succeed; a failure fails the running test.
template <typename T> T get(QCoro::Task<papelo::Result<T>> &&task)
{
    const papelo::Result<T> r = QCoro::waitFor(std::move(task));
    if (!r.ok())
        QTest::qFail(qPrintable(r.error().description()), __FILE__, __LINE__);
    return r.ok() ? r.value() : T();
}

// "<status> <server's message>" for a refused call, "ok" for one that succeeded.
template <typename T> QString refusal(QCoro::Task<papelo::Result<T>> &&task)
{
    const papelo::Result<T> r = QCoro::waitFor(std::move(task));
    return r.ok() ? QStringLiteral("ok") : QStringLiteral("%1 %2").arg(r.error().httpStatus()).arg(r.error().description());
}

// A connection from a loopback address (unconnected when the server refused it).
inline std::unique_ptr<QTcpSocket> connection(quint16 port, const char *from = "127.0.0.1")
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(QString::fromLatin1(from)));
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    return socket;
}

// Writes bytes from a loopback address and returns everything the server
// sends until it closes or goes quiet for quietMs.
inline QByteArray exchange(quint16 port, const QByteArray &bytes, int quietMs = 3000, const char *from = "127.0.0.1")
{
    const std::unique_ptr<QTcpSocket> socket = connection(port, from);
    if (socket->state() != QAbstractSocket::ConnectedState)
        return {};
    socket->write(bytes);
    QByteArray received;
    while (socket->waitForReadyRead(quietMs))  // also sends what is still buffered
        received += socket->readAll();
    return received + socket->readAll();
}

struct Reply {
    int status = 0;  // 0: no HTTP answer
    QByteArray head, body;

    QByteArray header(const QByteArray &name) const
    {
        const QByteArray key = "\r\n" + name.toLower() + ':';
        const qsizetype at = head.toLower().indexOf(key);
        return at < 0 ? QByteArray() : head.mid(at + key.size(), head.indexOf('\r', at + 2) - at - key.size()).trimmed();
    }
    QString error() const { return QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toString(); }
};

// One request ("METHOD /path") on a connection of its own; headers are whole "Name: value\r\n" lines.
inline Reply request(quint16 port, const QByteArray &line, const QByteArray &body = {}, const QByteArray &headers = {},
                     const char *from = "127.0.0.1")
{
    const QByteArray raw = exchange(port, line + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                                              + "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
                                              + "\r\n" + headers + "\r\n" + body, 3000, from);
    const qsizetype end = raw.startsWith("HTTP/1.1 ") ? raw.indexOf("\r\n\r\n") : -1;
    return end < 0 ? Reply() : Reply{raw.mid(9, 3).toInt(), raw.left(end), raw.mid(end + 4)};
}

// Runs statements on the server's store over a connection of its own; the
// first column of the last statement's first row (invalid when it has none or fails).
inline QVariant sql(const ServerProcess &server, const QStringList &statements)
{
    const QString name = QUuid::createUuid().toString();
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(server.dataDir() + QStringLiteral("/papelo.sqlite"));
        const bool open = db.open();
        QSqlQuery q(db);
        for (const QString &statement : statements)
            value = open && q.exec(statement) && q.next() ? q.value(0) : QVariant();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

} // namespace kit

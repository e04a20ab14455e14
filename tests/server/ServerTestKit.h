#pragma once

// What the server tests share besides ServerProcess: the reader's APIClient
// calls reduced to a value or a refusal, raw HTTP for the requests APIClient
// cannot make, and direct access to the SQLite file.

#include "core/APIClient.h"
#include "DataTable.h"
#include "Fixtures.h"
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
#include <vector>

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

// Everything a connection receives until the server closes it (or goes quiet for quietMs).
inline QByteArray drain(QTcpSocket &socket, int quietMs = 30000)
{
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(quietMs))
        received += socket.readAll();
    return received + socket.readAll();
}

// Writes bytes from a loopback address and returns everything the server
// sends until it closes or goes quiet for quietMs.
inline QByteArray exchange(quint16 port, const QByteArray &bytes, int quietMs = 3000, const char *from = "127.0.0.1")
{
    const std::unique_ptr<QTcpSocket> socket = connection(port, from);
    if (socket->state() != QAbstractSocket::ConnectedState)
        return {};
    socket->write(bytes);  // waiting for an answer also sends it
    return drain(*socket, quietMs);
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

// "METHOD /path" as a whole HTTP/1.1 request that asks to close; headers are whole "Name: value\r\n" lines.
inline QByteArray raw(const QByteArray &line, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return line + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
         + "\r\n" + headers + "\r\n" + body;
}

// One request on a connection of its own.
inline Reply request(quint16 port, const QByteArray &line, const QByteArray &body = {}, const QByteArray &headers = {},
                     const char *from = "127.0.0.1")
{
    const QByteArray answer = exchange(port, raw(line, body, headers), 3000, from);
    const qsizetype end = answer.startsWith("HTTP/1.1 ") ? answer.indexOf("\r\n\r\n") : -1;
    return end < 0 ? Reply() : Reply{answer.mid(9, 3).toInt(), answer.left(end), answer.mid(end + 4)};
}

// Each of the raw requests written on a connection of its own, before any answer is read.
inline std::vector<std::unique_ptr<QTcpSocket>> inFlight(quint16 port, const QByteArrayList &requests)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (const QByteArray &bytes : requests) {
        sockets.push_back(connection(port));
        sockets.back()->write(bytes);
        sockets.back()->waitForBytesWritten(5000);
    }
    return sockets;
}

// Runs the requests of a script (tests/data/<file>, columns "step at from request body header outcome")
// in order: each sets the limits' clock to `at` milliseconds ("-": as it is), comes from the loopback
// address `from` with a JSON Content-Type and the header line, and must get the outcome: its status, or
// "wait" for a refusal to try again later (429, a Retry-After, a Chinese message), "wait N" with
// Retry-After N. "$NAME" in a body or header stands for values["$NAME"].
inline void script(const ServerProcess &server, const QString &file, const QHash<QByteArray, QByteArray> &values = {})
{
    const QList<QStringList> rows = data::rows(file);
    for (const QStringList &row : rows.mid(1)) {
        QByteArray body = row.value(4).toUtf8(), header = row.value(5).toUtf8();
        for (auto v = values.cbegin(); v != values.cend(); ++v) {
            body.replace(v.key(), v.value());
            header.replace(v.key(), v.value());
        }
        if (row.size() != 7 || (row.at(1) != QLatin1String("-") && !server.setClock(row.at(1).toLongLong())))
            return QTest::qFail(qPrintable(file + QLatin1String(": bad step ") + row.first()), __FILE__, __LINE__);
        const Reply r = request(server.port(), row.at(3).toUtf8(), body,
                                "Content-Type: application/json\r\n" + header + (header.isEmpty() ? "" : "\r\n"), qPrintable(row.at(2)));
        const bool waits = r.status == 429 && r.header("Retry-After").toInt() > 0 && fixtures::isChinese(r.error());
        const QString got = !waits ? QString::number(r.status)
                            : row.at(6) == QLatin1String("wait") ? row.at(6) : QLatin1String("wait ") + QString::fromLatin1(r.header("Retry-After"));
        if (got != row.at(6))
            return QTest::qFail(qPrintable(QStringLiteral("%1: step %2 got %3, not %4").arg(file, row.first(), got, row.at(6))), __FILE__, __LINE__);
    }
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

// The statements of tests/data/<file>, each ending with ";" at the end of a line.
inline QVariant sqlFile(const ServerProcess &server, const QString &file)
{
    return sql(server, QString::fromUtf8(data::bytes(file)).split(QStringLiteral(";\n"), Qt::SkipEmptyParts));
}

} // namespace kit

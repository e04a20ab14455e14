// The limits against abuse on the real papelo-server, with clients on
// different loopback addresses: sign-in back-off per address and per name,
// guests' comments and registrations per minute, connection limits, the
// request deadline, refused garbage, and token expiry.

#include "Fixtures.h"
#include "ServerTestKit.h"

#include <QCryptographicHash>

#include <memory>
#include <vector>

using namespace papelo;
using kit::get;

namespace {
const QByteArray json = "Content-Type: application/json\r\n";

QByteArray body(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QByteArray account(const QString &name, const QString &password)
{
    return body(QJsonObject{{"username", name}, {"password", password}, {"email", "x@example.com"}});
}

// A refusal to try again later: 429 with Retry-After and the usual error body, in Chinese.
bool toldToWait(const kit::Reply &r)
{
    return r.status == 429 && r.header("Retry-After").toInt() > 0 && fixtures::isChinese(r.error());
}
} // namespace

class ServerLimitsTest : public QObject {
    Q_OBJECT
    static QString start(ServerProcess &server) { return server.start() ? QString() : server.errorString(); }

private slots:
    void signInBackOffPerAddressAndPerName()
    {
        ServerProcess server({.extraArguments = {QStringLiteral("--login-backoff"), QStringLiteral("600")}, .throttle = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto login = [&](const QString &name, const QString &password, const char *from) {
            return kit::request(server.port(), "POST /api/login", account(name, password), json, from);
        };
        // Five failures from one address on one name are answered as usual ...
        for (int i = 0; i < 5; ++i)
            QCOMPARE(login(QStringLiteral("demo"), QStringLiteral("wrong"), "127.0.0.2").status, 401);
        // ... then even the right password waits: on that name from anywhere, from that address for any name.
        QVERIFY(toldToWait(login(QStringLiteral("demo"), QStringLiteral("demo1234"), "127.0.0.2")));
        QVERIFY(toldToWait(login(QStringLiteral("demo"), QStringLiteral("demo1234"), "127.0.0.3")));
        QVERIFY(toldToWait(login(QStringLiteral("someone"), QStringLiteral("secret1"), "127.0.0.2")));
        QCOMPARE(kit::request(server.port(), "GET /api/stats", {}, {}, "127.0.0.2").status, 200);  // other routes are open
        // Unknown names are treated the same, so a lock reveals no account.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(login(QStringLiteral("nobody_here"), QStringLiteral("wrong"), "127.0.0.4").status, 401);
        QVERIFY(toldToWait(login(QStringLiteral("nobody_here"), QStringLiteral("wrong"), "127.0.0.5")));

        // A success forgets the name's failures (not the address's).
        QCOMPARE(kit::request(server.port(), "POST /api/register", account(QStringLiteral("reader_a"), QStringLiteral("secret1")), json,
                              "127.0.0.6").status, 200);
        for (const char *from : {"127.0.0.7", "127.0.0.8"}) {
            for (int i = 0; i < 4; ++i)
                QCOMPARE(login(QStringLiteral("reader_a"), QStringLiteral("wrong"), from).status, 401);
            QCOMPARE(login(QStringLiteral("reader_a"), QStringLiteral("secret1"), from).status, 200);
        }
    }

    void guestCommentsAndRegistrationsPerMinute()
    {
        ServerProcess server({.extraArguments = {QStringLiteral("--comments-per-minute"), QStringLiteral("2"),
                                                 QStringLiteral("--registrations-per-minute"), QStringLiteral("2")},
                              .throttle = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const auto comment = [&](const char *from, const QByteArray &headers = {}) {
            return kit::request(server.port(), "POST /api/comment", body(QJsonObject{{"article_id", 10}, {"content", "好"}}),
                                json + headers, from);
        };
        const auto registerAs = [&](const char *name, const char *from) {
            return kit::request(server.port(), "POST /api/register", account(QString::fromLatin1(name), QStringLiteral("secret1")),
                                json, from);
        };
        const qsizetype before = get(APIClient::create(server.baseUrl())->fetchComments(10)).size();
        QVERIFY(comment("127.0.0.2").status == 200 && comment("127.0.0.2").status == 200);
        QVERIFY(toldToWait(comment("127.0.0.2")));
        QCOMPARE(comment("127.0.0.3").status, 200);
        QCOMPARE(get(APIClient::create(server.baseUrl())->fetchComments(10)).size(), before + 3);

        const QByteArray token = kit::request(server.port(), "POST /api/register", account("reader_b", "secret1"), json, "127.0.0.2")
                                     .body;
        QVERIFY(registerAs("reader_c", "127.0.0.2").status == 200 && toldToWait(registerAs("reader_d", "127.0.0.2")));
        QCOMPARE(registerAs("reader_d", "127.0.0.3").status, 200);
        // A signed-in reader's comments are not a guest's.
        const QByteArray bearer = "Authorization: Bearer " + QJsonDocument::fromJson(token).object()["token"].toString().toLatin1() + "\r\n";
        QCOMPARE(comment("127.0.0.2", bearer).status, 200);
    }

    void connectionLimitsAndGarbage()
    {
        ServerProcess server({.demo = false,
                              .extraArguments = {QStringLiteral("--max-connections-per-address"), QStringLiteral("2"),
                                                 QStringLiteral("--max-connections"), QStringLiteral("4")}});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        const auto open = [&](const char *from) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->bind(QHostAddress(QString::fromLatin1(from)));
            idle.back()->connectToHost(QHostAddress::LocalHost, server.port());
            return idle.back()->waitForConnected(5000);
        };
        QVERIFY(open("127.0.0.2") && open("127.0.0.2"));
        QVERIFY(kit::exchange(server.port(), {}, 3000, "127.0.0.2").startsWith("HTTP/1.1 503"));  // a third from one address
        QVERIFY(open("127.0.0.3") && open("127.0.0.3"));
        const QByteArray full = kit::exchange(server.port(), {}, 3000, "127.0.0.4");  // a fifth in all
        QVERIFY2(full.startsWith("HTTP/1.1 503") && full.contains("\r\n\r\n{\"error\":"), full.constData());
        for (const auto &socket : idle)
            QVERIFY(socket->state() == QAbstractSocket::ConnectedState && !socket->waitForReadyRead(0));
        idle.clear();

        // What is not HTTP is closed, answered 400 when it does not even open like a request
        // (Qt's parser closes the rest), and its place is given back: the address has room for two.
        static const char tls[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 not http\r\n\r\n";
        const auto refused = [&](const QByteArray &garbage) {
            const QByteArray answer = kit::exchange(server.port(), garbage, 1000, "127.0.0.4");
            return garbage.startsWith("GET") ? answer.isEmpty() : answer.startsWith("HTTP/1.1 400 ");
        };
        for (const QByteArray &garbage : {QByteArray(tls, sizeof tls - 1), QByteArray("GET / HTTPX\r\n\r\n"),
                                          QByteArray("GET / HTTPX\r\n\r\n"), QByteArray(tls, sizeof tls - 1)})
            QTRY_VERIFY_WITH_TIMEOUT(refused(garbage), 1000);
        QTRY_COMPARE(kit::request(server.port(), "GET /api/stats", {}, {}, "127.0.0.4").status, 200);
    }

    // Behind a trusted proxy the per-address limit counts the forwarded
    // client's requests being answered (held open here by --latency), not
    // the proxy's own connections.
    void proxiedRequestsCountPerForwardedClient()
    {
        ServerProcess server({.demo = false, .latencyMs = 1500,
                              .extraArguments = {QStringLiteral("--max-connections-per-address"), QStringLiteral("1"),
                                                 QStringLiteral("--trusted-proxy"), QStringLiteral("127.0.0.1")}});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (const QByteArray forwarded : {"203.0.113.7", "203.0.113.7", "203.0.113.8", ""}) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(sockets.back()->waitForConnected(5000));
            sockets.back()->write("GET /api/stats HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                  + (forwarded.isEmpty() ? QByteArray() : "X-Forwarded-For: " + forwarded + "\r\n") + "\r\n");
            QVERIFY(sockets.back()->waitForBytesWritten(5000));  // all four in progress at once
        }
        QStringList statuses;
        for (const auto &s : sockets) {
            QByteArray answer;
            while (s->state() == QAbstractSocket::ConnectedState && s->waitForReadyRead(10000))
                answer += s->readAll();
            statuses << QString::fromLatin1((answer + s->readAll()).mid(9, 3));
        }
        // Whichever of the first client's two requests came second is refused.
        QStringList first = statuses.mid(0, 2);
        first.sort();
        QCOMPARE(first, QStringList({"200", "503"}));
        QCOMPARE(statuses.mid(2), QStringList({"200", "200"}));
    }

    void requestDeadline()
    {
        ServerProcess server({.demo = false,
                              .extraArguments = {QStringLiteral("--request-timeout"), QStringLiteral("1"),
                                                 QStringLiteral("--max-connections-per-address"), QStringLiteral("1")}});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray late = kit::exchange(server.port(), "GET /api/stats HTTP/1.1\r\nHo", 30000, "127.0.0.2");
        QVERIFY2(late.startsWith("HTTP/1.1 408") && fixtures::isChinese(QString::fromUtf8(late)), late.constData());
        // An idle connection is closed without a word, and its place is free again.
        QTcpSocket idle;
        idle.bind(QHostAddress(QStringLiteral("127.0.0.3")));
        idle.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(idle.waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(idle.state(), QAbstractSocket::UnconnectedState, 30000);
        QVERIFY(idle.readAll().isEmpty());
        QTRY_COMPARE(kit::request(server.port(), "GET /api/stats", {}, {}, "127.0.0.3").status, 200);
    }

    void parallelSignInsAndExpiringTokens()
    {
        ServerProcess server;  // no throttling: many failures, then success
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        // Sign-ins checked in parallel each answer on their own connection.
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 8; ++i) {
            const QByteArray sent = account(QStringLiteral("demo"), i % 2 ? QStringLiteral("demo1234") : QStringLiteral("wrong"));
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(sockets.back()->waitForConnected(5000));
            sockets.back()->write("POST /api/login HTTP/1.1\r\nHost: x\r\n" + json + "Content-Length: " + QByteArray::number(sent.size())
                                  + "\r\n\r\n" + sent);
        }
        for (int i = 0; i < 8; ++i) {
            QByteArray answer;
            while (!answer.contains("}") && sockets[i]->waitForReadyRead(30000))
                answer += sockets[i]->readAll();
            QVERIFY2(answer.startsWith(i % 2 ? "HTTP/1.1 200" : "HTTP/1.1 401"), answer.constData());
        }

        const auto tokenOf = [&] { return get(APIClient::create(server.baseUrl())->login(QStringLiteral("demo"), QStringLiteral("demo1234"))).token; };
        const QString old = tokenOf(), recent = tokenOf();
        QVERIFY(server.stop());
        const auto age = [&](const QString &token, int days) {
            const QByteArray hash = QCryptographicHash::hash(token.toLatin1(), QCryptographicHash::Sha256).toHex();
            kit::sql(server, {QStringLiteral("UPDATE tokens SET created_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now', '-%1 days')"
                                             " WHERE token_hash = X'%2'").arg(days).arg(QString::fromLatin1(hash))});
            return QStringLiteral("SELECT count(*) FROM tokens WHERE token_hash = X'%1'").arg(QString::fromLatin1(hash));
        };
        const QString oldRow = age(old, 31);
        age(recent, 29);
        const auto me = [&](const QString &token) { return kit::refusal(APIClient::create(server.baseUrl())->fetchMe(token)); };
        server.setOptions({.extraArguments = {QStringLiteral("--token-days"), QStringLiteral("60")}});
        QCOMPARE(start(server), QString());
        QCOMPARE(me(old), QStringLiteral("ok"));
        QVERIFY(server.stop());
        server.setOptions({});  // 30 days: the old token has expired and is deleted at start
        QCOMPARE(start(server), QString());
        QVERIFY(me(old).startsWith(QStringLiteral("401")));
        QCOMPARE(me(recent), QStringLiteral("ok"));
        QVERIFY(server.stop());
        QCOMPARE(kit::sql(server, {oldRow}).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(ServerLimitsTest)
#include "tst_server_limits.moc"

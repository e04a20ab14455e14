// The limits against abuse on the real papelo-server, with clients on
// different loopback addresses: sign-in back-off per address and per name,
// guests' comments and registrations per minute, connection limits, the
// request deadline, refused garbage, and token expiry.

#include "ServerTestKit.h"

#include <QCryptographicHash>
#include <QDir>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace papelo;
using kit::get;

namespace {
// Two megabytes of comments per thousand, spread over articles 10 to 10 + spread - 1.
void addComments(const ServerProcess &server, int count, int spread)
{
    kit::sql(server, {QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                                     " INSERT INTO comments (article_id, name, content, time)"
                                     " SELECT 10 + i % %2, 'x', hex(randomblob(1000)), '2024-01-01 00:00:00' FROM n")
                          .arg(count).arg(spread)});
}
} // namespace

class ServerLimitsTest : public QObject {
    Q_OBJECT

private slots:
    void signInBackOffIsFair()
    {
        KIT_STARTED(server, {.throttle = true, .clock = true});
        kit::script(server, QStringLiteral("server/sign-in-back-off.tsv"));
    }

    void commentsAndRegistrationsPerMinute()
    {
        KIT_STARTED(server,
                    {.extraArguments = kit::args("--comments-per-minute 2 --registrations-per-minute 2 --account-comments-per-minute 1"),
                     .throttle = true});
        const auto client = APIClient::create(server.baseUrl());
        const qsizetype before = get(client->fetchComments(10)).size();
        const QString token = get(client->registerUser(QStringLiteral("reader_a"), QStringLiteral("a@example.com"), QStringLiteral("secret1"))).token;
        kit::script(server, QStringLiteral("server/comments-per-minute.tsv"), {{"$TOKEN", token.toLatin1()}});
        QCOMPARE(get(client->fetchComments(10)).size(), before + 4);  // what was refused is not stored
    }

    // Behind the proxy, an IPv6 client's /64 has one allowance, its /56 four and its /48 sixteen;
    // anonymous likes are one per /64.
    void ipv6BucketsThroughTheProxy()
    {
        KIT_STARTED(server, {.extraArguments = kit::args("--trusted-proxy 127.0.0.1 --comments-per-minute 1"), .throttle = true});
        kit::script(server, QStringLiteral("server/ipv6-comments.tsv"));
        const auto as = [&](const char *client) {
            return kit::request(server.port(), "POST /api/like", R"({"article_id":10})",
                                "Content-Type: application/json\r\nX-Forwarded-For: " + QByteArray(client) + "\r\n").status;
        };
        const auto likes = [&] { return get(APIClient::create(server.baseUrl())->fetchArticleDetail(10)).likes; };
        const qint64 before = likes();
        QCOMPARE(as("2001:db8:0:1::1"), 200);
        QCOMPARE(likes(), before + 1);
        QCOMPARE(as("2001:db8:0:1::ffff"), 200);
        QCOMPARE(likes(), before);
    }

    void connectionLimitsAndGarbage()
    {
        KIT_STARTED(server, {.demo = false, .extraArguments = kit::args("--max-connections-per-address 2 --max-connections 4")});
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        const auto open = [&](const char *from) {
            idle.push_back(kit::connection(server.port(), from));
            return idle.back()->state() == QAbstractSocket::ConnectedState;
        };
        QVERIFY(open("127.0.0.2") && open("127.0.0.2"));
        QVERIFY(kit::exchange(server.port(), {}, 3000, "127.0.0.2").startsWith("HTTP/1.1 503"));  // a third from one address
        QVERIFY(open("127.0.0.3") && open("127.0.0.3"));
        // A fifth in all takes the place of the one that has waited longest for a request.
        QCOMPARE(kit::request(server.port(), "GET /api/stats", {}, {}, "127.0.0.4").status, 200);
        QTRY_COMPARE(idle.front()->state(), QAbstractSocket::UnconnectedState);
        for (size_t i = 1; i < idle.size(); ++i)
            QVERIFY(idle[i]->state() == QAbstractSocket::ConnectedState && !idle[i]->waitForReadyRead(0));
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
        KIT_STARTED(server,
                    {.demo = false, .latencyMs = 1500, .extraArguments = kit::args("--max-connections-per-address 1 --trusted-proxy 127.0.0.1")});
        QByteArrayList requests;
        for (const QByteArray forwarded : {"203.0.113.7", "203.0.113.7", "203.0.113.8", ""})
            requests << kit::raw("GET /api/stats", {}, forwarded.isEmpty() ? QByteArray() : "X-Forwarded-For: " + forwarded + "\r\n");
        QStringList statuses;
        for (const auto &s : kit::inFlight(server.port(), requests))  // all four in progress at once
            statuses << QString::fromLatin1(kit::drain(*s).mid(9, 3));
        // Whichever of the first client's two requests came second is refused.
        QStringList first = statuses.mid(0, 2);
        first.sort();
        QCOMPARE(first, QStringList({"200", "503"}));
        QCOMPARE(statuses.mid(2), QStringList({"200", "200"}));
    }

    void requestDeadline()
    {
        KIT_STARTED(server, {.demo = false, .extraArguments = kit::args("--request-timeout 1 --max-connections-per-address 1")});
        const QByteArray late = kit::exchange(server.port(), "GET /api/stats HTTP/1.1\r\nHo", 30000, "127.0.0.2");
        QVERIFY2(late.startsWith("HTTP/1.1 408") && fixtures::isChinese(QString::fromUtf8(late)), late.constData());
        // Idle connections are closed without a word, also one already answered, and their places are free again.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (const char *from : {"127.0.0.3", "127.0.0.4"})
            idle.push_back(kit::connection(server.port(), from));
        idle.back()->write("GET /api/stats HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(idle.back()->waitForReadyRead(10000) && idle.back()->readAll().startsWith("HTTP/1.1 200"));
        for (const auto &socket : idle) {
            QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 30000);
            QVERIFY(socket->readAll().isEmpty());
        }
        for (const char *from : {"127.0.0.3", "127.0.0.4"})
            QTRY_COMPARE(kit::request(server.port(), "GET /api/stats", {}, {}, from).status, 200);
    }

    // A client that asks and never reads is cut off: once its unsent answers pile up past 1 MiB
    // (the deadline is far off), or once one that would close stops moving for the deadline.
    void unreadAnswersAreCutOff_data() { data::table<QString, QByteArray, QByteArray>(QStringLiteral("server/unread-answers.tsv")); }
    void unreadAnswersAreCutOff()
    {
        QFETCH(QString, timeout);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, header);
        const QByteArray ask = request + " HTTP/1.1\r\nHost: x\r\n" + (header.isEmpty() ? "" : header + "\r\n") + "\r\n";
        KIT_STARTED(server, {.extraArguments = {QStringLiteral("--request-timeout"), timeout}});
        // About 6 MB of comments: more than the kernel's buffers hold for a client that does not read.
        addComments(server, 3000, 1);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(server.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to), 0);
        // One request per read on the server's side, until it cuts us off.
        for (int i = 0; i < (ask.contains("close") ? 1 : 5000) && ::send(fd, ask.constData(), size_t(ask.size()), MSG_NOSIGNAL) == ask.size(); ++i)
            QThread::msleep(2);
        pollfd state = {fd, 0, 0};
        QTRY_VERIFY_WITH_TIMEOUT(::poll(&state, 1, 0) == 1 && (state.revents & POLLHUP), 30000);
        ::close(fd);
    }

    // Five long comment answers and forty covers asked at once are made off the event loop, which
    // answers meanwhile. The picture directory keeps 1 MiB (about thirty covers), owner-only like
    // the store, and a picture drawn again is the same picture.
    void slowAnswersAreMadeAside()
    {
        KIT_STARTED(server, {.extraArguments = kit::args("--picture-megabytes 1")});
        addComments(server, 10000, 5);
        const QByteArray etag = kit::request(server.port(), "GET /images/cover/1.jpg").header("ETag");
        QByteArrayList requests;
        for (int id = 10; id < 15; ++id)
            requests << kit::raw("GET /api/comments?article_id=" + QByteArray::number(id));
        for (int id = 2; id <= 41; ++id)
            requests << kit::raw("GET /images/cover/" + QByteArray::number(id) + ".jpg");
        const auto asks = kit::inFlight(server.port(), requests);
        QCOMPARE(kit::request(server.port(), "GET /api/stats").status, 200);
        const auto answered = [&](int from, int to) {
            return std::count_if(asks.begin() + from, asks.begin() + to,
                                 [](const auto &a) { return a->bytesAvailable() > 0 || a->waitForReadyRead(0); });
        };
        const auto comments = answered(0, 5), covers = answered(5, 45);
        QVERIFY2(comments < 3 && covers < 20, qPrintable(QStringLiteral("%1 %2").arg(comments).arg(covers)));
        for (const auto &a : asks)
            QVERIFY(kit::drain(*a).startsWith("HTTP/1.1 200"));
        qint64 kept = 0;
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        const QDir images(server.dataDir() + QStringLiteral("/images"));
        for (const QFileInfo &file : images.entryInfoList(QDir::Files) + QFileInfoList{QFileInfo(images.path()), QFileInfo(images.filePath(QStringLiteral("../papelo.sqlite")))}) {
            kept += file.suffix() == QLatin1String("jpg") ? file.size() : 0;
            QVERIFY2(!(file.permissions() & others), qPrintable(file.filePath()));  // the server's user's alone
        }
        QVERIFY2(kept > 512 * 1024 && kept <= 1024 * 1024, qPrintable(QString::number(kept)));
        QCOMPARE(kit::request(server.port(), "GET /images/cover/1.jpg", {}, "If-None-Match: " + etag + "\r\n").status, 304);
    }

    void parallelSignInsAndExpiringTokens()
    {
        KIT_STARTED(server);  // no throttling: many failures, then success
        // Sign-ins checked in parallel each answer on their own connection.
        QByteArrayList logins;
        for (int i = 0; i < 8; ++i)
            logins << kit::raw("POST /api/login", i % 2 ? R"({"username":"demo","password":"demo1234"})" : R"({"username":"demo","password":"wrong"})",
                               "Content-Type: application/json\r\n");
        const auto sockets = kit::inFlight(server.port(), logins);
        for (size_t i = 0; i < sockets.size(); ++i)
            QVERIFY(kit::drain(*sockets[i]).startsWith(i % 2 ? "HTTP/1.1 200" : "HTTP/1.1 401"));
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
        server.setOptions({.extraArguments = kit::args("--token-days 60")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QCOMPARE(me(old), QStringLiteral("ok"));
        QVERIFY(server.stop());
        server.setOptions({});  // 30 days: the old token has expired and is deleted at start
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(me(old).startsWith(QStringLiteral("401")));
        QCOMPARE(me(recent), QStringLiteral("ok"));
        QVERIFY(server.stop());
        QCOMPARE(kit::sql(server, {oldRow}).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(ServerLimitsTest)
#include "tst_server_limits.moc"

#include "core/APIClient.h"
#include "FakeServer.h"
#include "TestJson.h"
#include "TrickleServer.h"

#include <QCoroTask>
#include <QPointer>
#include <QtTest>

using namespace papelo;
using Kind = RequestError::Kind;
using Transport = RequestError::Transport;

namespace {
APIClient::Limits shortLimits()
{
    APIClient::Limits limits;
    limits.idle = std::chrono::milliseconds(300);
    limits.whole = std::chrono::milliseconds(10000);
    return limits;
}

QByteArray statsBody() { return testjson::bytes(QJsonObject{{"totalArticles", 1}, {"dbArticles", 2}}); }

QString describe(const RequestError &e) { return e.description(); }
} // namespace

// A screen-like owner that may be destroyed while its request runs.
class Caller : public QObject {
    Q_OBJECT
public:
    static inline int resumedAlive = 0;
    static inline int resumedGone = 0;

    QCoro::Task<> load(std::shared_ptr<APIClient> client)
    {
        QPointer<Caller> guard(this);
        const Result<StatsResponse> r = co_await client->fetchStats();
        if (!guard) {
            ++resumedGone;
            co_return;
        }
        m_loaded = r.ok();
        ++resumedAlive;
    }
    bool m_loaded = false;
};

class ApiClientFailuresTest : public QObject {
    Q_OBJECT
private slots:
    // ---- statuses ------------------------------------------------------------
    void statusHandling_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<QString>("description");
        const QByteArray err = QByteArray(R"({"error":"文章不存在"})");
        QTest::newRow("404 server message") << 404 << err << int(Kind::Server) << QStringLiteral("文章不存在");
        QTest::newRow("error with extra keys") << 403 << QByteArray(R"({"code":3,"error":" 禁止 ","ok":false})")
                                               << int(Kind::Server) << QStringLiteral(" 禁止 ");
        QTest::newRow("401 message") << 401 << QByteArray(R"({"error":"请先登录"})") << int(Kind::Server)
                                     << QStringLiteral("请先登录");
        QTest::newRow("407 message") << 407 << QByteArray(R"({"error":"代理"})") << int(Kind::Server)
                                     << QStringLiteral("代理");
        QTest::newRow("410 message") << 410 << err << int(Kind::Server) << QStringLiteral("文章不存在");
        QTest::newRow("503 message") << 503 << err << int(Kind::Server) << QStringLiteral("文章不存在");
        QTest::newRow("500 empty") << 500 << QByteArray() << int(Kind::BadResponse) << QString();
        QTest::newRow("500 html") << 500 << QByteArray("<html><h1>Internal</h1></html>") << int(Kind::BadResponse)
                                  << QString();
        QTest::newRow("400 message only") << 400 << QByteArray(R"({"message":"bad"})") << int(Kind::BadResponse)
                                          << QString();
        QTest::newRow("502 error not a string") << 502 << QByteArray(R"({"error":5})") << int(Kind::BadResponse)
                                                << QString();
        QTest::newRow("200 error only") << 200 << err << int(Kind::Decoding) << QString();
        QTest::newRow("200 empty") << 200 << QByteArray() << int(Kind::Decoding) << QString();
        QTest::newRow("299 success") << 299 << statsBody() << -1 << QString();
        QTest::newRow("204 empty") << 204 << QByteArray() << int(Kind::Decoding) << QString();
        QTest::newRow("300 not followed") << 300 << statsBody() << int(Kind::BadResponse) << QString();
        QTest::newRow("300 with error body") << 300 << err << int(Kind::Server) << QStringLiteral("文章不存在");
    }
    void statusHandling()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, description);
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/api/stats", FakeServer::Response::raw(status, body));
        server.on("GET", "/api/articles", FakeServer::Response::raw(status, body));
        auto client = APIClient::create(server.baseUrl(), shortLimits());

        const auto stats = QCoro::waitFor(client->fetchStats());
        const auto articles = QCoro::waitFor(client->fetchArticles(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
        if (kind < 0) {
            QVERIFY2(stats.ok(), qPrintable(stats.ok() ? QString() : stats.error().description()));
            QCOMPARE(stats->dbArticles, 2);
            return;
        }
        for (const RequestError &e : {stats.ok() ? RequestError::decoding("") : stats.error(),
                                      articles.ok() ? RequestError::decoding("") : articles.error()}) {
            QCOMPARE(int(e.kind()), kind);
            QVERIFY(!e.description().isEmpty());
            if (!description.isNull())
                QCOMPARE(e.description(), description); // unchanged, no prefix
            else
                QVERIFY2(testjson::isChinese(e.description()), qPrintable(e.description()));
        }
        QVERIFY(!stats.ok() && !articles.ok());
    }

    void redirectFollowed()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response moved = FakeServer::Response::raw(302, QByteArray());
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/api/stats-v2")));
        server.on("GET", "/api/stats", moved);
        server.on("GET", "/api/stats-v2", FakeServer::Response::raw(200, statsBody()));
        auto client = APIClient::create(server.baseUrl(), shortLimits());
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        QCOMPARE(server.count("/api/stats-v2"), 1);
    }

    void writeEndpointStatuses()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("POST", "/api/register", FakeServer::Response::raw(409, R"({"error":"用户名已被注册"})"));
        server.on("POST", "/api/login", FakeServer::Response::raw(401, R"({"error":"密码错误","field":"password"})"));
        server.on("POST", "/api/me/bio", FakeServer::Response::raw(200, R"({"ok":false,"bio":"旧签名"})"));
        server.on("POST", "/api/comment", FakeServer::Response::raw(201, R"({"id":5,"ok":false})"));
        auto client = APIClient::create(server.baseUrl(), shortLimits());

        const auto reg = QCoro::waitFor(client->registerUser("u", "e@x", "p"));
        QVERIFY(!reg.ok());
        QCOMPARE(reg.error().kind(), Kind::Server);
        QCOMPARE(reg.error().description(), QStringLiteral("用户名已被注册"));
        QCOMPARE(reg.error().httpStatus(), 409);
        const auto login = QCoro::waitFor(client->login("u", "p"));
        QVERIFY(!login.ok());
        QCOMPARE(login.error().description(), QStringLiteral("密码错误"));
        const auto bio = QCoro::waitFor(client->updateBio("t", "新"));
        QVERIFY(bio.ok());
        QCOMPARE(bio.value(), QStringLiteral("旧签名"));
        const auto comment = QCoro::waitFor(client->postComment(1, "c", std::nullopt));
        QVERIFY(comment.ok()); // ok is handed on, not examined
        QVERIFY(!comment->ok);
    }

    void likeResults_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<bool>("value");
        QTest::newRow("ok true") << 200 << QByteArray(R"({"ok":true})") << -1 << true;
        QTest::newRow("empty object") << 200 << QByteArray("{}") << -1 << false;
        QTest::newRow("other booleans only") << 200 << QByteArray(R"({"liked":true})") << -1 << false;
        QTest::newRow("number beside ok") << 200 << QByteArray(R"({"ok":true,"likes":12})") << int(Kind::Decoding)
                                          << false;
        QTest::newRow("not an object") << 200 << QByteArray("true") << int(Kind::Decoding) << false;
        QTest::newRow("429 message") << 429 << QByteArray(R"({"error":"操作太频繁"})") << int(Kind::Server) << false;
    }
    void likeResults()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(bool, value);
        FakeServer server;
        QVERIFY(server.listen());
        server.on("POST", "/api/like", FakeServer::Response::raw(status, body));
        auto client = APIClient::create(server.baseUrl(), shortLimits());
        const auto r = QCoro::waitFor(client->like(LikeTarget(1, std::nullopt), QString("t")));
        if (kind < 0) {
            QVERIFY(r.ok());
            QCOMPARE(r.value(), value);
        } else {
            QVERIFY(!r.ok());
            QCOMPARE(int(r.error().kind()), kind);
        }
    }

    // ---- transport limits ----------------------------------------------------
    void stalledServerTimesOut()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response stall;
        stall.stall = true;
        server.on("GET", "/api/stats", stall);
        FakeServer::Response half = FakeServer::Response::raw(200, statsBody());
        half.stallAfterBytes = 5; // headers and a few bytes, then silence
        server.on("GET", "/api/tags", half);
        auto client = APIClient::create(server.baseUrl(), shortLimits());

        QElapsedTimer clock;
        clock.start();
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), Kind::Transport);
        QCOMPARE(r.error().transportReason(), Transport::Timeout);
        QVERIFY(testjson::isChinese(r.error().description()));
        const auto t = QCoro::waitFor(client->fetchTags());
        QVERIFY(!t.ok());
        QCOMPARE(t.error().transportReason(), Transport::Timeout);
        // Both ended by the 300 ms idle limit, far below the 15 s default.
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(client->requestsInFlight(), 0);
    }

    void tricklingServerHitsWholeLimit()
    {
        TrickleServer server("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n", " ", 40);
        QVERIFY(server.listen());
        APIClient::Limits limits;
        limits.idle = std::chrono::milliseconds(5000); // never reached: a byte arrives every 40 ms
        limits.whole = std::chrono::milliseconds(600);
        auto client = APIClient::create(server.baseUrl(), limits);
        QElapsedTimer clock;
        clock.start();
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY(!r.ok());
        QCOMPARE(r.error().transportReason(), Transport::Timeout);
        QVERIFY2(clock.elapsed() < 4500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(server.bytesSent() > 0);
    }

    void bodyCap_data()
    {
        QTest::addColumn<qint64>("bodySize");
        QTest::addColumn<bool>("fits");
        QTest::newRow("exactly the cap") << qint64(4096) << true;
        QTest::newRow("one byte over") << qint64(4097) << false;
        QTest::newRow("far over") << qint64(1 << 20) << false;
    }
    void bodyCap()
    {
        QFETCH(qint64, bodySize);
        QFETCH(bool, fits);
        QByteArray body = statsBody();
        body.append(QByteArray(bodySize - body.size(), ' ')); // trailing whitespace keeps it valid JSON
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/api/stats", FakeServer::Response::raw(200, body));
        APIClient::Limits limits = shortLimits();
        limits.maxBodyBytes = 4096;
        auto client = APIClient::create(server.baseUrl(), limits);
        const auto r = QCoro::waitFor(client->fetchStats());
        QCOMPARE(r.ok(), fits);
        if (!fits) {
            QCOMPARE(r.error().kind(), Kind::Transport);
            QCOMPARE(r.error().transportReason(), Transport::TooLarge);
        }
    }

    void growingBodyWithoutLength_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("chunk");
        const QByteArray data(16 * 1024, '[');
        QTest::newRow("close-delimited")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n") << data;
        QTest::newRow("chunked")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n")
            << QByteArray("4000\r\n") + data + QByteArray("\r\n");
    }
    void growingBodyWithoutLength()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, chunk);
        TrickleServer server(head, chunk, 2);
        QVERIFY(server.listen());
        APIClient::Limits limits;
        limits.idle = std::chrono::milliseconds(3000);
        limits.whole = std::chrono::milliseconds(20000);
        limits.maxBodyBytes = 256 * 1024;
        auto client = APIClient::create(server.baseUrl(), limits);
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY(!r.ok());
        QCOMPARE(r.error().transportReason(), Transport::TooLarge);
        QTRY_VERIFY_WITH_TIMEOUT(server.clientHungUp(), 10000);
        QVERIFY2(server.bytesSent() < 8 * 1024 * 1024, qPrintable(QString::number(server.bytesSent())));
    }

    void realSizeBodiesOverThirtyTwoMiB()
    {
        const QByteArray big(33 * 1024 * 1024, ' ');
        {
            FakeServer server;
            QVERIFY(server.listen());
            server.on("GET", "/api/stats", FakeServer::Response::raw(200, statsBody() + big));
            auto client = APIClient::create(server.baseUrl());
            const auto r = QCoro::waitFor(client->fetchStats());
            QVERIFY(!r.ok());
            QCOMPARE(r.error().transportReason(), Transport::TooLarge);
        }
        {
            TrickleServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(1024 * 1024, ' '), 1);
            QVERIFY(server.listen());
            auto client = APIClient::create(server.baseUrl());
            const auto r = QCoro::waitFor(client->fetchStats());
            QVERIFY(!r.ok());
            QCOMPARE(r.error().transportReason(), Transport::TooLarge);
        }
    }

    void connectionDroppedMidBody()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response half = FakeServer::Response::raw(200, statsBody() + QByteArray(64, ' '));
        half.stallAfterBytes = int(statsBody().size()); // a complete JSON document, then the peer vanishes
        server.on("GET", "/api/stats", half);
        auto client = APIClient::create(server.baseUrl(), shortLimits());
        auto task = client->fetchStats();
        QTRY_COMPARE(server.count("/api/stats"), 1);
        QTest::qWait(50);
        server.dropConnections();
        const auto r = QCoro::waitFor(std::move(task));
        // A transfer cut short is a transport failure, never a decoded success.
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), Kind::Transport);
    }

    void brokenBodyFraming_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("chunk");
        const QByteArray json = statsBody();
        const QByteArray sized = QByteArray::number(json.size(), 16) + "\r\n" + json + "\r\n";
        const QByteArray chunkedHead("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
        QTest::newRow("length promised, peer closes")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: ") + QByteArray::number(json.size() + 10) + "\r\n\r\n"
            << json;
        QTest::newRow("chunked without last chunk") << chunkedHead << sized;
        QTest::newRow("chunked with garbage size") << chunkedHead << sized + "zz\r\n";
        QTest::newRow("chunk shorter than announced")
            << chunkedHead << QByteArray::number(json.size() + 40, 16) + "\r\n" + json;
    }
    void brokenBodyFraming()
    {
        // The bytes that did arrive form a valid document; success would be a lie.
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, chunk);
        TrickleServer server(head, chunk, 20, 1);
        QVERIFY(server.listen());
        auto client = APIClient::create(server.baseUrl(), shortLimits());
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY2(!r.ok(), "a body cut short was decoded as complete");
        QCOMPARE(r.error().kind(), Kind::Transport);
    }

    void connectionRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        auto client = APIClient::create(QStringLiteral("http://127.0.0.1:%1").arg(port), shortLimits());
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), Kind::Transport);
        QCOMPARE(r.error().transportReason(), Transport::Refused);
        QVERIFY(testjson::isChinese(r.error().description()));
    }

    void invalidBaseUrlSendsNothing_data()
    {
        QTest::addColumn<QString>("base");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1:%1");
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1:%1");
        QTest::newRow("localhost no scheme") << QStringLiteral("localhost:%1");
        QTest::newRow("no host") << QStringLiteral("http://:%1");
        QTest::newRow("garbage") << QStringLiteral("ht tp:// %1 <>");
        QTest::newRow("empty") << QString();
    }
    void invalidBaseUrlSendsNothing()
    {
        QFETCH(QString, base);
        FakeServer server;
        QVERIFY(server.listen());
        const QString value = base.contains(QLatin1String("%1")) ? base.arg(server.port()) : base;
        auto client = APIClient::create(value, shortLimits());
        const auto r = QCoro::waitFor(client->fetchStats());
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), Kind::Config);
        QVERIFY2(r.error().description().contains(value), qPrintable(r.error().description()));
        QVERIFY(testjson::isChinese(r.error().description()));
        const auto p = QCoro::waitFor(client->like(LikeTarget(1, std::nullopt), std::nullopt));
        QCOMPARE(p.error().kind(), Kind::Config);
        QTest::qWait(100);
        QCOMPARE(server.requests().size(), 0);
    }

    // ---- cancellation and lifetimes ------------------------------------------
    void cancelAllFailsInFlightOnly()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response stall;
        stall.stall = true;
        server.on("GET", "/api/stats", stall);
        server.on("POST", "/api/like", stall);
        server.on("GET", "/api/tags", FakeServer::Response::json(QJsonArray()));
        APIClient::Limits limits = shortLimits();
        limits.idle = std::chrono::milliseconds(10000);
        auto client = APIClient::create(server.baseUrl(), limits);

        auto stats = client->fetchStats();
        auto like = client->like(LikeTarget(1, std::nullopt), std::nullopt);
        QTRY_COMPARE(server.requests().size(), 2);
        QCOMPARE(client->requestsInFlight(), 2);
        client->cancelAll();
        const auto s = QCoro::waitFor(std::move(stats));
        const auto l = QCoro::waitFor(std::move(like));
        for (const RequestError &e : {s.ok() ? RequestError::decoding("") : s.error(),
                                      l.ok() ? RequestError::decoding("") : l.error()}) {
            QCOMPARE(e.kind(), Kind::Transport);
            QCOMPARE(e.transportReason(), Transport::Cancelled);
            QVERIFY(testjson::isChinese(describe(e)));
        }
        QCOMPARE(client->requestsInFlight(), 0);
        const auto later = QCoro::waitFor(client->fetchTags());
        QVERIFY(later.ok());
    }

    void destroyedCallerIsNotResumed()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response slow = FakeServer::Response::raw(200, statsBody());
        slow.delayMs = 150;
        server.on("GET", "/api/stats", slow);
        Caller::resumedAlive = Caller::resumedGone = 0;

        auto *alive = new Caller;
        auto *doomed = new Caller;
        alive->load(APIClient::create(server.baseUrl(), shortLimits()));
        doomed->load(APIClient::create(server.baseUrl(), shortLimits()));
        QTRY_COMPARE(server.count("/api/stats"), 2);
        delete doomed;
        QTRY_COMPARE(Caller::resumedAlive + Caller::resumedGone, 2);
        QCOMPARE(Caller::resumedAlive, 1);
        QCOMPARE(Caller::resumedGone, 1);
        QVERIFY(alive->m_loaded);
        delete alive;
    }

    void clientDroppedMidFlight()
    {
        FakeServer server;
        QVERIFY(server.listen());
        FakeServer::Response slow = FakeServer::Response::raw(200, statsBody());
        slow.delayMs = 100;
        server.on("GET", "/api/stats", slow);
        FakeServer::Response stall;
        stall.stall = true;
        server.on("GET", "/api/tags", stall);

        // The running operation keeps its client.
        auto client = APIClient::create(server.baseUrl(), shortLimits());
        auto task = client->fetchStats();
        client.reset();
        const auto r = QCoro::waitFor(std::move(task));
        QVERIFY(r.ok());

        // Client and task both dropped: the detached request finishes on its own.
        {
            auto c = APIClient::create(server.baseUrl(), shortLimits());
            c->fetchStats();
            c->fetchTags();
        }
        QTRY_COMPARE(server.count("/api/stats"), 2);
        QTRY_COMPARE(server.count("/api/tags"), 1);
        server.dropConnections();
        QTest::qWait(400); // past the idle limit of the abandoned stalled request
    }
};

QTEST_GUILESS_MAIN(ApiClientFailuresTest)
#include "tst_apiclient_failures.moc"

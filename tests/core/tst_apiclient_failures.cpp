#include "core/APIClient.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;
using namespace std::chrono_literals;
using Kind = RequestError::Kind;
using Transport = RequestError::Transport;
using Response = FakeServer::Response;

namespace {
const QByteArray kStats = R"({"totalArticles":1,"dbArticles":2})";

RequestError failure(const Result<StatsResponse> &r) { return r ? RequestError::decoding("<decoded>") : r.error(); }
} // namespace

Q_DECLARE_METATYPE(FakeServer::Response)

class ApiClientFailuresTest : public ServedTest {
    Q_OBJECT

    // The limit a case does not exercise is an hour away: were the one it
    // exercises not enforced, the case would hang until ctest's timeout.
    Result<StatsResponse> stats(std::chrono::milliseconds idle = 300ms, std::chrono::milliseconds whole = 1h,
                                qint64 cap = ClientLimits().maxBodyBytes)
    {
        return QCoro::waitFor(APIClient::create(server().baseUrl(), {idle, whole, cap})->fetchStats());
    }

private slots:
    // A non-2xx body with a string "error" is the server's message, shown
    // unchanged; anything else is a Chinese description of what went wrong.
    void statuses_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, int status, const QByteArray &body, int kind, const char *message = nullptr) {
            QTest::newRow(name) << status << body << kind << QString::fromUtf8(message);
        };
        const QByteArray err = R"({"error":"文章不存在"})";
        row("404 message", 404, err, int(Kind::Server), "文章不存在");
        row("extra keys", 403, R"({"code":3,"error":" 禁止 ","ok":false})", int(Kind::Server), " 禁止 ");
        row("401 message", 401, err, int(Kind::Server), "文章不存在");
        row("407 message", 407, err, int(Kind::Server), "文章不存在");
        row("503 message", 503, err, int(Kind::Server), "文章不存在");
        row("300 message", 300, err, int(Kind::Server), "文章不存在");
        row("500 empty", 500, {}, int(Kind::BadResponse));
        row("500 html", 500, "<html><h1>Internal</h1></html>", int(Kind::BadResponse));
        row("400 message key", 400, R"({"message":"bad"})", int(Kind::BadResponse));
        row("502 error number", 502, R"({"error":5})", int(Kind::BadResponse));
        row("300 not followed", 300, kStats, int(Kind::BadResponse));
        row("200 error body", 200, err, int(Kind::Decoding));
        row("204 empty", 204, {}, int(Kind::Decoding));
        row("299 success", 299, kStats, -1);
    }
    void statuses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, message);
        server().on("GET", "/api/stats", Response::raw(status, body));
        const Result<StatsResponse> r = stats();
        const RequestError e = failure(r);
        if (kind < 0) {
            QVERIFY2(r.ok() && r->dbArticles == 2, qPrintable(e.description()));
            return;
        }
        QCOMPARE(int(e.kind()), kind);
        if (kind != int(Kind::Decoding))
            QCOMPARE(e.httpStatus(), status);
        if (!message.isNull())
            QCOMPARE(e.description(), message);
        else
            QVERIFY2(fixtures::isChinese(e.description()), qPrintable(e.description()));
    }

    void redirectFollowed()
    {
        Response moved = Response::raw(302, {});
        moved.headers.append({QByteArray("Location"), QByteArray("/api/stats-v2")});
        server().on("GET", "/api/stats", moved);
        server().on("GET", "/api/stats-v2", Response::raw(200, kStats));
        QVERIFY2(stats().ok(), "redirect not followed");
        QCOMPARE(server().count("/api/stats-v2"), 1);
    }

    // Idle and whole-transfer limits, the body cap, and bodies cut short: the
    // bytes that did arrive form a valid document, so success would be a lie.
    void transfers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<std::chrono::milliseconds>("idle");
        QTest::addColumn<std::chrono::milliseconds>("whole");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<int>("reason"); // -1: success, -2: any transport failure
        const auto row = [](const char *name, const Response &r, int reason, std::chrono::milliseconds idle = 10s,
                            std::chrono::milliseconds whole = 1h, qint64 cap = ClientLimits().maxBodyBytes) {
            QTest::newRow(name) << r << idle << whole << cap << reason;
        };
        Response half = Response::raw(200, kStats);
        half.stallAfterBytes = 5;
        row("no answer", FakeServer::stalled(), int(Transport::Timeout), 300ms);
        row("silent mid-body", half, int(Transport::Timeout), 300ms);
        row("a byte every 40 ms past the whole limit",
            Response::stream("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", " ", 40), int(Transport::Timeout), 1h,
            600ms);
        // Trailing whitespace keeps a body valid JSON.
        const auto sized = [](qsizetype n) { return Response::raw(200, kStats + QByteArray(n - kStats.size(), ' ')); };
        row("exactly the cap", sized(4096), -1, 10s, 1h, 4096);
        row("one byte over the cap", sized(4097), int(Transport::TooLarge), 10s, 1h, 4096);
        row("growing without a length",
            Response::stream("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(16 * 1024, '['), 2),
            int(Transport::TooLarge), 10s, 1h, 256 * 1024);
        row("over the default cap", sized(33 * 1024 * 1024), int(Transport::TooLarge));
        const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        const QByteArray sizedChunk = QByteArray::number(kStats.size(), 16) + "\r\n" + kStats + "\r\n";
        row("length promised, peer closes",
            Response::stream("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(kStats.size() + 10) + "\r\n\r\n",
                             kStats, 20, 1),
            -2);
        row("chunked without last chunk", Response::stream(chunked, sizedChunk, 20, 1), -2);
        row("chunked with garbage size", Response::stream(chunked, sizedChunk + "zz\r\n", 20, 1), -2);
        row("chunk shorter than announced",
            Response::stream(chunked, QByteArray::number(kStats.size() + 40, 16) + "\r\n" + kStats, 20, 1), -2);
    }
    void transfers()
    {
        QFETCH(Response, response);
        QFETCH(std::chrono::milliseconds, idle);
        QFETCH(std::chrono::milliseconds, whole);
        QFETCH(qint64, cap);
        QFETCH(int, reason);
        server().on("GET", "/api/stats", response);
        auto client = APIClient::create(server().baseUrl(), {idle, whole, cap});
        const Result<StatsResponse> r = QCoro::waitFor(client->fetchStats());
        QCOMPARE(r.ok(), reason == -1);
        if (!r.ok()) {
            QCOMPARE(r.error().kind(), Kind::Transport);
            if (reason >= 0)
                QCOMPARE(int(r.error().transportReason()), reason);
            QVERIFY(fixtures::isChinese(r.error().description()));
        }
        QCOMPARE(client->requestsInFlight(), 0);
        // The client hangs up instead of draining an endless body.
        QVERIFY2(server().bytesStreamed() < 8 * 1024 * 1024, qPrintable(QString::number(server().bytesStreamed())));
    }

    void connectionRefused()
    {
        const auto r = QCoro::waitFor(APIClient::create(FakeServer::deadBaseUrl())->fetchStats());
        QCOMPARE(failure(r).transportReason(), Transport::Refused);
        QVERIFY(fixtures::isChinese(r.error().description()));
    }

    void invalidBaseUrlSendsNothing()
    {
        // Reachable as it stands, but a base URL carries no user info.
        const QString base = QStringLiteral("http://u:p@127.0.0.1:%1").arg(server().port());
        const RequestError e = failure(QCoro::waitFor(APIClient::create(base)->fetchStats()));
        QCOMPARE(e.kind(), Kind::Config);
        QVERIFY2(e.description().contains(base) && fixtures::isChinese(e.description()), qPrintable(e.description()));
        QCOMPARE(server().requests().size(), 0);
    }

    void cancelAllFailsInFlightOnly()
    {
        server().on("GET", "/api/stats", FakeServer::stalled());
        server().on("POST", "/api/like", FakeServer::stalled());
        server().on("GET", "/api/tags", Response::raw(200, "[]"));
        auto client = APIClient::create(server().baseUrl(), {1h, 1h});
        auto stats = client->fetchStats();
        auto like = client->like(LikeTarget(1, std::nullopt), std::nullopt);
        QTRY_COMPARE(server().requests().size(), 2);
        QCOMPARE(client->requestsInFlight(), 2);
        client->cancelAll();
        const RequestError s = failure(QCoro::waitFor(std::move(stats)));
        const auto l = QCoro::waitFor(std::move(like));
        QCOMPARE(s.transportReason(), Transport::Cancelled);
        QVERIFY(fixtures::isChinese(s.description()));
        QVERIFY(!l.ok());
        QCOMPARE(l.error().transportReason(), Transport::Cancelled);
        QCOMPARE(client->requestsInFlight(), 0);
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
    }

    void runningOperationKeepsItsClient()
    {
        server().on("GET", "/api/stats", FakeServer::delayed(Response::raw(200, kStats), 100));
        auto client = APIClient::create(server().baseUrl());
        auto task = client->fetchStats();
        client.reset();
        QVERIFY(QCoro::waitFor(std::move(task)).ok());
    }
};

QTEST_GUILESS_MAIN(ApiClientFailuresTest)
#include "tst_apiclient_failures.moc"

#include "core/APIClient.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;
using Kind = RequestError::Kind;
using Transport = RequestError::Transport;
using Response = FakeServer::Response;
using namespace std::chrono_literals;

namespace {
// Whichever limit a test does not exercise is far away: if the one it
// exercises were not enforced, the test would hang until ctest's timeout.
APIClient::Limits limits(std::chrono::milliseconds idle, std::chrono::milliseconds whole = 1h,
                         qint64 maxBodyBytes = ClientLimits().maxBodyBytes)
{
    return {idle, whole, maxBodyBytes};
}

const QByteArray kStats = R"({"totalArticles":1,"dbArticles":2})";

RequestError failure(const Result<StatsResponse> &r) { return r ? RequestError::decoding("<decoded>") : r.error(); }
} // namespace

Q_DECLARE_METATYPE(FakeServer::Response)

class ApiClientFailuresTest : public ServedTest {
    Q_OBJECT

    Result<StatsResponse> stats(APIClient::Limits l = limits(300ms))
    {
        return QCoro::waitFor(APIClient::create(server().baseUrl(), l)->fetchStats());
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
        const QByteArray err = R"({"error":"文章不存在"})";
        QTest::newRow("404 message") << 404 << err << int(Kind::Server) << "文章不存在";
        QTest::newRow("extra keys") << 403 << QByteArray(R"({"code":3,"error":" 禁止 ","ok":false})")
                                    << int(Kind::Server) << " 禁止 ";
        QTest::newRow("401 message") << 401 << err << int(Kind::Server) << "文章不存在";
        QTest::newRow("407 message") << 407 << err << int(Kind::Server) << "文章不存在";
        QTest::newRow("503 message") << 503 << err << int(Kind::Server) << "文章不存在";
        QTest::newRow("500 empty") << 500 << QByteArray() << int(Kind::BadResponse) << QString();
        QTest::newRow("500 html") << 500 << QByteArray("<html><h1>Internal</h1></html>") << int(Kind::BadResponse)
                                  << QString();
        QTest::newRow("400 message key") << 400 << QByteArray(R"({"message":"bad"})") << int(Kind::BadResponse)
                                         << QString();
        QTest::newRow("502 error number") << 502 << QByteArray(R"({"error":5})") << int(Kind::BadResponse) << QString();
        QTest::newRow("200 error body") << 200 << err << int(Kind::Decoding) << QString();
        QTest::newRow("204 empty") << 204 << QByteArray() << int(Kind::Decoding) << QString();
        QTest::newRow("299 success") << 299 << kStats << -1 << QString();
        QTest::newRow("300 not followed") << 300 << kStats << int(Kind::BadResponse) << QString();
        QTest::newRow("300 error body") << 300 << err << int(Kind::Server) << "文章不存在";
    }
    void statuses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, message);
        server().on("GET", "/api/stats", Response::raw(status, body));
        const Result<StatsResponse> r = stats();
        if (kind < 0) {
            QVERIFY2(r.ok(), qPrintable(failure(r).description()));
            QCOMPARE(r->dbArticles, 2);
            return;
        }
        QVERIFY(!r.ok());
        QCOMPARE(int(r.error().kind()), kind);
        if (kind != int(Kind::Decoding))
            QCOMPARE(r.error().httpStatus(), status);
        if (!message.isNull())
            QCOMPARE(r.error().description(), message);
        else
            QVERIFY2(fixtures::isChinese(r.error().description()), qPrintable(r.error().description()));
    }

    void redirectFollowed()
    {
        Response moved = Response::raw(302, {});
        moved.headers.append({QByteArray("Location"), QByteArray("/api/stats-v2")});
        server().on("GET", "/api/stats", moved);
        server().on("GET", "/api/stats-v2", Response::raw(200, kStats));
        const auto r = stats();
        QVERIFY2(r.ok(), qPrintable(failure(r).description()));
        QCOMPARE(server().count("/api/stats-v2"), 1);
    }

    // ---- transfer limits ------------------------------------------------------
    void idleLimit_data()
    {
        QTest::addColumn<Response>("response");
        Response half = Response::raw(200, kStats);
        half.stallAfterBytes = 5; // headers and a few bytes, then silence
        QTest::newRow("no answer") << FakeServer::stalled();
        QTest::newRow("silent mid-body") << half;
    }
    void idleLimit()
    {
        QFETCH(Response, response);
        server().on("GET", "/api/stats", response);
        auto client = APIClient::create(server().baseUrl(), limits(300ms));
        const auto r = QCoro::waitFor(client->fetchStats());
        QCOMPARE(failure(r).transportReason(), Transport::Timeout);
        QVERIFY(fixtures::isChinese(r.error().description()));
        QCOMPARE(client->requestsInFlight(), 0);
    }

    void wholeLimit()
    {
        // A byte every 40 ms keeps the idle limit from ever firing.
        server().on("GET", "/api/stats", Response::stream("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", " ", 40));
        QCOMPARE(failure(stats(limits(1h, 600ms))).transportReason(), Transport::Timeout);
        QVERIFY(server().bytesStreamed() > 0);
    }

    void bodyCap_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<qint64>("cap"); // 0: the default
        QTest::addColumn<bool>("fits");
        // Trailing whitespace keeps the body valid JSON.
        const auto sized = [](qsizetype n) { return Response::raw(200, kStats + QByteArray(n - kStats.size(), ' ')); };
        QTest::newRow("exactly the cap") << sized(4096) << qint64(4096) << true;
        QTest::newRow("one byte over") << sized(4097) << qint64(4096) << false;
        QTest::newRow("growing, no length")
            << Response::stream("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(16 * 1024, '['), 2)
            << qint64(256 * 1024) << false;
        QTest::newRow("default cap") << sized(33 * 1024 * 1024) << qint64(0) << false;
    }
    void bodyCap()
    {
        QFETCH(Response, response);
        QFETCH(qint64, cap);
        QFETCH(bool, fits);
        server().on("GET", "/api/stats", response);
        const auto r = stats(limits(10s, 1h, cap ? cap : ClientLimits().maxBodyBytes));
        QCOMPARE(r.ok(), fits);
        if (!fits)
            QCOMPARE(r.error().transportReason(), Transport::TooLarge);
        // The client hangs up instead of draining an endless body.
        QVERIFY2(server().bytesStreamed() < 8 * 1024 * 1024, qPrintable(QString::number(server().bytesStreamed())));
    }

    // The bytes that arrive form a valid document; success would be a lie.
    void bodyCutShort_data()
    {
        QTest::addColumn<Response>("response");
        const QByteArray sized = QByteArray::number(kStats.size(), 16) + "\r\n" + kStats + "\r\n";
        const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        QTest::newRow("length promised, peer closes")
            << Response::stream("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(kStats.size() + 10) + "\r\n\r\n",
                                kStats, 20, 1);
        QTest::newRow("chunked without last chunk") << Response::stream(chunked, sized, 20, 1);
        QTest::newRow("chunked with garbage size") << Response::stream(chunked, sized + "zz\r\n", 20, 1);
        QTest::newRow("chunk shorter than announced")
            << Response::stream(chunked, QByteArray::number(kStats.size() + 40, 16) + "\r\n" + kStats, 20, 1);
    }
    void bodyCutShort()
    {
        QFETCH(Response, response);
        server().on("GET", "/api/stats", response);
        QCOMPARE(failure(stats()).kind(), Kind::Transport);
    }

    void connectionRefused()
    {
        const auto r = QCoro::waitFor(APIClient::create(FakeServer::deadBaseUrl(), limits(300ms))->fetchStats());
        QCOMPARE(failure(r).transportReason(), Transport::Refused);
        QVERIFY(fixtures::isChinese(r.error().description()));
    }

    void invalidBaseUrlSendsNothing()
    {
        // Reachable as it stands, but a base URL carries no user info.
        const QString base = QStringLiteral("http://u:p@127.0.0.1:%1").arg(server().port());
        const auto r = QCoro::waitFor(APIClient::create(base)->fetchStats());
        QCOMPARE(failure(r).kind(), Kind::Config);
        QVERIFY2(r.error().description().contains(base), qPrintable(r.error().description()));
        QVERIFY(fixtures::isChinese(r.error().description()));
        QCOMPARE(server().requests().size(), 0);
    }

    // ---- cancellation and lifetimes -------------------------------------------
    void cancelAllFailsInFlightOnly()
    {
        server().on("GET", "/api/stats", FakeServer::stalled());
        server().on("POST", "/api/like", FakeServer::stalled());
        server().on("GET", "/api/tags", Response::raw(200, "[]"));
        auto client = APIClient::create(server().baseUrl(), limits(1h));
        auto stats = client->fetchStats();
        auto like = client->like(LikeTarget(1, std::nullopt), std::nullopt);
        QTRY_COMPARE(server().requests().size(), 2);
        QCOMPARE(client->requestsInFlight(), 2);
        client->cancelAll();
        const auto s = QCoro::waitFor(std::move(stats));
        const auto l = QCoro::waitFor(std::move(like));
        QCOMPARE(failure(s).transportReason(), Transport::Cancelled);
        QVERIFY(fixtures::isChinese(s.error().description()));
        QVERIFY(!l.ok());
        QCOMPARE(l.error().transportReason(), Transport::Cancelled);
        QCOMPARE(client->requestsInFlight(), 0);
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
    }

    void runningOperationKeepsItsClient()
    {
        server().on("GET", "/api/stats", FakeServer::delayed(Response::raw(200, kStats), 100));
        auto client = APIClient::create(server().baseUrl(), limits(300ms));
        auto task = client->fetchStats();
        client.reset();
        QVERIFY(QCoro::waitFor(std::move(task)).ok());
    }
};

QTEST_GUILESS_MAIN(ApiClientFailuresTest)
#include "tst_apiclient_failures.moc"

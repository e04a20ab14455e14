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

// "ok", or the failure as "<kind> <HTTP status>" plus the server's message
// or the transport reason. Anything but the server's message must be Chinese.
QString outcome(const Result<StatsResponse> &r)
{
    if (r)
        return r->dbArticles == 2 ? QStringLiteral("ok") : QStringLiteral("wrong value");
    const RequestError &e = r.error();
    const char *kinds[] = {"Server", "BadResponse", "Decoding", "Transport", "Encoding", "Config"};
    const char *reasons[] = {"", "Refused", "HostNotFound", "Timeout", "Cancelled", "TooLarge", "Other"};
    QString text = QString::fromLatin1(kinds[int(e.kind())]);
    if (e.httpStatus())
        text += QLatin1Char(' ') + QString::number(e.httpStatus());
    if (e.kind() == Kind::Server)
        return text + QLatin1Char(' ') + e.description();
    if (!fixtures::isChinese(e.description()))
        return QStringLiteral("not Chinese: ") + e.description();
    return e.kind() == Kind::Transport ? text + QLatin1Char(' ') + QLatin1String(reasons[int(e.transportReason())]) : text;
}
} // namespace

class ApiClientFailuresTest : public ServedTest {
    Q_OBJECT
private slots:
    // Statuses, redirects, the idle and whole-transfer limits, the body cap, and
    // bodies cut short (what did arrive is a valid document: success would be
    // a lie). The limit a row does not exercise is an hour away: were the one it
    // exercises not enforced, the row would hang until ctest's timeout.
    void answers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<ClientLimits>("limits");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, const Response &r, const char *outcome, std::chrono::milliseconds idle = 300ms,
                            std::chrono::milliseconds whole = 1h, qint64 cap = ClientLimits().maxBodyBytes) {
            QTest::newRow(name) << r << ClientLimits{idle, whole, cap} << QString::fromUtf8(outcome);
        };
        const auto raw = [](int status, const QByteArray &body) { return Response::raw(status, body); };
        const QByteArray err = R"({"error":"文章不存在"})";
        row("404 message", raw(404, err), "Server 404 文章不存在");
        row("message with other keys", raw(403, R"({"code":3,"error":" 禁止 ","ok":false})"), "Server 403  禁止 ");
        row("401 message", raw(401, err), "Server 401 文章不存在");
        row("407 message", raw(407, err), "Server 407 文章不存在");
        row("300 message", raw(300, err), "Server 300 文章不存在");
        row("500 empty", raw(500, {}), "BadResponse 500");
        row("500 html", raw(500, "<html><h1>Internal</h1></html>"), "BadResponse 500");
        row("400 message key", raw(400, R"({"message":"bad"})"), "BadResponse 400");
        row("502 error number", raw(502, R"({"error":5})"), "BadResponse 502");
        row("300 not followed", raw(300, kStats), "BadResponse 300");
        row("200 error body", raw(200, err), "Decoding");
        row("204 empty", raw(204, {}), "Decoding");
        row("299 success", raw(299, kStats), "ok");
        Response moved = raw(302, {});
        moved.headers.append({QByteArray("Location"), QByteArray("/api/stats-v2")});
        row("302 followed", moved, "ok");

        Response half = raw(200, kStats);
        half.stallAfterBytes = 5;
        row("no answer", FakeServer::stalled(), "Transport Timeout");
        row("silent mid-body", half, "Transport Timeout");
        row("a byte every 40 ms past the whole limit",
            Response::stream("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", " ", 40), "Transport Timeout", 1h, 600ms);
        const auto sized = [](qsizetype n) { return Response::raw(200, kStats + QByteArray(n - kStats.size(), ' ')); };
        row("exactly the cap", sized(4096), "ok", 10s, 1h, 4096);
        row("one byte over the cap", sized(4097), "Transport TooLarge", 10s, 1h, 4096);
        row("growing without a length",
            Response::stream("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(16 * 1024, '['), 2),
            "Transport TooLarge", 10s, 1h, 256 * 1024);
        row("over the default cap", sized(33 * 1024 * 1024), "Transport TooLarge", 10s);
        const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        const QByteArray sizedChunk = QByteArray::number(kStats.size(), 16) + "\r\n" + kStats + "\r\n";
        row("length promised, peer closes",
            Response::stream("HTTP/1.1 200 OK\r\nContent-Length: 44\r\n\r\n", kStats, 20, 1), "Transport");
        row("chunked without last chunk", Response::stream(chunked, sizedChunk, 20, 1), "Transport");
        row("chunked with garbage size", Response::stream(chunked, sizedChunk + "zz\r\n", 20, 1), "Transport");
        row("chunk shorter than announced", Response::stream(chunked, "30\r\n" + kStats, 20, 1), "Transport");
    }
    void answers()
    {
        QFETCH(Response, response);
        QFETCH(ClientLimits, limits);
        QFETCH(QString, outcome);
        server().on("GET", "/api/stats", response);
        server().on("GET", "/api/stats-v2", Response::raw(200, kStats));
        auto client = APIClient::create(server().baseUrl(), limits);
        const QString actual = ::outcome(QCoro::waitFor(client->fetchStats()));
        QVERIFY2(outcome == "Transport" ? actual.startsWith("Transport ") : actual == outcome, qPrintable(actual));
        QCOMPARE(client->requestsInFlight(), 0);
        // The client hangs up instead of draining an endless body.
        QVERIFY2(server().bytesStreamed() < 8 * 1024 * 1024, qPrintable(QString::number(server().bytesStreamed())));
    }

    void connectionRefused()
    {
        QCOMPARE(outcome(QCoro::waitFor(APIClient::create(FakeServer::deadBaseUrl())->fetchStats())),
                 QStringLiteral("Transport Refused"));
    }

    void invalidBaseUrlSendsNothing()
    {
        // Reachable as it stands, but a base URL carries no user info.
        const QString base = QStringLiteral("http://u:p@127.0.0.1:%1").arg(server().port());
        const auto r = QCoro::waitFor(APIClient::create(base)->fetchStats());
        QCOMPARE(outcome(r), QStringLiteral("Config"));
        QVERIFY2(r.error().description().contains(base), qPrintable(r.error().description()));
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
        QCOMPARE(outcome(QCoro::waitFor(std::move(stats))), QStringLiteral("Transport Cancelled"));
        const auto l = QCoro::waitFor(std::move(like));
        QVERIFY(!l.ok() && l.error().transportReason() == Transport::Cancelled);
        QCOMPARE(client->requestsInFlight(), 0);
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
    }

    void runningOperationKeepsItsClient()
    {
        server().on("GET", "/api/stats", FakeServer::delayed(Response::raw(200, kStats), 100));
        auto client = APIClient::create(server().baseUrl());
        auto task = client->fetchStats();
        client.reset();
        QCOMPARE(outcome(QCoro::waitFor(std::move(task))), QStringLiteral("ok"));
    }
};

QTEST_GUILESS_MAIN(ApiClientFailuresTest)
#include "tst_apiclient_failures.moc"

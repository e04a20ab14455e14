#include "core/APIClient.h"
#include "DataTable.h"
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
        for (const QStringList &f : data::rows("core/status-answers.tsv").mid(1)) {
            const QByteArray head = QByteArray::fromPercentEncoding(f[2].toUtf8()),
                             body = QByteArray::fromPercentEncoding(f[3].toUtf8()).leftJustified(f[5].toInt(), ' ');
            Response r = head.isEmpty() ? Response::raw(f[1].toInt(), body) : Response::stream(head, body, 20, 1);
            if (!f[4].isEmpty())
                r.headers.append({QByteArray("Location"), f[4].toUtf8()});
            row(qPrintable(f[0]), r, f[7].toUtf8().constData(), 10s, 1h, f[6].isEmpty() ? ClientLimits().maxBodyBytes : f[6].toLongLong());
        }

        row("no answer", FakeServer::stalled(), "Transport Timeout");
        row("silent mid-body", Response{.status = 200, .body = kStats, .stallAfterBytes = 5}, "Transport Timeout");
        row("a byte every 40 ms past the whole limit",
            Response::stream("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", " ", 40), "Transport Timeout", 1h, 600ms);
        row("growing without a length",
            Response::stream("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(16 * 1024, '['), 2),
            "Transport TooLarge", 10s, 1h, 256 * 1024);
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

#include "ConsoleCapture.h"
#include "core/APIClient.h"
#include "core/Console.h"
#include "core/ServerConfig.h"
#include "DataTable.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QMetaEnum>
#include <QtTest>

using namespace papelo;
using namespace std::chrono_literals;
using Kind = RequestError::Kind;
using Response = FakeServer::Response;

namespace {
// Runs one operation and renders what it handed back as JSON text, or its error.
using Call = std::function<QString(APIClient &)>;
template <class T> QString run(QCoro::Task<Result<T>> task)
{
    const Result<T> r = QCoro::waitFor(std::move(task));
    if (!r)
        return QStringLiteral("error: ") + r.error().description();
    if constexpr (requires { r->toJson(); })
        return QString::fromUtf8(fixtures::bytes(r->toJson()));
    else if constexpr (requires { toJsonArray(*r); })
        return QString::fromUtf8(fixtures::bytes(toJsonArray(*r)));
    else
        return QVariant(*r).toString();
}

// The operations by the names the tables use.
const QHash<QString, Call> &operations()
{
    using C = APIClient &;
    using S = std::optional<QString>;
    static const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
    static const QHash<QString, Call> calls{
        {"stats", [](C c) { return run(c.fetchStats()); }},
        {"tags", [](C c) { return run(c.fetchTags()); }},
        {"hot", [](C c) { return run(c.fetchHot()); }},
        {"latest", [](C c) { return run(c.fetchLatest()); }},
        {"random", [](C c) { return run(c.fetchRandom(3)); }},
        {"detail", [](C c) { return run(c.fetchArticleDetail(-5)); }},
        {"comments", [](C c) { return run(c.fetchComments(15)); }},
        {"author", [](C c) { return run(c.fetchAuthor(-3)); }},
        {"me", [](C c) { return run(c.fetchMe("tok-1")); }},
        {"articles", [](C c) { return run(c.fetchArticles({}, S(""), {}, {})); }},
        {"articles, empty tag", [](C c) { return run(c.fetchArticles(S(""), {}, {}, {})); }},
        {"articles, every item", [](C c) { return run(c.fetchArticles(S("5"), S("abc"), 0, -1)); }},
        {"articles, escaped", [](C c) { return run(c.fetchArticles(S("a b&c+d=e#f%20/?~"), S("中文 搜索"), {}, {})); }},
        {"comment", [](C c) { return run(c.postComment(42, "  好文 \n", {})); }},
        {"comment, empty name left out", [](C c) { return run(c.postComment(42, QString(), QString(""))); }},
        {"comment, named, 64-bit id", [](C c) { return run(c.postComment(std::numeric_limits<qint64>::max(), "c", " 访客 ")); }},
        {"like article", [](C c) { return run(c.like({7, {}}, {})); }},
        {"like comment", [](C c) { return run(c.like({7, -9}, "tok en")); }},
        {"like comment 0, empty token", [](C c) { return run(c.like({7, 0}, QString(""))); }},
        {"login", [](C c) { return run(c.login("林", " p\"w&d ")); }},
        {"register", [](C c) { return run(c.registerUser("", "a@b", "")); }},
        {"bio", [](C c) { return run(c.updateBio("tok-1", "")); }},
        {"comment not encodable", [](C c) { return run(c.postComment(1, lone, {})); }},
        {"bio not encodable", [](C c) { return run(c.updateBio("t", lone)); }}};
    return calls;
}

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

// What every operation puts on the wire and hands back, and how it fails.
class ApiClientTest : public ServedTest {
    Q_OBJECT

    // "METHOD target", then " | " and the Authorization header if sent, then
    // " " and the body if any: JSON bytes exactly as sent.
    QByteArray wire()
    {
        if (server().requests().size() != 1)
            return QByteArray::number(server().requests().size()) + " requests";
        const FakeServer::Request &r = server().requests().constFirst();
        return r.method + ' ' + r.target + (r.hasHeader("Authorization") ? " | " + r.header("Authorization") : "")
               + (r.body.isEmpty() ? "" : " " + r.body);
    }

private slots:
    void init()
    {
        ServedTest::init();
        // Every endpoint answers unless a case answers otherwise; "ok" is handed on, never examined.
        const QJsonObject answers = data::json("core/endpoint-answers.json").toObject();
        for (auto it = answers.begin(); it != answers.end(); ++it)
            server().on(it.key().section(' ', 0, 0).toUtf8(), it.key().section(' ', 1).toUtf8(),
                        Response::raw(200, it->isArray() ? fixtures::bytes(it->toArray()) : fixtures::bytes(it->toObject())));
        server().on("POST", "/api/like", [](const FakeServer::Request &r) {
            return Response::raw(200, r.hasHeader("Authorization") ? R"({"ok":true})" : R"({"liked":true})");
        });
    }

    // Every endpoint shape: 64-bit ids travel as exact integers; a query value
    // is escaped but for unreserved characters ("+" never raw: many servers
    // read it as a space); an empty q is left out, an empty tag kept. A lone
    // surrogate cannot be written as UTF-8 JSON without changing the text.
    void endpoints_data() { data::table<QByteArray, QString>("core/endpoints.tsv"); }
    void endpoints()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, result);
        const Call call = operations().value(QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY2(call, QTest::currentDataTag());
        const QString handedBack = call(*APIClient::create(server().baseUrl()));
        QVERIFY2(handedBack.contains(result), qPrintable(handedBack));
        QCOMPARE(this->wire(), wire);
        // A JSON body is declared; a GET declares none.
        for (const FakeServer::Request &r : server().requests())
            QCOMPARE(r.header("Content-Type"), QByteArray(r.method == "POST" ? "application/json" : ""));
    }

    // create() uses the configured base URL (one client running operations
    // side by side is the enrichment's five workers).
    void createUsesTheConfiguredServer()
    {
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(server().baseUrl());
        auto client = APIClient::create();
        ServerConfig::setBaseUrl(saved);
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
        QCOMPARE(server().count("/api/tags"), 1);
    }

    // Another port or another host name of the same address is another origin.
    void credentialsStayWithOrigin_data() { data::table<QByteArray, QString, int, QString, bool, QByteArray>("core/redirects.tsv"); }
    void credentialsStayWithOrigin()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QFETCH(QByteArray, reply);
        FakeServer other;
        QVERIFY(other.listen());
        FakeServer &target = to == "port" ? other : server();
        const QByteArray method = request.split(' ').first(), path = request.split(' ').last();
        const QByteArray base = to == "host" ? "http://localhost:" + QByteArray::number(server().port()) : target.baseUrl().toUtf8();
        Response moved = Response::raw(status, {}, "text/plain");
        moved.headers.append({"Location", base + "/moved" + path});
        server().on(method, path, moved);
        target.on(method, "/moved" + path, Response::raw(200, reply));

        const QString result = operations().value(operation)(*APIClient::create(server().baseUrl()));
        QCOMPARE(server().count(path), 1);
        if (!followed) {
            QCOMPARE(result, "error: " + RequestError::badResponse(status).description());
            QCOMPARE(target.count("/moved" + path), 0);
            return;
        }
        QVERIFY2(!result.startsWith("error: "), qPrintable(result));
        QCOMPARE(target.count("/moved" + path), 1);
        const FakeServer::Request arrived = target.requestsTo("/moved" + path).constFirst();
        QCOMPARE(arrived.hasHeader("Authorization"), request == "GET /api/me");
        QCOMPARE(arrived.body, server().requestsTo(path).constFirst().body); // a 307 re-posts the same body
    }

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
        auto client = APIClient::create(server().baseUrl(), {1h, 1h});
        auto stats = client->fetchStats();
        auto like = client->like(LikeTarget(1, std::nullopt), std::nullopt);
        QTRY_COMPARE(server().requests().size(), 2);
        QCOMPARE(client->requestsInFlight(), 2);
        client->cancelAll();
        QCOMPARE(outcome(QCoro::waitFor(std::move(stats))), QStringLiteral("Transport Cancelled"));
        const auto l = QCoro::waitFor(std::move(like));
        QVERIFY(!l.ok() && l.error().transportReason() == RequestError::Transport::Cancelled);
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

    // Rule: Chinese text; the only Latin letters allowed are "HTTP" before a status number.
    void errorTextsAreChinese_data()
    {
        QTest::addColumn<QString>("text");
        const QMetaEnum codes = QMetaEnum::fromType<QNetworkReply::NetworkError>();
        for (int i = 0; i < codes.keyCount(); ++i)
            QTest::newRow(codes.key(i)) << RequestError::network(QNetworkReply::NetworkError(codes.value(i))).description();
        QTest::newRow("too large") << RequestError::transport(RequestError::Transport::TooLarge).description();
        QTest::newRow("bad response") << RequestError::badResponse(502).description();
    }
    void errorTextsAreChinese()
    {
        QFETCH(QString, text);
        static QSet<QString> seen; // each failure tells its own story
        QVERIFY2(!seen.contains(text), qPrintable(text));
        seen.insert(text);
        QVERIFY2(fixtures::isChinese(text), qPrintable(text));
        QVERIFY2(!QString(text).remove(QRegularExpression("HTTP \\d{3}")).contains(QRegularExpression("[A-Za-z]")),
                 qPrintable(text));
    }

    // A failure, the server's own message included, reaches the console without its control characters.
    void consoleDropsControlCharacters_data() { data::table<QByteArray, QString>("core/console-lines.tsv"); }
    void consoleDropsControlCharacters()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, printed);
        ConsoleCapture capture;
        consoleLine("失败：", QString::fromUtf8(QByteArray::fromPercentEncoding(text)));
        capture.release();
        QCOMPARE(capture.text(), "失败：" + printed + "\n");
    }
};

QTEST_GUILESS_MAIN(ApiClientTest)
#include "tst_apiclient.moc"

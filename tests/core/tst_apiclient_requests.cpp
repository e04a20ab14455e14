#include "core/APIClient.h"
#include "core/ServerConfig.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;
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
} // namespace

Q_DECLARE_METATYPE(Call)

// What every operation puts on the wire, and what it hands back.
class ApiClientRequestsTest : public ServedTest {
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
        server().on("GET", "/api/stats", Response::raw(200, R"({"totalArticles":3,"dbArticles":4})"));
        server().on("GET", "/api/tags", Response::raw(200, R"([{"id":1,"name":"a"}])"));
        server().on("GET", "/api/articles", fixtures::page({}));
        for (const char *section : {"hot", "latest", "random"})
            server().on("GET", QByteArray("/api/articles/") + section, fixtures::section(section, fixtures::articles(1, 2)));
        server().on("GET", "/api/comments", fixtures::replyList(QList<Comment>{fixtures::comment(5)}));
        server().on("GET", "/api/article/-5", fixtures::reply(fixtures::detail(-5)));
        server().on("GET", "/api/author/-3", fixtures::reply(AuthorDetailResponse{fixtures::author(-3), {}, {}}));
        server().on("GET", "/api/me", fixtures::reply(MeResponse{fixtures::author(), {2, 1, 1}, {}}));
        // "ok" is handed on, never examined.
        server().on("POST", "/api/comment", Response::raw(200, R"({"id":31,"ok":false})"));
        server().on("POST", "/api/like", [](const FakeServer::Request &r) {
            return Response::raw(200, r.hasHeader("Authorization") ? R"({"ok":true})" : R"({"liked":true})");
        });
        server().on("POST", "/api/login", fixtures::reply(LoginResponse{"tok-1", fixtures::author()}));
        server().on("POST", "/api/register", fixtures::reply(LoginResponse{"tok-1", fixtures::author()}));
        server().on("POST", "/api/me/bio", Response::raw(200, R"({"ok":false,"bio":"存好的"})"));
    }

    // Every endpoint shape: 64-bit ids travel as exact integers; a query value
    // is escaped but for unreserved characters ("+" never raw: many servers
    // read it as a space); an empty q is left out, an empty tag kept.
    void endpoints_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("result"); // part of what the operation hands back
        const auto row = [](const char *name, const Call &call, const QByteArray &wire, const QString &result) {
            QTest::newRow(name) << call << wire << result;
        };
        using C = APIClient &;
        using S = std::optional<QString>;
        row("stats", [](C c) { return run(c.fetchStats()); }, "GET /api/stats", "\"dbArticles\":4");
        row("tags", [](C c) { return run(c.fetchTags()); }, "GET /api/tags", R"([{"id":1,"name":"a"}])");
        row("hot", [](C c) { return run(c.fetchHot()); }, "GET /api/articles/hot?limit=6", "文章 2");
        row("latest", [](C c) { return run(c.fetchLatest()); }, "GET /api/articles/latest?limit=6", "文章 2");
        row("random", [](C c) { return run(c.fetchRandom(3)); }, "GET /api/articles/random?limit=3", "文章 2");
        row("detail", [](C c) { return run(c.fetchArticleDetail(-5)); }, "GET /api/article/-5", "文章 -5");
        row("comments", [](C c) { return run(c.fetchComments(15)); }, "GET /api/comments?article_id=15", "[{\"content");
        row("author", [](C c) { return run(c.fetchAuthor(-3)); }, "GET /api/author/-3", "\"id\":-3");
        row("me", [](C c) { return run(c.fetchMe("tok-1")); }, "GET /api/me | Bearer tok-1", "\"pending\":1");
        row("articles", [](C c) { return run(c.fetchArticles({}, S(""), {}, {})); }, "GET /api/articles", "\"total\":0");
        row("articles, empty tag", [](C c) { return run(c.fetchArticles(S(""), {}, {}, {})); }, "GET /api/articles?tag=",
            "\"total\":0");
        row("articles, every item", [](C c) { return run(c.fetchArticles(S("5"), S("abc"), 0, -1)); },
            "GET /api/articles?page=0&limit=-1&tag=5&q=abc", "\"total\":0");
        row("articles, escaped", [](C c) { return run(c.fetchArticles(S("a b&c+d=e#f%20/?~"), S("中文 搜索"), {}, {})); },
            "GET /api/articles?tag=a%20b%26c%2Bd%3De%23f%2520%2F%3F~&q=%E4%B8%AD%E6%96%87%20%E6%90%9C%E7%B4%A2",
            "\"total\":0");
        row("comment", [](C c) { return run(c.postComment(42, "  好文 \n", {})); },
            R"(POST /api/comment {"article_id":42,"content":"  好文 \n"})", R"({"id":31,"ok":false})");
        row("comment, empty name left out", [](C c) { return run(c.postComment(42, QString(), QString(""))); },
            R"(POST /api/comment {"article_id":42,"content":""})", "\"id\":31");
        row("comment, named, 64-bit id",
            [](C c) { return run(c.postComment(std::numeric_limits<qint64>::max(), "c", " 访客 ")); },
            R"(POST /api/comment {"article_id":9223372036854775807,"content":"c","name":" 访客 "})", "\"id\":31");
        row("like article", [](C c) { return run(c.like({7, {}}, {})); }, R"(POST /api/like {"article_id":7})", "false");
        row("like comment", [](C c) { return run(c.like({7, -9}, "tok en")); },
            R"(POST /api/like | Bearer tok en {"article_id":7,"comment_id":-9})", "true");
        // An empty token still sends the header; comment 0 is still a comment.
        row("like comment 0, empty token", [](C c) { return run(c.like({7, 0}, QString(""))); },
            R"(POST /api/like | Bearer {"article_id":7,"comment_id":0})", "true");
        row("login", [](C c) { return run(c.login("林", " p\"w&d ")); },
            "POST /api/login {\"password\":\" p\\\"w&d \",\"username\":\"林\"}", "\"token\":\"tok-1\"");
        row("register", [](C c) { return run(c.registerUser("", "a@b", "")); },
            R"(POST /api/register {"email":"a@b","password":"","username":""})", "\"token\":\"tok-1\"");
        row("bio", [](C c) { return run(c.updateBio("tok-1", "")); }, R"(POST /api/me/bio | Bearer tok-1 {"bio":""})",
            "存好的");
        // A lone surrogate cannot be written as UTF-8 JSON without changing the text.
        const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
        row("comment not encodable", [lone](C c) { return run(c.postComment(1, lone, {})); }, "0 requests", "含有无效字符");
        row("bio not encodable", [lone](C c) { return run(c.updateBio("t", lone)); }, "0 requests", "含有无效字符");
    }
    void endpoints()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, wire);
        QFETCH(QString, result);
        const QString handedBack = call(*APIClient::create(server().baseUrl()));
        QVERIFY2(handedBack.contains(result), qPrintable(handedBack));
        QCOMPARE(this->wire(), wire);
        // A JSON body is declared; a GET declares none.
        for (const FakeServer::Request &r : server().requests())
            QCOMPARE(r.header("Content-Type"), QByteArray(r.method == "POST" ? "application/json" : ""));
    }

    // One client runs operations side by side; create() uses the configured base URL.
    void concurrentOperationsOnTheConfiguredServer()
    {
        server().on("GET", "/api/stats", FakeServer::delayed(Response::raw(200, R"({"totalArticles":1,"dbArticles":1})"), 500));
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(server().baseUrl());
        auto client = APIClient::create();
        ServerConfig::setBaseUrl(saved);
        auto stats = client->fetchStats();
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
        QVERIFY(QCoro::waitFor(std::move(stats)).ok());
        QCOMPARE(server().maxInFlight(), 2);
        QCOMPARE(client->requestsInFlight(), 0);
    }
};

QTEST_GUILESS_MAIN(ApiClientRequestsTest)
#include "tst_apiclient_requests.moc"

#include "core/APIClient.h"
#include "core/ServerConfig.h"
#include "Fixtures.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;

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

    const FakeServer::Request &only()
    {
        static const FakeServer::Request none;
        return server().requests().size() == 1 ? server().requests().constFirst() : none;
    }

private slots:
    void init()
    {
        ServedTest::init();
        using R = FakeServer::Response;
        server().on("GET", "/api/stats", R::raw(200, R"({"totalArticles":3,"dbArticles":4})"));
        server().on("GET", "/api/tags", R::raw(200, R"([{"id":1,"name":"a"}])"));
        server().on("GET", "/api/articles", R::raw(200, R"({"total":0,"items":[]})"));
        for (const char *section : {"hot", "latest", "random"})
            server().on("GET", QByteArray("/api/articles/") + section, fixtures::section(section, fixtures::articles(1, 2)));
        server().on("GET", "/api/comments", fixtures::replyList(QList<Comment>{fixtures::comment(5)}));
        server().on("GET", "/api/article/-5", fixtures::reply(fixtures::detail(-5)));
        server().on("GET", "/api/author/-3", fixtures::reply(AuthorDetailResponse{fixtures::author(-3), {}, {}}));
        server().on("GET", "/api/me", fixtures::reply(MeResponse{fixtures::author(), {2, 1, 1}, {}}));
        // "ok" is handed on, never examined.
        server().on("POST", "/api/comment", R::raw(200, R"({"id":31,"ok":false})"));
        server().on("POST", "/api/like", [](const FakeServer::Request &r) {
            return R::raw(200, r.hasHeader("Authorization") ? R"({"ok":true})" : R"({"liked":true})");
        });
        server().on("POST", "/api/login", fixtures::reply(LoginResponse{"tok-1", fixtures::author()}));
        server().on("POST", "/api/register", fixtures::reply(LoginResponse{"tok-1", fixtures::author()}));
        server().on("POST", "/api/me/bio", R::raw(200, R"({"ok":false,"bio":"存好的"})"));
    }

    // One row per endpoint shape: method, exact target, bearer header (null:
    // none), exact JSON body bytes (64-bit ids travel as exact integers).
    void endpoints_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("bearer");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");
        const auto row = [](const char *name, const Call &call, const char *method, const char *target,
                            const QByteArray &bearer, const QByteArray &body, const QString &result) {
            QTest::newRow(name) << call << QByteArray(method) << QByteArray(target) << bearer << body << result;
        };
        using C = APIClient &;
        row("stats", [](C c) { return run(c.fetchStats()); }, "GET", "/api/stats", {}, {}, "\"dbArticles\":4");
        row("tags", [](C c) { return run(c.fetchTags()); }, "GET", "/api/tags", {}, {}, R"([{"id":1,"name":"a"}])");
        row("hot", [](C c) { return run(c.fetchHot()); }, "GET", "/api/articles/hot?limit=6", {}, {}, "文章 2");
        row("latest", [](C c) { return run(c.fetchLatest()); }, "GET", "/api/articles/latest?limit=6", {}, {}, "文章 2");
        row("random", [](C c) { return run(c.fetchRandom(3)); }, "GET", "/api/articles/random?limit=3", {}, {}, "文章 2");
        row("hot, limit unchecked", [](C c) { return run(c.fetchHot(-1)); }, "GET", "/api/articles/hot?limit=-1", {},
            {}, "文章 2");
        row("detail", [](C c) { return run(c.fetchArticleDetail(-5)); }, "GET", "/api/article/-5", {}, {}, "文章 -5");
        row("comments", [](C c) { return run(c.fetchComments(15)); }, "GET", "/api/comments?article_id=15", {}, {},
            R"([{"content")");
        row("author", [](C c) { return run(c.fetchAuthor(-3)); }, "GET", "/api/author/-3", {}, {}, "\"id\":-3");
        row("me", [](C c) { return run(c.fetchMe("tok-1")); }, "GET", "/api/me", "Bearer tok-1", {}, "\"pending\":1");
        row("comment", [](C c) { return run(c.postComment(42, "  好文 \n", {})); }, "POST", "/api/comment", {},
            R"({"article_id":42,"content":"  好文 \n"})", R"({"id":31,"ok":false})");
        row("comment, empty name left out", [](C c) { return run(c.postComment(42, QString(), QString(""))); }, "POST",
            "/api/comment", {}, R"({"article_id":42,"content":""})", "\"id\":31");
        row("comment, named, 64-bit id",
            [](C c) { return run(c.postComment(std::numeric_limits<qint64>::max(), "c", " 访客 ")); }, "POST",
            "/api/comment", {}, R"({"article_id":9223372036854775807,"content":"c","name":" 访客 "})", "\"id\":31");
        row("like article", [](C c) { return run(c.like({7, {}}, {})); }, "POST", "/api/like", {},
            R"({"article_id":7})", "false");
        row("like comment", [](C c) { return run(c.like({7, -9}, "tok en")); }, "POST", "/api/like", "Bearer tok en",
            R"({"article_id":7,"comment_id":-9})", "true");
        // An empty token still sends the header; comment 0 is still a comment.
        row("like comment 0, empty token", [](C c) { return run(c.like({7, 0}, QString(""))); }, "POST", "/api/like",
            "Bearer", R"({"article_id":7,"comment_id":0})", "true");
        row("login", [](C c) { return run(c.login("林", " p\"w&d ")); }, "POST", "/api/login", {},
            "{\"password\":\" p\\\"w&d \",\"username\":\"林\"}", "\"token\":\"tok-1\"");
        row("register", [](C c) { return run(c.registerUser("", "a@b", "")); }, "POST", "/api/register", {},
            R"({"email":"a@b","password":"","username":""})", "\"token\":\"tok-1\"");
        row("bio", [](C c) { return run(c.updateBio("tok-1", "")); }, "POST", "/api/me/bio", "Bearer tok-1",
            R"({"bio":""})", "存好的");
    }
    void endpoints()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, bearer);
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        auto client = APIClient::create(server().baseUrl());
        const QString handedBack = call(*client);
        QVERIFY2(handedBack.contains(result), qPrintable(handedBack));
        QCOMPARE(only().method, method);
        QCOMPARE(only().target, target);
        QCOMPARE(only().hasHeader("Authorization"), !bearer.isNull());
        QCOMPARE(only().header("Authorization"), bearer);
        QCOMPARE(only().header("Content-Type"), QByteArray(method == "POST" ? "application/json" : ""));
        QCOMPARE(only().body, body);
    }

    void articlesQuery_data()
    {
        QTest::addColumn<std::optional<QString>>("tag");
        QTest::addColumn<std::optional<QString>>("q");
        QTest::addColumn<std::optional<qint64>>("page");
        QTest::addColumn<std::optional<qint64>>("limit");
        QTest::addColumn<QStringList>("items"); // "key=decoded value", in order
        using S = std::optional<QString>;
        using I = std::optional<qint64>;
        QTest::newRow("nothing") << S() << S() << I() << I() << QStringList();
        QTest::newRow("empty q left out") << S() << S("") << I() << I() << QStringList();
        QTest::newRow("empty tag kept") << S("") << S() << I() << I() << QStringList{"tag="};
        QTest::newRow("fixed order") << S("5") << S("abc") << I(2) << I(20)
                                     << QStringList{"page=2", "limit=20", "tag=5", "q=abc"};
        QTest::newRow("zero and negative unchanged") << S() << S() << I(0) << I(-1) << QStringList{"page=0", "limit=-1"};
        QTest::newRow("escaped") << S("a b&c+d=e#f%20/?") << S("中文 搜索") << I() << I()
                                 << QStringList{"tag=a b&c+d=e#f%20/?", "q=中文 搜索"};
    }
    void articlesQuery()
    {
        QFETCH(std::optional<QString>, tag);
        QFETCH(std::optional<QString>, q);
        QFETCH(std::optional<qint64>, page);
        QFETCH(std::optional<qint64>, limit);
        QFETCH(QStringList, items);
        auto client = APIClient::create(server().baseUrl());
        QVERIFY(QCoro::waitFor(client->fetchArticles(tag, q, page, limit)).ok());
        QCOMPARE(only().path, QByteArray("/api/articles"));
        QCOMPARE(only().hasQuery, !items.isEmpty());
        // Separators are the only raw "&" and "=", and "+" never appears raw
        // (many servers read it as a space).
        QStringList sent;
        for (const QByteArray &part : only().hasQuery ? only().rawQuery.split('&') : QList<QByteArray>()) {
            QVERIFY2(part.count('=') == 1 && !part.contains('+') && !part.contains(' ') && !part.contains('#'),
                     part.constData());
            sent << QString::fromUtf8(QByteArray::fromPercentEncoding(part));
        }
        QCOMPARE(sent, items);
    }

    void unencodableBodySendsNothing()
    {
        const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
        auto client = APIClient::create(server().baseUrl());
        const auto r = QCoro::waitFor(client->postComment(1, lone, std::nullopt));
        QCOMPARE(r.error().kind(), RequestError::Kind::Encoding);
        QVERIFY(fixtures::isChinese(r.error().description()));
        QCOMPARE(QCoro::waitFor(client->updateBio("t", lone)).error().kind(), RequestError::Kind::Encoding);
        QCOMPARE(server().requests().size(), 0);
    }

    void configuredBaseUrlIsUsed()
    {
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(server().baseUrl());
        auto client = APIClient::create();
        ServerConfig::setBaseUrl(saved);
        QVERIFY(QCoro::waitFor(client->fetchStats()).ok());
        QCOMPARE(only().target, QByteArray("/api/stats"));
    }

    void concurrentOperationsOnOneClient()
    {
        server().on("GET", "/api/stats", FakeServer::delayed(FakeServer::Response::raw(200, R"({"totalArticles":1,"dbArticles":1})"), 500));
        auto client = APIClient::create(server().baseUrl());
        auto stats = client->fetchStats();
        QVERIFY(QCoro::waitFor(client->fetchTags()).ok());
        QVERIFY(QCoro::waitFor(std::move(stats)).ok());
        QCOMPARE(server().maxInFlight(), 2);
        QCOMPARE(client->requestsInFlight(), 0);
    }
};

QTEST_GUILESS_MAIN(ApiClientRequestsTest)
#include "tst_apiclient_requests.moc"

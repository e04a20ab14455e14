#include "core/APIClient.h"
#include "FakeServer.h"
#include "core/ServerConfig.h"
#include "TestJson.h"

#include <QCoroTask>
#include <QtTest>

using namespace papelo;

// What every operation puts on the wire: method, path, raw query, headers, body.
class ApiClientRequestsTest : public QObject {
    Q_OBJECT

    FakeServer *m_server = nullptr;
    std::shared_ptr<APIClient> m_client;

    FakeServer::Request only()
    {
        if (m_server->requests().size() != 1)
            return {};
        return m_server->requests().constFirst();
    }

    static void verifyPlainGet(const FakeServer::Request &r)
    {
        QCOMPARE(r.method, QByteArray("GET"));
        QVERIFY2(!r.hasHeader("Content-Type"), r.target.constData());
        QVERIFY2(!r.hasHeader("Authorization"), r.target.constData());
        QVERIFY(r.body.isEmpty());
    }

    static void verifyJsonPost(const FakeServer::Request &r, const QByteArray &path)
    {
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.target, path);
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(r.body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(doc.isObject());
    }

    static QStringList sortedKeys(const QJsonObject &o)
    {
        QStringList keys = o.keys();
        keys.sort();
        return keys;
    }

private slots:
    void init()
    {
        m_server = new FakeServer(this);
        QVERIFY(m_server->listen());
        const QJsonObject section{{"section", "hot"}, {"count", 1}, {"items", QJsonArray{testjson::article(1)}}};
        m_server->on("GET", "/api/stats", FakeServer::Response::json(QJsonObject{{"totalArticles", 3}, {"dbArticles", 4}}));
        m_server->on("GET", "/api/tags", FakeServer::Response::json(QJsonArray{QJsonObject{{"id", 1}, {"name", "a"}}}));
        m_server->on("GET", "/api/articles", FakeServer::Response::json(QJsonObject{{"total", 0}, {"items", QJsonArray()}}));
        m_server->on("GET", "/api/articles/hot", FakeServer::Response::json(section));
        m_server->on("GET", "/api/articles/latest", FakeServer::Response::json(section));
        m_server->on("GET", "/api/articles/random", FakeServer::Response::json(section));
        m_server->on("GET", "/api/comments", FakeServer::Response::json(QJsonArray()));
        m_server->on("GET", "/api/article/-5", FakeServer::Response::json(testjson::detail(-5, 0, 0)));
        m_server->on("GET", "/api/author/-3",
                     FakeServer::Response::json(QJsonObject{{"author", testjson::author(-3)},
                                                            {"stats", QJsonObject{{"total_articles", 0}}},
                                                            {"articles", QJsonArray()}}));
        m_server->on("GET", "/api/me",
                     FakeServer::Response::json(QJsonObject{{"user", testjson::author()},
                                                            {"stats", QJsonObject{{"total", 2}, {"published", 1}, {"pending", 1}}},
                                                            {"articles", QJsonArray{testjson::article(2)}}}));
        m_server->on("POST", "/api/comment", FakeServer::Response::json(QJsonObject{{"id", 31}, {"ok", true}}));
        m_server->on("POST", "/api/like", FakeServer::Response::json(QJsonObject{{"ok", true}}));
        const QJsonObject login{{"token", "tok-1"}, {"user", testjson::author()}};
        m_server->on("POST", "/api/login", FakeServer::Response::json(login));
        m_server->on("POST", "/api/register", FakeServer::Response::json(login));
        m_server->on("POST", "/api/me/bio", FakeServer::Response::json(QJsonObject{{"ok", true}, {"bio", "存好的"}}));
        m_client = APIClient::create(m_server->baseUrl());
    }
    void cleanup()
    {
        m_client.reset();
        delete m_server;
        m_server = nullptr;
    }

    // ---- reading -------------------------------------------------------------
    void readingPaths()
    {
        QVERIFY(QCoro::waitFor(m_client->fetchStats()).ok());
        QCOMPARE(only().target, QByteArray("/api/stats"));
        verifyPlainGet(only());
        m_server->clear();

        const auto tags = QCoro::waitFor(m_client->fetchTags());
        QVERIFY(tags.ok());
        QCOMPARE(tags->size(), 1);
        QCOMPARE(only().target, QByteArray("/api/tags"));
        verifyPlainGet(only());
        m_server->clear();

        const auto hot = QCoro::waitFor(m_client->fetchHot());
        QVERIFY(hot.ok());
        QCOMPARE(hot->size(), 1);
        QCOMPARE(only().target, QByteArray("/api/articles/hot?limit=6"));
        verifyPlainGet(only());
        m_server->clear();

        QVERIFY(QCoro::waitFor(m_client->fetchLatest()).ok());
        QCOMPARE(only().target, QByteArray("/api/articles/latest?limit=6"));
        m_server->clear();
        QVERIFY(QCoro::waitFor(m_client->fetchRandom(3)).ok());
        QCOMPARE(only().target, QByteArray("/api/articles/random?limit=3"));
        m_server->clear();
        QVERIFY(QCoro::waitFor(m_client->fetchHot(-1)).ok()); // no range test on the client
        QCOMPARE(only().target, QByteArray("/api/articles/hot?limit=-1"));
        m_server->clear();

        const auto detail = QCoro::waitFor(m_client->fetchArticleDetail(-5));
        QVERIFY(detail.ok());
        QCOMPARE(detail->id, -5);
        QCOMPARE(only().target, QByteArray("/api/article/-5"));
        verifyPlainGet(only());
        m_server->clear();

        const auto comments = QCoro::waitFor(m_client->fetchComments(15));
        QVERIFY(comments.ok());
        QVERIFY(comments->isEmpty());
        QCOMPARE(only().target, QByteArray("/api/comments?article_id=15"));
        verifyPlainGet(only());
        m_server->clear();

        const auto author = QCoro::waitFor(m_client->fetchAuthor(-3));
        QVERIFY(author.ok());
        QCOMPARE(author->author.id, -3);
        QCOMPARE(only().target, QByteArray("/api/author/-3"));
        verifyPlainGet(only());
    }

    void articlesQuery_data()
    {
        QTest::addColumn<std::optional<QString>>("tag");
        QTest::addColumn<std::optional<QString>>("q");
        QTest::addColumn<std::optional<qint64>>("page");
        QTest::addColumn<std::optional<qint64>>("limit");
        QTest::addColumn<QByteArray>("target"); // exact when nothing needs escaping, else empty
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("values");
        using S = std::optional<QString>;
        using I = std::optional<qint64>;
        QTest::newRow("nothing") << S() << S() << I() << I() << QByteArray("/api/articles") << QStringList()
                                 << QStringList();
        QTest::newRow("empty q only") << S() << S(QString("")) << I() << I() << QByteArray("/api/articles")
                                      << QStringList() << QStringList();
        QTest::newRow("empty tag kept") << S(QString("")) << S() << I() << I() << QByteArray("/api/articles?tag=")
                                        << QStringList{"tag"} << QStringList{""};
        QTest::newRow("order independent of arguments")
            << S("5") << S("abc") << I(2) << I(20) << QByteArray("/api/articles?page=2&limit=20&tag=5&q=abc")
            << QStringList{"page", "limit", "tag", "q"} << QStringList{"2", "20", "5", "abc"};
        QTest::newRow("zero and negative sent unchanged")
            << S() << S() << I(0) << I(-1) << QByteArray("/api/articles?page=0&limit=-1") << QStringList{"page", "limit"}
            << QStringList{"0", "-1"};
        QTest::newRow("space and ampersand")
            << S("a b") << S("x&y") << I(2) << I(20) << QByteArray() << QStringList{"page", "limit", "tag", "q"}
            << QStringList{"2", "20", "a b", "x&y"};
        QTest::newRow("plus equals hash percent")
            << S("c++") << S("a=b+c#d%20") << I() << I() << QByteArray() << QStringList{"tag", "q"}
            << QStringList{"c++", "a=b+c#d%20"};
        QTest::newRow("chinese") << S("标签") << S("中文 搜索") << I() << I() << QByteArray() << QStringList{"tag", "q"}
                                 << QStringList{"标签", "中文 搜索"};
        QTest::newRow("question mark and slash") << S("a/b?c") << S("?") << I() << I() << QByteArray()
                                                 << QStringList{"tag", "q"} << QStringList{"a/b?c", "?"};
    }
    void articlesQuery()
    {
        QFETCH(std::optional<QString>, tag);
        QFETCH(std::optional<QString>, q);
        QFETCH(std::optional<qint64>, page);
        QFETCH(std::optional<qint64>, limit);
        QFETCH(QByteArray, target);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, values);

        const auto r = QCoro::waitFor(m_client->fetchArticles(tag, q, page, limit));
        QVERIFY2(r.ok(), qPrintable(r.ok() ? QString() : r.error().description()));
        const FakeServer::Request req = only();
        QCOMPARE(req.path, QByteArray("/api/articles"));
        verifyPlainGet(req);
        if (!target.isEmpty())
            QCOMPARE(req.target, target);
        QCOMPARE(req.hasQuery, !keys.isEmpty());
        if (keys.isEmpty())
            return;
        // One item per value: separators are the only raw "&" and "=" signs,
        // and "+" never appears raw (many servers read it as a space).
        const QList<QByteArray> parts = req.rawQuery.split('&');
        QCOMPARE(parts.size(), keys.size());
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QCOMPARE(parts.at(i).count('='), 1);
            QVERIFY2(!parts.at(i).contains('+') && !parts.at(i).contains(' ') && !parts.at(i).contains('#'),
                     parts.at(i).constData());
            const QByteArray name = parts.at(i).left(parts.at(i).indexOf('='));
            QCOMPARE(QString::fromLatin1(name), keys.at(i));
            const QByteArray value = parts.at(i).mid(parts.at(i).indexOf('=') + 1);
            QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(value)), values.at(i));
        }
    }

    // ---- writing and account -------------------------------------------------
    void postCommentBody()
    {
        const auto r = QCoro::waitFor(m_client->postComment(42, QStringLiteral("  好文 \n"), std::nullopt));
        QVERIFY(r.ok());
        QCOMPARE(r->id, 31);
        QVERIFY(r->ok);
        verifyJsonPost(only(), "/api/comment");
        QVERIFY(!only().hasHeader("Authorization"));
        QJsonObject body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"article_id", "content"}));
        QVERIFY(body.value("article_id").isDouble());
        QCOMPARE(body.value("article_id").toInteger(), 42);
        QCOMPARE(body.value("content").toString(), QStringLiteral("  好文 \n"));
        m_server->clear();

        QVERIFY(QCoro::waitFor(m_client->postComment(42, QString(), QString(""))).ok());
        body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"article_id", "content"}));
        QCOMPARE(body.value("content"), QJsonValue(QString("")));
        m_server->clear();

        QVERIFY(QCoro::waitFor(m_client->postComment(std::numeric_limits<qint64>::max(), "c", QString(" 访客 "))).ok());
        body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"article_id", "content", "name"}));
        QCOMPARE(body.value("name").toString(), QStringLiteral(" 访客 "));
        // A 64-bit id must travel as an exact integer, not a rounded double.
        QVERIFY2(only().body.contains("\"article_id\":9223372036854775807"), only().body.constData());
    }

    void likeBodiesAndBearer()
    {
        auto r = QCoro::waitFor(m_client->like(LikeTarget(7, std::nullopt), std::nullopt));
        QVERIFY(r.ok());
        QVERIFY(r.value());
        verifyJsonPost(only(), "/api/like");
        QVERIFY(!only().hasHeader("Authorization"));
        QCOMPARE(sortedKeys(only().jsonBody()), QStringList{"article_id"});
        QCOMPARE(only().jsonBody().value("article_id").toInteger(), 7);
        QVERIFY(only().jsonBody().value("article_id").isDouble());
        m_server->clear();

        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(7, -9), QString("tok en"))).ok());
        verifyJsonPost(only(), "/api/like");
        QCOMPARE(only().header("Authorization"), QByteArray("Bearer tok en"));
        const QJsonObject body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"article_id", "comment_id"}));
        QVERIFY(body.value("comment_id").isDouble());
        QCOMPARE(body.value("comment_id").toInteger(), -9);
        m_server->clear();

        // An empty token still sends the header ("Bearer " plus nothing; the
        // trailing space is not part of an HTTP field value).
        QVERIFY(QCoro::waitFor(m_client->like(LikeTarget(7, 0), QString(""))).ok());
        QVERIFY(only().hasHeader("Authorization"));
        QCOMPARE(only().header("Authorization"), QByteArray("Bearer"));
        QVERIFY(only().jsonBody().contains("comment_id")); // comment 0 is still a comment
    }

    void accountBodies()
    {
        const auto login = QCoro::waitFor(m_client->login(QStringLiteral("林"), QStringLiteral(" p\"w&d ")));
        QVERIFY(login.ok());
        QCOMPARE(login->token, QStringLiteral("tok-1"));
        verifyJsonPost(only(), "/api/login");
        QVERIFY(!only().hasHeader("Authorization"));
        QJsonObject body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"password", "username"}));
        QCOMPARE(body.value("password").toString(), QStringLiteral(" p\"w&d "));
        m_server->clear();

        QVERIFY(QCoro::waitFor(m_client->registerUser("", "a@b", "")).ok());
        verifyJsonPost(only(), "/api/register");
        QVERIFY(!only().hasHeader("Authorization"));
        body = only().jsonBody();
        QCOMPARE(sortedKeys(body), (QStringList{"email", "password", "username"}));
        QCOMPARE(body.value("username"), QJsonValue(QString("")));
        QCOMPARE(body.value("email").toString(), QStringLiteral("a@b"));
        m_server->clear();

        const auto me = QCoro::waitFor(m_client->fetchMe(QStringLiteral("tok-1")));
        QVERIFY(me.ok());
        QCOMPARE(me->stats.pending, 1);
        QCOMPARE(me->articles.size(), 1);
        QCOMPARE(only().method, QByteArray("GET"));
        QCOMPARE(only().target, QByteArray("/api/me"));
        QCOMPARE(only().header("Authorization"), QByteArray("Bearer tok-1"));
        QVERIFY(!only().hasHeader("Content-Type"));
        QVERIFY(only().body.isEmpty());
        m_server->clear();

        const auto bio = QCoro::waitFor(m_client->updateBio(QStringLiteral("tok-1"), QStringLiteral("")));
        QVERIFY(bio.ok());
        QCOMPARE(bio.value(), QStringLiteral("存好的"));
        verifyJsonPost(only(), "/api/me/bio");
        QCOMPARE(only().header("Authorization"), QByteArray("Bearer tok-1"));
        QCOMPARE(sortedKeys(only().jsonBody()), QStringList{"bio"});
        QCOMPARE(only().jsonBody().value("bio"), QJsonValue(QString("")));
    }

    void unencodableBodySendsNothing()
    {
        const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
        const auto r = QCoro::waitFor(m_client->postComment(1, lone, std::nullopt));
        QVERIFY(!r.ok());
        QCOMPARE(r.error().kind(), RequestError::Kind::Encoding);
        QVERIFY(testjson::isChinese(r.error().description()));
        const auto b = QCoro::waitFor(m_client->updateBio("t", lone));
        QVERIFY(!b.ok());
        QCOMPARE(b.error().kind(), RequestError::Kind::Encoding);
        QCOMPARE(m_server->requests().size(), 0);
    }

    void configuredBaseUrlIsUsed()
    {
        const QString saved = ServerConfig::baseUrl();
        ServerConfig::setBaseUrl(m_server->baseUrl());
        auto client = APIClient::create();
        ServerConfig::setBaseUrl(saved);
        QCOMPARE(client->baseUrl(), m_server->baseUrl());
        QVERIFY(QCoro::waitFor(client->fetchStats()).ok());
        QCOMPARE(only().target, QByteArray("/api/stats"));
    }

    void concurrentOperationsOnOneClient()
    {
        m_server->on("GET", "/api/stats",
                     [](const FakeServer::Request &) {
                         FakeServer::Response r =
                             FakeServer::Response::json(QJsonObject{{"totalArticles", 1}, {"dbArticles", 1}});
                         r.delayMs = 500;
                         return r;
                     });
        auto stats = m_client->fetchStats();
        auto tags = m_client->fetchTags();
        const auto t = QCoro::waitFor(std::move(tags));
        const auto s = QCoro::waitFor(std::move(stats));
        QVERIFY(t.ok());
        QVERIFY(s.ok());
        QCOMPARE(m_server->maxInFlight(), 2);
        QCOMPARE(m_client->requestsInFlight(), 0);
    }
};

QTEST_GUILESS_MAIN(ApiClientRequestsTest)
#include "tst_apiclient_requests.moc"

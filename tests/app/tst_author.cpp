#include "core/ArticleCountsStore.h"
#include "articles/AuthorDetailScreen.h"
#include "common/AvatarInitial.h"
#include "ServedTest.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;

namespace {

QJsonObject listedArticle(qint64 id, bool withCounts)
{
    QJsonObject o{{"id", id}, {"title", "文章"}, {"date", "2026-01-01"}, {"views", 1}, {"url", "/a"}};
    if (withCounts) {
        o.insert("likes", 1);
        o.insert("comments", 1);
    }
    return o;
}

QJsonObject authorJson(const QString &name, const QJsonValue &bio, const QJsonArray &articles, qint64 total = 99)
{
    QJsonObject author{{"id", 9}, {"username", name}, {"role", "admin"}};
    if (!bio.isUndefined())
        author.insert("bio", bio);
    return QJsonObject{{"author", author}, {"stats", QJsonObject{{"total_articles", total}}}, {"articles", articles}};
}

QJsonObject detailJson(qint64 id, qint64 likes, qint64 comments)
{
    return QJsonObject{{"id", id},       {"title", "t"},     {"filename", "f"},   {"views", 0},
                       {"likes", likes}, {"comments", comments}, {"date", "d"}, {"body", ""},
                       {"author", QJsonObject{{"id", 9}, {"username", "a"}, {"role", "r"}}}};
}

} // namespace

class AuthorTest : public ServedTest {
    Q_OBJECT
private slots:
    void initials()
    {
        QCOMPARE(avatarInitial(""), QStringLiteral("?"));
        QCOMPARE(avatarInitial("bob"), QStringLiteral("b"));
        QCOMPARE(avatarInitial("Zed"), QStringLiteral("Z"));
        QCOMPARE(avatarInitial("张三"), QStringLiteral("张"));
        QCOMPARE(avatarInitial("😀x"), QStringLiteral("😀"));                       // surrogate pair kept whole
        QCOMPARE(avatarInitial("👍🏽ok"), QStringLiteral("👍🏽"));                    // with skin-tone modifier
        QCOMPARE(avatarInitial("e\u0301t"), QStringLiteral("e\u0301"));               // combining accent
    }

    void loadsAuthorAndEnrichesItsArticles()
    {
        FakeServer &server = this->server();
        const QJsonArray articles{listedArticle(601, false), listedArticle(602, true), listedArticle(603, false)};
        server.on("GET", "/api/author/9", FakeServer::Response::json(authorJson("Alice", "写点东西", articles)));
        server.on("GET", "/api/article/601", FakeServer::Response::json(detailJson(601, 4, 2)));
        server.on("GET", "/api/article/603", FakeServer::Response::json(detailJson(603, 8, 1)));

        AuthorDetailScreen screen;
        QCOMPARE(screen.mainBlock(), QStringLiteral("loading"));
        screen.setBaseUrl(server.baseUrl());
        screen.setAuthorId(9);
        screen.appear();
        QTRY_COMPARE_WITH_TIMEOUT(screen.mainBlock(), QStringLiteral("author"), 10000);
        QCOMPARE(screen.username(), QStringLiteral("Alice"));
        QCOMPARE(screen.initial(), QStringLiteral("A"));
        QCOMPARE(screen.role(), QStringLiteral("admin"));  // as sent, not translated
        QVERIFY(screen.showBio());
        QCOMPARE(screen.bio(), QStringLiteral("写点东西"));
        QCOMPARE(screen.articleCount(), 3);
        QCOMPARE(screen.articlesHeading(), QStringLiteral("Alice 的文章 (3)"));  // not stats.total_articles
        QCOMPARE(screen.authorDetail()->stats.total_articles, 99);
        QCOMPARE(screen.articleModel()->count(), 3);
        QCOMPARE(screen.articleModel()->articleIdAt(2).toLongLong(), 603);

        // Enrichment runs on its own: only the two articles without counts.
        QTRY_VERIFY_WITH_TIMEOUT(ArticleCountsStore::shared().lookup(603).has_value(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(ArticleCountsStore::shared().lookup(601).has_value(), 10000);
        QCOMPARE(ArticleCountsStore::shared().lookup(601), (ArticleCountsStore::Counts{4, 2}));
        QCOMPARE(server.count("/api/article/602"), 0);
        QCOMPARE(server.count("/api/author/9"), 1);
    }

    void bioVariants_data()
    {
        QTest::addColumn<QJsonValue>("bio");
        QTest::addColumn<bool>("shown");
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << false;
        QTest::newRow("empty") << QJsonValue("") << false;
        QTest::newRow("spaces") << QJsonValue("   ") << true;
    }

    void bioVariants()
    {
        QFETCH(QJsonValue, bio);
        QFETCH(bool, shown);
        FakeServer &server = this->server();
        server.on("GET", "/api/author/9", FakeServer::Response::json(authorJson("", bio, QJsonArray{})));
        AuthorDetailScreen screen;
        screen.setBaseUrl(server.baseUrl());
        screen.setAuthorId(9);
        QCoro::waitFor(screen.loadData());
        QCOMPARE(screen.mainBlock(), QStringLiteral("author"));
        QCOMPARE(screen.showBio(), shown);
        QCOMPARE(screen.initial(), QStringLiteral("?"));
        QCOMPARE(screen.articleCount(), 0);
    }

    void failureThenRetryThenKeptOverLaterFailure()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/author/9", FakeServer::Response::json(QJsonObject{{"error", "作者不存在"}}, 404));
        AuthorDetailScreen screen;
        screen.setBaseUrl(server.baseUrl());
        screen.setAuthorId(9);
        QCoro::waitFor(screen.loadData());
        QCOMPARE(screen.mainBlock(), QStringLiteral("error"));
        QCOMPARE(screen.errorMessage(), QStringLiteral("加载失败：作者不存在"));
        QVERIFY(!screen.hasAuthor());

        server.on("GET", "/api/author/9", FakeServer::Response::raw(200, "{\"author\": 3}"));
        screen.retry();
        QCOMPARE(screen.mainBlock(), QStringLiteral("loading"));
        QVERIFY(screen.errorMessage().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(screen.mainBlock(), QStringLiteral("error"), 10000);
        QVERIFY(screen.errorMessage().startsWith(QStringLiteral("加载失败：")));

        server.on("GET", "/api/author/9", FakeServer::Response::json(authorJson("Bob", QJsonValue(), QJsonArray{})));
        QCoro::waitFor(screen.loadData());
        QCOMPARE(screen.mainBlock(), QStringLiteral("author"));

        // A later failure keeps the author on screen; the error is held, not shown.
        server.on("GET", "/api/author/9", FakeServer::Response::json(QJsonObject{{"error", "服务器维护中"}}, 503));
        QSignalSpy authorChanges(&screen, &AuthorDetailScreen::authorChanged);
        QCoro::waitFor(screen.loadData());
        QCOMPARE(screen.mainBlock(), QStringLiteral("author"));
        QCOMPARE(screen.username(), QStringLiteral("Bob"));
        QCOMPARE(screen.errorMessage(), QStringLiteral("加载失败：服务器维护中"));
        QCOMPARE(authorChanges.count(), 0);
    }

};

QTEST_GUILESS_MAIN(AuthorTest)
#include "tst_author.moc"

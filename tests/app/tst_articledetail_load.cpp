// The article screen's load: both requests, the article's and the comment
// list's failures each on their own, retry, and dying with requests on the wire.
#include "ArticleDetailFixtures.h"

using namespace papelo;
using namespace detailfix;

class ArticleDetailLoadTest : public ServedTest {
    Q_OBJECT

private slots:
    void loadShowsArticleAndCommentsFromBothRequests()
    {
        ArticleDetail article = fixtures::detail(7, 5, 2);
        article.author = fixtures::author(9, QStringLiteral("😀bob"));
        article.tags = QList<Tag>{{1, QStringLiteral("Qt")}, {2, QStringLiteral("随笔")}};
        server().on("GET", "/api/article/7", fixtures::reply(article));
        server().on("GET", "/api/comments", comments({1, 2}, {3, 0}));

        ArticleDetailScreen screen;
        QVERIFY(screen.mainBlock() == QStringLiteral("loading") && screen.webViewHeight() == 400.0 && screen.webViewLoading());
        QSignalSpy blocks(&screen, &ArticleDetailScreen::mainBlockChanged);
        load(screen, server(), 7);
        QCOMPARE(server().count("/api/article/7"), 1);
        QCOMPARE(server().requestsTo("/api/comments").value(0).queryItem("article_id"), QStringLiteral("7"));
        QCOMPARE(server().count("/api/comments"), 1);
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && blocks.count() == 1);
        QCOMPARE((QStringList{screen.title(), QString::number(screen.authorId()), screen.authorInitial(), screen.tagLabels().join(' '),
                              QString::number(screen.likes()), QString::number(screen.views()), QString::number(screen.commentsCount()),
                              QString::number(screen.comments()->count()), screen.commentHeading()}),
                 (QStringList{"文章 7", "9", "😀", "#Qt #随笔", "5", "70", "2", "2", "评论 2"}));
        QVERIFY(!screen.isLiked());
    }

    // The comment list fails on its own: the article stays, the section says
    // why and retries the list alone; a failing reload keeps the list it had.
    void failingCommentsLeaveTheArticle()
    {
        serve(server(), 12);
        server().on("GET", "/api/comments", failure("评论服务不可用"));
        ArticleDetailScreen screen;
        load(screen, server(), 12);
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.errorMessage().isEmpty());
        QCOMPARE(screen.commentsError(), QStringLiteral("评论加载失败：评论服务不可用"));
        server().on("GET", "/api/comments", comments({100}));
        QCoro::waitFor(screen.loadComments());
        QVERIFY(!screen.hasCommentsError() && screen.comments()->count() == 1);
        QCOMPARE(server().count("/api/article/12"), 1);
        server().on("GET", "/api/comments", failure("评论服务不可用"));
        QCoro::waitFor(screen.loadContent());
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.hasCommentsError() && screen.comments()->count() == 1);
    }

    // The article fails on its own: its error shows at once, the comments
    // still come; a retry is loading at once, before any answer.
    void failingArticleLeavesTheCommentsUntilRetried()
    {
        server().on("GET", "/api/article/13", failure("文章不存在", 404));
        server().on("GET", "/api/comments", FakeServer::delayed(comments({1}), 1500));
        ArticleDetailScreen screen;
        screen.setBaseUrl(server().baseUrl());
        screen.setArticleId(13);
        screen.retry();
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isLoading(), 5000);
        QVERIFY(screen.errorMessage() == QStringLiteral("加载失败：文章不存在") && screen.comments()->count() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(screen.comments()->count(), 1, 5000);
        QVERIFY(screen.mainBlock() == QStringLiteral("error") && !screen.hasCommentsError());

        serve(server(), 13);
        QSignalSpy blocks(&screen, &ArticleDetailScreen::mainBlockChanged);
        screen.retry();
        QCOMPARE(screen.mainBlock(), QStringLiteral("loading"));
        QTRY_COMPARE_WITH_TIMEOUT(screen.mainBlock(), QStringLiteral("article"), 10000);
        QVERIFY(blocks.count() == 2 && screen.errorMessage().isEmpty());
    }

    // Each screen dies with its requests on the wire (the server has them and
    // answers late); the answers then arrive with nobody left to receive them.
    void destroyedWhileRequestsRun()
    {
        serve(server(), 15, 1, 0);
        server().on("GET", "/api/article/15", FakeServer::delayed(fixtures::reply(fixtures::detail(15, 1)), 200));
        server().on("POST", "/api/like", ok(true, 200));
        server().on("POST", "/api/comment", posted(1, 200));
        {
            auto screen = std::make_unique<ArticleDetailScreen>();
            screen->setBaseUrl(server().baseUrl());
            screen->setArticleId(15);
            screen->appear();
            screen->retry();
            QTRY_VERIFY_WITH_TIMEOUT(server().count("/api/article/15") >= 1 && server().inFlight() > 0, 5000);
        }
        {
            ArticleDetailScreen screen;
            load(screen, server(), 15);
            screen.like();
            screen.setNewComment("hi");
            screen.send();
            QTRY_VERIFY_WITH_TIMEOUT(server().count("/api/like") == 1 && server().count("/api/comment") == 1, 5000);
            QVERIFY(server().inFlight() > 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server().inFlight(), 0, 5000);
        QTest::qWait(100); // answers are on the wire: let them be handled
    }
};

QTEST_GUILESS_MAIN(ArticleDetailLoadTest)
#include "tst_articledetail_load.moc"

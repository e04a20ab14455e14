// Likes on the article and on its comments: the request, the count and the
// shared store, refusals and failures, and a comment row's like state across
// reloads of the list.
#include "ArticleDetailFixtures.h"

using namespace papelo;
using namespace detailfix;

class ArticleDetailLikesTest : public ServedTest {
    Q_OBJECT

private slots:
    // Anonymous, then signed in; answered false and failing change nothing.
    void likeFlows()
    {
        serve(server(), 21, 5);
        server().on("POST", "/api/like", ok());
        Reader reader;
        ArticleDetailScreen &screen = reader.screen;
        load(screen, server(), 21);

        QCoro::waitFor(screen.toggleLike());
        const auto first = server().requestsTo("/api/like").last();
        QVERIFY(!first.hasHeader("Authorization"));
        QCOMPARE(first.jsonBody(), (QJsonObject{{"article_id", 21}}));
        QVERIFY(screen.isLiked() && screen.likes() == 6);
        QVERIFY(!ArticleCountsStore::shared().lookup(21));  // a like creates no store entry

        reader.signIn("tok", "me");
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(server().requestsTo("/api/like").last().header("Authorization"), QByteArray("Bearer tok"));
        QVERIFY(!screen.isLiked() && screen.likes() == 5);

        server().on("POST", "/api/like", ok(false));
        QCoro::waitFor(screen.toggleLike());
        QVERIFY(!screen.isLiked() && screen.likes() == 5);
        server().on("POST", "/api/like", failure("点赞太频繁", 429));
        {
            ConsoleCapture out;
            QCoro::waitFor(screen.toggleLike());
            QCOMPARE(out.text(), QStringLiteral("点赞失败：点赞太频繁\n"));
        }
        QVERIFY(!screen.isLiked() && screen.likes() == 5);
    }

    void likeUpdatesAnExistingStoreEntry()
    {
        serve(server(), 22, 5);
        server().on("POST", "/api/like", ok());
        ArticleCountsStore::shared().set(5, 7, 22);
        ArticleDetailScreen screen;
        load(screen, server(), 22);
        QSignalSpy changed(&ArticleCountsStore::shared(), &ArticleCountsStore::changed);
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(ArticleCountsStore::shared().lookup(22), (ArticleCountsStore::Counts{6, 7}));
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(ArticleCountsStore::shared().lookup(22), (ArticleCountsStore::Counts{5, 7}));
    }

    void twoQuickLikesReturnToStart()
    {
        serve(server(), 23, 5);
        server().on("POST", "/api/like", ok(true, 150));
        ArticleDetailScreen screen;
        load(screen, server(), 23);
        screen.like();
        screen.like();  // before the first answer
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/like"), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server().inFlight() == 0 && !screen.isLiked(), 5000);
        QTest::qWait(50);
        QCOMPARE(screen.likes(), 5);
    }

    void commentRowsKeepStateAcrossReloads()
    {
        serve(server(), 41, 0, 2);
        server().on("GET", "/api/comments", comments({1, 2}, {0, 4}));
        server().on("POST", "/api/like", ok());
        Reader reader;
        reader.signIn("tk", "u");
        load(reader.screen, server(), 41);
        CommentListModel *rows = reader.screen.comments();
        QCOMPARE(rows->data(rows->index(0), CommentListModel::TimeRole).toString(), QStringLiteral("2026-03-02"));

        QCoro::waitFor(rows->likeComment(1));
        const auto likeRequest = server().requestsTo("/api/like").last();
        QCOMPARE(likeRequest.jsonBody(), (QJsonObject{{"article_id", 41}, {"comment_id", 1}}));
        QCOMPARE(likeRequest.header("Authorization"), QByteArray("Bearer tk"));
        QVERIFY(rows->rows().at(0).isLiked && rows->rows().at(0).likeCount == 1);

        // Reload: comment 1 now reports 7 likes, a new comment arrives first, 2 is gone.
        server().on("GET", "/api/comments", comments({3, 1}, {0, 7}));
        QCoro::waitFor(reader.screen.loadContent());
        QCOMPARE((QList<int>{int(rows->count()), rows->rowOf(3), rows->rowOf(2), rows->rowOf(1)}), (QList<int>{2, 0, -1, 1}));
        QVERIFY(rows->rows().at(1).isLiked && !rows->rows().at(0).isLiked);
        QCOMPARE(rows->data(rows->index(1), CommentListModel::LikeCountRole).toLongLong(), 7);

        // Same order, only the likes moved: the row changes in place.
        server().on("GET", "/api/comments", comments({3, 1}, {0, 8}));
        QSignalSpy resets(rows, &QAbstractItemModel::modelReset);
        QSignalSpy changes(rows, &QAbstractItemModel::dataChanged);
        QCoro::waitFor(reader.screen.loadContent());
        QVERIFY(resets.count() == 0 && changes.count() == 1);
        QVERIFY(rows->rows().at(1).likeCount == 8 && rows->rows().at(1).isLiked);

        // Unlike: the count moves from its current value.
        QCoro::waitFor(rows->likeComment(1));
        QVERIFY(rows->rows().at(1).likeCount == 7 && !rows->rows().at(1).isLiked);

        // False and failure change nothing; failure writes its console line.
        server().on("POST", "/api/like", ok(false));
        QCoro::waitFor(rows->likeComment(3));
        QCOMPARE(rows->rows().at(0).likeCount, 0);
        server().on("POST", "/api/like", failure("评论已删除", 404));
        {
            ConsoleCapture out;
            QCoro::waitFor(rows->likeComment(3));
            QCOMPARE(out.text(), QStringLiteral("评论点赞失败：评论已删除\n"));
        }
        QVERIFY(!rows->rows().at(0).isLiked && rows->rows().at(0).likeCount == 0);
    }
};

QTEST_GUILESS_MAIN(ArticleDetailLikesTest)
#include "tst_articledetail_likes.moc"

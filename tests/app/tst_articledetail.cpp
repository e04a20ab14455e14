// The article screen: its load (both requests, the article's and the comment
// list's failures each on their own, retry, dying with requests on the wire);
// likes on the article and on its comments (the request, the count and the
// shared store, refusals and failures, a comment row's like state across
// reloads of the list); posting a comment (what is sent, as whom, once, and
// what stays after a failure) and a comment row's own texts.
#include "ArticleFixtures.h"
#include "ServedTest.h"
#include "core/ArticleCountsStore.h"
#include "core/AuthManager.h"
#include "reading/ArticleDetailScreen.h"
#include "reading/CommentListModel.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;
using fixtures::serverError;

namespace {
FakeServer::Response ok(bool ok = true, int delayMs = 0)
{
    return FakeServer::delayed(FakeServer::Response::json(QJsonObject{{"ok", ok}}), delayMs);
}

FakeServer::Response posted(qint64 id, int delayMs = 0)
{
    return FakeServer::delayed(fixtures::reply(CommentPostResponse{id, true}), delayMs);
}

// The comment list: these ids in this order, with these likes.
FakeServer::Response comments(const QList<qint64> &ids, const QList<qint64> &likes = {})
{
    QList<Comment> list;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        list << fixtures::comment(ids[i]);
        list.last().likes = likes.value(i);
    }
    return fixtures::replyList(list);
}

// A screen whose sign-in (signed out at first) is stored in a directory of its own.
struct Reader {
    Reader() { screen.setAuth(&auth); }
    void signIn(const QString &token, const QString &name) { auth.login(token, Author{3, name, QStringLiteral("user"), std::nullopt}); }
    QTemporaryDir dir;
    AuthManager auth{dir.filePath(QStringLiteral("auth.ini"))};
    ArticleDetailScreen screen;
};
} // namespace

class ArticleDetailTest : public ServedTest {
    Q_OBJECT

    // Article `id` with these counts, and one comment (id 100).
    void serve(qint64 id, qint64 likes = 5, qint64 commentCount = 1)
    {
        server().on("GET", "/api/article/" + QByteArray::number(id), fixtures::reply(fixtures::detail(id, likes, commentCount)));
        server().on("GET", "/api/comments", comments({100}));
    }

    void load(ArticleDetailScreen &screen, qint64 id)
    {
        screen.setBaseUrl(server().baseUrl());
        screen.setArticleId(id);
        QCoro::waitFor(screen.loadContent());
        QVERIFY2(screen.hasArticle(), qPrintable(screen.errorMessage()));
    }

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
        load(screen, 7);
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
        serve(12);
        server().on("GET", "/api/comments", serverError("评论服务不可用"));
        ArticleDetailScreen screen;
        load(screen, 12);
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.errorMessage().isEmpty());
        QCOMPARE(screen.commentsError(), QStringLiteral("评论加载失败：评论服务不可用"));
        server().on("GET", "/api/comments", comments({100}));
        QCoro::waitFor(screen.loadComments());
        QVERIFY(!screen.hasCommentsError() && screen.comments()->count() == 1);
        QCOMPARE(server().count("/api/article/12"), 1);
        server().on("GET", "/api/comments", serverError("评论服务不可用"));
        QCoro::waitFor(screen.loadContent());
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.hasCommentsError() && screen.comments()->count() == 1);
    }

    // The article fails on its own: its error shows at once, the comments
    // still come; a retry is loading at once, before any answer.
    void failingArticleLeavesTheCommentsUntilRetried()
    {
        server().on("GET", "/api/article/13", serverError("文章不存在", 404));
        server().on("GET", "/api/comments", FakeServer::delayed(comments({1}), 1500));
        ArticleDetailScreen screen;
        screen.setBaseUrl(server().baseUrl());
        screen.setArticleId(13);
        screen.retry();
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isLoading(), 5000);
        QVERIFY(screen.errorMessage() == QStringLiteral("加载失败：文章不存在") && screen.comments()->count() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(screen.comments()->count(), 1, 5000);
        QVERIFY(screen.mainBlock() == QStringLiteral("error") && !screen.hasCommentsError());

        serve(13);
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
        serve(15, 1, 0);
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
            load(screen, 15);
            screen.like();
            screen.setNewComment("hi");
            screen.send();
            QTRY_VERIFY_WITH_TIMEOUT(server().count("/api/like") == 1 && server().count("/api/comment") == 1, 5000);
            QVERIFY(server().inFlight() > 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server().inFlight(), 0, 5000);
        QTest::qWait(100); // answers are on the wire: let them be handled
    }

    // Anonymous, then signed in; an existing store entry follows the count;
    // answered false and failing change nothing.
    void likeFlows()
    {
        serve(21, 5);
        server().on("POST", "/api/like", ok());
        Reader reader;
        ArticleDetailScreen &screen = reader.screen;
        load(screen, 21);

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

        ArticleCountsStore::shared().set(5, 7, 21);
        QSignalSpy changed(&ArticleCountsStore::shared(), &ArticleCountsStore::changed);
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(ArticleCountsStore::shared().lookup(21), (ArticleCountsStore::Counts{6, 7}));
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(ArticleCountsStore::shared().lookup(21), (ArticleCountsStore::Counts{5, 7}));

        server().on("POST", "/api/like", ok(false));
        QCoro::waitFor(screen.toggleLike());
        QVERIFY(!screen.isLiked() && screen.likes() == 5);
        server().on("POST", "/api/like", serverError("点赞太频繁", 429));
        ConsoleCapture out;
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(out.release(), QStringList{QStringLiteral("点赞失败：点赞太频繁")});
        QVERIFY(!screen.isLiked() && screen.likes() == 5);
    }

    void twoQuickLikesReturnToStart()
    {
        serve(23, 5);
        server().on("POST", "/api/like", ok(true, 150));
        ArticleDetailScreen screen;
        load(screen, 23);
        screen.like();
        screen.like();  // before the first answer
        QTRY_COMPARE_WITH_TIMEOUT(server().count("/api/like"), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server().inFlight() == 0 && !screen.isLiked(), 5000);
        QTest::qWait(50);
        QCOMPARE(screen.likes(), 5);
    }

    void commentRowsKeepStateAcrossReloads()
    {
        serve(41, 0, 2);
        server().on("GET", "/api/comments", comments({1, 2}, {0, 4}));
        server().on("POST", "/api/like", ok());
        Reader reader;
        reader.signIn("tk", "u");
        load(reader.screen, 41);
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
        server().on("POST", "/api/like", serverError("评论已删除", 404));
        ConsoleCapture out;
        QCoro::waitFor(rows->likeComment(3));
        QCOMPARE(out.release(), QStringList{QStringLiteral("评论点赞失败：评论已删除")});
        QVERIFY(!rows->rows().at(0).isLiked && rows->rows().at(0).likeCount == 0);
    }

    // Blank text is never sent; Return pressed while posting sends nothing
    // more; what a failed post or a failed reload leaves.
    void sendsTextOnlyAndOnlyOnce()
    {
        serve(31);
        server().on("POST", "/api/comment", posted(1, 300));
        ArticleDetailScreen screen;
        load(screen, 31);
        QVERIFY(!screen.canSend());
        screen.setNewComment(" \n\t　\r\n ");
        QVERIFY(!screen.canSend());
        QCoro::waitFor(screen.postComment());
        QVERIFY(server().count("/api/comment") == 0 && !screen.isPosting() && !screen.hasPostError());
        QCOMPARE(screen.newComment(), QStringLiteral(" \n\t　\r\n "));

        screen.setNewComment("一次");
        screen.send();
        QVERIFY(screen.isPosting() && !screen.canSend());
        screen.send();
        screen.send();
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isPosting(), 10000);
        QCOMPARE(server().count("/api/comment"), 1);

        // The posting itself fails: fields kept, the bare server message shown.
        server().on("POST", "/api/comment", serverError("内容包含敏感词", 400));
        screen.setNewComment("坏评论");
        screen.setGuestName("某人");
        QCoro::waitFor(screen.postComment());
        QCOMPARE((QStringList{screen.postError(), screen.newComment(), screen.guestName()}), (QStringList{"内容包含敏感词", "坏评论", "某人"}));
        QVERIFY(!screen.isPosting());

        // Posted, but the reload fails: fields already emptied, reload error shown.
        server().on("POST", "/api/comment", posted(2));
        server().on("GET", "/api/comments", serverError("评论列表暂不可用"));
        QCoro::waitFor(screen.postComment());
        QCOMPARE(screen.postError(), QStringLiteral("评论列表暂不可用"));
        QVERIFY(screen.newComment().isEmpty() && screen.guestName().isEmpty() && !screen.isPosting());
        QCOMPARE(screen.comments()->count(), 1);

        // A new attempt clears the old error as it starts.
        server().on("GET", "/api/comments", comments({100}));
        screen.setNewComment("好评论");
        QCoro::waitFor(screen.postComment());
        QVERIFY(!screen.hasPostError());
    }

    // A guest's post, then the same screen signed in: the account's name wins
    // over a typed guest name, and no post carries the token.
    void guestPostSendsTrimmedTextAndReloads()
    {
        ArticleCountsStore::shared().set(9, 1, 32);
        serve(32);
        server().on("POST", "/api/comment", posted(501));
        Reader reader;
        ArticleDetailScreen &screen = reader.screen;
        load(screen, 32);
        QVERIFY(screen.showGuestField());
        server().on("GET", "/api/comments", comments({100, 501}));
        screen.setNewComment("  你好\n");
        screen.setGuestName("小明");
        QVERIFY(screen.canSend());
        QSignalSpy posting(&screen, &ArticleDetailScreen::isPostingChanged);
        QCoro::waitFor(screen.postComment());
        QCOMPARE(posting.count(), 2);
        const auto sent = server().requestsTo("/api/comment");
        QVERIFY(sent.size() == 1 && !sent.first().hasHeader("Authorization"));
        QCOMPARE(sent.first().jsonBody(), (QJsonObject{{"article_id", 32}, {"content", "你好"}, {"name", "小明"}}));
        QVERIFY(screen.newComment().isEmpty() && screen.guestName().isEmpty());
        QCOMPARE(screen.commentHeading(), QStringLiteral("评论 2"));
        QCOMPARE(screen.commentsCount(), 1);  // the stats row stays as loaded
        QCOMPARE(ArticleCountsStore::shared().lookup(32), (ArticleCountsStore::Counts{9, 2}));

        // Empty nickname: the name is left out entirely.
        screen.setNewComment("再来");
        QCoro::waitFor(screen.postComment());
        QCOMPARE(server().requestsTo("/api/comment").last().jsonBody(), (QJsonObject{{"article_id", 32}, {"content", "再来"}}));

        screen.setGuestName("游客甲");
        QSignalSpy guestField(&screen, &ArticleDetailScreen::showGuestFieldChanged);
        reader.signIn("tok", "作者本人");
        QVERIFY(!screen.showGuestField() && guestField.count() == 1);
        screen.setNewComment("评论");
        QCoro::waitFor(screen.postComment());
        const auto last = server().requestsTo("/api/comment").last();
        QCOMPARE(last.jsonBody().value("name").toString(), QStringLiteral("作者本人"));
        QVERIFY(!last.hasHeader("Authorization"));
    }

    // A row shows the day of a full time, any other text as sent; a comment
    // by an account carries its role beside the name, a guest's none,
    // whatever name it took; gaining a user changes the row.
    void rowTexts()
    {
        QCOMPARE(CommentRowState(Comment{1, "a", "b", 0, "昨天", std::nullopt}).shortTime(), QStringLiteral("昨天"));
        QCOMPARE(CommentRowState(Comment{1, "a", "b", 0, "2026-03-04 05:06:07", std::nullopt}).shortTime(), QStringLiteral("2026-03-04"));
        const auto by = [](std::optional<QString> role) {
            return Comment{1, "demo", "b", 0, "t", role ? std::optional(Author{3, "demo", *role, std::nullopt}) : std::nullopt};
        };
        QCOMPARE(CommentRowState::memberMark(by(std::nullopt)), QString());
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral("作者"))), QStringLiteral("作者"));
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral(" "))), QStringLiteral("注册用户"));
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral("编辑\n管理员"))), QStringLiteral("编辑 管理员"));
        QVERIFY(CommentRowState(by(std::nullopt)).adopt(by(QStringLiteral("作者"))));
    }
};

QTEST_GUILESS_MAIN(ArticleDetailTest)
#include "tst_articledetail.moc"

#include "core/ArticleCountsStore.h"
#include "reading/ArticleDetailScreen.h"
#include "core/AuthManager.h"
#include "reading/CommentListModel.h"
#include "ServedTest.h"
#include "ConsoleCapture.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {

QJsonObject articleJson(qint64 id, qint64 likes, qint64 comments, const QString &author = QStringLiteral("alice"),
                        const QJsonArray &tags = {})
{
    QJsonObject o{{"id", id},           {"title", "标题"},         {"filename", "a.md"},
                  {"views", 42},        {"likes", likes},          {"comments", comments},
                  {"date", "2026-01-02"}, {"body", "<p>正文</p>"},
                  {"author", QJsonObject{{"id", 9}, {"username", author}, {"role", "author"}}}};
    if (!tags.isEmpty())
        o.insert("tags", tags);
    return o;
}

QJsonObject commentJson(qint64 id, qint64 likes, const QString &name = QStringLiteral("路人"))
{
    return QJsonObject{{"id", id}, {"name", name}, {"content", "内容"}, {"likes", likes}, {"time", "2026-01-02 10:20:30"}};
}

FakeServer::Response okLike(bool ok, int delayMs = 0)
{
    auto r = FakeServer::Response::json(QJsonObject{{"ok", ok}});
    r.delayMs = delayMs;
    return r;
}

FakeServer::Response serverError(const QString &message, int status = 500)
{
    return FakeServer::Response::json(QJsonObject{{"error", message}}, status);
}

} // namespace

class ArticleDetailTest : public ServedTest {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::unique_ptr<AuthManager> makeAuth() { return std::make_unique<AuthManager>(m_dir.filePath("auth.ini")); }

    // A server answering article `id` with the given counts and one comment.
    void serveArticle(FakeServer &server, qint64 id, qint64 likes = 5, qint64 comments = 1)
    {
        server.on("GET", "/api/article/" + QByteArray::number(id), FakeServer::Response::json(articleJson(id, likes, comments)));
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(100, 0)}));
    }

    void loaded(ArticleDetailScreen &screen, FakeServer &server, qint64 id)
    {
        screen.setBaseUrl(server.baseUrl());
        screen.setArticleId(id);
        QCoro::waitFor(screen.loadContent());
        QVERIFY2(screen.hasArticle(), qPrintable(screen.errorMessage()));
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void loadShowsArticleAndCommentsFromBothRequests()
    {
        FakeServer &server = this->server();
        const QJsonArray tags{QJsonObject{{"id", 1}, {"name", "Qt"}}, QJsonObject{{"id", 2}, {"name", "随笔"}}};
        server.on("GET", "/api/article/7", FakeServer::Response::json(articleJson(7, 5, 2, "😀bob", tags)));
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(1, 3), commentJson(2, 0)}));

        ArticleDetailScreen screen;
        QCOMPARE(screen.mainBlock(), QStringLiteral("loading"));  // opens on the spinner
        QCOMPARE(screen.webViewHeight(), 400.0);
        QVERIFY(screen.webViewLoading());
        screen.setBaseUrl(server.baseUrl());
        screen.setArticleId(7);
        QSignalSpy blocks(&screen, &ArticleDetailScreen::mainBlockChanged);
        QCoro::waitFor(screen.loadContent());

        QCOMPARE(server.requestsTo("/api/article/7").size(), 1);
        const auto commentRequests = server.requestsTo("/api/comments");
        QCOMPARE(commentRequests.size(), 1);
        QCOMPARE(commentRequests.first().queryItem("article_id"), QStringLiteral("7"));
        QCOMPARE(screen.mainBlock(), QStringLiteral("article"));
        QCOMPARE(blocks.count(), 1);
        QCOMPARE(screen.title(), QStringLiteral("标题"));
        QCOMPARE(screen.authorId(), 9);
        QCOMPARE(screen.authorInitial(), QStringLiteral("😀"));
        QCOMPARE(screen.tagLabels(), (QStringList{"#Qt", "#随笔"}));
        QCOMPARE(screen.likes(), 5);
        QCOMPARE(screen.views(), 42);
        QCOMPARE(screen.commentsCount(), 2);
        QCOMPARE(screen.comments()->count(), 2);
        QCOMPARE(screen.commentHeading(), QStringLiteral("评论 2"));
        QVERIFY(!screen.isLiked());
    }

    void failedFirstLoadThenRetry()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/article/11", serverError("文章不存在", 404));
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{}));
        ArticleDetailScreen screen;
        screen.setBaseUrl(server.baseUrl());
        screen.setArticleId(11);
        QCoro::waitFor(screen.loadContent());
        QCOMPARE(screen.mainBlock(), QStringLiteral("error"));
        QCOMPARE(screen.errorMessage(), QStringLiteral("加载失败：文章不存在"));
        QVERIFY(!screen.isLoading());

        server.on("GET", "/api/article/11", FakeServer::Response::json(articleJson(11, 1, 0)));
        QSignalSpy blocks(&screen, &ArticleDetailScreen::mainBlockChanged);
        screen.retry();
        QCOMPARE(screen.mainBlock(), QStringLiteral("loading"));  // at once, before any answer
        QTRY_COMPARE_WITH_TIMEOUT(screen.mainBlock(), QStringLiteral("article"), 10000);
        QCOMPARE(blocks.count(), 2);
        QVERIFY(screen.errorMessage().isEmpty());
    }

    // The comment list fails on its own (a 500, or over the body cap): the
    // article stays, the section says why and retries the list alone; a
    // failing reload keeps the list it had.
    void failingCommentsLeaveTheArticle()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/article/12", FakeServer::Response::json(articleJson(12, 5, 1)));
        server.on("GET", "/api/comments", serverError("评论服务不可用"));
        ArticleDetailScreen screen;
        loaded(screen, server, 12);
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.errorMessage().isEmpty());
        QCOMPARE(screen.commentsError(), QStringLiteral("评论加载失败：评论服务不可用"));
        serveArticle(server, 12);
        QCoro::waitFor(screen.loadComments());
        QVERIFY(!screen.hasCommentsError() && screen.comments()->count() == 1);
        QCOMPARE(server.count("/api/article/12"), 1);
        server.on("GET", "/api/comments", serverError("评论服务不可用"));
        QCoro::waitFor(screen.loadContent());
        QVERIFY(screen.mainBlock() == QStringLiteral("article") && screen.hasCommentsError());
        QCOMPARE(screen.comments()->count(), 1);
    }

    // The article fails on its own: its error shows at once, the comments still come.
    void failingArticleLeavesTheComments()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/article/13", serverError("坏了"));
        server.on("GET", "/api/comments", FakeServer::delayed(FakeServer::Response::json(QJsonArray{commentJson(1, 0)}), 1500));
        ArticleDetailScreen screen;
        screen.setBaseUrl(server.baseUrl());
        screen.setArticleId(13);
        screen.retry();
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isLoading(), 5000);
        QCOMPARE(screen.errorMessage(), QStringLiteral("加载失败：坏了"));
        QCOMPARE(screen.comments()->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(screen.comments()->count(), 1, 5000);
        QVERIFY(screen.mainBlock() == QStringLiteral("error") && !screen.hasCommentsError());
    }

    // Each screen dies with its requests on the wire (the server has them and
    // answers late); the answers then arrive with nobody left to receive them.
    void destroyedWhileRequestsRun()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/article/15", FakeServer::delayed(FakeServer::Response::json(articleJson(15, 1, 0)), 200));
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{}));
        server.on("POST", "/api/like", okLike(true, 200));
        server.on("POST", "/api/comment", okLike(true, 200));
        {
            auto screen = std::make_unique<ArticleDetailScreen>();
            screen->setBaseUrl(server.baseUrl());
            screen->setArticleId(15);
            screen->appear();
            screen->retry();
            QTRY_VERIFY_WITH_TIMEOUT(server.count("/api/article/15") >= 1 && server.inFlight() > 0, 5000);
        }
        {
            ArticleDetailScreen screen;
            loaded(screen, server, 15);
            screen.like();
            screen.setNewComment("hi");
            screen.send();
            QTRY_VERIFY_WITH_TIMEOUT(server.count("/api/like") == 1 && server.count("/api/comment") == 1, 5000);
            QVERIFY(server.inFlight() > 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.inFlight(), 0, 5000);
        QTest::qWait(100); // answers are on the wire: let them be handled
    }

    void likeFlows()
    {
        FakeServer &server = this->server();
        serveArticle(server, 21, 5);
        server.on("POST", "/api/like", okLike(true));
        auto auth = makeAuth();
        ArticleDetailScreen screen;
        screen.setAuth(auth.get());
        loaded(screen, server, 21);

        // Anonymous like: no Authorization, body is exactly the article id.
        QCoro::waitFor(screen.toggleLike());
        const auto first = server.requestsTo("/api/like").last();
        QVERIFY(!first.hasHeader("Authorization"));
        QCOMPARE(first.jsonBody(), (QJsonObject{{"article_id", 21}}));
        QVERIFY(screen.isLiked());
        QCOMPARE(screen.likes(), 6);
        // No store entry for this article: the like must not create one.
        QVERIFY(!ArticleCountsStore::shared().lookup(21));

        auth->login("tok", Author{1, "me", "user", std::nullopt});
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(server.requestsTo("/api/like").last().header("Authorization"), QByteArray("Bearer tok"));
        QVERIFY(!screen.isLiked());
        QCOMPARE(screen.likes(), 5);

        // Answered false: nothing changes.
        server.on("POST", "/api/like", okLike(false));
        QCoro::waitFor(screen.toggleLike());
        QVERIFY(!screen.isLiked());
        QCOMPARE(screen.likes(), 5);

        // Failure: nothing changes, one console line.
        server.on("POST", "/api/like", serverError("点赞太频繁", 429));
        {
            ConsoleCapture out;
            QCoro::waitFor(screen.toggleLike());
            QCOMPARE(out.text(), QStringLiteral("点赞失败：点赞太频繁\n"));
        }
        QVERIFY(!screen.isLiked());
        QCOMPARE(screen.likes(), 5);
    }

    void likeUpdatesAnExistingStoreEntry()
    {
        FakeServer &server = this->server();
        serveArticle(server, 22, 5);
        server.on("POST", "/api/like", okLike(true));
        ArticleCountsStore::shared().set(5, 7, 22);
        ArticleDetailScreen screen;
        loaded(screen, server, 22);
        QSignalSpy changed(&ArticleCountsStore::shared(), &ArticleCountsStore::changed);
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(ArticleCountsStore::shared().lookup(22), (ArticleCountsStore::Counts{6, 7}));
        QCoro::waitFor(screen.toggleLike());
        QCOMPARE(ArticleCountsStore::shared().lookup(22), (ArticleCountsStore::Counts{5, 7}));
    }

    void twoQuickLikesReturnToStart()
    {
        FakeServer &server = this->server();
        serveArticle(server, 23, 5);
        server.on("POST", "/api/like", okLike(true, 150));
        ArticleDetailScreen screen;
        loaded(screen, server, 23);
        screen.like();
        screen.like();  // before the first answer
        QTRY_COMPARE_WITH_TIMEOUT(server.count("/api/like"), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server.inFlight() == 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isLiked(), 5000);
        QTest::qWait(50);
        QCOMPARE(screen.likes(), 5);
    }

    void blankCommentIsNotSent()
    {
        FakeServer &server = this->server();
        serveArticle(server, 31);
        ArticleDetailScreen screen;
        loaded(screen, server, 31);
        QVERIFY(!screen.canSend());
        screen.setNewComment(" \n\t　\r\n ");
        QVERIFY(!screen.canSend());
        QCoro::waitFor(screen.postComment());
        QCOMPARE(server.count("/api/comment"), 0);
        QVERIFY(!screen.isPosting());
        QVERIFY(!screen.hasPostError());
        QCOMPARE(screen.newComment(), QStringLiteral(" \n\t　\r\n "));
    }

    void guestPostSendsTrimmedTextAndReloads()
    {
        FakeServer &server = this->server();
        serveArticle(server, 32, 5, 1);
        ArticleCountsStore::shared().set(9, 1, 32);
        server.on("POST", "/api/comment", FakeServer::Response::json(QJsonObject{{"id", 501}, {"ok", true}}));
        auto auth = makeAuth();
        auth->logout();
        ArticleDetailScreen screen;
        screen.setAuth(auth.get());
        loaded(screen, server, 32);
        QVERIFY(screen.showGuestField());

        server.on("GET", "/api/comments",
                  FakeServer::Response::json(QJsonArray{commentJson(100, 0), commentJson(501, 0, "小明")}));
        screen.setNewComment("  你好\n");
        screen.setGuestName("小明");
        QVERIFY(screen.canSend());
        QSignalSpy posting(&screen, &ArticleDetailScreen::isPostingChanged);
        QCoro::waitFor(screen.postComment());
        QCOMPARE(posting.count(), 2);

        const auto sent = server.requestsTo("/api/comment");
        QCOMPARE(sent.size(), 1);
        QVERIFY(!sent.first().hasHeader("Authorization"));
        QCOMPARE(sent.first().jsonBody(), (QJsonObject{{"article_id", 32}, {"content", "你好"}, {"name", "小明"}}));
        QVERIFY(screen.newComment().isEmpty());
        QVERIFY(screen.guestName().isEmpty());
        QCOMPARE(screen.commentHeading(), QStringLiteral("评论 2"));
        QCOMPARE(screen.commentsCount(), 1);  // the stats row stays as loaded
        QCOMPARE(ArticleCountsStore::shared().lookup(32), (ArticleCountsStore::Counts{9, 2}));

        // Empty nickname: the name is left out entirely.
        screen.setNewComment("再来");
        QCoro::waitFor(screen.postComment());
        QCOMPARE(server.requestsTo("/api/comment").last().jsonBody(),
                 (QJsonObject{{"article_id", 32}, {"content", "再来"}}));
    }

    void signedInNameWinsOverTypedGuestName()
    {
        FakeServer &server = this->server();
        serveArticle(server, 33);
        server.on("POST", "/api/comment", FakeServer::Response::json(QJsonObject{{"id", 1}, {"ok", true}}));
        auto auth = makeAuth();
        auth->logout();
        ArticleDetailScreen screen;
        screen.setAuth(auth.get());
        loaded(screen, server, 33);
        screen.setGuestName("游客甲");
        QSignalSpy guestField(&screen, &ArticleDetailScreen::showGuestFieldChanged);
        auth->login("tok", Author{3, "作者本人", "user", std::nullopt});
        QVERIFY(!screen.showGuestField());
        QCOMPARE(guestField.count(), 1);
        screen.setNewComment("评论");
        QCoro::waitFor(screen.postComment());
        const auto sent = server.requestsTo("/api/comment").last();
        QCOMPARE(sent.jsonBody().value("name").toString(), QStringLiteral("作者本人"));
        QVERIFY(!sent.hasHeader("Authorization"));
        auth->logout();
    }

    void returnWhilePostingSendsOnce()
    {
        FakeServer &server = this->server();
        serveArticle(server, 34);
        auto slow = FakeServer::Response::json(QJsonObject{{"id", 1}, {"ok", true}});
        slow.delayMs = 300;
        server.on("POST", "/api/comment", slow);
        ArticleDetailScreen screen;
        loaded(screen, server, 34);
        screen.setNewComment("一次");
        screen.send();
        QVERIFY(screen.isPosting());
        QVERIFY(!screen.canSend());
        screen.send();
        screen.send();
        QTRY_VERIFY_WITH_TIMEOUT(!screen.isPosting(), 10000);
        QCOMPARE(server.count("/api/comment"), 1);
    }

    void postFailures()
    {
        FakeServer &server = this->server();
        serveArticle(server, 35);
        ArticleDetailScreen screen;
        loaded(screen, server, 35);

        // The posting itself fails: fields kept, the bare server message shown.
        server.on("POST", "/api/comment", serverError("内容包含敏感词", 400));
        screen.setNewComment("坏评论");
        screen.setGuestName("某人");
        QCoro::waitFor(screen.postComment());
        QCOMPARE(screen.postError(), QStringLiteral("内容包含敏感词"));
        QCOMPARE(screen.newComment(), QStringLiteral("坏评论"));
        QCOMPARE(screen.guestName(), QStringLiteral("某人"));
        QVERIFY(!screen.isPosting());

        // Posted, but the reload fails: fields already emptied, reload error shown.
        server.on("POST", "/api/comment", FakeServer::Response::json(QJsonObject{{"id", 2}, {"ok", true}}));
        server.on("GET", "/api/comments", serverError("评论列表暂不可用"));
        QCoro::waitFor(screen.postComment());
        QCOMPARE(screen.postError(), QStringLiteral("评论列表暂不可用"));
        QVERIFY(screen.newComment().isEmpty());
        QVERIFY(screen.guestName().isEmpty());
        QVERIFY(!screen.isPosting());
        QCOMPARE(screen.comments()->count(), 1);

        // A new attempt clears the old error as it starts.
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(100, 0)}));
        screen.setNewComment("好评论");
        QCoro::waitFor(screen.postComment());
        QVERIFY(!screen.hasPostError());
    }

    void commentRowsKeepStateAcrossReloads()
    {
        FakeServer &server = this->server();
        server.on("GET", "/api/article/41", FakeServer::Response::json(articleJson(41, 0, 2)));
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(1, 0), commentJson(2, 4)}));
        server.on("POST", "/api/like", okLike(true));
        auto auth = makeAuth();
        auth->login("tk", Author{5, "u", "user", std::nullopt});
        ArticleDetailScreen screen;
        screen.setAuth(auth.get());
        loaded(screen, server, 41);
        CommentListModel *rows = screen.comments();
        QCOMPARE(rows->data(rows->index(0), CommentListModel::TimeRole).toString(), QStringLiteral("2026-01-02"));

        QCoro::waitFor(rows->likeComment(1));
        const auto likeRequest = server.requestsTo("/api/like").last();
        QCOMPARE(likeRequest.jsonBody(), (QJsonObject{{"article_id", 41}, {"comment_id", 1}}));
        QCOMPARE(likeRequest.header("Authorization"), QByteArray("Bearer tk"));
        QVERIFY(rows->rows().at(0).isLiked);
        QCOMPARE(rows->rows().at(0).likeCount, 1);

        // Reload: comment 1 now reports 7 likes, a new comment arrives first, 2 is gone.
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(3, 0), commentJson(1, 7)}));
        QCoro::waitFor(screen.loadContent());
        QCOMPARE(rows->count(), 2);
        QCOMPARE(rows->rowOf(3), 0);
        QCOMPARE(rows->rowOf(2), -1);
        const int kept = rows->rowOf(1);
        QCOMPARE(kept, 1);
        QVERIFY(rows->rows().at(kept).isLiked);
        QCOMPARE(rows->data(rows->index(kept), CommentListModel::LikeCountRole).toLongLong(), 7);
        QVERIFY(!rows->rows().at(0).isLiked);

        // Same order, only the likes moved: the row changes in place.
        server.on("GET", "/api/comments", FakeServer::Response::json(QJsonArray{commentJson(3, 0), commentJson(1, 8)}));
        QSignalSpy resets(rows, &QAbstractItemModel::modelReset);
        QSignalSpy changes(rows, &QAbstractItemModel::dataChanged);
        QCoro::waitFor(screen.loadContent());
        QCOMPARE(resets.count(), 0);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(rows->rows().at(1).likeCount, 8);
        QVERIFY(rows->rows().at(1).isLiked);

        // Unlike: the count moves from its current value.
        QCoro::waitFor(rows->likeComment(1));
        QCOMPARE(rows->rows().at(1).likeCount, 7);
        QVERIFY(!rows->rows().at(1).isLiked);

        // False and failure change nothing; failure writes its console line.
        server.on("POST", "/api/like", okLike(false));
        QCoro::waitFor(rows->likeComment(3));
        QCOMPARE(rows->rows().at(0).likeCount, 0);
        server.on("POST", "/api/like", serverError("评论已删除", 404));
        {
            ConsoleCapture out;
            QCoro::waitFor(rows->likeComment(3));
            QCOMPARE(out.text(), QStringLiteral("评论点赞失败：评论已删除\n"));
        }
        QVERIFY(!rows->rows().at(0).isLiked);
        QCOMPARE(rows->rows().at(0).likeCount, 0);
        auth->logout();
    }

    void shortTimeTexts()
    {
        CommentRowState shortTime(Comment{1, "a", "b", 0, "昨天", std::nullopt});
        QCOMPARE(shortTime.shortTime(), QStringLiteral("昨天"));
        CommentRowState full(Comment{1, "a", "b", 0, "2026-03-04 05:06:07", std::nullopt});
        QCOMPARE(full.shortTime(), QStringLiteral("2026-03-04"));
    }

    // A comment by an account carries its role beside the name; a guest's
    // none, whatever name it took; gaining a user changes the row.
    void memberMarks()
    {
        const auto by = [](std::optional<QString> role) {
            return Comment{1, "demo", "b", 0, "t", role ? std::optional(Author{3, "demo", *role, std::nullopt}) : std::nullopt};
        };
        QCOMPARE(CommentRowState::memberMark(by(std::nullopt)), QString());
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral("作者"))), QStringLiteral("作者"));
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral(" "))), QStringLiteral("注册用户"));
        QCOMPARE(CommentRowState::memberMark(by(QStringLiteral("编辑\n管理员"))), QStringLiteral("编辑 管理员"));
        CommentRowState row(by(std::nullopt));
        QVERIFY(row.adopt(by(QStringLiteral("作者"))));
    }
};

QTEST_GUILESS_MAIN(ArticleDetailTest)
#include "tst_articledetail.moc"

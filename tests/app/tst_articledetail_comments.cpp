// Posting a comment from the article screen (what is sent, as whom, once,
// and what stays after a failure), and a comment row's own texts.
#include "ArticleDetailFixtures.h"

using namespace papelo;
using namespace detailfix;

class ArticleDetailCommentsTest : public ServedTest {
    Q_OBJECT

    // Article `id` loaded by a guest; a post is answered as comment `postedId`.
    std::unique_ptr<Reader> guest(qint64 id, qint64 postedId)
    {
        serve(server(), id);
        server().on("POST", "/api/comment", posted(postedId));
        auto reader = std::make_unique<Reader>();
        load(reader->screen, server(), id);
        return reader;
    }

private slots:
    // Blank text is never sent; Return pressed while posting sends nothing more.
    void sendsTextOnlyAndOnlyOnce()
    {
        serve(server(), 31);
        server().on("POST", "/api/comment", posted(1, 300));
        ArticleDetailScreen screen;
        load(screen, server(), 31);
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
    }

    void guestPostSendsTrimmedTextAndReloads()
    {
        ArticleCountsStore::shared().set(9, 1, 32);
        const auto reader = guest(32, 501);
        ArticleDetailScreen &screen = reader->screen;
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
    }

    void signedInNameWinsOverTypedGuestName()
    {
        const auto reader = guest(33, 1);
        reader->screen.setGuestName("游客甲");
        QSignalSpy guestField(&reader->screen, &ArticleDetailScreen::showGuestFieldChanged);
        reader->signIn("tok", "作者本人");
        QVERIFY(!reader->screen.showGuestField() && guestField.count() == 1);
        reader->screen.setNewComment("评论");
        QCoro::waitFor(reader->screen.postComment());
        const auto sent = server().requestsTo("/api/comment").last();
        QCOMPARE(sent.jsonBody().value("name").toString(), QStringLiteral("作者本人"));
        QVERIFY(!sent.hasHeader("Authorization"));
    }

    void postFailures()
    {
        serve(server(), 35);
        ArticleDetailScreen screen;
        load(screen, server(), 35);

        // The posting itself fails: fields kept, the bare server message shown.
        server().on("POST", "/api/comment", failure("内容包含敏感词", 400));
        screen.setNewComment("坏评论");
        screen.setGuestName("某人");
        QCoro::waitFor(screen.postComment());
        QCOMPARE((QStringList{screen.postError(), screen.newComment(), screen.guestName()}), (QStringList{"内容包含敏感词", "坏评论", "某人"}));
        QVERIFY(!screen.isPosting());

        // Posted, but the reload fails: fields already emptied, reload error shown.
        server().on("POST", "/api/comment", posted(2));
        server().on("GET", "/api/comments", failure("评论列表暂不可用"));
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

QTEST_GUILESS_MAIN(ArticleDetailCommentsTest)
#include "tst_articledetail_comments.moc"

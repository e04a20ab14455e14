#include "routes/Routes.h"

#include "http/JsonBody.h"

using namespace papelo;

namespace {

constexpr int maxCommentChars = 2000;
constexpr int maxNameChars = 32;
const QString guestName = QStringLiteral("游客");

// Like state is a row per (target, liker); the like count on the target is
// kept beside it in the same transaction so lists can sort by it cheaply.
bool toggle(const Database &db, const QString &likeTable, const QString &idColumn, const QString &countTable,
            qint64 id, const QString &liker)
{
    Transaction tx(db);
    const bool liked = db.scalar(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND liker = ?").arg(likeTable, idColumn),
                                 {id, liker})
                           .isValid();
    const bool ok = liked
        ? db.exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ? AND liker = ?").arg(likeTable, idColumn), {id, liker})
            && db.exec(QStringLiteral("UPDATE %1 SET like_count = max(like_count - 1, 0) WHERE id = ?").arg(countTable), {id})
        : db.exec(QStringLiteral("INSERT INTO %1 (%2, liker) VALUES (?, ?)").arg(likeTable, idColumn), {id, liker})
            && db.exec(QStringLiteral("UPDATE %1 SET like_count = like_count + 1 WHERE id = ?").arg(countTable), {id});
    return ok && tx.commit();
}

HttpReply postComment(const HttpRequest &request, Services &s)
{
    JsonBody body(request);
    const qint64 articleId = body.id("article_id");
    const QString content = body.string("content");
    const std::optional<QString> name = body.optionalString("name");
    if (!body.ok())
        return body.failure();
    const QString trimmed = content.trimmed();
    if (trimmed.isEmpty())
        return HttpReply::error(400, QStringLiteral("评论内容不能为空"));
    if (content.size() > maxCommentChars)
        return HttpReply::error(400, QStringLiteral("评论内容不能超过 %1 个字符").arg(maxCommentChars));
    if (name && name->trimmed().size() > maxNameChars)
        return HttpReply::error(400, QStringLiteral("昵称不能超过 %1 个字符").arg(maxNameChars));
    if (!s.articles.isPublished(articleId))
        return HttpReply::error(404, QStringLiteral("文章不存在"));

    // A valid bearer makes it the user's comment; the reader normally posts as a guest.
    const std::optional<qint64> userId = bearerUser(request, s);
    QString shownName = name ? name->trimmed() : QString();
    std::optional<qint64> writer;
    if (userId) {
        if (const std::optional<Author> user = s.articles.author(*userId)) {
            shownName = user->username;
            writer = userId;
        }
    }
    if (shownName.isEmpty())
        shownName = guestName;
    // Guests are limited per client, signed-in readers per account.
    const bool guest = !writer;
    const ClientKeys poster = guest ? clientKeys(request.remote) : ClientKeys{{QStringLiteral("u:%1").arg(*writer), 1}};
    Throttles &t = s.throttles;
    RateLimit &limit = guest ? t.guestComments : t.accountComments;
    if (const qint64 wait = t.enabled ? limit.retryAfterMs(poster, t.nowMs()) : 0)
        return retryLater(429, QStringLiteral("评论过于频繁，请 %1 秒后再试"), wait);

    qint64 id = 0;
    const ArticleStore::Posting posted = s.articles.addComment(articleId, writer, shownName, content, nowText(), &id);
    s.cache.contentChanged();
    switch (posted) {
    case ArticleStore::Posting::Full:
        return HttpReply::error(403, QStringLiteral("这篇文章的评论已满，不能再发表评论"));
    case ArticleStore::Posting::Failed:
        return HttpReply::error(500, QStringLiteral("评论保存失败"));
    case ArticleStore::Posting::Stored:
        break;
    }
    if (t.enabled)
        limit.record(poster, t.nowMs());
    CommentPostResponse response;
    response.id = id;
    response.ok = true;
    return HttpReply::json(response.toJson());
}

HttpReply like(const HttpRequest &request, Services &s)
{
    JsonBody body(request);
    const qint64 articleId = body.id("article_id");
    const std::optional<qint64> commentId = body.optionalId("comment_id");
    if (!body.ok())
        return body.failure();

    // A bearer that is sent must be valid: silently liking anonymously
    // instead would report success for the wrong reader.
    QString liker;
    if (!request.header("Authorization").isEmpty()) {
        const std::optional<qint64> userId = bearerUser(request, s);
        if (!userId)
            return HttpReply::error(401, QStringLiteral("登录已失效，请重新登录"));
        liker = QStringLiteral("u:%1").arg(*userId);
    } else {
        liker = QStringLiteral("a:") + clientKey(request.remote);  // one like per client, not per address
    }

    if (!s.articles.isPublished(articleId))
        return HttpReply::error(404, QStringLiteral("文章不存在"));
    bool ok = false;
    if (commentId) {
        if (s.articles.articleOfComment(*commentId) != articleId)
            return HttpReply::error(404, QStringLiteral("评论不存在"));
        ok = toggle(s.db, QStringLiteral("comment_likes"), QStringLiteral("comment_id"), QStringLiteral("comments"),
                    *commentId, liker);
    } else {
        ok = toggle(s.db, QStringLiteral("article_likes"), QStringLiteral("article_id"), QStringLiteral("articles"),
                    articleId, liker);
    }
    s.cache.contentChanged();
    if (!ok)
        return HttpReply::error(500, QStringLiteral("点赞保存失败"));
    QJsonObject result;
    result.insert(QStringLiteral("ok"), true);
    return HttpReply::json(result);
}

} // namespace

void addInteractionRoutes(Router &router, Services &s)
{
    router.add("POST", QStringLiteral("/api/comment"), [&s](const HttpRequest &r, const QStringList &) {
        return postComment(r, s);
    });
    router.add("POST", QStringLiteral("/api/like"), [&s](const HttpRequest &r, const QStringList &) {
        return like(r, s);
    });
}

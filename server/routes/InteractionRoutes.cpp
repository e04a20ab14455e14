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
    QVariant userColumn;
    if (userId) {
        const std::optional<Author> user = s.articles.author(*userId);
        if (user) {
            shownName = user->username;
            userColumn = *userId;
        }
    }
    if (shownName.isEmpty())
        shownName = guestName;
    // Guests are limited per address; signed-in readers answer for their comments.
    const bool guest = !userColumn.isValid();
    const QString client = clientKey(request.remote);
    Throttles &t = s.throttles;
    if (const qint64 wait = guest && t.enabled ? t.anonymousComments.retryAfterMs(client, Throttles::nowMs()) : 0)
        return retryLater(429, QStringLiteral("评论过于频繁，请 %1 秒后再试"), wait);

    Transaction tx(s.db);
    QSqlQuery insert = s.db.prepare(QStringLiteral(
        "INSERT INTO comments (article_id, user_id, name, content, time) VALUES (?, ?, ?, ?, ?)"));
    insert.addBindValue(articleId);
    insert.addBindValue(userColumn.isValid() ? userColumn : QVariant(QMetaType::fromType<qint64>()));
    insert.addBindValue(shownName);
    insert.addBindValue(content);
    insert.addBindValue(nowText());
    const bool inserted = insert.exec();
    const qint64 id = insert.lastInsertId().toLongLong();
    if (!inserted
        || !s.db.exec(QStringLiteral("UPDATE articles SET comment_count = comment_count + 1 WHERE id = ?"), {articleId})
        || !tx.commit())
        return HttpReply::error(500, QStringLiteral("评论保存失败"));
    if (guest && t.enabled)
        t.anonymousComments.record(client, Throttles::nowMs());
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
        liker = QStringLiteral("a:") + request.remote.toString();
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

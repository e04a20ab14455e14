#include "routes/Routes.h"

#include "http/JsonBody.h"

#include <QCoreApplication>
#include <QSqlError>

using namespace papelo;

namespace {

constexpr int maxBioChars = 200;
const QString userRole = QStringLiteral("普通用户");

HttpReply signedIn(Services &s, qint64 userId, int status)
{
    const std::optional<Author> user = s.articles.author(userId);
    const QString token = s.auth.issueToken(userId);
    if (!user || token.isEmpty())
        return HttpReply::error(500, QStringLiteral("登录状态保存失败"));
    LoginResponse response;
    response.token = token;
    response.user = *user;
    return HttpReply::json(response.toJson(), status);
}

HttpReply storeUser(Services &s, const QString &username, const QString &email, const Auth::Hashed &hashed)
{
    Transaction tx(s.db);
    QSqlQuery insert = s.db.prepare(QStringLiteral(
        "INSERT INTO users (username, email, role, salt, password_hash, iterations, created_at)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(username);
    insert.addBindValue(email);
    insert.addBindValue(userRole);
    insert.addBindValue(hashed.salt);
    insert.addBindValue(hashed.hash);
    insert.addBindValue(hashed.iterations);
    insert.addBindValue(nowText());
    if (!insert.exec()) {
        // The UNIQUE constraint settles a race between two registrations of one name.
        if (insert.lastError().nativeErrorCode() == QLatin1String("2067"))
            return HttpReply::error(409, QStringLiteral("用户名已被占用"));
        return HttpReply::error(500, QStringLiteral("注册失败，请稍后再试"));
    }
    const qint64 userId = insert.lastInsertId().toLongLong();
    // Account and first token are stored together or not at all.
    HttpReply reply = signedIn(s, userId, 200);
    s.cache.contentChanged();  // a new author page
    if (reply.status != 200 || !tx.commit())
        return HttpReply::error(500, QStringLiteral("注册失败，请稍后再试"));
    return reply;
}

HttpReply busy() { return HttpReply::error(503, QStringLiteral("服务器繁忙，请稍后再试")); }

HttpAnswer registerUser(const HttpRequest &request, Services &s)
{
    // Every attempt counts, a taken or malformed name too: otherwise the
    // answers would tell names apart without limit.
    Throttles &t = s.throttles;
    if (t.enabled) {
        const ClientKeys client = clientKeys(request.remote);
        const qint64 now = t.nowMs();
        if (const qint64 wait = t.registrations.retryAfterMs(client, now))
            return retryLater(429, QStringLiteral("注册过于频繁，请 %1 秒后再试"), wait);
        t.registrations.record(client, now);
    }
    JsonBody body(request);
    const QString username = body.string("username");
    const QString email = body.string("email");
    const QString password = body.string("password");
    if (!body.ok())
        return body.failure();
    for (const QString &problem : {Auth::checkUsername(username), Auth::checkEmail(email), Auth::checkPassword(password)}) {
        if (!problem.isEmpty())
            return HttpReply::error(400, problem);
    }
    if (s.db.scalar(QStringLiteral("SELECT 1 FROM users WHERE username = ?"), {username}).isValid())
        return HttpReply::error(409, QStringLiteral("用户名已被占用"));
    if (!s.auth.canHash())
        return busy();
    return s.auth.hashLater(password).then(QCoreApplication::instance(), [&s, username, email](const Auth::Hashed &hashed) {
        return storeUser(s, username, email, hashed);
    });
}

HttpAnswer login(const HttpRequest &request, Services &s)
{
    JsonBody body(request);
    const QString username = body.string("username");
    const QString password = body.string("password");
    if (!body.ok())
        return body.failure();
    Throttles &t = s.throttles;
    const ClientKeys client = clientKeys(request.remote);
    if (t.enabled) {
        if (const qint64 wait = t.signIns.retryAfterMs(client, username, t.nowMs()))
            return retryLater(429, QStringLiteral("登录失败次数过多，请 %1 秒后再试"), wait);
    }
    if (!s.auth.canHash())
        return busy();
    QSqlQuery q = s.db.prepare(QStringLiteral("SELECT id, salt, password_hash, iterations FROM users WHERE username = ?"));
    q.addBindValue(username);
    const bool found = q.exec() && q.next();
    const qint64 userId = found ? q.value(0).toLongLong() : 0;
    if (t.enabled)
        t.signIns.begin(client, username, t.nowMs());
    // Unknown user and wrong password answer alike and take as long, so names cannot be probed.
    return s.auth
        .verifyLater(password, found ? q.value(1).toByteArray() : QByteArray(), found ? q.value(2).toByteArray() : QByteArray(),
                     found ? q.value(3).toInt() : 0)
        .then(QCoreApplication::instance(), [&s, userId, client, username](const Auth::Check &check) {
            Throttles &t = s.throttles;
            if (t.enabled)
                t.signIns.end(client, username, check.ok, t.nowMs());
            if (!check.ok)
                return HttpReply::error(401, QStringLiteral("用户名或密码错误"));
            // A hash from before the current count is replaced now that the password is at hand.
            if (const std::optional<Auth::Hashed> &h = check.upgraded)
                s.db.exec(QStringLiteral("UPDATE users SET salt = ?, password_hash = ?, iterations = ? WHERE id = ?"),
                          {h->salt, h->hash, h->iterations, userId});
            return signedIn(s, userId, 200);
        });
}

HttpReply me(const HttpRequest &request, Services &s)
{
    const std::optional<qint64> userId = bearerUser(request, s);
    const std::optional<Author> user = userId ? s.articles.author(*userId) : std::nullopt;
    if (!user)
        return HttpReply::error(401, QStringLiteral("请先登录"));
    MeResponse response;
    response.user = *user;
    response.stats = s.articles.userStats(*userId);
    response.articles = s.articles.articlesBy(*userId, false, request.origin());
    return HttpReply::json(response.toJson());
}

// Revokes the bearer's token; the reader forgets it whatever the answer.
HttpReply logout(const HttpRequest &request, Services &s)
{
    const QByteArray header = request.header("Authorization");
    if (!header.startsWith("Bearer ") || !s.auth.revokeToken(header.mid(7).trimmed()))
        return HttpReply::error(401, QStringLiteral("登录已失效，请重新登录"));
    return HttpReply::json(QJsonObject{{QStringLiteral("ok"), true}});
}

HttpReply updateBio(const HttpRequest &request, Services &s)
{
    const std::optional<qint64> userId = bearerUser(request, s);
    if (!userId)
        return HttpReply::error(401, QStringLiteral("请先登录"));
    JsonBody body(request);
    const QString bio = body.string("bio");
    if (!body.ok())
        return body.failure();
    if (bio.size() > maxBioChars)
        return HttpReply::error(400, QStringLiteral("签名不能超过 %1 个字符").arg(maxBioChars));
    const bool saved = s.db.exec(QStringLiteral("UPDATE users SET bio = ? WHERE id = ?"), {bio, *userId});
    s.cache.contentChanged();  // the signature shows on the author's page and comments
    if (!saved)
        return HttpReply::error(500, QStringLiteral("签名保存失败"));
    BioResponse response;
    response.ok = true;
    response.bio = bio;
    return HttpReply::json(response.toJson());
}

} // namespace

void addAccountRoutes(Router &router, Services &s)
{
    router.add("POST", QStringLiteral("/api/register"), [&s](const HttpRequest &r, const QStringList &) {
        return registerUser(r, s);
    });
    router.add("POST", QStringLiteral("/api/login"), [&s](const HttpRequest &r, const QStringList &) {
        return login(r, s);
    });
    router.add("POST", QStringLiteral("/api/logout"), [&s](const HttpRequest &r, const QStringList &) {
        return logout(r, s);
    });
    router.add("GET", QStringLiteral("/api/me"), [&s](const HttpRequest &r, const QStringList &) { return me(r, s); });
    router.add("POST", QStringLiteral("/api/me/bio"), [&s](const HttpRequest &r, const QStringList &) {
        return updateBio(r, s);
    });
}

#include "routes/Routes.h"

#include <QDateTime>

using namespace papelo;

namespace {

constexpr qint64 maxPageLimit = 100;
// Without page or limit the whole list is answered (the home grid asks that
// way), but never more than this many entries.
constexpr qint64 maxUnpagedItems = 1000;
constexpr qint64 maxSectionLimit = 50;

std::optional<qint64> pathId(const QString &text)
{
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return id;
}

HttpReply articleList(const HttpRequest &request, Services &s)
{
    const bool paged = request.query.hasQueryItem(QStringLiteral("page")) || request.query.hasQueryItem(QStringLiteral("limit"));
    const std::optional<qint64> page = queryNumber(request, QStringLiteral("page"), 1, 1, 1000000);
    if (!page)
        return HttpReply::error(400, QStringLiteral("page 参数必须是 1 到 1000000 之间的整数"));
    const std::optional<qint64> limit = queryNumber(request, QStringLiteral("limit"), 20, 1, qint64(1) << 40);
    if (!limit)
        return HttpReply::error(400, QStringLiteral("limit 参数必须是正整数"));

    ArticleStore::Filter filter;
    filter.limit = paged ? qMin(*limit, maxPageLimit) : maxUnpagedItems;
    filter.offset = paged ? (*page - 1) * filter.limit : 0;
    const QString tag = queryText(request, QStringLiteral("tag"));
    if (!tag.isEmpty()) {
        const std::optional<qint64> tagId = pathId(tag);
        if (!tagId)
            return HttpReply::error(400, QStringLiteral("tag 参数必须是标签编号"));
        filter.tagId = tagId;
    }
    filter.q = queryText(request, QStringLiteral("q"));
    if (filter.q.size() > 200)
        return HttpReply::error(400, QStringLiteral("搜索内容过长"));
    return HttpReply::json(s.articles.page(filter, request.origin()).toJson());
}

HttpReply sectionReply(const HttpRequest &request, Services &s, ArticleStore::Section section, const QString &name)
{
    const std::optional<qint64> limit = queryNumber(request, QStringLiteral("limit"), 6, 1, qint64(1) << 40);
    if (!limit)
        return HttpReply::error(400, QStringLiteral("limit 参数必须是正整数"));
    SectionResponse response;
    response.section = name;
    response.items = s.articles.section(section, qMin(*limit, maxSectionLimit), request.origin());
    response.count = response.items.size();
    return HttpReply::json(response.toJson());
}

} // namespace

std::optional<qint64> queryNumber(const HttpRequest &request, const QString &key, qint64 fallback, qint64 min,
                                  qint64 max)
{
    if (!request.query.hasQueryItem(key))
        return fallback;
    bool ok = false;
    const qint64 value = queryText(request, key).toLongLong(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

QString queryText(const HttpRequest &request, const QString &key)
{
    return request.query.queryItemValue(key, QUrl::FullyDecoded);
}

QString nowText() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

std::optional<qint64> bearerUser(const HttpRequest &request, Services &services)
{
    const QByteArray header = request.header("Authorization");
    if (!header.startsWith("Bearer "))
        return std::nullopt;
    return services.auth.userForToken(header.mid(7).trimmed());
}

void addReadingRoutes(Router &router, Services &s)
{
    router.add("GET", QStringLiteral("/api/stats"), [&s](const HttpRequest &, const QStringList &) {
        return HttpReply::json(s.articles.stats().toJson());
    });
    router.add("GET", QStringLiteral("/api/tags"), [&s](const HttpRequest &, const QStringList &) {
        QJsonArray a;
        for (const Tag &t : s.articles.tags())
            a.append(t.toJson());
        return HttpReply::json(a);
    });
    router.add("GET", QStringLiteral("/api/articles"), [&s](const HttpRequest &r, const QStringList &) {
        return articleList(r, s);
    });
    router.add("GET", QStringLiteral("/api/articles/hot"), [&s](const HttpRequest &r, const QStringList &) {
        return sectionReply(r, s, ArticleStore::Section::Hot, QStringLiteral("hot"));
    });
    router.add("GET", QStringLiteral("/api/articles/latest"), [&s](const HttpRequest &r, const QStringList &) {
        return sectionReply(r, s, ArticleStore::Section::Latest, QStringLiteral("latest"));
    });
    router.add("GET", QStringLiteral("/api/articles/random"), [&s](const HttpRequest &r, const QStringList &) {
        return sectionReply(r, s, ArticleStore::Section::Random, QStringLiteral("random"));
    });
    router.add("GET", QStringLiteral("/api/article/([^/]+)"), [&s](const HttpRequest &r, const QStringList &c) {
        const std::optional<qint64> id = pathId(c.at(0));
        if (!id)
            return HttpReply::error(400, QStringLiteral("文章编号无效"));
        const std::optional<ArticleDetail> detail = s.articles.openDetail(*id, r.origin());
        if (!detail)
            return HttpReply::error(404, QStringLiteral("文章不存在"));
        return HttpReply::json(detail->toJson());
    });
    router.add("GET", QStringLiteral("/api/comments"), [&s](const HttpRequest &r, const QStringList &) {
        const std::optional<qint64> id = pathId(queryText(r, QStringLiteral("article_id")));
        if (!id)
            return HttpReply::error(400, QStringLiteral("缺少有效的 article_id 参数"));
        if (!s.articles.isPublished(*id))
            return HttpReply::error(404, QStringLiteral("文章不存在"));
        QJsonArray a;
        for (const Comment &c : s.articles.comments(*id))
            a.append(c.toJson());
        return HttpReply::json(a);
    });
    router.add("GET", QStringLiteral("/api/author/([^/]+)"), [&s](const HttpRequest &r, const QStringList &c) {
        const std::optional<qint64> id = pathId(c.at(0));
        if (!id)
            return HttpReply::error(400, QStringLiteral("作者编号无效"));
        const std::optional<Author> author = s.articles.author(*id);
        if (!author)
            return HttpReply::error(404, QStringLiteral("作者不存在"));
        AuthorDetailResponse response;
        response.author = *author;
        response.articles = s.articles.articlesBy(*id, true, r.origin());
        response.stats.total_articles = response.articles.size();
        return HttpReply::json(response.toJson());
    });
}

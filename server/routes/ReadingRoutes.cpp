#include "routes/Routes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>

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
    const QString key = QStringLiteral("articles|%1|%2|%3|%4|")
                            .arg(filter.tagId.value_or(0)).arg(filter.limit).arg(filter.offset).arg(request.origin())
        + filter.q;
    return cached(s, key, AnswerCache::Follows::ContentAndViews,
                  [&] { return HttpReply::json(s.articles.page(filter, request.origin()).toJson()); });
}

HttpReply sectionReply(const HttpRequest &request, Services &s, ArticleStore::Section section, const QString &name)
{
    const std::optional<qint64> limit = queryNumber(request, QStringLiteral("limit"), 6, 1, qint64(1) << 40);
    if (!limit)
        return HttpReply::error(400, QStringLiteral("limit 参数必须是正整数"));
    const auto build = [&] {
        SectionResponse response;
        response.section = name;
        response.items = s.articles.section(section, qMin(*limit, maxSectionLimit), request.origin());
        response.count = response.items.size();
        return HttpReply::json(response.toJson());
    };
    if (section == ArticleStore::Section::Random)
        return build();
    return cached(s, QStringLiteral("%1|%2|%3").arg(name).arg(qMin(*limit, maxSectionLimit)).arg(request.origin()),
                  AnswerCache::Follows::ContentAndViews, build);
}

// Counts the view, then answers from the article's cached text with the new
// count put in: "views" sorts last in the object, so it closes it.
HttpReply articleDetail(const HttpRequest &request, Services &s, qint64 id)
{
    const std::optional<qint64> views = s.articles.countView(id);
    if (!views)
        return HttpReply::error(404, QStringLiteral("文章不存在"));
    s.cache.viewed();
    const QString key = QStringLiteral("article|%1|%2").arg(id).arg(request.origin());
    std::optional<QByteArray> head = s.cache.find(key);
    if (!head) {
        const AnswerCache::Stamp stamp = s.cache.stamp();
        std::optional<ArticleDetail> detail = s.articles.detail(id, request.origin());
        if (!detail)
            return HttpReply::error(404, QStringLiteral("文章不存在"));
        detail->views = 0;
        QByteArray text = QJsonDocument(detail->toJson()).toJson(QJsonDocument::Compact);
        if (!text.endsWith(R"("views":0})")) {
            detail->views = *views;
            return HttpReply::json(detail->toJson());
        }
        text.chop(2);
        s.cache.insert(key, text, AnswerCache::Follows::Content, stamp);
        head = text;
    }
    HttpReply reply;
    reply.body = *head + QByteArray::number(*views) + '}';
    return reply;
}

HttpAnswer comments(const HttpRequest &request, Services &s)
{
    const std::optional<qint64> id = pathId(queryText(request, QStringLiteral("article_id")));
    if (!id)
        return HttpReply::error(400, QStringLiteral("缺少有效的 article_id 参数"));
    if (!s.articles.isPublished(*id))
        return HttpReply::error(404, QStringLiteral("文章不存在"));
    const QString key = QStringLiteral("comments|%1").arg(*id);
    if (const std::optional<QByteArray> body = s.cache.find(key))
        return jsonBytes(*body);
    const AnswerCache::Stamp stamp = s.cache.stamp();
    return s.commentAnswers.answer(*id, stamp.content).then(QCoreApplication::instance(), [&s, key, stamp](const QByteArray &body) {
        if (body.isEmpty())
            return HttpReply::error(500, QStringLiteral("评论读取失败"));
        s.cache.insert(key, body, AnswerCache::Follows::Content, stamp);
        return jsonBytes(body);
    });
}

} // namespace

HttpReply jsonBytes(const QByteArray &body)
{
    HttpReply reply;
    reply.body = body;
    return reply;
}

HttpReply cached(Services &s, const QString &key, AnswerCache::Follows follows, const std::function<HttpReply()> &build)
{
    if (const std::optional<QByteArray> body = s.cache.find(key))
        return jsonBytes(*body);
    const AnswerCache::Stamp stamp = s.cache.stamp();
    HttpReply reply = build();
    if (reply.status == 200)
        s.cache.insert(key, reply.body, follows, stamp);
    return reply;
}

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
        return cached(s, QStringLiteral("stats"), AnswerCache::Follows::Content,
                      [&s] { return HttpReply::json(s.articles.stats().toJson()); });
    });
    router.add("GET", QStringLiteral("/api/tags"), [&s](const HttpRequest &, const QStringList &) {
        return cached(s, QStringLiteral("tags"), AnswerCache::Follows::Content, [&s] {
            QJsonArray a;
            for (const Tag &t : s.articles.tags())
                a.append(t.toJson());
            return HttpReply::json(a);
        });
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
        return articleDetail(r, s, *id);
    });
    router.add("GET", QStringLiteral("/api/comments"), [&s](const HttpRequest &r, const QStringList &) {
        return comments(r, s);
    });
    router.add("GET", QStringLiteral("/api/author/([^/]+)"), [&s](const HttpRequest &r, const QStringList &c) {
        const std::optional<qint64> id = pathId(c.at(0));
        if (!id)
            return HttpReply::error(400, QStringLiteral("作者编号无效"));
        return cached(s, QStringLiteral("author|%1|%2").arg(*id).arg(r.origin()), AnswerCache::Follows::ContentAndViews, [&] {
            const std::optional<Author> author = s.articles.author(*id);
            if (!author)
                return HttpReply::error(404, QStringLiteral("作者不存在"));
            AuthorDetailResponse response;
            response.author = *author;
            response.articles = s.articles.articlesBy(*id, true, r.origin());
            response.stats.total_articles = response.articles.size();
            return HttpReply::json(response.toJson());
        });
    });
}

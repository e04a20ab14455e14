#include "core/Envelopes.h"

#include "core/JsonReader.h"

namespace papelo {

using json::ObjectReader;

namespace {
} // namespace

ArticlesResponse ArticlesResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    ArticlesResponse e;
    e.total = r.requiredInt("total");
    e.items = r.requiredList<Article>("items");
    return e;
}
QJsonObject ArticlesResponse::toJson() const { return {{"total", total}, {"items", toJsonArray(items)}}; }

StatsResponse StatsResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    StatsResponse e;
    e.totalArticles = r.requiredInt("totalArticles");
    e.dbArticles = r.requiredInt("dbArticles");
    e.apiVersion = r.optionalString("apiVersion");
    return e;
}
QJsonObject StatsResponse::toJson() const
{
    QJsonObject o{{"totalArticles", totalArticles}, {"dbArticles", dbArticles}};
    if (apiVersion)
        o.insert(QLatin1String("apiVersion"), *apiVersion);
    return o;
}

LoginResponse LoginResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    LoginResponse e;
    e.token = r.requiredString("token");
    e.user = r.required<Author>("user");
    return e;
}
QJsonObject LoginResponse::toJson() const { return {{"token", token}, {"user", user.toJson()}}; }

SectionResponse SectionResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    SectionResponse e;
    e.section = r.requiredString("section");
    e.count = r.requiredInt("count");
    e.items = r.requiredList<Article>("items");
    return e;
}
QJsonObject SectionResponse::toJson() const
{
    return {{"section", section}, {"count", count}, {"items", toJsonArray(items)}};
}

CommentPostResponse CommentPostResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    CommentPostResponse e;
    e.id = r.requiredInt("id");
    e.ok = r.requiredBool("ok");
    return e;
}
QJsonObject CommentPostResponse::toJson() const { return {{"id", id}, {"ok", ok}}; }

BioResponse BioResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    BioResponse e;
    e.ok = r.requiredBool("ok");
    e.bio = r.requiredString("bio");
    return e;
}
QJsonObject BioResponse::toJson() const { return {{"ok", ok}, {"bio", bio}}; }

UserStats UserStats::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    UserStats e;
    e.total = r.requiredInt("total");
    e.published = r.requiredInt("published");
    e.pending = r.requiredInt("pending");
    return e;
}
QJsonObject UserStats::toJson() const { return {{"total", total}, {"published", published}, {"pending", pending}}; }

MeResponse MeResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    MeResponse e;
    e.user = r.required<Author>("user");
    e.stats = r.required<UserStats>("stats");
    e.articles = r.requiredList<Article>("articles");
    return e;
}
QJsonObject MeResponse::toJson() const
{
    return {{"user", user.toJson()}, {"stats", stats.toJson()}, {"articles", toJsonArray(articles)}};
}

AuthorStats AuthorStats::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    AuthorStats e;
    e.total_articles = r.requiredInt("total_articles");
    return e;
}
QJsonObject AuthorStats::toJson() const { return {{"total_articles", total_articles}}; }

AuthorDetailResponse AuthorDetailResponse::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    AuthorDetailResponse e;
    e.author = r.required<Author>("author");
    e.stats = r.required<AuthorStats>("stats");
    e.articles = r.requiredList<Article>("articles");
    return e;
}
QJsonObject AuthorDetailResponse::toJson() const
{
    return {{"author", author.toJson()}, {"stats", stats.toJson()}, {"articles", toJsonArray(articles)}};
}

APIError APIError::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    return APIError{r.requiredString("error")};
}
QJsonObject APIError::toJson() const { return {{"error", error}}; }

TagList TagList::fromJson(const QJsonValue &value, const QString &path)
{
    return TagList{ObjectReader::listFromJson<Tag>(value, path)};
}

CommentList CommentList::fromJson(const QJsonValue &value, const QString &path)
{
    return CommentList{ObjectReader::listFromJson<Comment>(value, path)};
}

LikeResult LikeResult::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    LikeResult e;
    const QJsonObject &o = r.object();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        e.values.insert(key, json::boolValue(it.value(), path.isEmpty() ? key : path + QLatin1Char('.') + key));
    }
    return e;
}

template <typename T> Result<T> decodeJson(const QByteArray &bytes)
{
    try {
        return T::fromJson(json::parse(bytes), QString());
    } catch (const json::DecodeFailure &failure) {
        return RequestError::decoding(failure.description);
    }
}

template Result<ArticlesResponse> decodeJson(const QByteArray &);
template Result<StatsResponse> decodeJson(const QByteArray &);
template Result<LoginResponse> decodeJson(const QByteArray &);
template Result<SectionResponse> decodeJson(const QByteArray &);
template Result<CommentPostResponse> decodeJson(const QByteArray &);
template Result<BioResponse> decodeJson(const QByteArray &);
template Result<MeResponse> decodeJson(const QByteArray &);
template Result<AuthorDetailResponse> decodeJson(const QByteArray &);
template Result<APIError> decodeJson(const QByteArray &);
template Result<TagList> decodeJson(const QByteArray &);
template Result<CommentList> decodeJson(const QByteArray &);
template Result<LikeResult> decodeJson(const QByteArray &);
template Result<ArticleDetail> decodeJson(const QByteArray &);
template Result<Article> decodeJson(const QByteArray &);
template Result<Author> decodeJson(const QByteArray &);
template Result<Comment> decodeJson(const QByteArray &);
template Result<Tag> decodeJson(const QByteArray &);

} // namespace papelo

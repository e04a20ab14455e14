#include "core/Records.h"

#include "core/JsonReader.h"

namespace papelo {

using json::ObjectReader;

namespace {
void putOptional(QJsonObject &o, const char *key, const std::optional<QString> &v)
{
    if (v)
        o.insert(QLatin1String(key), *v);
}
void putOptional(QJsonObject &o, const char *key, const std::optional<qint64> &v)
{
    if (v)
        o.insert(QLatin1String(key), *v);
}
} // namespace

Author Author::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    Author a;
    a.id = r.requiredInt("id");
    a.username = r.requiredString("username");
    a.role = r.requiredString("role");
    a.bio = r.optionalString("bio");
    return a;
}

QJsonObject Author::toJson() const
{
    QJsonObject o{{"id", id}, {"username", username}, {"role", role}};
    putOptional(o, "bio", bio);
    return o;
}

Tag Tag::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    Tag t;
    t.id = r.requiredInt("id");
    t.name = r.requiredString("name");
    return t;
}

QJsonObject Tag::toJson() const { return QJsonObject{{"id", id}, {"name", name}}; }

Article Article::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    Article a;
    a.id = r.requiredInt("id");
    a.title = r.requiredString("title");
    a.filename = r.optionalString("filename");
    a.date = r.requiredString("date");
    a.views = r.requiredInt("views");
    a.author = r.optionalString("author");
    a.author_id = r.optionalInt("author_id");
    a.url = r.requiredString("url");
    a.thumb = r.optionalString("thumb");
    a.cover = r.optionalString("cover");
    a.likes = r.optionalInt("likes");
    a.comments = r.optionalInt("comments");
    return a;
}

QJsonObject Article::toJson() const
{
    QJsonObject o{{"id", id}, {"title", title}, {"date", date}, {"views", views}, {"url", url}};
    putOptional(o, "filename", filename);
    putOptional(o, "author", author);
    putOptional(o, "author_id", author_id);
    putOptional(o, "thumb", thumb);
    putOptional(o, "cover", cover);
    putOptional(o, "likes", likes);
    putOptional(o, "comments", comments);
    return o;
}

ArticleDetail ArticleDetail::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    ArticleDetail d;
    d.id = r.requiredInt("id");
    d.title = r.requiredString("title");
    d.filename = r.requiredString("filename");
    d.views = r.requiredInt("views");
    d.likes = r.requiredInt("likes");
    d.comments = r.requiredInt("comments");
    d.date = r.requiredString("date");
    d.cover = r.optionalString("cover");
    d.body = r.requiredString("body");
    d.author = r.required<Author>("author");
    d.tags = r.optionalList<Tag>("tags");
    return d;
}

QJsonObject ArticleDetail::toJson() const
{
    QJsonObject o{{"id", id},       {"title", title}, {"filename", filename}, {"views", views},
                  {"likes", likes}, {"comments", comments}, {"date", date},   {"body", body},
                  {"author", author.toJson()}};
    putOptional(o, "cover", cover);
    if (tags)
        o.insert(QLatin1String("tags"), toJsonArray(*tags));
    return o;
}

Comment Comment::fromJson(const QJsonValue &value, const QString &path)
{
    const ObjectReader r(value, path);
    Comment c;
    c.id = r.requiredInt("id");
    c.name = r.requiredString("name");
    c.content = r.requiredString("content");
    c.likes = r.requiredInt("likes");
    c.time = r.requiredString("time");
    c.user = r.optional<Author>("user");
    return c;
}

QJsonObject Comment::toJson() const
{
    QJsonObject o{{"id", id}, {"name", name}, {"content", content}, {"likes", likes}, {"time", time}};
    if (user)
        o.insert(QLatin1String("user"), user->toJson());
    return o;
}

} // namespace papelo

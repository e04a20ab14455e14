#include "routes/Routes.h"

#include <QCoreApplication>

namespace {

HttpReply imageReply(const QByteArray &ifNoneMatch, const ImageFactory::Image &image)
{
    if (image.bytes.isEmpty())
        return HttpReply::error(500, QStringLiteral("图片生成失败"));
    HttpReply reply;
    reply.headers.append(qMakePair(QByteArray("ETag"), image.etag));
    reply.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("public, max-age=86400")));
    reply.contentType = image.contentType;
    if (ifNoneMatch == image.etag)
        reply.status = 304;
    else
        reply.body = image.bytes;
    return reply;
}

// The stored picture, or one drawn off the event loop now.
HttpAnswer picture(const HttpRequest &request, Services &s, ImageFactory::Kind kind, const QString &name, quint32 seed,
                   const QString &caption)
{
    const QByteArray ifNoneMatch = request.header("If-None-Match");
    if (const std::optional<ImageFactory::Image> image = s.images.stored(kind, name))
        return imageReply(ifNoneMatch, *image);
    return s.images.draw(kind, name, seed, caption).then(QCoreApplication::instance(), [ifNoneMatch](const ImageFactory::Image &image) {
        return imageReply(ifNoneMatch, image);
    });
}

std::optional<QString> titleOf(Services &s, const QString &idText)
{
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    // Pictures of unpublished articles are as unknown as the articles themselves.
    const QVariant title = s.db.scalar(QStringLiteral("SELECT title FROM articles WHERE id = ? AND status = 'published'"), {id});
    if (!title.isValid())
        return std::nullopt;
    return title.toString();
}

HttpAnswer articleImage(const HttpRequest &request, Services &s, ImageFactory::Kind kind, const QStringList &captures)
{
    const std::optional<QString> title = titleOf(s, captures.at(0));
    if (!title)
        return HttpReply::error(404, QStringLiteral("图片不存在"));
    const QString prefix = kind == ImageFactory::Kind::Cover ? QStringLiteral("cover-") : QStringLiteral("thumb-");
    return picture(request, s, kind, prefix + captures.at(0) + QStringLiteral(".jpg"), captures.at(0).toUInt(), *title);
}

} // namespace

// One spelling per picture (no leading zeros), so each is drawn and stored once.
void addImageRoutes(Router &router, Services &s)
{
    router.add("GET", QStringLiteral("/images/thumb/([1-9]\\d{0,17})\\.jpg"), [&s](const HttpRequest &r, const QStringList &c) {
        return articleImage(r, s, ImageFactory::Kind::Thumb, c);
    });
    router.add("GET", QStringLiteral("/images/cover/([1-9]\\d{0,17})\\.jpg"), [&s](const HttpRequest &r, const QStringList &c) {
        return articleImage(r, s, ImageFactory::Kind::Cover, c);
    });
    router.add("GET", QStringLiteral("/images/body/([1-9]\\d{0,17})-([1-9])\\.png"), [&s](const HttpRequest &r, const QStringList &c) {
        if (!titleOf(s, c.at(0)))
            return HttpAnswer(HttpReply::error(404, QStringLiteral("图片不存在")));
        return picture(r, s, ImageFactory::Kind::Body, QStringLiteral("body-%1-%2.png").arg(c.at(0), c.at(1)),
                       c.at(0).toUInt() * 7 + c.at(1).toUInt(), QStringLiteral("插图 %1").arg(c.at(1)));
    });
}

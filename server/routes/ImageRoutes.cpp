#include "routes/Routes.h"

namespace {

HttpReply imageReply(const HttpRequest &request, const ImageFactory::Image &image)
{
    if (image.bytes.isEmpty())
        return HttpReply::error(500, QStringLiteral("图片生成失败"));
    HttpReply reply;
    reply.headers.append(qMakePair(QByteArray("ETag"), image.etag));
    reply.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("public, max-age=86400")));
    if (request.header("If-None-Match") == image.etag) {
        reply.status = 304;
        reply.contentType = image.contentType;
        return reply;
    }
    reply.contentType = image.contentType;
    reply.body = image.bytes;
    return reply;
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

HttpReply articleImage(const HttpRequest &request, Services &s, ImageFactory::Kind kind, const QStringList &captures)
{
    const std::optional<QString> title = titleOf(s, captures.at(0));
    if (!title)
        return HttpReply::error(404, QStringLiteral("图片不存在"));
    const QString prefix = kind == ImageFactory::Kind::Cover ? QStringLiteral("cover-") : QStringLiteral("thumb-");
    return imageReply(request, s.images.image(kind, prefix + captures.at(0) + QStringLiteral(".jpg"),
                                              captures.at(0).toUInt(), *title));
}

} // namespace

void addImageRoutes(Router &router, Services &s)
{
    router.add("GET", QStringLiteral("/images/thumb/(\\d{1,18})\\.jpg"), [&s](const HttpRequest &r, const QStringList &c) {
        return articleImage(r, s, ImageFactory::Kind::Thumb, c);
    });
    router.add("GET", QStringLiteral("/images/cover/(\\d{1,18})\\.jpg"), [&s](const HttpRequest &r, const QStringList &c) {
        return articleImage(r, s, ImageFactory::Kind::Cover, c);
    });
    router.add("GET", QStringLiteral("/images/body/(\\d{1,18})-([1-9])\\.png"), [&s](const HttpRequest &r, const QStringList &c) {
        if (!titleOf(s, c.at(0)))
            return HttpReply::error(404, QStringLiteral("图片不存在"));
        const QString name = QStringLiteral("body-%1-%2.png").arg(c.at(0), c.at(1));
        return imageReply(r, s.images.image(ImageFactory::Kind::Body, name, c.at(0).toUInt() * 7 + c.at(1).toUInt(),
                                            QStringLiteral("插图 %1").arg(c.at(1))));
    });
}

#include "core/ImageUrl.h"

#include "core/ServerConfig.h"

namespace papelo {

std::optional<QUrl> fullImageURL(const std::optional<QString> &path, const QString &baseUrl)
{
    if (!path || path->isEmpty())
        return std::nullopt;
    QString full;
    if (path->startsWith(QLatin1String("http")))
        full = *path;
    else if (path->startsWith(QLatin1Char('/')))
        full = baseUrl + *path;
    else
        full = baseUrl + QLatin1Char('/') + *path;

    const QUrl parsed(full, QUrl::StrictMode);
    if (parsed.isValid())
        return parsed;

    // RFC 3986 query characters stay; every other byte (a "%" too) is escaped.
    const QByteArray encoded = QUrl::toPercentEncoding(full, QByteArrayLiteral("!$&'()*+,;=:@/?"));
    const QUrl retried(QString::fromLatin1(encoded), QUrl::StrictMode);
    if (retried.isValid())
        return retried;
    return std::nullopt;
}

std::optional<QUrl> fullImageURL(const std::optional<QString> &path)
{
    return fullImageURL(path, ServerConfig::baseUrl());
}

} // namespace papelo

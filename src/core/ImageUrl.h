#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace papelo {

// Turns a thumb/cover text into a loadable absolute URL: absolute "http…"
// texts as they are, everything else joined to the base URL; a text the URL
// parser rejects is percent-encoded once and parsed again.
std::optional<QUrl> fullImageURL(const std::optional<QString> &path, const QString &baseUrl);
std::optional<QUrl> fullImageURL(const std::optional<QString> &path); // configured base URL

} // namespace papelo

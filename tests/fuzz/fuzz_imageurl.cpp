// fullImageURL over a base URL (first line, normalised as the command line
// does) and a thumb/cover text (the rest). Whatever comes back is a valid
// URL, and a text that is not an absolute "http…" URL never leaves the
// server it was joined to.
#include "core/ImageUrl.h"
#include "core/ServerConfig.h"

#include <cstdio>
#include <cstdlib>

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    const QString base = ServerConfig::normalizeBaseUrl(input.left(newline))
                             .value_or(QStringLiteral("http://127.0.0.1:4000"));
    const QString path = newline < 0 ? input : input.mid(newline + 1);

    const std::optional<QUrl> url = fullImageURL(path, base);
    if (!url)
        return 0;
    const QUrl server(base);
    const bool joined = !path.startsWith(QLatin1String("http"));
    if (!url->isValid() || (joined && (url->scheme() != server.scheme() || url->host() != server.host()
                                       || url->port() != server.port()))) {
        std::fprintf(stderr, "base %s, text %s gave %s\n", qPrintable(base), qPrintable(path),
                     qPrintable(url->toString()));
        std::abort();
    }
    return 0;
}

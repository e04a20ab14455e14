// fullImageURL over a base URL (first line, normalised as the command line
// does) and a thumb/cover text (the rest). Whatever comes back is a valid
// URL, and a text that is not an absolute "http…" URL never leaves the
// server it was joined to.
#include "FuzzInput.h"
#include "core/ImageUrl.h"
#include "core/ServerConfig.h"

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [firstLine, path, hasNewline] = fuzz::splitAtFirstLine(data, size);
    const QString base = ServerConfig::normalizeBaseUrl(firstLine).value_or(QStringLiteral("http://127.0.0.1:4000"));

    const std::optional<QUrl> url = fullImageURL(path, base);
    if (!url)
        return 0;
    const QUrl server(base);
    const bool joined = !path.startsWith(QLatin1String("http"));
    if (!url->isValid() || (joined && (url->scheme() != server.scheme() || url->host() != server.host()
                                       || url->port() != server.port())))
        fuzz::violated(QStringLiteral("base %1, text %2 gave %3").arg(base, path, url->toString()));
    return 0;
}

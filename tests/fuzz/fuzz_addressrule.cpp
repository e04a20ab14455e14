// The address rule over any text: the first line is the configured server,
// the rest a host or an address. Whatever comes in, a decision comes out, and
// it agrees with itself: the server's own origin is never refused, and a
// host the rule calls private (kept as written by QUrl) is refused elsewhere.
#include "core/AddressRule.h"

#include <cstdio>
#include <cstdlib>

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    const QString server = newline < 0 ? QStringLiteral("http://127.0.0.1:4000") : input.left(newline);
    const QString text = input.mid(newline + 1);
    QUrl url(QStringLiteral("http://x/p.png"));
    url.setHost(text);
    const bool refused = refusesPrivateTarget(url, server);
    const bool sameOrigin = !originOf(url).isEmpty() && originOf(url) == originOf(QUrl(server));
    if ((refused && sameOrigin) || (url.host() == text.toLower() && isPrivateHost(text) && !sameOrigin && !refused)) {
        std::fprintf(stderr, "server %s, host %s: refused %d\n", qPrintable(server), qPrintable(text), refused);
        std::abort();
    }
    (void)refusesPrivateTarget(QUrl(text), server);
    return 0;
}

// The address rule over any text: the first line is the configured server,
// the rest a host or an address. Whatever comes in, a decision comes out,
// and it agrees with itself: a host the rule calls private is refused as a
// picture address unless it is the server's own origin, and the server's
// own origin is never refused.
#include "core/AddressRule.h"

#include <cstdio>
#include <cstdlib>

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    const QString server = newline < 0 ? QStringLiteral("http://127.0.0.1:4000") : input.left(newline);
    const QString text = newline < 0 ? input : input.mid(newline + 1);

    const bool hostIsPrivate = isPrivateHost(text);
    (void)parseIPv4(text);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(text);
    url.setPath(QStringLiteral("/p.png"));
    const bool refused = refusesPrivateTarget(url, server);
    const bool sameOrigin = !originOf(url).isEmpty() && originOf(url) == originOf(QUrl(server));
    // QUrl may refuse or normalise the host; only a host it kept as written is compared.
    const bool kept = url.isValid() && url.host() == text.toLower();
    if ((refused && sameOrigin) || (kept && hostIsPrivate && !sameOrigin && !refused)) {
        std::fprintf(stderr, "server %s, host %s: private %d, refused %d, same origin %d\n", qPrintable(server),
                     qPrintable(text), hostIsPrivate, refused, sameOrigin);
        std::abort();
    }
    const QUrl any(text);
    (void)refusesPrivateTarget(any, server);
    return 0;
}

// The address rule over any text: the first line is the configured server,
// the rest a host or an address. Whatever comes in, a decision comes out, and
// it agrees with itself: the server's own origin is never refused, and a
// host the rule calls private (kept as written by QUrl) is refused elsewhere.
#include "FuzzInput.h"
#include "core/AddressRule.h"

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [firstLine, text, hasNewline] = fuzz::splitAtFirstLine(data, size);
    const QString server = hasNewline ? firstLine : QStringLiteral("http://127.0.0.1:4000");
    QUrl url(QStringLiteral("http://x/p.png"));
    url.setHost(text);
    const bool refused = refusesPrivateTarget(url, server);
    const bool sameOrigin = !originOf(url).isEmpty() && originOf(url) == originOf(QUrl(server));
    if ((refused && sameOrigin) || (url.host() == text.toLower() && isPrivateHost(text) && !sameOrigin && !refused))
        fuzz::violated(QStringLiteral("server %1, host %2: refused %3").arg(server, text).arg(refused));
    (void)refusesPrivateTarget(QUrl(text), server);
    return 0;
}

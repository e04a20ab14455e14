// styledHTML over a web origin (first line, used only when it is a valid
// host name, as the command line requires) and a body (the rest): the head
// and tail stay fixed whatever the body holds, and a body without "http://"
// is placed exactly as given.
#include "FuzzInput.h"
#include "core/ServerConfig.h"
#include "core/StyledHtml.h"

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto [origin, body, hasNewline] = fuzz::splitAtFirstLine(data, size);
    if (!ServerConfig::isValidWebOrigin(origin))
        origin = QStringLiteral("papelo.example");

    static const QString tail = QStringLiteral("\n</body>\n</html>");
    const QString empty = styledHTML(QString(), origin);
    const QString head = empty.chopped(tail.size());
    const QString doc = styledHTML(body, origin);
    const bool framed = empty.endsWith(tail) && doc.startsWith(head) && doc.endsWith(tail)
        && head.count(QLatin1String("<base ")) == 1 && head.contains(QLatin1String("https://") + origin + u'/');
    const QString placed = doc.mid(head.size(), doc.size() - head.size() - tail.size());
    if (!framed || (!body.contains(QLatin1String("http://")) && placed != body)
        || doc != styledHTML(body, origin))
        fuzz::violated(QStringLiteral("origin %1: document not framed as expected").arg(origin));
    return 0;
}

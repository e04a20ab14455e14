#include "core/Console.h"

#include <cstdio>

namespace papelo {

namespace {
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u'\t' || u == u'\n')
        return false;
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}
} // namespace

void consoleLine(const QString &prefix, const QString &description)
{
    QString text = prefix + description;
    text.removeIf(isControl);
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace papelo

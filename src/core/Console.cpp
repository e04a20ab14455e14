#include "core/Console.h"

#include <cstdio>

namespace papelo {

void consoleLine(const QString &prefix, const QString &description)
{
    const QByteArray line = (prefix + description).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace papelo

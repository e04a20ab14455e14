#include "core/Console.h"

#include <cstdio>

namespace papelo {

namespace {
bool isLineBreak(char16_t u) { return u == u'\n' || u == u'\r' || u == 0x0B || u == 0x0C || u == 0x85 || u == 0x2028 || u == 0x2029; }

// Marks that reorder what follows: a server text could make the terminal
// show its line in another order than it was written.
bool isBidiControl(char16_t u) { return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069); }

bool isDropped(char16_t u)
{
    if (u == u'\t')
        return false;
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || isBidiControl(u);
}
} // namespace

void consoleLine(const QString &prefix, const QString &description)
{
    const QString raw = prefix + description;
    QString text;
    text.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char16_t u = raw.at(i).unicode();
        if (isLineBreak(u)) {
            // One line per message: a line break (CR LF counted once) reads as a space.
            if (!(u == u'\r' && i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('\n')))
                text += QLatin1Char(' ');
        } else if (!isDropped(u)) {
            text += QChar(u);
        }
    }
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace papelo

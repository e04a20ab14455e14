#pragma once

// What the libFuzzer targets share: the input read as a setting on its first
// line and a text after it, and the stop on a broken invariant, which makes
// libFuzzer keep the input as a crash reproducer.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace fuzz {

// The first line, the rest, and whether there was a newline; without one,
// both parts are the whole input.
inline std::tuple<QString, QString, bool> splitAtFirstLine(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    return {input.left(newline), input.mid(newline + 1), newline >= 0};
}

[[noreturn]] inline void violated(const QString &what)
{
    std::fprintf(stderr, "invariant violated: %s\n", qPrintable(what));
    std::abort();
}

} // namespace fuzz

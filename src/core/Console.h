#pragma once

#include <QString>

namespace papelo {

// The reader's only diagnostics: one line on standard output, e.g.
// "标签加载失败：" + description. No other logging exists. The description
// often carries server text, so control characters (C0 but tab and newline,
// DEL, C1) are dropped: an escape sequence must not reach the terminal.
void consoleLine(const QString &prefix, const QString &description);

} // namespace papelo

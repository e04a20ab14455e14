#pragma once

#include <QString>

namespace papelo {

// The reader's only diagnostics: one line on standard output, e.g.
// "标签加载失败：" + description. No other logging exists. The description
// often carries server text: control characters (C0 but tab, DEL, C1) and
// bidirectional controls are dropped, so no escape sequence reaches the
// terminal and nothing reorders the line; line breaks read as spaces, so a
// message stays one line.
void consoleLine(const QString &prefix, const QString &description);

} // namespace papelo

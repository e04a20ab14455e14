#pragma once

#include <QString>

namespace papelo {

// The reader's only diagnostics: one line on standard output, e.g.
// "标签加载失败：" + description. No other logging exists.
void consoleLine(const QString &prefix, const QString &description);

} // namespace papelo

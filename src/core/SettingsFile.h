#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace papelo {

// The user-defaults store: QSettings in the standard location (honours
// XDG_CONFIG_HOME), or an explicit file for tests. Written files are
// readable by their owner only, because they may hold the sign-in token.
std::unique_ptr<QSettings> openSettings(const QString &explicitPath);
// Writes pending changes; a write that fails (read-only file or folder, a
// path through a regular file, a full disk) is told on the console once per
// call and reported as false, so callers keep their in-memory state.
bool syncPrivately(QSettings &settings);

} // namespace papelo

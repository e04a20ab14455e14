#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace papelo {

// The user-defaults store: QSettings in the standard location (honours
// XDG_CONFIG_HOME), or an explicit file for tests. Written files are
// readable by their owner only, because they hold the sign-in token.
std::unique_ptr<QSettings> openSettings(const QString &explicitPath);
void syncPrivately(QSettings &settings);

} // namespace papelo

#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace papelo {

enum class ThemeMode { System, Light, Dark };
enum class ColorScheme { Light, Dark };

QList<ThemeMode> allThemeModes();             // system, light, dark
QString rawValue(ThemeMode mode);             // "system" / "light" / "dark"
QString label(ThemeMode mode);                // "跟随系统" / "浅色" / "深色"
QString icon(ThemeMode mode);                 // system icon name of the mode
std::optional<ThemeMode> themeModeFromRaw(const QString &raw);  // exact, case-sensitive
std::optional<ColorScheme> colorScheme(ThemeMode mode);         // none follows the system

} // namespace papelo

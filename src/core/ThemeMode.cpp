#include "core/ThemeMode.h"

namespace papelo {

QList<ThemeMode> allThemeModes() { return {ThemeMode::System, ThemeMode::Light, ThemeMode::Dark}; }

QString rawValue(ThemeMode mode)
{
    switch (mode) {
    case ThemeMode::System: return QStringLiteral("system");
    case ThemeMode::Light: return QStringLiteral("light");
    case ThemeMode::Dark: return QStringLiteral("dark");
    }
    return {};
}

QString label(ThemeMode mode)
{
    switch (mode) {
    case ThemeMode::System: return QStringLiteral("跟随系统");
    case ThemeMode::Light: return QStringLiteral("浅色");
    case ThemeMode::Dark: return QStringLiteral("深色");
    }
    return {};
}

QString icon(ThemeMode mode)
{
    switch (mode) {
    case ThemeMode::System: return QStringLiteral("circle.lefthalf.filled");
    case ThemeMode::Light: return QStringLiteral("sun.max.fill");
    case ThemeMode::Dark: return QStringLiteral("moon.fill");
    }
    return {};
}

std::optional<ThemeMode> themeModeFromRaw(const QString &raw)
{
    for (ThemeMode mode : allThemeModes()) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return std::nullopt;
}

std::optional<ColorScheme> colorScheme(ThemeMode mode)
{
    switch (mode) {
    case ThemeMode::System: return std::nullopt;
    case ThemeMode::Light: return ColorScheme::Light;
    case ThemeMode::Dark: return ColorScheme::Dark;
    }
    return std::nullopt;
}

} // namespace papelo

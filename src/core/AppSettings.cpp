#include "core/AppSettings.h"

#include "core/ServerConfig.h"
#include "core/SettingsFile.h"

namespace papelo {

namespace {
const QString kThemeKey = QStringLiteral("themeModeRaw");
const QString kServerKey = QStringLiteral("serverURL");
}

AppSettings::AppSettings(QString settingsPath, QObject *parent) : QObject(parent), m_settingsPath(std::move(settingsPath))
{
}

QString AppSettings::themeModeRaw() const
{
    if (m_written)
        return *m_written;
    return openSettings(m_settingsPath)->value(kThemeKey, QStringLiteral("system")).toString();
}

void AppSettings::setThemeModeRaw(const QString &raw)
{
    m_written = raw;
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kThemeKey, raw);
    syncPrivately(*settings);
    emit changed();
}

ThemeMode AppSettings::themeMode() const { return themeModeFromRaw(themeModeRaw()).value_or(ThemeMode::System); }

void AppSettings::setThemeMode(ThemeMode mode) { setThemeModeRaw(rawValue(mode)); }

std::optional<ColorScheme> AppSettings::colorScheme() const { return papelo::colorScheme(themeMode()); }

int AppSettings::themeModeIndex() const { return int(allThemeModes().indexOf(themeMode())); }

void AppSettings::setThemeModeIndex(int index)
{
    const auto modes = allThemeModes();
    if (index >= 0 && index < modes.size())
        setThemeMode(modes.at(index));
}

std::optional<QString> AppSettings::storedServer() const
{
    const QVariant stored = openSettings(m_settingsPath)->value(kServerKey);
    if (!stored.isValid())
        return std::nullopt;
    return ServerConfig::normalizeBaseUrl(stored.toString());
}

void AppSettings::setStoredServer(const QString &baseUrl)
{
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kServerKey, baseUrl);
    syncPrivately(*settings);
}

} // namespace papelo

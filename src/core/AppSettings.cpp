#include "core/AppSettings.h"

#include "core/ServerConfig.h"
#include "core/SettingsFile.h"

#include <algorithm>

namespace papelo {

namespace {
const QString kThemeKey = QStringLiteral("themeModeRaw");
const QString kServerKey = QStringLiteral("serverURL");
const QString kTextSizeKey = QStringLiteral("textSizePercent");
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

bool AppSettings::isTextSize(int percent)
{
    return percent >= kMinTextSize && percent <= kMaxTextSize && percent % kTextSizeStep == 0;
}

int AppSettings::steppedTextSize(int percent, int steps)
{
    const int snapped = (std::clamp(percent, kMinTextSize, kMaxTextSize) + kTextSizeStep / 2) / kTextSizeStep * kTextSizeStep;
    return std::clamp(snapped + steps * kTextSizeStep, kMinTextSize, kMaxTextSize);
}

int AppSettings::textSizePercent() const
{
    if (!m_textSize) {
        bool ok = false;
        const int stored = openSettings(m_settingsPath)->value(kTextSizeKey).toString().toInt(&ok);
        m_textSize = ok && isTextSize(stored) ? stored : kDefaultTextSize;
    }
    return *m_textSize;
}

void AppSettings::setTextSizePercent(int percent)
{
    const int size = steppedTextSize(percent, 0);
    if (size == textSizePercent())
        return;
    m_textSize = size;
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kTextSizeKey, size);
    syncPrivately(*settings);
    emit textSizeChanged();
}

void AppSettings::stepTextSize(int steps)
{
    setTextSizePercent(steps == 0 ? kDefaultTextSize : steppedTextSize(textSizePercent(), steps));
}

void AppSettings::setTextSizeForRun(int percent)
{
    m_textSize = steppedTextSize(percent, 0);
    emit textSizeChanged();
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

#include "settings/SettingsScreen.h"

#include "common/AppInfo.h"
#include "images/ImageCache.h"

#include <QVariantMap>

namespace papelo {

SettingsScreen::SettingsScreen(QObject *parent) : QObject(parent) {}

SettingsScreen::~SettingsScreen() = default;

void SettingsScreen::setSettings(AppSettings *settings)
{
    if (settings == m_settings)
        return;
    if (m_settings)
        disconnect(m_settings, nullptr, this, nullptr);
    m_settings = settings;
    if (m_settings)
        connect(m_settings, &AppSettings::changed, this, &SettingsScreen::themeModeIndexChanged);
    emit settingsChanged();
    emit themeModeIndexChanged();
}

int SettingsScreen::themeModeIndex() const { return m_settings ? m_settings->themeModeIndex() : 0; }

void SettingsScreen::setThemeModeIndex(int index)
{
    if (m_settings && index != themeModeIndex())
        m_settings->setThemeModeIndex(index);
}

QString SettingsScreen::materialIcon(ThemeMode mode)
{
    switch (mode) {
    case ThemeMode::System: return QStringLiteral("brightness_medium");
    case ThemeMode::Light: return QStringLiteral("light_mode");
    case ThemeMode::Dark: return QStringLiteral("dark_mode");
    }
    return {};
}

QVariantList SettingsScreen::themeModes()
{
    QVariantList modes;
    for (ThemeMode mode : allThemeModes()) {
        QVariantMap entry;
        entry.insert(QStringLiteral("label"), label(mode));
        entry.insert(QStringLiteral("icon"), materialIcon(mode));
        entry.insert(QStringLiteral("raw"), rawValue(mode));
        modes << entry;
    }
    return modes;
}

QVariantList SettingsScreen::productRows()
{
    const auto row = [](const char *label, const char *icon, const char *value) {
        QVariantMap entry;
        entry.insert(QStringLiteral("label"), QString::fromUtf8(label));
        entry.insert(QStringLiteral("icon"), QString::fromUtf8(icon));
        entry.insert(QStringLiteral("value"), QString::fromUtf8(value));
        return QVariant(entry);
    };
    return {row("产品", "apps", appinfo::product), row("组织", "business", appinfo::organization),
            row("版本", "info_outline", appinfo::version)};
}

void SettingsScreen::clearImageCache()
{
    ImageCache *cache = m_cache ? m_cache.data() : ImageCache::shared();
    if (cache)
        cache->clear();
    setShowCacheCleared(true);
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    connect(timer.get(), &QTimer::timeout, this, &SettingsScreen::hideOldest);
    timer->start(m_hideDelayMs);
    m_pendingHides.push_back(std::move(timer));
}

void SettingsScreen::hideOldest()
{
    // Timers fire in press order; the one firing is the oldest pending.
    if (!m_pendingHides.empty()) {
        m_pendingHides.front().release()->deleteLater();
        m_pendingHides.erase(m_pendingHides.begin());
    }
    setShowCacheCleared(false);
}

void SettingsScreen::setShowCacheCleared(bool shown)
{
    if (shown == m_showCacheCleared)
        return;
    m_showCacheCleared = shown;
    emit showCacheClearedChanged();
}

} // namespace papelo

#pragma once

#include "core/AppSettings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <vector>
#include <memory>

namespace papelo {

class ImageCache;

// State of the settings tab: the appearance picker over AppSettings and the
// cache-cleared check mark. Each press of "clear" schedules its own hide
// 1.5 s later, so a second press within that time does not extend it.
// UI thread only.
class SettingsScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(papelo::AppSettings *settings READ settings WRITE setSettings NOTIFY settingsChanged)
    Q_PROPERTY(int themeModeIndex READ themeModeIndex WRITE setThemeModeIndex NOTIFY themeModeIndexChanged)
    // [{ label, icon, raw }] in the order system, light, dark; icon is a Material Icons ligature.
    Q_PROPERTY(QVariantList themeModes READ themeModes CONSTANT)
    Q_PROPERTY(bool showCacheCleared READ showCacheCleared NOTIFY showCacheClearedChanged)
    Q_PROPERTY(QVariantList productRows READ productRows CONSTANT)
public:
    explicit SettingsScreen(QObject *parent = nullptr);
    ~SettingsScreen() override;

    AppSettings *settings() const { return m_settings; }
    void setSettings(AppSettings *settings);
    int themeModeIndex() const;
    void setThemeModeIndex(int index);
    static QVariantList themeModes();
    static QVariantList productRows();
    static QString materialIcon(ThemeMode mode);

    bool showCacheCleared() const { return m_showCacheCleared; }

    // Empties the image caches and shows the check mark for hideDelay.
    Q_INVOKABLE void clearImageCache();

    // Tests: a cache other than the shared one, a shorter hide delay.
    void setCache(ImageCache *cache) { m_cache = cache; }
    void setHideDelay(int ms) { m_hideDelayMs = ms; }

signals:
    void settingsChanged();
    void themeModeIndexChanged();
    void showCacheClearedChanged();

private:
    void setShowCacheCleared(bool shown);
    void hideOldest();

    QPointer<AppSettings> m_settings;
    QPointer<ImageCache> m_cache;
    bool m_showCacheCleared = false;
    int m_hideDelayMs = 1500;
    // One single-shot timer per press, oldest first.
    std::vector<std::unique_ptr<QTimer>> m_pendingHides;
};

} // namespace papelo

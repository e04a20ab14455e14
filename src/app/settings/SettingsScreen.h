#pragma once

#include "core/AppSettings.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <vector>
#include <memory>

namespace papelo {

class APIClient;
class App;
class ImageCache;

// State of the settings tab: the appearance picker over AppSettings, the
// cache-cleared check mark and the server address. Each press of "clear"
// schedules its own hide 1.5 s later, so a second press within that time
// does not extend it. A new server address is asked for its statistics
// before anything switches to it. UI thread only.
class SettingsScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(papelo::AppSettings *settings READ settings WRITE setSettings NOTIFY settingsChanged)
    Q_PROPERTY(int themeModeIndex READ themeModeIndex WRITE setThemeModeIndex NOTIFY themeModeIndexChanged)
    // [{ label, icon, raw }] in the order system, light, dark; icon is a Material Icons ligature.
    Q_PROPERTY(QVariantList themeModes READ themeModes CONSTANT)
    Q_PROPERTY(bool showCacheCleared READ showCacheCleared NOTIFY showCacheClearedChanged)
    Q_PROPERTY(QVariantList productRows READ productRows CONSTANT)
    Q_PROPERTY(papelo::App *app READ app WRITE setApp NOTIFY serverChanged)
    Q_PROPERTY(QString serverField READ serverField WRITE setServerField NOTIFY serverChanged)
    Q_PROPERTY(bool serverFixed READ serverFixed NOTIFY serverChanged)
    Q_PROPERTY(QString serverStatus READ serverStatus NOTIFY serverChanged)
    Q_PROPERTY(bool serverStatusIsError READ serverStatusIsError NOTIFY serverChanged)
    Q_PROPERTY(bool isCheckingServer READ isCheckingServer NOTIFY serverChanged)
    Q_PROPERTY(bool canApplyServer READ canApplyServer NOTIFY serverChanged)
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

    App *app() const { return m_app; }
    void setApp(App *app);
    QString serverField() const { return m_serverField; }
    void setServerField(const QString &text);
    bool serverFixed() const;
    // A note while fixed, the outcome of the last apply otherwise.
    QString serverStatus() const;
    bool serverStatusIsError() const { return m_serverStatusIsError && !serverFixed(); }
    bool isCheckingServer() const { return m_checkingClient != nullptr; }
    bool canApplyServer() const { return !serverFixed() && !isCheckingServer() && !m_serverField.trimmed().isEmpty(); }
    // Apply button and Return in the field.
    Q_INVOKABLE void applyServer();
    QCoro::Task<> applyServerTask();

    // Tests: a cache other than the shared one, a shorter hide delay.
    void setCache(ImageCache *cache) { m_cache = cache; }
    void setHideDelay(int ms) { m_hideDelayMs = ms; }
    // The delays the pending hides were started with, the next to fire first.
    QList<int> pendingHideDelays() const;

signals:
    void settingsChanged();
    void themeModeIndexChanged();
    void showCacheClearedChanged();
    void serverChanged();

private:
    void setShowCacheCleared(bool shown);
    void hideOldest();

    void setServerStatus(const QString &text, bool isError);

    QPointer<AppSettings> m_settings;
    QPointer<App> m_app;
    QString m_serverField;
    QString m_serverStatus;
    bool m_serverStatusIsError = false;
    std::shared_ptr<APIClient> m_checkingClient;
    QPointer<ImageCache> m_cache;
    bool m_showCacheCleared = false;
    int m_hideDelayMs = 1500;
    // One single-shot timer per press, oldest first.
    std::vector<std::unique_ptr<QTimer>> m_pendingHides;
};

} // namespace papelo

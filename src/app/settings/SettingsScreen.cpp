#include "settings/SettingsScreen.h"

#include "common/App.h"
#include "common/AppInfo.h"
#include "core/APIClient.h"
#include "core/ServerConfig.h"
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

QList<int> SettingsScreen::pendingHideDelays() const
{
    QList<int> delays;
    for (const auto &timer : m_pendingHides)
        delays << timer->interval();
    return delays;
}

void SettingsScreen::setShowCacheCleared(bool shown)
{
    if (shown == m_showCacheCleared)
        return;
    m_showCacheCleared = shown;
    emit showCacheClearedChanged();
}

// ---- server -------------------------------------------------------------------

void SettingsScreen::setApp(App *app)
{
    if (app == m_app)
        return;
    if (m_app)
        disconnect(m_app, nullptr, this, nullptr);
    m_app = app;
    if (m_app) {
        m_serverField = m_app->serverUrl();
        connect(m_app, &App::serverChanged, this, &SettingsScreen::serverChanged);
    }
    emit serverChanged();
}

void SettingsScreen::setServerField(const QString &text)
{
    if (text == m_serverField)
        return;
    m_serverField = text;
    emit serverChanged();
}

bool SettingsScreen::serverFixed() const { return m_app && m_app->serverFixed(); }

QString SettingsScreen::serverStatus() const
{
    if (serverFixed())
        return QStringLiteral("本次运行的服务器由启动参数 --server 或环境变量 PAPELO_SERVER 指定，此处不能更改。");
    return m_serverStatus;
}

void SettingsScreen::setServerStatus(const QString &text, bool isError)
{
    m_serverStatus = text;
    m_serverStatusIsError = isError;
    emit serverChanged();
}

void SettingsScreen::applyServer() { applyServerTask(); }

QCoro::Task<> SettingsScreen::applyServerTask()
{
    if (!canApplyServer() || !m_app)
        co_return;
    const std::optional<QString> address = ServerConfig::normalizeBaseUrl(m_serverField);
    if (!address) {
        setServerStatus(QStringLiteral("服务器地址无效：请填写以 http:// 或 https:// 开头的完整地址，例如 http://127.0.0.1:4000"), true);
        co_return;
    }
    if (*address == ServerConfig::baseUrl()) {
        setServerStatus(QStringLiteral("已在使用此服务器"), false);
        co_return;
    }
    QPointer<SettingsScreen> guard(this);
    // Nothing switches to an address that does not answer as a Papelo server.
    const std::shared_ptr<APIClient> client = APIClient::create(*address);
    m_checkingClient = client;
    setServerStatus(QStringLiteral("正在检查服务器…"), false);
    const Result<StatsResponse> stats = co_await client->fetchStats();
    if (!guard || m_checkingClient != client)
        co_return;
    m_checkingClient.reset();
    if (!stats) {
        setServerStatus(QStringLiteral("无法使用该服务器：") + stats.error().description(), true);
        co_return;
    }
    if (!m_app) {
        emit serverChanged();
        co_return;
    }
    m_app->switchServer(*address);
    m_serverField = *address;
    setServerStatus(QStringLiteral("已切换到 ") + *address, false);
}

} // namespace papelo

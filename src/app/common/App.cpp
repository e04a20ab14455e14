#include "common/App.h"

#include "common/AccessibleItem.h"
#include "common/AppInfo.h"
#include "appearance/LayoutRules.h"
#include "core/ArticleCountsStore.h"
#include "core/ServerConfig.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <utility>

namespace papelo {

namespace {
QPointer<App> g_shared;
}

App::App(QString settingsPath, SystemAppearance *appearance, QObject *parent)
    : QObject(parent), m_auth(new AuthManager(settingsPath, this)), m_settings(new AppSettings(settingsPath, this)),
      m_readingPositions(new ReadingPositions(settingsPath, this)),
      m_commands(new AppCommands(this)), m_theme(Theme::shared()),
      m_appearance(appearance ? appearance : new SystemAppearance(this))
{
    connect(m_settings, &AppSettings::changed, this, &App::updateAppearance);
    connect(m_appearance, &SystemAppearance::isDarkChanged, this, &App::updateAppearance);
    connect(m_appearance, &SystemAppearance::reduceMotionChanged, this, &App::reduceMotionChanged);
    connect(m_commands, &AppCommands::showAbout, this, &App::openAbout);
    m_dark = isDark();
    m_theme->setDark(m_dark);
    AccessibleItem::install();
}

App::~App() = default;

App *App::shared()
{
    // Parented to the application so it goes before QCoreApplication does.
    if (!g_shared)
        g_shared = new App({}, nullptr, QCoreApplication::instance());
    return g_shared;
}

App *App::create(QQmlEngine *, QJSEngine *)
{
    App *app = shared();
    QJSEngine::setObjectOwnership(app, QJSEngine::CppOwnership);
    return app;
}

void App::setThemeOverride(std::optional<ColorScheme> scheme)
{
    m_overridden = true;
    m_override = scheme;
    updateAppearance();
}

void App::clearThemeOverride()
{
    m_overridden = false;
    m_override.reset();
    updateAppearance();
}

std::optional<ColorScheme> App::effectiveColorScheme() const
{
    if (m_overridden)
        return m_override;
    return m_settings->colorScheme();
}

bool App::isDark() const
{
    const auto scheme = effectiveColorScheme();
    if (scheme)
        return *scheme == ColorScheme::Dark;
    return m_appearance && m_appearance->isDark();
}

void App::updateAppearance()
{
    const bool dark = isDark();
    if (dark == m_dark)
        return;
    m_dark = dark;
    m_theme->setDark(dark);
    emit appearanceChanged();
}

void App::setWindowWidth(qreal width)
{
    if (qFuzzyCompare(width, m_windowWidth))
        return;
    const bool wasCompact = compact();
    m_windowWidth = width;
    emit windowWidthChanged();
    if (wasCompact != compact())
        emit compactChanged();
}

bool App::compact() const { return LayoutRules::isCompact(m_windowWidth); }

void App::setSelectedTab(int tab)
{
    if (tab < 0 || tab > 3 || tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    emit selectedTabChanged();
}

void App::setAboutVisible(bool visible)
{
    if (visible == m_aboutVisible)
        return;
    m_aboutVisible = visible;
    emit aboutVisibleChanged();
}

int App::takeStartPicture(double articleId)
{
    if (m_startArticleId == 0 || articleId != double(m_startArticleId))
        return 0;
    return std::exchange(m_startPicture, 0);
}

QString App::takeStartFind(double articleId)
{
    if (m_startArticleId == 0 || articleId != double(m_startArticleId))
        return {};
    return std::exchange(m_startFind, QString());
}

void App::setStartPages(qint64 articleId, qint64 authorId)
{
    m_startArticleId = articleId;
    m_startAuthorId = authorId;
}

QString App::aboutMessage()
{
    return QStringLiteral("%1\n%2\n版本 %3\n© 2026 %2. 保留所有权利。")
        .arg(QString::fromUtf8(appinfo::product), QString::fromUtf8(appinfo::organization),
             QString::fromUtf8(appinfo::version));
}

QString App::serverUrl() const { return ServerConfig::baseUrl(); }

void App::switchServer(const QString &baseUrl)
{
    if (m_serverFixed || baseUrl == ServerConfig::baseUrl())
        return;
    ServerConfig::setBaseUrl(baseUrl);
    m_settings->setStoredServer(baseUrl);
    ArticleCountsStore::shared().clear();
    m_auth->setServer(baseUrl);
    emit serverChanged();
}

} // namespace papelo

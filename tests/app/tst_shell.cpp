// The window's shared objects without a window: appearance resolution (the
// palette's values are constants; the screenshot test sees them drawn), layout
// rules, the stored choices reaching a restarted App, the menu commands, the
// command line, and the settings tab's state.
#include "DataTable.h"
#include "FakeServer.h"
#include "appearance/LayoutRules.h"
#include "appearance/SystemAppearance.h"
#include "appearance/Theme.h"
#include "common/App.h"
#include "core/ArticleCountsStore.h"
#include "core/ServerConfig.h"
#include "images/ImageCache.h"
#include "settings/SettingsScreen.h"
#include "shell/CommandLine.h"
#include "shell/ShellCommands.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QPalette>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
CommandLine parse(const QString &arguments, const QString &environment = {})
{
    return CommandLine::parse((QStringLiteral("papelo ") + arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts), environment);
}
// A run's options other than the server, defaults included, as the command-line table states them.
QString options(const CommandLine &line)
{
    const char *theme = !line.themeGiven ? "stored" : !line.theme ? "system" : *line.theme == ColorScheme::Dark ? "dark" : "light";
    const QSize size = line.size;
    return QStringLiteral("origin=%1 theme=%2 tab=%3 size=%4x%5 ").arg(line.webOrigin, QLatin1String(theme)).arg(line.tab).arg(size.width()).arg(size.height())
        + QStringLiteral("article=%1 author=%2 picture=%3 text=%4 ").arg(line.articleId).arg(line.authorId).arg(line.picture).arg(line.textSize)
        + QStringLiteral("find=%1 shortcuts=%2 shot=%3").arg(line.find, QLatin1String(line.shortcuts ? "yes" : "no"), line.screenshotPath);
}
} // namespace

class TestShell : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString settingsPath(const char *name) const { return m_dir.filePath(QLatin1String(name) + QStringLiteral(".ini")); }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void followsSystemChangesOnlyWhileSetToSystem()
    {
        SystemAppearance system;
        App app(settingsPath("follow"), &system);
        QVERIFY(!app.effectiveColorScheme().has_value() && !app.isDark()); // nothing known: light
        QSignalSpy recoloured(app.theme(), &Theme::changed);
        system.setDark(true);
        QVERIFY(app.isDark() && recoloured.count() == 1);
        // A fixed choice wins over the system at once, unless this run follows
        // the system (--theme system), which leaves the stored choice alone.
        app.settings()->setThemeMode(ThemeMode::Light);
        QVERIFY(!app.theme()->isDark());
        app.setThemeOverride(parse(QStringLiteral("--theme system")).theme);
        QVERIFY(app.isDark());
        app.clearThemeOverride();
        QVERIFY(!app.isDark() && AppSettings(settingsPath("follow")).themeMode() == ThemeMode::Light);
        // System changes no longer matter.
        system.setDark(false);
        system.setDark(true);
        QVERIFY(!app.theme()->isDark());
        app.settings()->setThemeMode(ThemeMode::System);
        QVERIFY(app.theme()->isDark());
        QSignalSpy motion(&app, &App::reduceMotionChanged);
        system.setReduceMotion(true);
        QVERIFY(app.reduceMotion() && motion.count() == 1);
    }

    void withoutPortalThePaletteDecides()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/papelo-test-bus"); // no session bus
        const QPalette original = QGuiApplication::palette();
        SystemAppearance system;
        App app(settingsPath("palette"), &system);
        system.start();
        QVERIFY(!app.isDark());
        QPalette dark = original;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xF0, 0xF0, 0xF0));
        QGuiApplication::setPalette(dark);
        QTRY_VERIFY(app.isDark());
        QGuiApplication::setPalette(original);
        QTRY_VERIFY(!app.isDark());
    }

    void layoutRules()
    {
        QVERIFY(LayoutRules::articleGridColumns(true) == 2 && LayoutRules::articleGridColumns(false) == 3);
        // Content at most 1100 wide and centred; columns never below the 10-pt minimum.
        QCOMPARE((QList<qreal>{LayoutRules::contentWidth(800), LayoutRules::contentWidth(1600), LayoutRules::sideInset(1600),
                               LayoutRules::sideInset(800), LayoutRules::columnWidth(1100, 3), LayoutRules::columnWidth(20, 3)}),
                 (QList<qreal>{800, 1100, 250, 0, (1100.0 - 32) / 3, 10}));
        SystemAppearance system;
        App app(settingsPath("compact"), &system);
        QSignalSpy spy(&app, &App::compactChanged); // no width known yet: regular
        for (int width : {1200, 699, 500, 700})
            app.setWindowWidth(width);
        QVERIFY(!app.compact() && spy.count() == 2); // into compact below 700 once, out once
    }

    // Persistence itself is proven in core; here, that App reads it back.
    void theChoiceAndSignInReachARestartedApp()
    {
        const QString path = settingsPath("restart");
        {
            SystemAppearance system;
            App app(path, &system);
            app.settings()->setThemeMode(ThemeMode::Dark);
            app.auth()->login(QStringLiteral("tok-123"), Author{1, QStringLiteral("林小纸"), QStringLiteral("user"), std::nullopt});
        }
        SystemAppearance system;
        App restarted(path, &system);
        QVERIFY(restarted.isDark() && !restarted.auth()->isLoggedIn()); // signed in only when the account tab asks
        restarted.auth()->loadFromStorage();
        QTRY_COMPARE(restarted.auth()->token().value_or(QString()), QStringLiteral("tok-123"));
    }

    // About shows once however often asked; refresh is the home screen's (the
    // shell neither reloads nor switches tab); the menu and the settings tab
    // both empty the shared cache. The tab's mark shows for 1.5 s from the
    // first press; a second press neither extends nor flickers it.
    void commandsAndTheCacheCheckMark()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/c.png", FakeServer::Response::raw(200, QByteArray(5000, 'p'), "image/png"));
        ServerConfig::setBaseUrl(server.baseUrl()); // pictures from the server itself
        ImageCache *cache = ImageCache::shared();
        const auto filled = [&] { return QCoro::waitFor(cache->fetch(QUrl(server.baseUrl() + QStringLiteral("/c.png")))).ok && cache->memoryCost() > 0 && cache->diskSize() > 0; };
        QVERIFY(cache->diskDirectory().startsWith(m_dir.filePath(QStringLiteral("cache"))) && filled());
        SystemAppearance system;
        App app(settingsPath("commands"), &system);
        connectShellCommands(&app);
        app.setSelectedTab(2);
        QSignalSpy refresh(app.commands(), &AppCommands::refreshArticles);
        QSignalSpy about(&app, &App::aboutVisibleChanged);
        for (const char *command : {"papeloShowAbout", "papeloShowAbout", "papeloRefreshArticles", "papeloClearImageCache"})
            QVERIFY(app.commands()->post(QLatin1String(command)));
        QVERIFY(!app.commands()->post(QStringLiteral("papeloSomethingElse")));
        QVERIFY(app.aboutVisible() && about.count() == 1 && refresh.count() == 1 && app.selectedTab() == 2);
        QVERIFY(cache->memoryCost() == 0 && cache->diskSize() == 0 && filled());

        SettingsScreen screen;
        QSignalSpy spy(&screen, &SettingsScreen::showCacheClearedChanged);
        QList<int> pendingWhenHidden{-1};
        connect(&screen, &SettingsScreen::showCacheClearedChanged, this, [&] {
            if (!screen.showCacheCleared())
                pendingWhenHidden = screen.pendingHideDelays();
        });
        screen.clearImageCache();
        QVERIFY(screen.showCacheCleared() && cache->memoryCost() == 0 && cache->diskSize() == 0);
        screen.clearImageCache();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(screen.pendingHideDelays(), (QList<int>{1500, 1500}));
        // The first press's timer hides it while the second's still runs;
        // that one then finds it hidden and changes nothing.
        QTRY_COMPARE(pendingWhenHidden, QList<int>{1500});
        QTRY_VERIFY(screen.pendingHideDelays().isEmpty());
        QCOMPARE(spy.count(), 2);
    }

    // What a run is given: its base address and every other option, or the
    // message naming what was asked for or refused.
    void commandLine_data() { data::table<QString, QString, QString, QString, QString>(QStringLiteral("app/command-line.tsv")); }
    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, shown);
        const CommandLine line = parse(arguments, environment);
        QTEST((QStringList{"run", "help", "version", "fail"}).value(int(line.action)), "action");
        if (line.action == CommandLine::Action::Run) {
            QCOMPARE(line.baseUrl, shown);
            QTEST(options(line), "options");
        } else {
            QVERIFY2(line.message.contains(shown), qPrintable(line.message));
        }
    }

    // The settings tab's state: the appearance picker over the stored choice.
    void pickerFollowsAndWritesTheStoredChoice()
    {
        AppSettings settings(settingsPath("picker"));
        SettingsScreen screen;
        screen.setSettings(&settings);
        // An offered mode, picked, is the one stored (the range is the settings' own concern).
        const QVariantList modes = SettingsScreen::themeModes();
        screen.setThemeModeIndex(1);
        QCOMPARE(settings.themeModeRaw(), modes.value(1).toMap().value(QStringLiteral("raw")).toString());
        // A change made elsewhere shows in the picker, with its signal.
        QSignalSpy spy(&screen, &SettingsScreen::themeModeIndexChanged);
        settings.setThemeMode(ThemeMode::Dark);
        QVERIFY(screen.themeModeIndex() == 2 && !spy.isEmpty());
        QCOMPARE(settings.themeModeRaw(), modes.value(2).toMap().value(QStringLiteral("raw")).toString());
    }

    // A new server address is asked for its statistics first; only an answer
    // moves every screen to it: stored, counts forgotten, the old server's
    // sign-in ended (and back when it returns). Fixed for the run, nothing applies.
    void serverSwitchChecksFirst()
    {
        FakeServer a, b;
        QVERIFY(a.listen() && b.listen(QHostAddress::LocalHostIPv6));
        for (FakeServer *server : {&a, &b})
            server->on("GET", "/api/stats", FakeServer::Response::json(QJsonObject{{"totalArticles", 1}, {"dbArticles", 1}}));
        ServerConfig::setBaseUrl(a.baseUrl());
        SystemAppearance system;
        App app(settingsPath("server"), &system);
        app.auth()->login(QStringLiteral("tok-a"), Author{1, QStringLiteral("u"), QStringLiteral("r"), std::nullopt});
        ArticleCountsStore::shared().set(1, 2, 77);
        SettingsScreen screen;
        screen.setApp(&app);
        QSignalSpy switched(&app, &App::serverChanged);
        const auto apply = [&](const QString &typed) {
            screen.setServerField(typed);
            QCoro::waitFor(screen.applyServerTask());
            return screen.serverStatus();
        };
        QVERIFY(apply(QStringLiteral("ftp://b.test")).startsWith(QStringLiteral("服务器地址无效：")));
        QCOMPARE(apply(FakeServer::deadBaseUrl()), QStringLiteral("无法使用该服务器：无法连接到服务器"));
        QVERIFY(screen.serverStatusIsError() && switched.isEmpty() && ArticleCountsStore::shared().lookup(77));
        QCOMPARE(apply(b.baseUrl() + QStringLiteral("/")), QStringLiteral("已切换到 ") + b.baseUrl());
        QVERIFY(switched.count() == 1 && ServerConfig::baseUrl() == b.baseUrl() && !app.auth()->isLoggedIn());
        QCOMPARE(AppSettings(settingsPath("server")).storedServer(), std::optional(b.baseUrl()));
        QVERIFY(!ArticleCountsStore::shared().lookup(77));
        apply(a.baseUrl());
        QCOMPARE(app.auth()->token(), std::optional<QString>(QStringLiteral("tok-a")));
        app.setServerFixed(true);
        QVERIFY(!screen.canApplyServer() && screen.serverStatus().contains(QStringLiteral("PAPELO_SERVER")));
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"

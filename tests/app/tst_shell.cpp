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
    // first press; a second press neither extends nor flickers it. Bounds are
    // wide: a busy machine may run late.
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
        QElapsedTimer sinceSecondPress;
        qint64 hiddenAfter = -1;
        connect(&screen, &SettingsScreen::showCacheClearedChanged, this, [&] {
            if (!screen.showCacheCleared())
                hiddenAfter = sinceSecondPress.elapsed();
        });
        screen.clearImageCache();
        QVERIFY(screen.showCacheCleared() && cache->memoryCost() == 0 && cache->diskSize() == 0);
        QTest::qWait(500);
        screen.clearImageCache();
        sinceSecondPress.start();
        QCOMPARE(spy.count(), 1);
        // Hidden by the first press's delay: sooner after the second press than
        // its own full delay, however late the timers run under load.
        QTRY_VERIFY_WITH_TIMEOUT(hiddenAfter >= 0, 5000);
        QVERIFY2(hiddenAfter < 1500, qPrintable(QString::number(hiddenAfter)));
        QCOMPARE(spy.count(), 2);
        // The second press's hide then finds it hidden and changes nothing.
        QTest::qWait(1200);
        QCOMPARE(spy.count(), 2);
    }

    void commandLineAcceptsEveryOption()
    {
        const CommandLine line = parse(QStringLiteral("--server http://10.0.0.2:4000/ --web-origin news.example.org --theme dark "
                                                      "--tab profile --size 900x700 --article 17 --author 3 --picture 2 --text-size 150 "
                                                      "--find 地铁 --shortcuts --screenshot /tmp/x.png"));
        QCOMPARE(line.action, CommandLine::Action::Run);
        QCOMPARE((QStringList{line.baseUrl, line.webOrigin, line.screenshotPath, line.find}),
                 (QStringList{"http://10.0.0.2:4000", "news.example.org", "/tmp/x.png", "地铁"}));
        QVERIFY(line.themeGiven && line.theme == ColorScheme::Dark && line.shortcuts);
        QCOMPARE((QList<qint64>{line.tab, line.size.width(), line.size.height(), line.articleId, line.authorId, line.picture, line.textSize}),
                 (QList<qint64>{2, 900, 700, 17, 3, 2, 150}));
        const CommandLine system = parse(QStringLiteral("--theme system")), plain = parse({});
        QVERIFY(system.themeGiven && !system.theme.has_value());
        QVERIFY(!plain.themeGiven && plain.tab == 0 && !plain.shortcuts);
    }

    // What a run is given: its base address, or the message naming what was asked for or refused.
    void commandLine_data() { data::table<QString, QString, QString, QString>(QStringLiteral("app/command-line.tsv")); }
    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, action);
        QFETCH(QString, shown);
        const CommandLine line = parse(arguments, environment);
        QCOMPARE((QStringList{"run", "help", "version", "fail"}).value(int(line.action)), action);
        if (line.action == CommandLine::Action::Run)
            QCOMPARE(line.baseUrl, shown);
        else
            QVERIFY2(line.message.contains(shown), qPrintable(line.message));
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

// The window's shared objects without a window: palette and appearance
// resolution, layout rules, the stored choices reaching a restarted App, the
// menu commands, and the command line.
#include "FakeServer.h"
#include "appearance/LayoutRules.h"
#include "appearance/SystemAppearance.h"
#include "appearance/Theme.h"
#include "common/App.h"
#include "images/ImageCache.h"
#include "shell/CommandLine.h"
#include "shell/ShellCommands.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QPalette>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

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

    void paletteColours()
    {
        QCOMPARE(Theme::hex(0x120F7B6C), QColor(0x0F, 0x7B, 0x6C)); // bits above 23 ignored, opaque
        Theme theme(nullptr);
        QSignalSpy changed(&theme, &Theme::changed);
        const QColor light = theme.surface();
        theme.setDark(true);
        theme.setDark(true);
        QVERIFY(changed.count() == 1 && theme.surface() != light);
        QCOMPARE(theme.systemGray(5), Theme::systemGray(5, true));
        // Levels outside 2..6 read as 6; light goes from 2 darkest to 6 lightest; dark differs.
        for (int level : {-3, 0, 1, 7})
            QCOMPARE(Theme::systemGray(level, true), Theme::systemGray(6, true));
        for (int level = 2; level < 6; ++level) {
            QVERIFY(Theme::systemGray(level, false).lightness() < Theme::systemGray(level + 1, false).lightness());
            QVERIFY(Theme::systemGray(level, false) != Theme::systemGray(level, true));
        }
    }

    void followsSystemChangesOnlyWhileSetToSystem()
    {
        SystemAppearance system;
        App app(settingsPath("follow"), &system);
        QVERIFY(!app.effectiveColorScheme().has_value()); // nothing known: light
        QVERIFY(!app.isDark());
        QSignalSpy recoloured(app.theme(), &Theme::changed);
        system.setDark(true);
        QVERIFY(app.isDark());
        QCOMPARE(app.theme()->appBackground(), Theme::hex(0x111210));
        QCOMPARE(recoloured.count(), 1);
        // A fixed choice wins over the system at once, and system changes no longer matter.
        app.settings()->setThemeMode(ThemeMode::Light);
        QVERIFY(!app.theme()->isDark());
        system.setDark(false);
        system.setDark(true);
        QVERIFY(!app.theme()->isDark());
        app.settings()->setThemeMode(ThemeMode::System);
        QVERIFY(app.theme()->isDark());
        app.settings()->setThemeMode(ThemeMode::Dark);
        system.setDark(false);
        QVERIFY(app.theme()->isDark());

        QSignalSpy motion(&app, &App::reduceMotionChanged);
        system.setReduceMotion(true);
        QVERIFY(app.reduceMotion());
        QCOMPARE(motion.count(), 1);
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
        QVERIFY(!app.compact()); // no width known yet: regular
        QSignalSpy spy(&app, &App::compactChanged);
        for (int width : {1200, 699, 500, 700})
            app.setWindowWidth(width);
        QVERIFY(!app.compact());
        QCOMPARE(spy.count(), 2); // into compact below 700 once, out once
    }

    // Persistence itself is proven in core; here, that App reads it back, and
    // that the run's own appearance (the command line's) is never stored.
    void theChoiceAndSignInReachARestartedApp()
    {
        const QString path = settingsPath("restart");
        {
            SystemAppearance system;
            App app(path, &system);
            QVERIFY(!app.auth()->isLoggedIn());
            app.settings()->setThemeMode(ThemeMode::Dark);
            app.setThemeOverride(ColorScheme::Light);
            QVERIFY(!app.theme()->isDark());
            Author user;
            user.username = QStringLiteral("林小纸");
            app.auth()->login(QStringLiteral("tok-123"), user);
        }
        SystemAppearance system;
        App restarted(path, &system);
        QVERIFY(restarted.isDark()); // opens dark
        QVERIFY(!restarted.auth()->isLoggedIn()); // read only when the account tab asks
        restarted.auth()->loadFromStorage();
        QTRY_COMPARE(restarted.auth()->token().value_or(QString()), QStringLiteral("tok-123"));
        QCOMPARE(restarted.auth()->userName(), QStringLiteral("林小纸"));
    }

    void commandsReachTheirHandlers()
    {
        FakeServer server;
        QVERIFY(server.listen());
        server.on("GET", "/c.png", FakeServer::Response::raw(200, QByteArray(5000, 'p'), "image/png"));
        ImageCache *cache = ImageCache::shared();
        QVERIFY(cache->diskDirectory().startsWith(m_dir.filePath(QStringLiteral("cache"))));
        QVERIFY(QCoro::waitFor(cache->fetch(QUrl(server.baseUrl() + QStringLiteral("/c.png")))).ok);
        QVERIFY(cache->memoryCost() > 0 && cache->diskSize() > 0);

        SystemAppearance system;
        App app(settingsPath("commands"), &system);
        connectShellCommands(&app);
        app.setSelectedTab(2);
        QSignalSpy refresh(app.commands(), &AppCommands::refreshArticles);
        QSignalSpy about(&app, &App::aboutVisibleChanged);
        // About shows once however often asked; refresh is the home screen's (the
        // shell neither reloads nor switches tab); clearing empties the shared cache.
        for (const char *command : {"papeloShowAbout", "papeloShowAbout", "papeloRefreshArticles", "papeloClearImageCache"})
            QVERIFY(app.commands()->post(QLatin1String(command)));
        QVERIFY(!app.commands()->post(QStringLiteral("papeloSomethingElse")));
        QVERIFY(app.aboutVisible() && about.count() == 1 && refresh.count() == 1 && app.selectedTab() == 2);
        QVERIFY(cache->memoryCost() == 0 && cache->diskSize() == 0);
    }

    void commandLineAcceptsEveryOption()
    {
        const CommandLine line = CommandLine::parse(
            QStringLiteral("papelo --server http://10.0.0.2:4000/ --web-origin news.example.org --theme dark --tab profile "
                           "--size 900x700 --article 17 --author 3 --screenshot /tmp/x.png")
                .split(QLatin1Char(' ')),
            {});
        QCOMPARE(line.action, CommandLine::Action::Run);
        QCOMPARE((QStringList{line.baseUrl, line.webOrigin, line.screenshotPath}),
                 (QStringList{"http://10.0.0.2:4000", "news.example.org", "/tmp/x.png"}));
        QVERIFY(line.themeGiven && line.theme == ColorScheme::Dark);
        QCOMPARE((QList<qint64>{line.tab, line.size.width(), line.size.height(), line.articleId, line.authorId}),
                 (QList<qint64>{2, 900, 700, 17, 3}));

        const CommandLine system = CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--theme"), QStringLiteral("system")}, {});
        QVERIFY(system.themeGiven && !system.theme.has_value());
        const CommandLine plain = CommandLine::parse({QStringLiteral("papelo")}, {});
        QVERIFY(plain.action == CommandLine::Action::Run && plain.baseUrl.isEmpty() && !plain.themeGiven && plain.tab == 0);
        QCOMPARE(CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--help")}, {}).action, CommandLine::Action::ShowHelp);
        QCOMPARE(CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--version")}, {}).action, CommandLine::Action::ShowVersion);
    }

    void commandLineRejectsBadValues_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("server scheme") << "--server ftp://host:4000" << "ftp://host:4000";
        QTest::newRow("server relative") << "--server localhost" << "localhost";
        QTest::newRow("web origin with scheme") << "--web-origin https://a.b" << "https://a.b";
        QTest::newRow("theme case") << "--theme Dark" << "Dark";
        QTest::newRow("tab") << "--tab 4" << "4";
        QTest::newRow("size") << "--size big" << "big";
        QTest::newRow("article") << "--article -1" << "-1";
        QTest::newRow("author") << "--author x" << "x";
        QTest::newRow("unknown option") << "--colour" << "colour";
    }
    void commandLineRejectsBadValues()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, named);
        const CommandLine line = CommandLine::parse((QStringLiteral("papelo ") + arguments).split(QLatin1Char(' ')), {});
        QCOMPARE(line.action, CommandLine::Action::Fail);
        QVERIFY2(line.message.contains(named), qPrintable(line.message));
    }

    void serverOptionWinsOverEnvironment()
    {
        const QString env = QStringLiteral("http://env.example:4000");
        QCOMPARE(CommandLine::parse({QStringLiteral("papelo")}, env).baseUrl, env);
        QCOMPARE(CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--server"), QStringLiteral("http://opt.example:4000")}, env).baseUrl,
                 QStringLiteral("http://opt.example:4000"));
        const CommandLine badEnv = CommandLine::parse({QStringLiteral("papelo")}, QStringLiteral("not a url"));
        QCOMPARE(badEnv.action, CommandLine::Action::Fail);
        QVERIFY(badEnv.message.contains(QStringLiteral("not a url")));
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"

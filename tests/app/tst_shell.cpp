// The window's shared objects without a window: palette and appearance
// resolution, layout rules, persistence across a restart, the menu
// commands, and the command line.
#include "common/App.h"
#include "FakeServer.h"
#include "shell/CommandLine.h"
#include "shell/ShellCommands.h"
#include "images/ImageCache.h"
#include "appearance/LayoutRules.h"
#include "appearance/SystemAppearance.h"
#include "appearance/Theme.h"

#include <QGuiApplication>
#include <QPalette>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // Palette
    void hexIgnoresBitsAbove23();
    void namedColoursHaveTheirLightAndDarkValues();
    void systemGrayLevels();
    void accentSoftFollowsTheAppearance();

    // Appearance resolution
    void unspecifiedSystemAppearanceIsLight();
    void followsSystemChangesOnlyWhileSetToSystem();
    void runOverrideIsNotPersisted();
    void portalColorSchemeValues();
    void withoutPortalThePaletteDecides();

    // Layout rules
    void gridColumnsAndWidthLimit();
    void compactFollowsWindowWidth();

    // Persistence and commands
    void settingsAndSignInSurviveARestart();
    void unknownStoredThemeReadsAsSystemAndIsKept();
    void commandsReachTheirHandlers();
    void clearCommandEmptiesTheSharedCache();

    // Command line
    void commandLineAcceptsEveryOption();
    void commandLineRejectsBadValues_data();
    void commandLineRejectsBadValues();
    void serverOptionWinsOverEnvironment();

private:
    QTemporaryDir m_dir;
    QString settingsPath(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".ini")); }
};

void TestShell::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
}

void TestShell::hexIgnoresBitsAbove23()
{
    QCOMPARE(Theme::hex(0xFFFFFF), QColor(255, 255, 255));
    QCOMPARE(Theme::hex(0x000000), QColor(0, 0, 0));
    QCOMPARE(Theme::hex(0xFF0F7B6C), Theme::hex(0x0F7B6C));
    QCOMPARE(Theme::hex(0x120F7B6C).alpha(), 255);
    QCOMPARE(Theme::hex(0x0F7B6C), QColor(0x0F, 0x7B, 0x6C));
}

void TestShell::namedColoursHaveTheirLightAndDarkValues()
{
    Theme theme(nullptr);
    struct Row {
        QColor (Theme::*get)() const;
        quint32 light;
        quint32 dark;
    };
    const Row rows[] = {
        {&Theme::accent, 0x0F7B6C, 0x57B8A8},     {&Theme::accentHover, 0x0C6358, 0x0C6358},
        {&Theme::appBackground, 0xF9F8F6, 0x111210}, {&Theme::surface, 0xFFFFFF, 0x1B1C1A},
        {&Theme::ink, 0x1F1D1A, 0xF0EFEC},        {&Theme::muted, 0x787570, 0x9B968F},
        {&Theme::border, 0xECEBE8, 0x2A2B28},     {&Theme::surfaceFill, 0xF3F2EF, 0x222321},
        {&Theme::danger, 0xD13438, 0xD13438},     {&Theme::warning, 0xFF8C00, 0xFF8C00},
        {&Theme::success, 0x107C10, 0x107C10},
    };
    QSignalSpy changed(&theme, &Theme::changed);
    for (const Row &row : rows)
        QCOMPARE((theme.*row.get)(), Theme::hex(row.light));
    theme.setDark(true);
    QCOMPARE(changed.count(), 1);
    for (const Row &row : rows)
        QCOMPARE((theme.*row.get)(), Theme::hex(row.dark));
    theme.setDark(true);
    QCOMPARE(changed.count(), 1);
}

void TestShell::systemGrayLevels()
{
    for (bool dark : {false, true}) {
        const QColor six = Theme::systemGray(6, dark);
        QCOMPARE(Theme::systemGray(0, dark), six);
        QCOMPARE(Theme::systemGray(1, dark), six);
        QCOMPARE(Theme::systemGray(7, dark), six);
        QCOMPARE(Theme::systemGray(-3, dark), six);
        for (int level = 2; level <= 6; ++level) {
            const QColor c = Theme::systemGray(level, dark);
            QCOMPARE(c.red(), c.green()); // neutral, give or take the platform's blue tint
            QVERIFY(qAbs(c.blue() - c.red()) <= 12);
        }
    }
    // Light: 2 darkest ... 6 lightest.
    for (int level = 2; level < 6; ++level)
        QVERIFY(Theme::systemGray(level, false).lightness() < Theme::systemGray(level + 1, false).lightness());
    // The greys adapt: dark values differ from light ones.
    QVERIFY(Theme::systemGray(5, true) != Theme::systemGray(5, false));
    Theme theme(nullptr);
    theme.setDark(true);
    QCOMPARE(theme.systemGray(5), Theme::systemGray(5, true));
}

void TestShell::accentSoftFollowsTheAppearance()
{
    Theme theme(nullptr);
    QColor expected = Theme::hex(0x0F7B6C);
    expected.setAlphaF(0.12f);
    QCOMPARE(theme.accentSoft(), expected);
    theme.setDark(true);
    expected = Theme::hex(0x57B8A8);
    expected.setAlphaF(0.12f);
    QCOMPARE(theme.accentSoft(), expected);
    QCOMPARE(theme.accentSoft().rgb() & 0xFFFFFF, 0x57B8A8u);
}

void TestShell::unspecifiedSystemAppearanceIsLight()
{
    SystemAppearance system;
    App app(settingsPath(QStringLiteral("unspecified")), &system);
    QVERIFY(!app.effectiveColorScheme().has_value());
    QVERIFY(!app.isDark());
    QCOMPARE(app.theme()->appBackground(), Theme::hex(0xF9F8F6));
}

void TestShell::followsSystemChangesOnlyWhileSetToSystem()
{
    SystemAppearance system;
    App app(settingsPath(QStringLiteral("follow")), &system);
    QSignalSpy recoloured(app.theme(), &Theme::changed);

    system.setDark(true);
    QVERIFY(app.isDark());
    QCOMPARE(app.theme()->surface(), Theme::hex(0x1B1C1A));
    QCOMPARE(recoloured.count(), 1);

    // "浅色" while the system is dark turns the window light at once ...
    app.settings()->setThemeMode(ThemeMode::Light);
    QVERIFY(!app.isDark());
    QCOMPARE(app.theme()->surface(), Theme::hex(0xFFFFFF));
    // ... and system changes no longer matter.
    system.setDark(false);
    system.setDark(true);
    QVERIFY(!app.theme()->isDark());

    // "跟随系统" returns it to dark.
    app.settings()->setThemeMode(ThemeMode::System);
    QVERIFY(app.theme()->isDark());
    app.settings()->setThemeMode(ThemeMode::Dark);
    system.setDark(false);
    QVERIFY(app.theme()->isDark());
}

void TestShell::runOverrideIsNotPersisted()
{
    const QString path = settingsPath(QStringLiteral("override"));
    {
        SystemAppearance system;
        App app(path, &system);
        app.settings()->setThemeMode(ThemeMode::Light);
        app.setThemeOverride(ColorScheme::Dark);
        QVERIFY(app.theme()->isDark());
        QCOMPARE(app.settings()->themeMode(), ThemeMode::Light);
    }
    SystemAppearance system;
    App restarted(path, &system);
    QVERIFY(!restarted.theme()->isDark());
    QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("themeModeRaw")).toString(),
             QStringLiteral("light"));
}

void TestShell::portalColorSchemeValues()
{
    QVERIFY(!SystemAppearance::darkFromColorScheme(0)); // no preference
    QVERIFY(SystemAppearance::darkFromColorScheme(1));
    QVERIFY(!SystemAppearance::darkFromColorScheme(2));
    SystemAppearance system;
    QSignalSpy motion(&system, &SystemAppearance::reduceMotionChanged);
    App app(settingsPath(QStringLiteral("motion")), &system);
    QSignalSpy appMotion(&app, &App::reduceMotionChanged);
    system.setReduceMotion(true);
    QVERIFY(app.reduceMotion());
    QCOMPARE(motion.count(), 1);
    QCOMPARE(appMotion.count(), 1);
}

void TestShell::withoutPortalThePaletteDecides()
{
    // No session bus here: only the platform palette can tell.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/papelo-test-bus");
    const QPalette original = QGuiApplication::palette();
    SystemAppearance system;
    App app(settingsPath(QStringLiteral("palette")), &system);
    system.start();
    QVERIFY(!app.isDark());
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::WindowText, QColor(0xF0, 0xF0, 0xF0));
    QGuiApplication::setPalette(dark);
    QTRY_VERIFY(app.isDark());
    QCOMPARE(app.theme()->appBackground(), Theme::hex(0x111210));
    QGuiApplication::setPalette(original);
    QTRY_VERIFY(!app.isDark());
}

void TestShell::gridColumnsAndWidthLimit()
{
    QCOMPARE(LayoutRules::articleGridColumns(true), 2);
    QCOMPARE(LayoutRules::articleGridColumns(false), 3);
    QCOMPARE(LayoutRules::contentWidth(800), 800.0);
    QCOMPARE(LayoutRules::contentWidth(1600), 1100.0);
    QCOMPARE(LayoutRules::sideInset(1600), 250.0);
    QCOMPARE(LayoutRules::sideInset(800), 0.0);
    QCOMPARE(LayoutRules::columnWidth(1100, 3), (1100.0 - 32) / 3);
    QCOMPARE(LayoutRules::columnWidth(20, 3), 10.0); // never below the 10-pt minimum
}

void TestShell::compactFollowsWindowWidth()
{
    SystemAppearance system;
    App app(settingsPath(QStringLiteral("compact")), &system);
    QVERIFY(!app.compact()); // no width known yet: regular, three columns
    QSignalSpy spy(&app, &App::compactChanged);
    app.setWindowWidth(1200);
    QVERIFY(!app.compact());
    QCOMPARE(spy.count(), 0);
    app.setWindowWidth(LayoutRules::kCompactBreakpoint - 1);
    QVERIFY(app.compact());
    QCOMPARE(spy.count(), 1);
    app.setWindowWidth(500);
    QCOMPARE(spy.count(), 1);
    app.setWindowWidth(LayoutRules::kCompactBreakpoint);
    QVERIFY(!app.compact());
    QCOMPARE(spy.count(), 2);
}

void TestShell::settingsAndSignInSurviveARestart()
{
    const QString path = settingsPath(QStringLiteral("restart"));
    Author user;
    user.id = 42;
    user.username = QStringLiteral("林小纸");
    user.role = QStringLiteral("author");
    user.bio = QStringLiteral("写字的人");
    {
        SystemAppearance system;
        App app(path, &system);
        QVERIFY(!app.auth()->isLoggedIn()); // created signed out
        QCOMPARE(app.settings()->themeMode(), ThemeMode::System);
        app.settings()->setThemeMode(ThemeMode::Dark);
        app.auth()->login(QStringLiteral("tok-123"), user);
        QVERIFY(app.isDark());
    }
    QCOMPARE(QFile(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());

    SystemAppearance system;
    App restarted(path, &system);
    QVERIFY(restarted.isDark()); // opens dark
    QCOMPARE(restarted.settings()->themeModeRaw(), QStringLiteral("dark"));
    // The sign-in is read only when asked (the account tab), then restored.
    QVERIFY(!restarted.auth()->isLoggedIn());
    restarted.auth()->loadFromStorage();
    QVERIFY(restarted.auth()->isLoggedIn());
    QCOMPARE(restarted.auth()->token().value_or(QString()), QStringLiteral("tok-123"));
    QCOMPARE(restarted.auth()->userName(), user.username);
    QCOMPARE(restarted.auth()->userBio(), user.bio.value());

    restarted.auth()->logout();
    SystemAppearance system2;
    App third(path, &system2);
    third.auth()->loadFromStorage();
    QVERIFY(!third.auth()->isLoggedIn());
}

void TestShell::unknownStoredThemeReadsAsSystemAndIsKept()
{
    const QString path = settingsPath(QStringLiteral("unknown"));
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue(QStringLiteral("themeModeRaw"), QStringLiteral("Dark"));
    }
    SystemAppearance system;
    App app(path, &system);
    QCOMPARE(app.settings()->themeMode(), ThemeMode::System);
    QVERIFY(!app.isDark());
    QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("themeModeRaw")).toString(),
             QStringLiteral("Dark"));
}

void TestShell::commandsReachTheirHandlers()
{
    SystemAppearance system;
    App app(settingsPath(QStringLiteral("commands")), &system);
    app.setSelectedTab(2);
    QSignalSpy refresh(app.commands(), &AppCommands::refreshArticles);
    QSignalSpy about(&app, &App::aboutVisibleChanged);

    QVERIFY(app.commands()->post(QStringLiteral("papeloShowAbout")));
    QVERIFY(app.aboutVisible());
    QVERIFY(app.commands()->post(QStringLiteral("papeloShowAbout"))); // already shown: no change
    QCOMPARE(about.count(), 1);
    app.setAboutVisible(false); // the dialog's "好"
    QCOMPARE(app.selectedTab(), 2);

    // Refresh is for the home screen only: the shell neither reloads nor switches tab.
    QVERIFY(app.commands()->post(QStringLiteral("papeloRefreshArticles")));
    QCOMPARE(refresh.count(), 1);
    QCOMPARE(app.selectedTab(), 2);
    QVERIFY(!app.aboutVisible());

    QVERIFY(!app.commands()->post(QStringLiteral("papeloSomethingElse")));
    QCOMPARE(refresh.count(), 1);

    const QString message = App::aboutMessage();
    for (const char *part : {"PapeloInkleaf", "PapeloBrightsheet", "1.0.0", "©"})
        QVERIFY2(message.contains(QString::fromUtf8(part)), part);
}

void TestShell::clearCommandEmptiesTheSharedCache()
{
    FakeServer server;
    QVERIFY(server.listen());
    QByteArray body(5000, 'p');
    server.on("GET", "/c.png", FakeServer::Response::raw(200, body, "image/png"));
    ImageCache *cache = ImageCache::shared();
    QVERIFY(cache->diskDirectory().startsWith(m_dir.filePath(QStringLiteral("cache"))));
    QVERIFY(cache->diskDirectory().endsWith(QStringLiteral("/papelo-image-cache")));
    const QUrl url(server.baseUrl() + QStringLiteral("/c.png"));
    QVERIFY(QCoro::waitFor(cache->fetch(url)).ok);
    QVERIFY(cache->memoryCost() > 0);
    QVERIFY(cache->diskSize() > 0);

    SystemAppearance system;
    App app(settingsPath(QStringLiteral("clear")), &system);
    connectShellCommands(&app);
    QSignalSpy about(&app, &App::aboutVisibleChanged);
    app.commands()->post(QStringLiteral("papeloClearImageCache"));
    QCOMPARE(cache->memoryCost(), 0);
    QCOMPARE(cache->diskSize(), 0);
    app.commands()->post(QStringLiteral("papeloClearImageCache")); // harmless twice
    QCOMPARE(about.count(), 0); // nothing shown

    QVERIFY(QCoro::waitFor(cache->fetch(url)).ok);
    QCOMPARE(server.count("/c.png"), 2); // fetched from the network again
}

void TestShell::commandLineAcceptsEveryOption()
{
    const CommandLine line = CommandLine::parse(
        {QStringLiteral("papelo"), QStringLiteral("--server"), QStringLiteral("http://10.0.0.2:4000/"),
         QStringLiteral("--web-origin"), QStringLiteral("news.example.org"), QStringLiteral("--theme"),
         QStringLiteral("dark"), QStringLiteral("--tab"), QStringLiteral("profile"), QStringLiteral("--size"),
         QStringLiteral("900x700"), QStringLiteral("--article"), QStringLiteral("17"), QStringLiteral("--author"),
         QStringLiteral("3"), QStringLiteral("--screenshot"), QStringLiteral("/tmp/x.png")},
        {});
    QCOMPARE(line.action, CommandLine::Action::Run);
    QCOMPARE(line.baseUrl, QStringLiteral("http://10.0.0.2:4000"));
    QCOMPARE(line.webOrigin, QStringLiteral("news.example.org"));
    QVERIFY(line.themeGiven);
    QCOMPARE(line.theme, std::optional<ColorScheme>(ColorScheme::Dark));
    QCOMPARE(line.tab, 2);
    QCOMPARE(line.size, QSize(900, 700));
    QCOMPARE(line.articleId, 17);
    QCOMPARE(line.authorId, 3);
    QCOMPARE(line.screenshotPath, QStringLiteral("/tmp/x.png"));

    const CommandLine system = CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--theme"), QStringLiteral("system")}, {});
    QVERIFY(system.themeGiven);
    QVERIFY(!system.theme.has_value());

    const CommandLine plain = CommandLine::parse({QStringLiteral("papelo")}, {});
    QCOMPARE(plain.action, CommandLine::Action::Run);
    QVERIFY(plain.baseUrl.isEmpty());
    QVERIFY(!plain.themeGiven);
    QCOMPARE(plain.tab, 0);

    QCOMPARE(CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--help")}, {}).action, CommandLine::Action::ShowHelp);
    const CommandLine version = CommandLine::parse({QStringLiteral("papelo"), QStringLiteral("--version")}, {});
    QCOMPARE(version.action, CommandLine::Action::ShowVersion);
    QVERIFY(version.message.contains(QStringLiteral("1.0.0")));
}

void TestShell::commandLineRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("server scheme") << QStringList{QStringLiteral("--server"), QStringLiteral("ftp://host:4000")} << QStringLiteral("ftp://host:4000");
    QTest::newRow("server relative") << QStringList{QStringLiteral("--server"), QStringLiteral("localhost")} << QStringLiteral("localhost");
    QTest::newRow("web origin with scheme") << QStringList{QStringLiteral("--web-origin"), QStringLiteral("https://a.b")} << QStringLiteral("https://a.b");
    QTest::newRow("theme case") << QStringList{QStringLiteral("--theme"), QStringLiteral("Dark")} << QStringLiteral("Dark");
    QTest::newRow("tab") << QStringList{QStringLiteral("--tab"), QStringLiteral("4")} << QStringLiteral("4");
    QTest::newRow("size") << QStringList{QStringLiteral("--size"), QStringLiteral("big")} << QStringLiteral("big");
    QTest::newRow("article") << QStringList{QStringLiteral("--article"), QStringLiteral("-1")} << QStringLiteral("-1");
    QTest::newRow("author") << QStringList{QStringLiteral("--author"), QStringLiteral("x")} << QStringLiteral("x");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour")} << QStringLiteral("colour");
}

void TestShell::commandLineRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("papelo")} + arguments, {});
    QCOMPARE(line.action, CommandLine::Action::Fail);
    QVERIFY2(line.message.contains(named), qPrintable(line.message));
}

void TestShell::serverOptionWinsOverEnvironment()
{
    const CommandLine fromEnv = CommandLine::parse({QStringLiteral("papelo")}, QStringLiteral("http://env.example:4000"));
    QCOMPARE(fromEnv.baseUrl, QStringLiteral("http://env.example:4000"));
    const CommandLine both = CommandLine::parse(
        {QStringLiteral("papelo"), QStringLiteral("--server"), QStringLiteral("http://opt.example:4000")},
        QStringLiteral("http://env.example:4000"));
    QCOMPARE(both.baseUrl, QStringLiteral("http://opt.example:4000"));
    const CommandLine badEnv = CommandLine::parse({QStringLiteral("papelo")}, QStringLiteral("not a url"));
    QCOMPARE(badEnv.action, CommandLine::Action::Fail);
    QVERIFY(badEnv.message.contains(QStringLiteral("not a url")));
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"

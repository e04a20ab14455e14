// Loads every QML file of the Papelo module offscreen and fails on any QML
// warning (binding loops, undefined properties, missing types).
#include "common/App.h"
#include "FakeServer.h"
#include "ImageFixtures.h"
#include "images/RemoteImageLoader.h"
#include "core/ServerConfig.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <QtTest>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

namespace {
QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Only what the QML engine reports about our files counts: binding loops,
    // undefined properties, type and script errors all name a .qml source.
    // Platform and network chatter (offscreen GL, Chromium, Qt's own reply
    // bookkeeping) is not a fault of the views.
    const QByteArray category(context.category ? context.category : "");
    const bool fromQml = message.contains(QLatin1String(".qml")) || category == "qml" || category == "js"
                         || category.startsWith("qt.qml");
    if (type != QtDebugMsg && type != QtInfoMsg && fromQml)
        g_warnings << message;
    if (g_previous)
        g_previous(type, context, message);
}
} // namespace

class TestQml : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void warningHandlerCatchesQmlFaults_data();
    void warningHandlerCatchesQmlFaults();
    void everyFileLoadsWithoutWarnings_data();
    void everyFileLoadsWithoutWarnings();
    void mainWindowShowsTabsAndStartsOnRequestedTab();
    void remoteImageShowsEachStateInTurn();
    void shimmerStandsStillUnderReduceMotion();
    void skeletonGridLaysOutSixCardsInTheGivenColumns();
    void menuShortcutAndAboutDialog();
    void tabKeyWalksTheSettingsControls();
    void escapeAndAltLeftGoBackOnTheShownTab();
    void navigationBarTakesTheShownPageBackground();
    void cleanupTestCase() { qInstallMessageHandler(g_previous); }

private:
    QTemporaryDir m_home;
};

void TestQml::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toUtf8());
    // A dead port: screens that load fail quickly instead of reaching anything real.
    papelo::ServerConfig::setBaseUrl(QStringLiteral("http://127.0.0.1:9"));
    g_previous = qInstallMessageHandler(collect);
}

void TestQml::warningHandlerCatchesQmlFaults_data()
{
    QTest::addColumn<QByteArray>("qml");
    QTest::newRow("binding loop") << QByteArray("import QtQuick\nItem { width: height + 1; height: width + 1 }");
    QTest::newRow("undefined name") << QByteArray("import QtQuick\nItem { property int n: notDefinedAnywhere.count }");
    QTest::newRow("wrong type") << QByteArray("import QtQuick\nItem { property int n: \"text\" + {} }");
}

// The checker itself must be able to fail.
void TestQml::warningHandlerCatchesQmlFaults()
{
    QFETCH(QByteArray, qml);
    g_warnings.clear();
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(qml, QUrl(QStringLiteral("qrc:/Papelo/faulty.qml")));
        std::unique_ptr<QObject> object(component.create());
        QVERIFY(object);
    }
    QVERIFY(!g_warnings.isEmpty());
    g_warnings.clear();
}

void TestQml::everyFileLoadsWithoutWarnings_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(QStringLiteral(":/Papelo")).entryList({QStringLiteral("*.qml")}, QDir::Files);
    QVERIFY(files.contains(QStringLiteral("Main.qml")));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file;
}

void TestQml::everyFileLoadsWithoutWarnings()
{
    QFETCH(QString, file);
    g_warnings.clear();
    {
        QQmlEngine engine;
        QFile source(QStringLiteral(":/Papelo/") + file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(source.readAll());
        const bool singleton = text.contains(QLatin1String("pragma Singleton"));
        // A singleton cannot be a component's root: reach it through a user.
        QQmlComponent component(&engine);
        if (singleton)
            component.setData("import QtQuick\nimport Papelo\nQtObject { property var probe: "
                                  + file.chopped(4).toUtf8() + " }",
                              QUrl(QStringLiteral("qrc:/Papelo/probe.qml")));
        else
            component.loadUrl(QUrl(QStringLiteral("qrc:/Papelo/") + file));
        QVERIFY2(!component.isError(), qPrintable(component.errorString()));
        // Parts that need their owner (required properties, or an owning
        // screen object handed in) are compiled only; the rest are built.
        static const QRegularExpression needsOwner(
            QStringLiteral("^\\s*(required\\s+property\\b|property\\s+[A-Z]\\w*\\s+\\w+\\s*$)"),
            QRegularExpression::MultilineOption);
        if (!needsOwner.match(text).hasMatch()) {
            // Pages pushed with an id get one, as a push would give them.
            QVariantMap initial;
            static const QRegularExpression idProperty(QStringLiteral("^\\s*property\\s+var\\s+(\\w+Id)\\b"),
                                                       QRegularExpression::MultilineOption);
            for (auto it = idProperty.globalMatch(text); it.hasNext();)
                initial.insert(it.next().captured(1), 1);
            std::unique_ptr<QObject> object(component.createWithInitialProperties(initial));
            QVERIFY2(object, qPrintable(component.errorString()));
            // Let deferred bindings, loaders and first requests run.
            QTest::qWait(100);
            object.reset();
            QTest::qWait(20);
        }
    }
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

namespace {
// The real window (Main.qml) on `engine`, with `tab` selected before it is built.
struct MainWindow {
    std::unique_ptr<QObject> object;
    QQuickWindow *window = nullptr;
    QString error;
};

MainWindow createMainWindow(QQmlEngine &engine, int tab)
{
    papelo::App::shared()->setSelectedTab(tab);
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Papelo/Main.qml")));
    MainWindow main;
    main.object.reset(component.create());
    main.window = qobject_cast<QQuickWindow *>(main.object.get());
    main.error = component.errorString();
    return main;
}

QQuickItem *findByTitle(QQuickItem *root, const QString &title)
{
    if (root->property("title").toString() == title && root->inherits("QQuickPage"))
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = findByTitle(child, title))
            return found;
    }
    return nullptr;
}
} // namespace

void TestQml::mainWindowShowsTabsAndStartsOnRequestedTab()
{
    g_warnings.clear();
    papelo::App *app = papelo::App::shared();
    QQmlEngine engine;
    const MainWindow main = createMainWindow(engine, 3);
    QQuickWindow *window = main.window;
    QVERIFY2(window, qPrintable(main.error));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Building the tab bar must not pull the selection back to the first tab.
    QCOMPARE(app->selectedTab(), 3);
    QQuickItem *settings = findByTitle(window->contentItem(), QStringLiteral("设置"));
    QVERIFY(settings);
    QTRY_VERIFY(settings->isVisible());
    QVERIFY(settings->width() > 0);
    QCOMPARE(window->width(), 1200);
    QCOMPARE(app->windowWidth(), 1200.0);
    QVERIFY(!app->compact());
    window->setWidth(600);
    QTRY_VERIFY(app->compact());
    app->setSelectedTab(0);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

namespace {
QObject *createFrom(QQmlEngine &engine, const QByteArray &qml)
{
    QQmlComponent component(&engine);
    component.setData(qml, QUrl(QStringLiteral("qrc:/Papelo/testhost.qml")));
    QObject *object = component.create();
    if (!object)
        qWarning("%s", qPrintable(component.errorString()));
    return object;
}

void collectItems(QQuickItem *root, const QByteArray &typePrefix, QList<QQuickItem *> &out)
{
    for (QQuickItem *child : root->childItems()) {
        if (QByteArray(child->metaObject()->className()).startsWith(typePrefix))
            out << child;
        collectItems(child, typePrefix, out);
    }
}

QQuickItem *childNamed(QObject *root, const QString &name)
{
    if (QQuickItem *found = root->findChild<QQuickItem *>(name))
        return found;
    // Repeater-made items are visual children only.
    if (auto *item = qobject_cast<QQuickItem *>(root)) {
        for (QQuickItem *child : item->childItems()) {
            if (child->objectName() == name)
                return child;
            if (QQuickItem *found = childNamed(child, name))
                return found;
        }
    }
    return nullptr;
}
} // namespace

void TestQml::remoteImageShowsEachStateInTurn()
{
    g_warnings.clear();
    FakeServer server;
    QVERIFY(server.listen());
    server.on("GET", "/slow.png", imagefixtures::pngResponse(imagefixtures::png(120, 60), 1000));
    server.on("GET", "/broken.png", FakeServer::Response::raw(404, "<html>nope</html>", "text/html"));
    QQmlEngine engine;
    std::unique_ptr<QObject> root(createFrom(engine, R"(
import QtQuick
import Papelo
Item {
    width: 200; height: 100
    property alias image: img
    RemoteImage {
        id: img
        anchors.fill: parent
        failure: Component { Rectangle { objectName: "failureView"; color: "red" } }
    }
})"));
    QVERIFY(root);
    auto *image = root->property("image").value<QQuickItem *>();
    QVERIFY(image);
    auto *loader = image->findChild<papelo::RemoteImageLoader *>();
    QVERIFY(loader);

    // No address: the failure view at once, nothing requested.
    QVERIFY(childNamed(root.get(), QStringLiteral("failureView")));
    QCOMPARE(server.requests().size(), 0);

    // Slow address: placeholder, shimmer after 0.25 s, then the image fading in.
    image->setProperty("url", QUrl(server.baseUrl() + QStringLiteral("/slow.png")));
    QTRY_VERIFY(!childNamed(root.get(), QStringLiteral("failureView")));
    QCOMPARE(loader->status(), papelo::RemoteImageLoader::Pending);
    QTRY_COMPARE(loader->status(), papelo::RemoteImageLoader::Slow);
    QTRY_COMPARE_WITH_TIMEOUT(loader->status(), papelo::RemoteImageLoader::Loaded, 10000);
    QQuickItem *surface = nullptr;
    for (QQuickItem *child : image->childItems())
        if (child->inherits("papelo::ImageSurface"))
            surface = child;
    QVERIFY(surface);
    QVERIFY(surface->opacity() < 1.0); // fading, not popping
    QTRY_COMPARE(surface->opacity(), 1.0);

    // A failing address: back to pending, then the failure view.
    image->setProperty("url", QUrl(server.baseUrl() + QStringLiteral("/broken.png")));
    QTRY_VERIFY(childNamed(root.get(), QStringLiteral("failureView")));
    QTRY_COMPARE(surface->opacity(), 0.0);

    // Destroyed while loading: nothing reaches it, nothing is left counted.
    image->setProperty("url", QUrl(server.baseUrl() + QStringLiteral("/slow.png?again")));
    root.reset();
    QTRY_COMPARE(papelo::Activity::shared().count(), 0);
    QTest::qWait(100);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

void TestQml::shimmerStandsStillUnderReduceMotion()
{
    g_warnings.clear();
    papelo::SystemAppearance *system = papelo::App::shared()->systemAppearance();
    QQmlEngine engine;
    std::unique_ptr<QObject> shimmer(createFrom(engine, "import Papelo\nShimmerView { width: 100; height: 40 }"));
    QVERIFY(shimmer);
    auto *item = qobject_cast<QQuickItem *>(shimmer.get());
    QCOMPARE(item->property("color").value<QColor>(), papelo::Theme::systemGray(5, papelo::App::shared()->isDark()));
    system->setReduceMotion(false);
    QVERIFY(item->property("moving").toBool());
    const qreal start = item->property("phase").toReal();
    QTRY_VERIFY(item->property("phase").toReal() != start);
    QQuickItem *band = childNamed(item, QStringLiteral("shimmerBand"));
    QVERIFY(band);
    QVERIFY(band->isVisible());

    system->setReduceMotion(true);
    QVERIFY(!item->property("moving").toBool());
    QVERIFY(!band->isVisible());
    const qreal still = item->property("phase").toReal();
    QTest::qWait(150);
    QCOMPARE(item->property("phase").toReal(), still);
    system->setReduceMotion(false);

    // The grey follows the appearance.
    papelo::App::shared()->setThemeOverride(papelo::ColorScheme::Dark);
    QCOMPARE(item->property("color").value<QColor>(), papelo::Theme::systemGray(5, true));
    papelo::App::shared()->setThemeOverride(std::nullopt);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

void TestQml::skeletonGridLaysOutSixCardsInTheGivenColumns()
{
    QQmlEngine engine;
    for (int columns : {2, 3}) {
        std::unique_ptr<QObject> grid(createFrom(
            engine, "import Papelo\nSkeletonGrid { width: 1600; columns: " + QByteArray::number(columns) + " }"));
        QVERIFY(grid);
        QList<QQuickItem *> cards;
        collectItems(qobject_cast<QQuickItem *>(grid.get()), "SkeletonCard", cards);
        QCOMPARE(cards.size(), 6);
        QSet<qreal> xs, ys;
        for (QQuickItem *card : cards) {
            QCOMPARE(card->height(), 232.0);
            xs.insert(card->mapToItem(qobject_cast<QQuickItem *>(grid.get()), QPointF()).x());
            ys.insert(card->y());
        }
        QCOMPARE(xs.size(), columns);
        QCOMPARE(ys.size(), 6 / columns);
        // Limited to 1100 and centred in 1600 - 32.
        QCOMPARE(*std::min_element(xs.begin(), xs.end()), 16 + (1568.0 - 1100) / 2);
        QCOMPARE(cards.first()->width(), (1100.0 - 16 * (columns - 1)) / columns);
    }
}

void TestQml::menuShortcutAndAboutDialog()
{
    g_warnings.clear();
    papelo::App *app = papelo::App::shared();
    QQmlEngine engine;
    const MainWindow main = createMainWindow(engine, 1);
    QQuickWindow *window = main.window;
    QVERIFY2(window, qPrintable(main.error));
    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy refresh(app->commands(), &papelo::AppCommands::refreshArticles);
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    QTRY_COMPARE(refresh.count(), 1);
    QCOMPARE(app->selectedTab(), 1);

    app->commands()->post(QStringLiteral("papeloShowAbout"));
    QObject *dialog = nullptr;
    for (QObject *child : window->findChildren<QObject *>())
        if (child->inherits("QQuickDialog") && child->property("title").toString() == QStringLiteral("关于PapeloInkleaf"))
            dialog = child;
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    QMetaObject::invokeMethod(dialog, "reject");
    QTRY_VERIFY(!app->aboutVisible());
    QCOMPARE(app->selectedTab(), 1);
    app->setSelectedTab(0);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

void TestQml::tabKeyWalksTheSettingsControls()
{
    g_warnings.clear();
    papelo::App *app = papelo::App::shared();
    QQmlEngine engine;
    const MainWindow main = createMainWindow(engine, 3);
    QQuickWindow *window = main.window;
    QVERIFY2(window, qPrintable(main.error));
    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSet<QString> reached;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(window, Qt::Key_Tab);
        if (QQuickItem *focused = window->activeFocusItem())
            reached.insert(focused->objectName());
    }
    for (const char *name : {"themeSegment0", "themeSegment1", "themeSegment2", "clearImageCacheButton"})
        QVERIFY2(reached.contains(QString::fromLatin1(name)), name);

    // Space on a focused segment picks it.
    const auto previous = app->settings()->themeModeIndex();
    QQuickItem *dark = childNamed(window->contentItem(), QStringLiteral("themeSegment2"));
    QVERIFY(dark);
    dark->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_COMPARE(app->settings()->themeModeIndex(), 2);
    QVERIFY(app->isDark());
    app->settings()->setThemeModeIndex(previous);
    app->setSelectedTab(0);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

void TestQml::escapeAndAltLeftGoBackOnTheShownTab()
{
    g_warnings.clear();
    QQmlEngine engine;
    const MainWindow main = createMainWindow(engine, 0);
    QQuickWindow *window = main.window;
    QVERIFY2(window, qPrintable(main.error));
    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QList<QQuickItem *> stacks;
    collectItems(window->contentItem(), "TabStack", stacks);
    QCOMPARE(stacks.size(), 4);
    QQuickItem *home = stacks.at(0);
    QQuickItem *discover = stacks.at(1);
    const auto push = [](QQuickItem *stack) {
        QMetaObject::invokeMethod(stack, "push", Q_ARG(QVariant, QUrl(QStringLiteral("qrc:/Papelo/SettingsView.qml"))),
                                  Q_ARG(QVariant, QVariantMap()));
    };
    push(home);
    push(discover); // not shown: keys must leave it alone
    QCOMPARE(home->property("depth").toInt(), 2);
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_COMPARE(home->property("depth").toInt(), 1);
    push(home);
    QTest::keyClick(window, Qt::Key_Left, Qt::AltModifier);
    QTRY_COMPARE(home->property("depth").toInt(), 1);
    QTest::keyClick(window, Qt::Key_Escape); // at the root: nothing to pop
    QCOMPARE(home->property("depth").toInt(), 1);
    QCOMPARE(discover->property("depth").toInt(), 2);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

void TestQml::navigationBarTakesTheShownPageBackground()
{
    g_warnings.clear();
    QQmlEngine engine;
    const MainWindow main = createMainWindow(engine, 0);
    QQuickWindow *window = main.window;
    QVERIFY2(window, qPrintable(main.error));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QList<QQuickItem *> stacks;
    collectItems(window->contentItem(), "TabStack", stacks);
    QCOMPARE(stacks.size(), 4);
    const auto barColour = [](QQuickItem *stack) {
        auto *bar = stack->findChild<QQuickItem *>(QStringLiteral("navigationBar"));
        return bar ? bar->property("color").value<QColor>() : QColor();
    };
    const auto pageColour = [](QQuickItem *stack) {
        auto *view = stack->property("stack").value<QQuickItem *>();
        auto *page = view ? view->property("currentItem").value<QQuickItem *>() : nullptr;
        auto *background = page ? page->property("background").value<QQuickItem *>() : nullptr;
        return background ? background->property("color").value<QColor>() : QColor();
    };
    QQuickItem *home = stacks.at(0);
    QQuickItem *settings = stacks.at(3);
    QTRY_VERIFY(pageColour(home).isValid() && pageColour(settings).isValid());
    QVERIFY(pageColour(home) != pageColour(settings)); // paper and the grey list
    QCOMPARE(barColour(home), pageColour(home));
    QCOMPARE(barColour(settings), pageColour(settings));

    // A pushed page brings its own background to the bar; going back restores it.
    const QColor paper = pageColour(home);
    QMetaObject::invokeMethod(home, "push", Q_ARG(QVariant, QUrl(QStringLiteral("qrc:/Papelo/SettingsView.qml"))),
                              Q_ARG(QVariant, QVariantMap()));
    QTRY_COMPARE(barColour(home), pageColour(settings));
    QMetaObject::invokeMethod(home, "back");
    QTRY_COMPARE(barColour(home), paper);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

int main(int argc, char *argv[])
{
    // The article screen hosts a WebEngineView: the engine must start before the application.
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    TestQml test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qml.moc"

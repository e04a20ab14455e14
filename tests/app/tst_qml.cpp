// The real window and the remote image, offscreen; any warning fails the
// test. Every view is built, warning-free, here or in tst_views.
#include "DataTable.h"
#include "FakeServer.h"
#include "QmlHarness.h"
#include "core/ServerConfig.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using namespace papelo;
using namespace qmltest;

class TestQml : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        collectWarnings();
        ServerConfig::setBaseUrl(FakeServer::deadBaseUrl()); // screens that load fail at once
    }
    void cleanup() { QVERIFY_NO_WARNINGS(); }

    // The checker itself must be able to fail.
    void qmlFaultsAreCaught_data() { data::table<QByteArray>(QStringLiteral("app/qml/faults.tsv")); }
    void qmlFaultsAreCaught()
    {
        QFETCH(QByteArray, qml);
        QQmlEngine engine;
        QVERIFY(create(engine, qml));
        QVERIFY(!takeWarnings().isEmpty());
    }

    // The window opens on the requested tab and follows its width; the menu,
    // the About dialog and the settings controls reach their state; Escape
    // and Alt+Left pop only the shown tab.
    void mainWindow()
    {
        App *app = App::shared();
        MainWindow main(3);
        QVERIFY2(main.window && QTest::qWaitForWindowActive(main.window.get()), "Main.qml did not load");
        QCOMPARE(app->selectedTab(), 3); // building the tab bar does not pull it back
        const auto stacks = main.stacks();
        QTRY_VERIFY(stacks.at(3)->isVisible());
        named(stacks.at(3), QStringLiteral("themeSegment2"))->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(main.window.get(), Qt::Key_Space);
        QTRY_VERIFY(app->isDark());
        app->settings()->setThemeMode(ThemeMode::System);
        // The server field shows the address in use; typing and Return reach the state and its verdict shows.
        QQuickItem *serverField = named(stacks.at(3), QStringLiteral("serverField"));
        QCOMPARE(serverField->property("text").toString(), ServerConfig::baseUrl());
        serverField->forceActiveFocus();
        serverField->setProperty("cursorPosition", serverField->property("length"));
        QTest::keyClick(main.window.get(), Qt::Key_X);
        QTest::keyClick(main.window.get(), Qt::Key_Return);
        QTRY_VERIFY(named(stacks.at(3), QStringLiteral("serverStatus"))->property("text").toString().startsWith(QStringLiteral("服务器地址无效：")));

        QSignalSpy refresh(app->commands(), &AppCommands::refreshArticles);
        QTest::keyClick(main.window.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(refresh.count(), 1);
        const auto dialog = [&](const QString &title) {
            const auto all = main.window->findChildren<QObject *>();
            const auto it = std::find_if(all.begin(), all.end(), [&](QObject *o) { return o->inherits("QQuickDialog") && o->property("title") == title; });
            return it == all.end() ? nullptr : *it;
        };
        app->commands()->post(QStringLiteral("papeloShowAbout"));
        QObject *about = nullptr;
        QTRY_VERIFY((about = dialog(QStringLiteral("关于PapeloInkleaf"))) && about->property("opened").toBool());
        QMetaObject::invokeMethod(about, "reject");
        QTRY_VERIFY(!app->aboutVisible() && app->selectedTab() == 3);


        app->setSelectedTab(0);
        QQuickItem *home = stacks.at(0);
        push(home, QStringLiteral("SettingsView"));
        push(stacks.at(1), QStringLiteral("SettingsView")); // not shown: the keys leave it alone
        QTRY_COMPARE(home->property("depth").toInt(), 2);
        QTest::keyClick(main.window.get(), Qt::Key_Escape);
        QTRY_COMPARE(home->property("depth").toInt(), 1);
        push(home, QStringLiteral("SettingsView"));
        QTest::keyClick(main.window.get(), Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(home->property("depth").toInt(), 1);
        QTest::keyClick(main.window.get(), Qt::Key_Escape); // at the root: nothing to pop
        QCOMPARE(home->property("depth").toInt(), 1);
        QCOMPARE(stacks.at(1)->property("depth").toInt(), 2);
        // Another server: every tab but settings starts afresh, the one shown at once.
        QPointer<QObject> oldHome = home->property("stack").value<QObject *>()->property("currentItem").value<QObject *>();
        push(home, QStringLiteral("SettingsView"));
        app->switchServer(FakeServer::deadBaseUrl());
        QTRY_VERIFY(!oldHome && home->property("depth").toInt() == 1 && stacks.at(1)->property("depth").toInt() == 0);
        QCOMPARE(stacks.at(3)->property("depth").toInt(), 1);

        QCOMPARE(app->windowWidth(), 1200.0);
        main.window->setWidth(600);
        QTRY_VERIFY(app->compact());
    }

    // No address shows the failure view; an image fades in; a failure brings the view back.
    void remoteImageShowsFailureOrFadesIn()
    {
        FakeServer server;
        QVERIFY(server.listen());
        ServerConfig::setBaseUrl(server.baseUrl()); // the server's own pictures
        server.on("GET", "/slow.png", FakeServer::delayed(FakeServer::Response::raw(200, data::bytes("app/qml/grey-120x60.png"), "image/png"), 500));
        server.on("GET", "/broken.png", FakeServer::Response::raw(404, "<html>nope</html>", "text/html"));
        QQmlEngine engine;
        const auto image = create(engine, "import QtQuick\nimport Papelo\nRemoteImage { width: 200; height: 100\n"
                                          "failure: Component { Item { objectName: \"failureView\" } } }");
        QVERIFY(named(image.get(), QStringLiteral("failureView")));
        image->setProperty("url", QUrl(server.baseUrl() + QStringLiteral("/slow.png")));
        QTRY_VERIFY(!named(image.get(), QStringLiteral("failureView")));
        QQuickItem *surface = findItem(image.get(), [](QQuickItem *i) { return i->inherits("papelo::ImageSurface"); });
        QTRY_VERIFY_WITH_TIMEOUT(surface->opacity() > 0.0, 10000);
        QVERIFY(surface->opacity() < 1.0); // fading in, not popping
        QTRY_COMPARE(surface->opacity(), 1.0);
        image->setProperty("url", QUrl(server.baseUrl() + QStringLiteral("/broken.png")));
        QTRY_VERIFY(named(image.get(), QStringLiteral("failureView")) && surface->opacity() == 0.0);
    }
};

QML_TEST_MAIN(TestQml)
#include "tst_qml.moc"

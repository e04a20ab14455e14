// The account tab's view, offscreen, against a scripted server: the form's
// e-mail row follows the mode, typing reaches the state, the tab being shown
// (and only that) restores the sign-in, and the signed-in face draws the
// account. Any QML warning fails the test.
#include "AccessibleNames.h"
#include "core/AuthManager.h"
#include "FakeServer.h"
#include "account/ProfileScreen.h"
#include "core/ServerConfig.h"

#include <QJsonArray>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <QtTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {
QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool platformNoise = message.contains(QLatin1String("XDG_RUNTIME_DIR"))
                               || message.contains(QLatin1String("propagateSizeHints"))
                               || message.contains(QLatin1String("This plugin does not support"))
                               // Qt WebEngine's own registration notes, printed when the
                               // pushed article screen imports it.
                               || message.contains(QLatin1String("You should not use it as a QML type"))
                               || message.contains(QLatin1String("OpenGL context creation failed"))
                               || message.contains(QLatin1String("No suitable graphics backend found"));
    if (type != QtDebugMsg && type != QtInfoMsg && !platformNoise)
        g_warnings << message;
    if (g_previous)
        g_previous(type, context, message);
}

// A tab's navigation stack reduced to what the page relies on.
const QByteArray kHost = R"(
import QtQuick
import QtQuick.Controls
import Papelo
StackView {
    id: stack
    property bool current: false
    property AuthManager auth
    width: 800; height: 900
    initialItem: ProfileView { auth: stack.auth }
    function pushOther() { push(other) }
    function popOther() { pop() }
    Component { id: other; Page { title: "其他" } }
}
)";

QQuickItem *findNamed(QQuickItem *root, const QString &name)
{
    if (root->objectName() == name)
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findNamed(child, name))
            return found;
    }
    return nullptr;
}

QQuickItem *findTextField(QQuickItem *root)
{
    if (root->inherits("QQuickTextField"))
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findTextField(child))
            return found;
    }
    return nullptr;
}

qreal sceneY(QQuickItem *item) { return item->mapToScene(QPointF(0, 0)).y(); }

QJsonObject alice()
{
    return QJsonObject{{"id", 7}, {"username", "alice"}, {"role", "author"}, {"bio", "hello"}};
}
} // namespace

class ProfileQmlTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    FakeServer m_server;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath("cache").toUtf8());
        QVERIFY(m_server.listen());
        QQuickStyle::setStyle("Basic"); // as the reader runs
        ServerConfig::setBaseUrl(m_server.baseUrl());
        m_server.on("POST", "/api/login", FakeServer::Response::json(QJsonObject{{"token", "tok-a"}, {"user", alice()}}));
        QJsonArray articles;
        for (int i = 1; i <= 5; ++i)
            articles.append(QJsonObject{{"id", 100 + i}, {"title", QString("文章 %1").arg(i)}, {"date", "2026-01-01"},
                                        {"views", i * 10}, {"url", "/x"}});
        m_server.on("GET", "/api/me",
                    FakeServer::Response::json(QJsonObject{
                        {"user", alice()},
                        {"stats", QJsonObject{{"total", 5}, {"published", 3}, {"pending", 2}}},
                        {"articles", articles}}));
        g_previous = qInstallMessageHandler(collect);
    }
    void cleanupTestCase() { qInstallMessageHandler(g_previous); }

    void signedOutFormThenSignedInFace()
    {
        g_warnings.clear();
        AuthManager auth(m_home.filePath("form.ini"));
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(kHost, QUrl("qrc:/Papelo/profile_host.qml"));
        QVERIFY2(!component.isError(), qPrintable(component.errorString()));
        QQuickWindow window;
        window.resize(800, 900);
        std::unique_ptr<QObject> object(component.createWithInitialProperties({{"auth", QVariant::fromValue(&auth)}}));
        QVERIFY2(object, qPrintable(component.errorString()));
        auto *stack = qobject_cast<QQuickItem *>(object.get());
        stack->setParentItem(window.contentItem());
        window.show();
        stack->setProperty("current", true);

        auto *page = stack->property("currentItem").value<QQuickItem *>();
        QVERIFY(page);
        QCOMPARE(page->property("title").toString(), QString("我的"));
        auto *state = page->property("state").value<ProfileScreen *>();
        QVERIFY(state);
        QCOMPARE(state->auth(), &auth);

        QQuickItem *emailRow = nullptr;
        QTRY_VERIFY((emailRow = findNamed(page, "emailRow")));
        const QStringList unnamedOnForm = unnamedControls(page);
        QVERIFY2(unnamedOnForm.isEmpty(), qPrintable(unnamedOnForm.join(", ")));
        QQuickItem *userRow = findNamed(page, "usernameRow");
        QQuickItem *passwordRow = findNamed(page, "passwordRow");
        QVERIFY(userRow && passwordRow);
        QVERIFY(!emailRow->isVisible());
        QVERIFY(userRow->isVisible());

        state->setLoginMode(false);
        QTRY_VERIFY(emailRow->isVisible());
        QTRY_VERIFY(sceneY(userRow) < sceneY(emailRow) && sceneY(emailRow) < sceneY(passwordRow));
        state->setLoginMode(true);
        QTRY_VERIFY(!emailRow->isVisible());

        // Typing goes to the state object.
        QQuickItem *userField = findTextField(userRow);
        QVERIFY(userField);
        userField->forceActiveFocus();
        for (char c : QByteArray("alice"))
            QTest::keyClick(&window, c);
        QCOMPARE(state->username(), QString("alice"));
        QQuickItem *submit = findNamed(page, "submitButton");
        QVERIFY(submit);
        QVERIFY(!submit->isEnabled());
        state->setPassword("pw");
        QVERIFY(submit->isEnabled());
        QVERIFY(QMetaObject::invokeMethod(submit, "clicked"));

        QTRY_VERIFY_WITH_TIMEOUT(state->isLoggedIn() && !state->isLoading(), 10000);
        QQuickItem *name = nullptr;
        QTRY_VERIFY((name = findNamed(page, "displayName")));
        QCOMPARE(name->property("text").toString(), QString("alice"));
        QQuickItem *stats = findNamed(page, "statsRow");
        QVERIFY(stats && stats->isVisible());
        QQuickItem *none = findNamed(page, "noArticles");
        QVERIFY(none && !none->isVisible());
        QVERIFY(!findNamed(page, "emailRow"));

        // A row opens that article on this tab's stack.
        QQuickItem *row = findNamed(page, "articleRow");
        QVERIFY(row);
        QVERIFY(QMetaObject::invokeMethod(row, "clicked"));
        QTRY_COMPARE(stack->property("depth").toInt(), 2);
        auto *detail = stack->property("currentItem").value<QQuickItem *>();
        QVERIFY(detail);
        QCOMPARE(detail->property("title").toString(), QString("文章详情"));
        QCOMPARE(detail->property("articleId").toLongLong(), 101);
        QVERIFY(QMetaObject::invokeMethod(stack, "popOther"));
        QTRY_COMPARE(stack->property("depth").toInt(), 1);

        const QStringList unnamed = unnamedControls(page);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));

        QQuickItem *save = findNamed(page, "saveBioButton");
        QVERIFY(save && !save->isEnabled());
        state->setBioText("changed");
        QVERIFY(save->isEnabled());

        QQuickItem *logout = findNamed(page, "logoutButton");
        QVERIFY(logout);
        // The dialog follows the state; its buttons drive it.
        QVERIFY(QMetaObject::invokeMethod(logout, "clicked"));
        QVERIFY(state->showLogoutConfirm());
        QQuickItem *cancel = nullptr;
        QTRY_VERIFY((cancel = findNamed(window.contentItem(), "cancelLogout")) && cancel->isVisible());
        QVERIFY(QMetaObject::invokeMethod(cancel, "clicked"));
        QVERIFY(!state->showLogoutConfirm());
        QVERIFY(state->isLoggedIn());
        QTRY_VERIFY(!cancel->isVisible());

        QVERIFY(QMetaObject::invokeMethod(logout, "clicked"));
        QQuickItem *confirm = nullptr;
        QTRY_VERIFY((confirm = findNamed(window.contentItem(), "confirmLogout")) && confirm->isVisible());
        QVERIFY(QMetaObject::invokeMethod(confirm, "clicked"));
        QVERIFY(!state->showLogoutConfirm());
        QTRY_VERIFY(findNamed(page, "usernameRow"));
        QCOMPARE(state->username(), QString("alice"));
        QVERIFY(!state->isLoggedIn());
        QTest::qWait(50);
        object.reset();
        QTest::qWait(20);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }

    void onlyShowingTheTabRestoresAndReloads()
    {
        g_warnings.clear();
        const QString path = m_home.filePath("stored.ini");
        {
            AuthManager earlier(path);
            Author user;
            user.id = 7;
            user.username = "alice";
            user.role = "author";
            user.bio = "hello";
            earlier.login("tok-stored", user);
        }
        m_server.clear();
        AuthManager auth(path);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(kHost, QUrl("qrc:/Papelo/profile_host.qml"));
        QVERIFY2(!component.isError(), qPrintable(component.errorString()));
        QQuickWindow window;
        std::unique_ptr<QObject> object(component.createWithInitialProperties({{"auth", QVariant::fromValue(&auth)}}));
        QVERIFY2(object, qPrintable(component.errorString()));
        auto *stack = qobject_cast<QQuickItem *>(object.get());
        stack->setParentItem(window.contentItem());
        window.show();
        auto *page = stack->property("currentItem").value<QQuickItem *>();
        auto *state = page->property("state").value<ProfileScreen *>();

        QTest::qWait(50);
        QVERIFY2(!auth.isLoggedIn(), "nothing is read while the tab is not shown");
        stack->setProperty("current", true);
        QVERIFY(auth.isLoggedIn());
        QTRY_COMPARE_WITH_TIMEOUT(state->myArticleCount(), 5, 10000);
        QCOMPARE(m_server.count("/api/me"), 1);

        // Pushing and popping inside the tab is not the tab being shown.
        QVERIFY(QMetaObject::invokeMethod(stack, "pushOther"));
        QTRY_COMPARE(stack->property("depth").toInt(), 2);
        state->setBioText("unsaved");
        QVERIFY(QMetaObject::invokeMethod(stack, "popOther"));
        QTRY_COMPARE(stack->property("depth").toInt(), 1);
        QTest::qWait(300);
        QCOMPARE(m_server.count("/api/me"), 1);
        QCOMPARE(state->bioText(), QString("unsaved"));

        // Switching away and back is.
        stack->setProperty("current", false);
        stack->setProperty("current", true);
        QCOMPARE(state->bioText(), QString("hello"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/me"), 2, 10000);
        QQuickItem *rows = findNamed(page, "displayName");
        QVERIFY(rows);
        object.reset();
        QTest::qWait(20);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }

    void tabAlreadyShownAtCreationLoadsOnce()
    {
        g_warnings.clear();
        m_server.clear();
        AuthManager auth(m_home.filePath("stored.ini"));
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(kHost, QUrl("qrc:/Papelo/profile_host.qml"));
        QVERIFY2(!component.isError(), qPrintable(component.errorString()));
        QQuickWindow window;
        std::unique_ptr<QObject> object(component.createWithInitialProperties(
            {{"auth", QVariant::fromValue(&auth)}, {"current", true}}));
        QVERIFY2(object, qPrintable(component.errorString()));
        qobject_cast<QQuickItem *>(object.get())->setParentItem(window.contentItem());
        window.show();
        QVERIFY(auth.isLoggedIn());
        QTRY_COMPARE_WITH_TIMEOUT(m_server.count("/api/me"), 1, 10000);
        QTest::qWait(300);
        QCOMPARE(m_server.count("/api/me"), 1);
        object.reset();
        QTest::qWait(20);
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }
};

int main(int argc, char *argv[])
{
    // A pushed article screen hosts a web view: the engine must start first.
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    ProfileQmlTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_profile_qml.moc"

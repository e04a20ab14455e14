#pragma once

// The one harness of the QML tests: a strict warning policy, a tab's stack in
// a window as the shell builds it, and item lookups.
#include "common/App.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <functional>
#include <vector>
#include <memory>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

namespace qmltest {

inline QStringList warnings;

// Every warning fails the test that printed it, except the lines that the
// offscreen platform, Qt WebEngine and Qt's network stack (a refused
// connection behind a disk cache) print whatever the views do. Call from
// initTestCase: QtTest installs its own handler when it starts.
inline void collectWarnings()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        static const QStringList noise{"XDG_RUNTIME_DIR", "propagateSizeHints", "This plugin does not support",
                                       "You should not use it as a QML type", "OpenGL context creation failed",
                                       // The engine logs its https upgrade even for loopback
                                       // pictures, which it then fetches over plain http.
                                       "No suitable graphics backend found", "Mixed Content: The page at",
                                       "QNetworkReplyImplPrivate::error: Internal problem"};
        if (type != QtDebugMsg && type != QtInfoMsg
            && std::none_of(noise.begin(), noise.end(), [&](const QString &n) { return message.contains(n); }))
            warnings << message;
        previous(type, context, message);
    });
}

inline QString takeWarnings()
{
    const QString text = warnings.join(QLatin1Char('\n'));
    warnings.clear();
    return text;
}

inline std::unique_ptr<QQuickItem> create(QQmlEngine &engine, const QByteArray &qml)
{
    QQmlComponent component(&engine);
    component.setData(qml, QUrl(QStringLiteral("qrc:/Papelo/testhost.qml")));
    std::unique_ptr<QQuickItem> item(qobject_cast<QQuickItem *>(component.create()));
    if (!item)
        qWarning("%s", qPrintable(component.errorString()));
    return item;
}

// Pushes a view (its file name without ".qml") on a TabStack.
inline void push(QQuickItem *stack, const QString &view, const QVariantMap &properties = {})
{
    QMetaObject::invokeMethod(stack, "push", Q_ARG(QVariant, QUrl(QStringLiteral("qrc:/Papelo/%1.qml").arg(view))),
                              Q_ARG(QVariant, properties));
}

// One tab's TabStack in a shown window, as the shell builds it.
struct Host {
    explicit Host(QSize size = QSize(1200, 800), const QByteArray &stackProperties = "current: true")
        : stack(create(engine, "import Papelo\nTabStack { " + stackProperties + " }"))
    {
        papelo::App::shared()->setWindowWidth(size.width());
        window.resize(size);
        stack->setParentItem(window.contentItem());
        stack->setSize(size);
        window.show();
    }
    // Pushes a view; returns the page on top.
    QQuickItem *push(const QString &view, const QVariantMap &properties = {})
    {
        qmltest::push(stack.get(), view, properties);
        return page();
    }
    QQuickItem *page() const { return stack->property("stack").value<QObject *>()->property("currentItem").value<QQuickItem *>(); }
    template <class T = QObject> T *state(const char *name = "screen") const { return page()->property(name).value<T *>(); }
    int depth() const { return stack->property("depth").toInt(); }
    void back() { QMetaObject::invokeMethod(stack.get(), "back"); }
    QQuickItem *root() { return window.contentItem(); }

    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> stack;
};

inline QQuickItem *findItem(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    if (!root || match(root))
        return root;
    for (QQuickItem *child : root->childItems())
        if (QQuickItem *found = findItem(child, match))
            return found;
    return nullptr;
}

inline QQuickItem *named(QQuickItem *root, const QString &name) { return findItem(root, [&](QQuickItem *i) { return i->objectName() == name; }); }

// A visible text item showing exactly `text`.
inline QQuickItem *withText(QQuickItem *root, const QString &text)
{
    return findItem(root, [&](QQuickItem *i) { return i->inherits("QQuickText") && i->isVisible() && i->property("text") == text; });
}

// The items of a QML type (its file name) under root, root included.
inline QList<QQuickItem *> ofType(QQuickItem *root, const char *type, bool visibleOnly = true)
{
    QList<QQuickItem *> out;
    if (QByteArray(root->metaObject()->className()).startsWith(QByteArray(type) + '_') && (!visibleOnly || root->isVisible()))
        out << root;
    for (QQuickItem *child : root->childItems())
        out << ofType(child, type, visibleOnly);
    return out;
}

// Clicks at a point of the item as drawn: items that have just appeared take
// their places in the polish before the next frame, and until then may overlap.
inline void clickAt(QQuickWindow &window, QQuickItem *item, QPointF at)
{
    QSignalSpy drawn(&window, &QQuickWindow::frameSwapped);
    window.update();
    drawn.wait(5000);
    QTest::mouseClick(&window, Qt::LeftButton, {}, item->mapToScene(at).toPoint());
}

inline void click(QQuickWindow &window, QQuickItem *item)
{
    clickAt(window, item, QPointF(item->width() / 2, item->height() / 2));
}

// The accessible object a screen reader is told has the focus: the focused
// item's or, as Qt Quick reports it, its nearest accessible ancestor's,
// followed into what it says holds the focus (a web view's document).
inline QAccessibleInterface *focusedAccessible(QQuickWindow &window)
{
    QAccessibleInterface *iface = nullptr;
    for (QQuickItem *item = window.activeFocusItem(); item && !iface; item = item->parentItem())
        iface = QAccessible::queryAccessibleInterface(item);
    while (iface && iface->focusChild() && iface->focusChild() != iface)
        iface = iface->focusChild();
    return iface;
}

// "Role name", as a test reads it: "Button 重试", "Heading 文章详情".
inline QString describe(QAccessibleInterface *iface)
{
    static const QMetaEnum roles = QAccessible::staticMetaObject.enumerator(QAccessible::staticMetaObject.indexOfEnumerator("Role"));
    return iface ? QString::fromLatin1(roles.valueToKey(iface->role())) + QLatin1Char(' ') + iface->text(QAccessible::Name) : QString();
}

// Every shown accessible object under `iface` (itself included), depth first.
inline QList<QAccessibleInterface *> shownTree(QAccessibleInterface *iface)
{
    QList<QAccessibleInterface *> out;
    if (iface && !iface->state().invisible) {
        out << iface;
        for (int i = 0; i < iface->childCount(); ++i)
            out << shownTree(iface->child(i));
    }
    return out;
}

// Shown controls under root (itself left out) that tell a screen reader no name.
inline QStringList unnamedControls(QQuickItem *root)
{
    using A = QAccessible;
    static const QList<A::Role> controls{A::Button, A::CheckBox, A::RadioButton, A::EditableText, A::PageTab, A::MenuItem, A::Link};
    QStringList unnamed;
    for (QAccessibleInterface *iface : shownTree(QAccessible::queryAccessibleInterface(root)).mid(1))
        if (controls.contains(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << describe(iface) + QString::fromLatin1(iface->object()->metaObject()->className());
    return unnamed;
}

// Where the focus lands at each press of `key` (Backtab as Shift+Tab, as the
// web engine reads it) until it is back where it started or at a stop passed
// already; "stuck" when it moves nowhere. A web view hands it on only once its
// engine has taken it: pressed again there. A stop out of the window says so.
inline QStringList focusWalk(QQuickWindow &window, Qt::Key key)
{
    QStringList walk;
    QList<QQuickItem *> passed{window.activeFocusItem()};
    while (walk.size() < 40) {
        bool moved = false;
        for (int press = 0; !moved && (press == 0 || (press < 4 && passed.last()->inherits("QtWebEngineCore::RenderWidgetHostViewQtDelegateItem"))); ++press) {
            QTest::keyClick(&window, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            moved = QTest::qWaitFor([&] { return window.activeFocusItem() != passed.last(); }, 2000);
        }
        QQuickItem *at = window.activeFocusItem();
        if (!moved || passed.contains(at))
            return moved ? walk : walk << QStringLiteral("stuck");
        passed << at;
        const QPointF middle = at->mapToScene(QPointF(at->width() / 2, at->height() / 2));
        walk << describe(focusedAccessible(window)) + (QRectF(QPointF(), window.size()).contains(middle) ? "" : " (out of view)");
    }
    return walk;
}

// The real window (Main.qml) with `tab` selected before it is built, active.
struct MainWindow {
    explicit MainWindow(int tab)
    {
        papelo::App::shared()->setSelectedTab(tab);
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Papelo/Main.qml")));
        window.reset(qobject_cast<QQuickWindow *>(component.create()));
        if (window)
            window->requestActivate();
    }
    QList<QQuickItem *> stacks() const { return ofType(window->contentItem(), "TabStack", false); }
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
};

} // namespace qmltest

#define QVERIFY_NO_WARNINGS() QVERIFY2(qmltest::warnings.isEmpty(), qPrintable(qmltest::takeWarnings()))
#define QVERIFY_ALL_NAMED(root) QVERIFY2(qmltest::unnamedControls(root).isEmpty(), qPrintable(qmltest::unnamedControls(root).join(", ")))

// main() of a QML test: Qt WebEngine before the application (pages may host a
// web view; the names pictures.test and www.youtube.com reach loopback there,
// hosts that are not loopback by their names), the style the reader runs with, settings and caches
// of its own.
#define QML_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir home;                                                                                            \
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})                                \
            qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());                                          \
        qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");                                                                       \
        char marker[] = "--webEngineArgs", rules[] = "--host-resolver-rules=MAP pictures.test 127.0.0.1,MAP www.youtube.com 127.0.0.1"; \
        std::vector<char *> args(argv, argv + argc);                                                                   \
        args.insert(args.end(), {marker, rules});                                                                      \
        int appArgc = int(args.size());                                                                                \
        QtWebEngineQuick::initialize();                                                                                \
        QQuickStyle::setStyle(QStringLiteral("Basic"));                                                                \
        QGuiApplication app(appArgc, args.data());                                                                     \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

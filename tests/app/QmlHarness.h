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
    // Pushes a view (its file name without ".qml"); returns the page on top.
    QQuickItem *push(const QString &view, const QVariantMap &properties = {})
    {
        QMetaObject::invokeMethod(stack.get(), "push", Q_ARG(QVariant, QUrl(QStringLiteral("qrc:/Papelo/%1.qml").arg(view))),
                                  Q_ARG(QVariant, properties));
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

inline void click(QQuickWindow &window, QQuickItem *item)
{
    QTest::mouseClick(&window, Qt::LeftButton, {}, item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
}

// Visible, focusable controls under root that tell assistive technology no
// name. A web view's accessible tree is the engine's, built from the document.
inline QStringList unnamedControls(QQuickItem *root)
{
    QStringList unnamed;
    const QString type = QString::fromLatin1(root->metaObject()->className());
    if (!root->isVisible() || type.contains(QLatin1String("WebEngine")))
        return unnamed;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(root);
    if (root->activeFocusOnTab() && root->isEnabled() && (!iface || iface->text(QAccessible::Name).trimmed().isEmpty()))
        unnamed << type + QLatin1Char(' ') + root->property("placeholderText").toString();
    for (QQuickItem *child : root->childItems())
        unnamed << unnamedControls(child);
    return unnamed;
}

} // namespace qmltest

#define QVERIFY_NO_WARNINGS() QVERIFY2(qmltest::warnings.isEmpty(), qPrintable(qmltest::takeWarnings()))
#define QVERIFY_ALL_NAMED(root) QVERIFY2(qmltest::unnamedControls(root).isEmpty(), qPrintable(qmltest::unnamedControls(root).join(", ")))

// main() of a QML test: Qt WebEngine before the application (pages may host a
// web view; the name pictures.test reaches loopback there, a host that is not
// loopback by its name), the style the reader runs with, settings and caches
// of its own.
#define QML_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir home;                                                                                            \
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})                                \
            qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());                                          \
        qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");                                                                       \
        char marker[] = "--webEngineArgs", rules[] = "--host-resolver-rules=MAP pictures.test 127.0.0.1";              \
        std::vector<char *> args(argv, argv + argc);                                                                   \
        args.insert(args.end(), {marker, rules});                                                                      \
        int appArgc = int(args.size());                                                                                \
        QtWebEngineQuick::initialize();                                                                                \
        QQuickStyle::setStyle(QStringLiteral("Basic"));                                                                \
        QGuiApplication app(appArgc, args.data());                                                                     \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

// Loads every QML file of the Papelo module offscreen and fails on any QML
// warning (binding loops, undefined properties, missing types).
#include "App.h"
#include "ServerConfig.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
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
    // Platform chatter that is no QML fault.
    const bool platformNoise = message.contains(QLatin1String("XDG_RUNTIME_DIR"))
                               || message.contains(QLatin1String("propagateSizeHints"))
                               || message.contains(QLatin1String("This plugin does not support"))
                               // Qt WebEngine's own registration notes, printed on import.
                               || message.contains(QLatin1String("You should not use it as a QML type"))
                               // The offscreen platform has no OpenGL for Chromium to render with.
                               || message.contains(QLatin1String("OpenGL context creation failed"))
                               || message.contains(QLatin1String("No suitable graphics backend found"));
    if (type != QtDebugMsg && type != QtInfoMsg && !platformNoise)
        g_warnings << message;
    if (g_previous)
        g_previous(type, context, message);
}
} // namespace

class TestQml : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyFileLoadsWithoutWarnings_data();
    void everyFileLoadsWithoutWarnings();
    void mainWindowShowsTabsAndStartsOnRequestedTab();
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

void TestQml::everyFileLoadsWithoutWarnings_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(QStringLiteral(PAPELO_QML_DIR)).entryList({QStringLiteral("*.qml")}, QDir::Files);
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
        QFile source(QStringLiteral(PAPELO_QML_DIR "/") + file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const bool singleton = source.readAll().contains("pragma Singleton");
        // A singleton cannot be a component's root: reach it through a user.
        QQmlComponent component(&engine);
        if (singleton)
            component.setData("import QtQuick\nimport Papelo\nQtObject { property var probe: "
                                  + file.chopped(4).toUtf8() + " }",
                              QUrl(QStringLiteral("qrc:/Papelo/probe.qml")));
        else
            component.loadUrl(QUrl(QStringLiteral("qrc:/Papelo/") + file));
        QVERIFY2(!component.isError(), qPrintable(component.errorString()));
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        // Let deferred bindings, loaders and first requests run.
        QTest::qWait(100);
        object.reset();
        QTest::qWait(20);
    }
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

namespace {
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
    app->setSelectedTab(3);
    QQmlEngine engine;
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Papelo/Main.qml")));
    std::unique_ptr<QObject> object(component.create());
    auto *window = qobject_cast<QQuickWindow *>(object.get());
    QVERIFY2(window, qPrintable(component.errorString()));
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

int main(int argc, char *argv[])
{
    // The article screen hosts a WebEngineView: the engine must start before the application.
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    TestQml test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qml.moc"

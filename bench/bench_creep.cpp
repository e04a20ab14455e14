// Memory creep of the article page: the real window (Main.qml) against
// papelo-server --demo opens 50 articles in a row from the home tab and goes
// back after each one's text is shown, the way a reader does. After every
// round it prints the summed PSS of the reader and its web processes; the
// last round must stay within 30 MiB of the first.
//
//   scripts/locked-build.sh bench_creep && flock /tmp/papelo-build.lock build/bench/bench_creep
#include "core/APIClient.h"
#include "core/Activity.h"
#include "core/ServerConfig.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/WebViewHost.h"
#include "ProcessTree.h"
#include "ServerProcess.h"

#include <QCoroTask>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdio>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {

constexpr int kRounds = 50;
constexpr double kAllowedMiB = 30;

// The home tab's StackView: the one that can open an article and is shown.
QQuickItem *homeStack(QQuickItem *item)
{
    if (item->metaObject()->indexOfMethod("openArticle(QVariant,QVariant)") >= 0 && item->property("current").toBool())
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = homeStack(child))
            return found;
    }
    return nullptr;
}

// The article body's host: a direct child of the ArticleBody item. Walking
// the visual tree only (not every QObject as well) keeps this cheap enough
// to poll without starving the engine's own work on this thread.
QObject *findHost(QQuickItem *item)
{
    for (QObject *child : item->children()) {
        if (qobject_cast<WebViewHost *>(child))
            return child;
    }
    for (QQuickItem *child : item->childItems()) {
        if (QObject *found = findHost(child))
            return found;
    }
    return nullptr;
}

// Waits until nothing is loading or measuring any more (web page loads and
// their re-measure window included), at most 15 s.
bool settle()
{
    return QTest::qWaitFor([] { return Activity::shared().count() == 0; }, 15000);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Article documents come from a scheme of the reader's own, registered as
    // the shell does before the web engine starts.
    ArticleDocumentServer::registerScheme();
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    ServerProcess server;
    if (!server.start()) {
        std::printf("server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    ServerConfig::setBaseUrl(server.baseUrl());
    const auto list = QCoro::waitFor(
        APIClient::create(server.baseUrl())->fetchArticles(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    if (!list || list->items.isEmpty()) {
        std::printf("list failed\n");
        return 1;
    }

    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/Papelo/Main.qml")));
    auto *window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    QQuickItem *stack = window ? homeStack(window->contentItem()) : nullptr;
    if (!stack || !settle()) {
        std::printf("the window did not come up\n");
        return 1;
    }
    QQuickItem *tabStack = stack->parentItem();

    double first = 0, last = 0, highest = 0;
    std::printf("round  article  PSS MiB (reader + web processes, after going back)\n");
    for (int round = 1; round <= kRounds; ++round) {
        const qint64 id = list->items.at((round - 1) % list->items.size()).id;
        QMetaObject::invokeMethod(stack, "openArticle", Q_ARG(QVariant, id), Q_ARG(QVariant, false));
        const bool shown = QTest::qWaitFor(
            [&] {
                QObject *host = findHost(stack);
                return host && !host->property("isLoading").toBool();
            },
            15000);
        settle();
        QMetaObject::invokeMethod(tabStack, "back");
        const bool back = QTest::qWaitFor(
            [&] { return stack->property("depth").toInt() == 1 && !stack->property("busy").toBool(); }, 5000);
        QTest::qWait(200);  // deferred deletes of the page
        settle();
        // The server is a child of this process too, but not part of the reader.
        const double now = bench::mib(bench::treePssKiB(getpid()) - bench::pssKiB(server.processId()));
        if (round == 1)
            first = now;
        last = now;
        highest = std::max(highest, now);
        std::printf("%5d  %7lld  %7.1f%s%s\n", round, id, now, shown ? "" : "  (text never shown)",
                    back ? "" : "  (still open)");
        std::fflush(stdout);
    }
    std::printf("\nafter the first %.1f MiB, after the last %.1f MiB, highest %.1f MiB\n", first, last, highest);
    std::printf("growth %.1f MiB (target <= %.0f MiB) %s\n", last - first, kAllowedMiB,
                last - first <= kAllowedMiB ? "met" : "NOT MET");
    server.stop();
    return last - first <= kAllowedMiB ? 0 : 1;
}

// The home grid over a list of 5,000 articles: decoding the list body,
// resetting the model, the first rendered frame, then scrolling from top to
// bottom while counting live card delegates and watching the resident memory.
//
//   scripts/locked-build.sh bench_article_grid && QT_QPA_PLATFORM=offscreen build/bench/bench_article_grid
//
// With --images the cards carry the thumbnails of papelo-server --demo (its
// 120 pictures repeated over the 5,000 cards), loaded through the image cache.
#include "core/APIClient.h"
#include "core/Activity.h"
#include "articles/ArticleListModel.h"
#include "core/Envelopes.h"
#include "core/ServerConfig.h"
#include "ServerProcess.h"

#include <QCoroTask>

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;

namespace {

constexpr int kArticles = 5000;

QByteArray listBody(const QList<Article> &pictures)
{
    QJsonArray items;
    for (int i = 1; i <= kArticles; ++i) {
        Article a;
        a.id = i;
        a.title = QStringLiteral("第 %1 篇：性能测试用的文章标题，长度接近真实数据").arg(i);
        a.date = QStringLiteral("2026-03-01 08:00:00");
        a.views = i * 7;
        a.author = QStringLiteral("作者%1").arg(i % 40);
        a.author_id = i % 40;
        a.url = QStringLiteral("/post/%1").arg(i);
        a.filename = QStringLiteral("post-%1.md").arg(i);
        if (i % 3 == 0)
            a.likes = i % 11;
        if (!pictures.isEmpty()) {
            a.thumb = pictures.at(i % pictures.size()).thumb;
            a.cover = pictures.at(i % pictures.size()).cover;
        }
        items.append(a.toJson());
    }
    QJsonObject body;
    body.insert(QStringLiteral("total"), kArticles);
    body.insert(QStringLiteral("items"), items);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int countCards(QQuickItem *item)
{
    int n = QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String("ArticleCard_")) ? 1 : 0;
    for (QQuickItem *child : item->childItems())
        n += countCards(child);
    return n;
}

void waitFrame(QQuickWindow &window)
{
    QEventLoop loop;
    QObject::connect(&window, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    window.requestUpdate();
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    QGuiApplication app(argc, argv);
    const bool withImages = app.arguments().contains(QStringLiteral("--images"));
    ServerConfig::setBaseUrl(QStringLiteral("http://127.0.0.1:9"));

    ServerProcess server;
    QList<Article> pictures;
    if (withImages) {
        if (!server.start()) {
            std::printf("server did not start: %s\n", qPrintable(server.errorString()));
            return 1;
        }
        ServerConfig::setBaseUrl(server.baseUrl());
        auto client = APIClient::create(server.baseUrl());
        const auto demo = QCoro::waitFor(client->fetchArticles(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
        if (!demo) {
            std::printf("demo list failed: %s\n", qPrintable(demo.error().description()));
            return 1;
        }
        pictures = demo->items;
    }

    const QByteArray body = listBody(pictures);
    QElapsedTimer t;
    t.start();
    const Result<ArticlesResponse> decoded = decodeJson<ArticlesResponse>(body);
    const double decodeMs = t.nsecsElapsed() / 1e6;
    if (!decoded) {
        std::printf("decode failed: %s\n", qPrintable(decoded.error().description()));
        return 1;
    }

    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick\nimport Papelo\nArticleGrid { animateCards: true }",
                      QUrl(QStringLiteral("qrc:/Papelo/bench.qml")));
    std::unique_ptr<QQuickItem> grid(qobject_cast<QQuickItem *>(component.create()));
    if (!grid) {
        std::printf("%s\n", qPrintable(component.errorString()));
        return 1;
    }
    QQuickWindow window;
    window.resize(1200, 800);
    grid->setParentItem(window.contentItem());
    grid->setSize(QSizeF(1200, 800));
    window.show();
    waitFrame(window);

    ArticleListModel model;
    t.restart();
    model.setArticles(decoded->items);
    const double resetMs = t.nsecsElapsed() / 1e6;

    const long rssBefore = rssKiB();
    t.restart();
    grid->setProperty("model", QVariant::fromValue(static_cast<QObject *>(&model)));
    waitFrame(window);
    const double firstFrameMs = t.nsecsElapsed() / 1e6;
    const int cardsAtStart = countCards(grid.get());
    const long rssFirstFrame = rssKiB();

    // Top to bottom in steps of half a screen, one rendered frame per step.
    int maxCards = cardsAtStart;
    int steps = 0;
    t.restart();
    const qreal contentHeight = grid->property("contentHeight").toReal();
    for (qreal y = 0; y <= contentHeight; y += 400) {
        grid->setProperty("contentY", y);
        waitFrame(window);
        maxCards = std::max(maxCards, countCards(grid.get()));
        ++steps;
    }
    const double scrollMs = t.nsecsElapsed() / 1e6;
    const long rssAfterDown = rssKiB();
    // And back up, to see that nothing accumulates.
    for (qreal y = contentHeight; y >= 0; y -= 400) {
        grid->setProperty("contentY", y);
        waitFrame(window);
        maxCards = std::max(maxCards, countCards(grid.get()));
    }
    const long rssAfterUp = rssKiB();
    // Let the image loads still running end before the last reading.
    QElapsedTimer settle;
    settle.start();
    while (Activity::shared().count() > 0 && settle.elapsed() < 15000)
        waitFrame(window);
    const long rssSettled = rssKiB();

    std::printf("articles                 %d (body %.1f MiB)%s\n", kArticles, body.size() / 1048576.0,
                withImages ? ", demo thumbnails" : ", letter tiles");
    std::printf("decode                   %.1f ms\n", decodeMs);
    std::printf("model reset              %.2f ms\n", resetMs);
    std::printf("first frame              %.1f ms (%d cards built)\n", firstFrameMs, cardsAtStart);
    std::printf("scroll top->bottom       %d frames in %.0f ms (%.1f ms/frame)\n", steps, scrollMs, scrollMs / steps);
    std::printf("cards alive at most      %d of %d\n", maxCards, kArticles);
    std::printf("RSS before first frame   %ld KiB\n", rssBefore);
    std::printf("RSS after first frame    %ld KiB\n", rssFirstFrame);
    std::printf("RSS after scrolling down %ld KiB\n", rssAfterDown);
    std::printf("RSS after scrolling up   %ld KiB\n", rssAfterUp);
    std::printf("RSS when settled         %ld KiB\n", rssSettled);
    grid.reset();
    if (withImages)
        server.stop();
    return 0;
}

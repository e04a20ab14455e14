// The article body at its limits, offscreen:
//   article [px]     a body of that height (default 100,000 px): load time,
//                    peak memory, crispness at the end against the top, frame
//                    times scrolling to the end, and page/body alignment
//   big [MiB]        a body of that many MiB (default 5): time until shown
//   textsize [runs]  text size: a flowing ~100,000 px article at 200 %
//                    against 100 % (peak PSS of the process tree, frame
//                    times scrolling through it) and the longest UI-thread
//                    stall when the size changes under 5,000 comments against
//                    none; alternating runs (default 3), medians; one run
//                    of each side is "sized-article PERCENT" and
//                    "size-stall N"
// Without arguments every scenario runs, each in a process of its own.
//
//   scripts/locked-build.sh bench_article_body && QT_QPA_PLATFORM=offscreen build/bench/bench_article_body
#include "PageBench.h"
#include "ProcessTree.h"
#include "common/App.h"
#include "core/Activity.h"
#include "core/AppSettings.h"
#include "reading/ArticleDetailScreen.h"

#include <QDir>
#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(PapeloPlugin)

using namespace papelo;
using namespace bench;

namespace {

constexpr int kBlock = 100;  // px per coloured block of the long body

QColor blockColour(int k) { return QColor((k * 37) % 200 + 40, (k * 91) % 200 + 40, 220 - (k * 53) % 120); }

QString longBody(int heightPx)
{
    QString body;
    const int blocks = heightPx / kBlock;
    for (int k = 0; k < blocks; ++k) {
        // Block 0 and the one before the last carry the same text on the same
        // colour: the crispness check compares them.
        const bool twin = k == 0 || k == blocks - 2;
        body += QStringLiteral("<div style=\"height:%1px;margin:0;overflow:hidden;background:%2\">"
                               "<p style=\"margin:0 0 0 40px;line-height:24px\">%3</p></div>")
                    .arg(kBlock)
                    .arg((twin ? blockColour(0) : blockColour(k)).name())
                    .arg(twin ? QStringLiteral("同一段文字：清晰与否一看便知 The same paragraph, crisp or not.")
                              : QStringLiteral("第 %1 段，用来填满长文章的文字。Filler text for block %1.").arg(k));
    }
    return body;
}

qreal bodyTop(QQuickItem *flick, QQuickItem *body)
{
    auto *content = flick->property("contentItem").value<QQuickItem *>();
    return body->mapToItem(content, QPointF(0, 0)).y();
}

QQuickItem *findBody(QQuickItem *item)
{
    if (QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String("ArticleBody_")))
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = findBody(child))
            return found;
    }
    return nullptr;
}

// How far the pixels of two grabs of the same paragraph differ: the mean over
// all channels of all pixels, 0..255.
double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

bool near(QColor a, QColor b) { return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 24; }

// Opens article 1 on the stage; its screen, or null if the page did not open.
ArticleDetailScreen *openArticle(Stage &stage)
{
    if (!stage.open(QStringLiteral("ArticleDetailView"), {{QStringLiteral("articleId"), 1}}))
        return nullptr;
    return stage.page()->property("screen").value<ArticleDetailScreen *>();
}

int runArticle(int heightPx)
{
    FakeServer server;
    serveArticle(server, longBody(heightPx));

    Stage stage;
    QElapsedTimer t;
    t.start();
    ArticleDetailScreen *screen = openArticle(stage);
    if (!screen)
        return 1;
    const bool shown = waitUntil([&] { return !screen->webViewLoading() && screen->webViewHeight() >= heightPx * 0.9; },
                                 120000);
    std::printf("%-28s %s after %.0f ms (measured %.0f px)\n", "body loaded", shown ? "shown" : "NOT shown",
                t.nsecsElapsed() / 1e6, screen->webViewHeight());
    if (!shown)
        return 1;
    waitUntil([] { return Activity::shared().count() == 0; }, 10000);
    waitFrames(stage.window, 5);
    std::printf("%-28s %ld MiB now, peak %ld MiB\n", "memory after load", statusKiB("VmRSS:") / 1024,
                statusKiB("VmHWM:") / 1024);

    QQuickItem *flick = stage.page()->property("flickable").value<QQuickItem *>();
    QQuickItem *body = findBody(stage.page());
    const qreal top = bodyTop(flick, body);
    const int blocks = heightPx / kBlock;
    // The twin paragraphs at the same place on screen: the first block, then
    // the one before the last.
    const int viewportTop = int(flick->mapToScene(QPointF(0, 0)).y());
    const QRect area(0, viewportTop + 100, kWidth, kBlock);
    auto grabBlock = [&](int k) {
        flick->setProperty("contentY", top + 16 + k * kBlock - 100);
        waitUntil([] { return false; }, 600);  // let the body follow the page
        waitFrames(stage.window, 3);
        return stage.window.grabWindow().copy(area);
    };
    const QImage first = grabBlock(0);
    const QImage last = grabBlock(blocks - 2);
    first.save(QDir::temp().filePath(QStringLiteral("bench-article-first.png")));
    last.save(QDir::temp().filePath(QStringLiteral("bench-article-last.png")));
    std::printf("%-28s mean pixel difference %.2f of 255 (0 = identical; saved in the temporary folder as bench-article-*.png)\n",
                "end paragraph vs top", meanDifference(first, last));

    // Alignment, scrolling at a frame's pace: in every grabbed frame the
    // colour under the page's idea of each block must be that block's colour
    // (or, at worst, the empty page background while the view catches up).
    auto alignment = [&](qreal pxPerFrame) {
        flick->setProperty("contentY", 0);
        waitFrames(stage.window, 5);
        int frames = 0, wrong = 0, blank = 0;
        const qreal end = flick->property("contentHeight").toReal() - flick->height();
        const QColor paper(0xF9, 0xF8, 0xF6);
        QTimer step;
        step.setInterval(16);
        QEventLoop loop;
        QObject::connect(&step, &QTimer::timeout, [&] {
            const qreal y = std::min(end, flick->property("contentY").toReal() + pxPerFrame);
            flick->setProperty("contentY", y);
            const QImage frame = stage.window.grabWindow();
            const qreal bodyScreenTop = body->mapToScene(QPointF(0, 0)).y();
            const int x = int(body->mapToScene(QPointF(24, 0)).x());
            bool isWrong = false, isBlank = false;
            for (int sy = viewportTop + 20; sy < kHeight; sy += 97) {
                const qreal docY = sy - bodyScreenTop - 16;
                const int k = int(docY / kBlock);
                const qreal inBlock = docY - k * kBlock;
                if (docY < 0 || k >= blocks || inBlock < 8 || inBlock > kBlock - 8)
                    continue;
                const QColor seen = frame.pixelColor(x, sy);
                if (near(seen, (k == 0 || k == blocks - 2) ? blockColour(0) : blockColour(k)))
                    continue;
                (near(seen, paper) ? isBlank : isWrong) = true;
                if (qEnvironmentVariableIsSet("BENCH_DEBUG") && !near(seen, paper)) {
                    int found = -1;
                    for (int j = 0; j < blocks && found < 0; ++j)
                        found = near(seen, blockColour(j)) ? j : -1;
                    auto *win = body->property("bodyWindow").value<QObject *>();
                    std::printf("y=%.0f sy=%d want block %d saw %d viewY=%.0f\n", y, sy, k, found,
                                win->property("viewY").toReal());
                }
            }
            ++frames;
            wrong += isWrong ? 1 : 0;
            blank += isBlank && !isWrong ? 1 : 0;
            if (y >= end)
                loop.quit();
        });
        step.start();
        loop.exec();
        std::printf("%-28s %d frames at %.0f px/frame: %d showed the body off its place, %d not yet drawn\n",
                    "page/body alignment", frames, pxPerFrame, wrong, blank);
    };
    alignment(40);
    alignment(400);

    flick->setProperty("contentY", 0);
    waitFrames(stage.window, 5);
    printFrames("scroll to end, 40 px/frame", scrollToEnd(stage.window, flick, 40));
    flick->setProperty("contentY", 0);
    waitFrames(stage.window, 5);
    printFrames("scroll to end, 400 px/frame", scrollToEnd(stage.window, flick, 400));
    std::printf("%-28s %ld MiB now, peak %ld MiB\n", "memory after scrolling", statusKiB("VmRSS:") / 1024,
                statusKiB("VmHWM:") / 1024);
    return 0;
}

int runBig(double mib)
{
    FakeServer server;
    const QString body = bigBody(mib);
    serveArticle(server, body);
    Stage stage;
    QElapsedTimer t;
    t.start();
    ArticleDetailScreen *screen = openArticle(stage);
    if (!screen)
        return 1;
    waitUntil([&] { return screen->mainBlock() == QLatin1String("article"); }, 60000);
    const double articleMs = t.nsecsElapsed() / 1e6;
    const bool shown = waitUntil([&] { return !screen->webViewLoading() && screen->webViewHeight() > 1000; }, 60000);
    std::printf("%-28s %.1f MiB body: article in %.0f ms, body %s after %.0f ms (%.0f px), peak %ld MiB\n",
                "large body", body.toUtf8().size() / 1048576.0, articleMs, shown ? "shown" : "NOT shown",
                t.nsecsElapsed() / 1e6, screen->webViewHeight(), statusKiB("VmHWM:") / 1024);
    return shown ? 0 : 1;
}

// Text size. Each child prints one "figures" line; runTextSize alternates the
// children and prints medians, so both sides share the machine's moods.

// A flowing body (the long body's blocks have fixed heights): at 200 % it
// reflows to about twice its height, as a real article does.
int runSizedArticle(int percent)
{
    App::shared()->settings()->setTextSizeForRun(percent);
    FakeServer server;
    serveArticle(server, bigBody(0.35));
    bench::PeakPss peak(QCoreApplication::applicationPid());
    Stage stage;
    ArticleDetailScreen *screen = openArticle(stage);
    if (!screen)
        return 1;
    if (!waitUntil([&] { return !screen->webViewLoading() && screen->webViewHeight() > 1000; }, 60000)) {
        std::printf("body at %d %% never shown\n", percent);
        return 1;
    }
    waitUntil([] { return Activity::shared().count() == 0; }, 10000);
    waitFrames(stage.window, 5);
    QQuickItem *flick = stage.page()->property("flickable").value<QQuickItem *>();
    const FrameFigures frames = printFrames(qPrintable(QStringLiteral("scroll through, %1 %").arg(percent)),
                                            scrollToEnd(stage.window, flick, 200));
    std::printf("figures article %d %.0f %.1f %.1f %.1f\n", percent, screen->webViewHeight(),
                bench::mib(peak.stop()), frames.p95, frames.worst);
    return 0;
}

// The longest stall from a size change on a settled page until every comment
// row is measured again and the body has followed.
int runSizeStall(int n)
{
    FakeServer server;
    serveArticle(server, QStringLiteral("<p>短文。</p>"), commentsJson(n));
    Stage stage;
    ArticleDetailScreen *screen = openArticle(stage);
    if (!screen)
        return 1;
    auto settled = [&] {
        return !screen->webViewLoading() && screen->comments()->count() == n && screen->comments()->allMeasured()
            && Activity::shared().count() == 0;
    };
    if (!waitUntil(settled, 120000)) {
        std::printf("page with %d comments never settled\n", n);
        return 1;
    }
    waitFrames(stage.window, 5);
    auto change = [&](int percent) {
        StallWatch stalls;
        App::shared()->settings()->setTextSizeForRun(percent);
        waitUntil([] { return false; }, 300);  // let the re-measure start
        waitUntil(settled, 60000);
        waitUntil([] { return false; }, 700);  // the body's measurement after its scale
        waitFrames(stage.window, 3);
        return stalls.worstMs();
    };
    const qint64 up = change(200), down = change(100);
    std::printf("%-28s longest stall %lld ms to 200 %%, %lld ms back to 100 %%\n",
                qPrintable(QStringLiteral("size change, %1 comments").arg(n)), up, down);
    std::printf("figures stall %d %lld %lld\n", n, up, down);
    return 0;
}

int runTextSize(int runs)
{
    const QList<QStringList> kinds = {{"sized-article", "100"}, {"sized-article", "200"},
                                      {"size-stall", "0"},      {"size-stall", "5000"}};
    QHash<QString, QList<QList<double>>> figures;  // "article 200" -> each run's numbers
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        for (const QStringList &kind : kinds) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), kind);
            child.waitForFinished(-1);
            failures += child.exitCode() != 0 ? 1 : 0;
            for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
                if (!line.startsWith("figures ")) {
                    if (!line.isEmpty())
                        std::printf("%s\n", line.constData());
                    continue;
                }
                const QList<QByteArray> f = line.split(' ');
                QList<double> numbers;
                for (qsizetype i = 3; i < f.size(); ++i)
                    numbers.append(f.at(i).toDouble());
                figures[QString::fromLatin1(f.value(1) + ' ' + f.value(2))].append(numbers);
            }
        }
    }
    auto med = [&](const char *key, int column) {
        QList<double> values;
        for (const QList<double> &numbers : figures.value(QString::fromLatin1(key)))
            values.append(numbers.value(column));
        return median(values);
    };
    std::printf("\ntext size, medians of %d alternating runs\n", runs);
    std::printf("%-28s %.0f px at 200 %% against %.0f px at 100 %%\n", "flowing article height",
                med("article 200", 0), med("article 100", 0));
    std::printf("%-28s %.1f / %.1f MiB = %.2f\n", "peak PSS, 200 % / 100 %", med("article 200", 1),
                med("article 100", 1), med("article 200", 1) / med("article 100", 1));
    std::printf("%-28s %.1f / %.1f ms = %.2f (target < 25 ms)\n", "p95 frame, 200 % / 100 %", med("article 200", 2),
                med("article 100", 2), med("article 200", 2) / med("article 100", 2));
    std::printf("%-28s %.1f / %.1f ms = %.2f (target < 60 ms)\n", "worst frame, 200 % / 100 %",
                med("article 200", 3), med("article 100", 3), med("article 200", 3) / med("article 100", 3));
    for (int column : {0, 1}) {
        std::printf("%-28s %.0f ms with 5,000 comments, %.0f ms without: %+.0f (budget +30)\n",
                    column == 0 ? "stall on 100 % -> 200 %" : "stall on 200 % -> 100 %", med("stall 5000", column),
                    med("stall 0", column), med("stall 5000", column) - med("stall 0", column));
    }
    return failures;
}

} // namespace

int main(int argc, char *argv[])
{
    auto number = [](const QStringList &args, const char *fallback) { return args.value(0, QString::fromLatin1(fallback)); };
    return benchMain(argc, argv,
                     {{"article", [&](const QStringList &a, const QString &) { return runArticle(number(a, "100000").toInt()); }},
                      {"big", [&](const QStringList &a, const QString &) { return runBig(number(a, "5").toDouble()); }},
                      {"sized-article", [&](const QStringList &a, const QString &) { return runSizedArticle(a.value(0).toInt()); }},
                      {"size-stall", [&](const QStringList &a, const QString &) { return runSizeStall(a.value(0).toInt()); }},
                      {"textsize", [&](const QStringList &a, const QString &) { return runTextSize(number(a, "3").toInt()); }}},
                     {{"article"}, {"big"}, {"textsize"}});
}

#include "PageBench.h"

#include "common/App.h"
#include "core/Activity.h"
#include "core/Envelopes.h"
#include "core/ServerConfig.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QQmlComponent>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace papelo;

namespace bench {

long statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void waitFrames(QQuickWindow &window, int n)
{
    for (int i = 0; i < n; ++i) {
        QEventLoop loop;
        QObject::connect(&window, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        window.requestUpdate();
        loop.exec();
    }
}

StallWatch::StallWatch()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_worst = std::max(m_worst, m_clock.restart()); });
    m_clock.start();
    m_timer.start();
}

QString bigBody(double mib)
{
    QString body;
    const QString para = QStringLiteral("<p>这是一段用于测试超大正文的文字，重复许多次，直到正文达到目标大小。"
                                        "A paragraph repeated until the body reaches its size.</p>\n");
    const qint64 bytes = qint64(mib * 1048576);
    while (body.toUtf8().size() < bytes)  // coarse, then exact below
        body += para.repeated(500);
    return body;
}

namespace {

QByteArray articleJson(const QString &body)
{
    ArticleDetail article;
    article.id = 1;
    article.title = QStringLiteral("基准测试文章");
    article.filename = QStringLiteral("bench.md");
    article.date = QStringLiteral("2026-03-01 08:00:00");
    article.body = body;
    article.author.id = 2;
    article.author.username = QStringLiteral("作者");
    return QJsonDocument(article.toJson()).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray commentsJson(int n)
{
    QList<Comment> comments;
    for (int i = 1; i <= n; ++i) {
        Comment c;
        c.id = i;
        c.name = QStringLiteral("读者%1").arg(i % 97);
        // Lengths vary so rows have different heights.
        c.content = QStringLiteral("第 %1 条评论。").arg(i) + QStringLiteral("内容长短不一，").repeated(i % 13);
        c.likes = i % 7;
        c.time = QStringLiteral("2026-03-01 08:00:00");
        comments.append(c);
    }
    return QJsonDocument(toJsonArray(comments)).toJson(QJsonDocument::Compact);
}

QQuickItem *findFlickable(QQuickItem *item)
{
    if (item->inherits("QQuickFlickable") && item->property("contentHeight").toReal() > item->height())
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = findFlickable(child))
            return found;
    }
    return nullptr;
}

bool Stage::open(const QString &view, const QVariantMap &properties)
{
    App::shared()->setWindowWidth(kWidth);
    window.resize(kWidth, kHeight);
    QQmlComponent component(&engine);
    component.setData("import Papelo\nTabStack { current: true }", QUrl(QStringLiteral("qrc:/Papelo/bench.qml")));
    stack.reset(qobject_cast<QQuickItem *>(component.create()));
    if (!stack) {
        std::printf("%s\n", qPrintable(component.errorString()));
        return false;
    }
    stack->setParentItem(window.contentItem());
    stack->setSize(QSizeF(kWidth, kHeight));
    window.show();
    QMetaObject::invokeMethod(stack.get(), "push",
                              Q_ARG(QVariant, QUrl(QStringLiteral("qrc:/Papelo/%1.qml").arg(view))),
                              Q_ARG(QVariant, properties));
    return page() != nullptr;
}

QQuickItem *Stage::page() const
{
    auto *view = stack->property("stack").value<QQuickItem *>();
    return view ? view->property("currentItem").value<QQuickItem *>() : nullptr;
}

QList<double> scrollToEnd(QQuickWindow &window, QQuickItem *flick, qreal pxPerFrame)
{
    QList<double> intervals;
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    auto conn = QObject::connect(&window, &QQuickWindow::frameSwapped, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            intervals.append((now - last) / 1e6);
        last = now;
    });
    const qreal end = flick->property("contentHeight").toReal() - flick->height();
    QTimer step;
    step.setTimerType(Qt::PreciseTimer);
    step.setInterval(16);
    QEventLoop loop;
    QObject::connect(&step, &QTimer::timeout, [&] {
        const qreal y = std::min(end, flick->property("contentY").toReal() + pxPerFrame);
        flick->setProperty("contentY", y);
        if (y >= end)
            loop.quit();
    });
    step.start();
    loop.exec();
    waitFrames(window, 3);
    QObject::disconnect(conn);
    return intervals;
}

FrameFigures printFrames(const char *label, QList<double> intervals)
{
    if (intervals.isEmpty()) {
        std::printf("%-28s no frames\n", label);
        return {};
    }
    std::sort(intervals.begin(), intervals.end());
    const FrameFigures f{intervals.at(intervals.size() / 2), intervals.at(qsizetype(intervals.size() * 0.95)),
                         intervals.last()};
    std::printf("%-28s %lld frames, median %.1f ms, p95 %.1f ms, worst %.1f ms\n", label,
                qint64(intervals.size()), f.median, f.p95, f.worst);
    return f;
}

void serveArticle(FakeServer &server, const QString &body, const QByteArray &comments)
{
    server.listen();
    ServerConfig::setBaseUrl(server.baseUrl());
    server.on("GET", "/api/article/1", FakeServer::Response::raw(200, articleJson(body)));
    server.on("GET", "/api/comments", FakeServer::Response::raw(200, comments));
}

int runSettled(const char *label, Stage &stage, const QString &view, const QVariantMap &properties,
               const std::function<bool()> &settled)
{
    const long rssBefore = statusKiB("VmHWM:");
    StallWatch stalls;
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    if (!stage.open(view, properties))
        return 1;
    if (!waitUntil([&] { return settled() && Activity::shared().count() == 0; }, 120000)) {
        std::printf("%s never settled\n", label);
        return 1;
    }
    waitFrames(stage.window, 2);
    const double cpuOpen = cpuSeconds() - cpu0;
    const double wallOpen = t.nsecsElapsed() / 1e6;
    const qint64 stallOpen = stalls.worstMs();
    QQuickItem *flick = findFlickable(stage.page());
    if (flick)
        scrollToEnd(stage.window, flick, 200);
    std::printf("%-28s settled in %.0f ms using %.2f s CPU; peak memory %ld MiB (+%ld); longest stall %lld ms "
                "opening, %lld ms with scrolling to the end\n",
                label, wallOpen, cpuOpen, statusKiB("VmHWM:") / 1024, (statusKiB("VmHWM:") - rssBefore) / 1024,
                stallOpen, stalls.worstMs());
    return 0;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

int benchMain(int argc, char *argv[], const std::map<QString, Scenario> &scenarios, const QList<QStringList> &all)
{
    QTemporaryDir home;
    qputenv("PAPELO_TOKEN_STORE", "file");  // never a developer's keychain
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
    QtWebEngineQuick::initialize();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty()) {
        const auto scenario = scenarios.find(args.first());
        if (scenario == scenarios.end()) {
            std::printf("unknown scenario %s\n", qPrintable(args.first()));
            return 2;
        }
        return scenario->second(args.mid(1), home.path());
    }
    int failures = 0;
    for (const QStringList &run : all) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), run);
        child.waitForFinished(-1);
        failures += child.exitCode() != 0 ? 1 : 0;
    }
    return failures;
}

} // namespace bench

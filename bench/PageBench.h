#pragma once

// What the page benches share: a tab's stack in an offscreen window, a fake
// server for one article, waits, frame timing, stalls, and running every
// scenario in a process of its own.

#include "FakeServer.h"

#include <QElapsedTimer>
#include <QList>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace bench {

constexpr int kWidth = 1200, kHeight = 800;

long statusKiB(const char *key);
double cpuSeconds();
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
void waitFrames(QQuickWindow &window, int n);
double median(QList<double> values);

// The largest gap between the ticks of a 10 ms timer: the longest the UI
// thread was busy with something else.
class StallWatch {
public:
    StallWatch();
    qint64 worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

QString bigBody(double mib);
QByteArray commentsJson(int n);
// Serves article 1 with this body and these comments as the configured server.
void serveArticle(FakeServer &server, const QString &body, const QByteArray &comments = "[]");

// A tab's stack in a window, as the shell builds it.
struct Stage {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> stack;

    bool open(const QString &view, const QVariantMap &properties);
    QQuickItem *page() const;
};

QQuickItem *findFlickable(QQuickItem *item);
// Scrolls `flick` from top to bottom at `pxPerFrame` every 16 ms and returns
// the frame intervals seen meanwhile.
QList<double> scrollToEnd(QQuickWindow &window, QQuickItem *flick, qreal pxPerFrame);
struct FrameFigures {
    double median = 0, p95 = 0, worst = 0;
};
FrameFigures printFrames(const char *label, QList<double> intervals);
// Opens a page, waits until it has settled, then scrolls it to the end.
int runSettled(const char *label, Stage &stage, const QString &view, const QVariantMap &properties,
               const std::function<bool()> &settled);

using Scenario = std::function<int(const QStringList &args, const QString &home)>;
// Sets up a private home and the application, then runs the scenario named by
// the first argument, or, without one, each run of `all` as a child process.
int benchMain(int argc, char *argv[], const std::map<QString, Scenario> &scenarios, const QList<QStringList> &all);

} // namespace bench

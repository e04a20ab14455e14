// The reader's start-up and article page against Chromium doing the same work
// in the same run, on the same papelo-server --demo:
//
//   first cards   papelo's first frame with a card and its title (--trace
//                 first-cards, from the kernel's start of the process) against
//                 Chromium's time to screenshot a static page of the same 12
//                 cards with the same images                 target <= 0.3x
//   home memory   peak summed PSS of the reader's process tree against
//                 Chromium's for that page                   target <= 0.4x
//   article text  papelo --article ID, first frame showing the body's text
//                 (article-text-shown) against Chromium's time to screenshot
//                 core's styledHTML document of that body    target <= 0.5x
//   article mem.  peak PSS of the reader and its web processes against
//                 Chromium's for the document                target <= 0.6x
//
// Runs alternate (reader, Chromium, reader, ...); each figure is the median of
// --runs N (default 7, at least 5). Memory is sampled every 50 ms.
//
//   scripts/locked-build.sh bench_startup papelo papelo-server
//   flock /tmp/papelo-build.lock build/bench/bench_startup
//
// Needs Debian's chromium (scripts/deps.sh --bench installs it).
#include "core/APIClient.h"
#include "core/ImageUrl.h"
#include "core/StyledHtml.h"
#include "ProcessTree.h"
#include "ServerProcess.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace papelo;

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 800;

#ifndef PAPELO_BINARY
#define PAPELO_BINARY ""
#endif

struct Sample {
    double ms = -1;  // -1: the event never came
    qint64 peakKiB = 0;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

QString escaped(const QString &text) { return text.toHtmlEscaped(); }

// The home grid's first 12 cards as plain HTML: the same titles, counts,
// authors, days and thumbnails (from the same server), three to a row.
QString cardsPage(const QList<Article> &articles, const QString &baseUrl)
{
    QString html = QStringLiteral(
        "<!doctype html><html><head><meta charset=utf-8><style>"
        "body{margin:0;background:#f8f7f4;font-family:'Noto Sans CJK SC',sans-serif}"
        ".grid{display:grid;grid-template-columns:repeat(3,1fr);gap:16px;max-width:1100px;margin:24px auto;padding:0 16px}"
        ".card{background:#fff;border-radius:8px;border:.5px solid #e5e3de;padding:8px;height:216px;box-sizing:border-box}"
        ".pic{height:130px;border-radius:8px;overflow:hidden;background:#127a68;color:#fff;font-size:40px;"
        "display:flex;align-items:center;justify-content:center}.pic img{width:100%;height:100%;object-fit:cover}"
        "h3{font-size:14px;margin:6px 4px 2px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}"
        ".meta{font-size:11px;color:#888;margin:2px 4px;display:flex;justify-content:space-between}"
        "</style></head><body><div class=grid>");
    for (const Article &a : articles) {
        const std::optional<QString> path = a.thumb ? a.thumb : a.cover;
        const std::optional<QUrl> image = fullImageURL(path, baseUrl);
        html += QStringLiteral("<div class=card><div class=pic>");
        html += image ? QStringLiteral("<img src=\"%1\">").arg(escaped(image->toString()))
                      : escaped(a.title.left(1));
        html += QStringLiteral("</div><h3>%1</h3><div class=meta><span>&#128065; %2 &#128172; %3 &#9825; %4</span></div>"
                               "<div class=meta><span>%5</span><span>%6</span></div></div>")
                    .arg(escaped(a.title))
                    .arg(a.views)
                    .arg(a.comments.value_or(0))
                    .arg(a.likes.value_or(0))
                    .arg(escaped(a.author.value_or(QString())), a.date.left(10));
    }
    return html + QStringLiteral("</div></body></html>");
}

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

// Microseconds of the first instant `name` in a trace file, -1 without one.
qint64 instantUs(const QString &tracePath, const QString &name)
{
    QFile file(tracePath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QJsonArray events = QJsonDocument::fromJson(file.readAll())[u"traceEvents"].toArray();
    for (const QJsonValue &e : events) {
        if (e[u"ph"] == QStringLiteral("i") && e[u"name"] == name)
            return e[u"ts"].toInteger();
    }
    return -1;
}

Sample runReader(const QString &baseUrl, const QStringList &extra, const QString &event)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    const QString trace = home.filePath(QStringLiteral("trace.json"));
    QProcess reader;
    reader.setProcessEnvironment(env);
    reader.start(QStringLiteral(PAPELO_BINARY),
                 QStringList{QStringLiteral("--server"), baseUrl, QStringLiteral("--size"),
                             QStringLiteral("%1x%2").arg(kWidth).arg(kHeight), QStringLiteral("--trace"), trace,
                             QStringLiteral("--screenshot"), home.filePath(QStringLiteral("shot.png"))}
                     + extra);
    if (!reader.waitForStarted())
        return {};
    bench::PeakPss peak(reader.processId());
    reader.waitForFinished(60000);
    Sample s;
    s.peakKiB = peak.stop();
    const qint64 us = instantUs(trace, event);
    s.ms = us < 0 ? -1 : us / 1000.0;
    return s;
}

Sample runChromium(const QString &page)
{
    QTemporaryDir profile;
    const QString shot = profile.filePath(QStringLiteral("shot.png"));
    QProcess chromium;
    QElapsedTimer clock;
    clock.start();
    chromium.start(QStringLiteral("chromium"),
                   {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                    QStringLiteral("--hide-scrollbars"), QStringLiteral("--window-size=%1,%2").arg(kWidth).arg(kHeight),
                    QStringLiteral("--screenshot=") + shot, QStringLiteral("--disable-background-networking"),
                    QStringLiteral("--disable-component-update"), QStringLiteral("--no-first-run"),
                    QStringLiteral("--disable-sync"), QStringLiteral("--user-data-dir=") + profile.filePath("profile"),
                    QUrl::fromLocalFile(page).toString()});
    if (!chromium.waitForStarted())
        return {};
    bench::PeakPss peak(chromium.processId());
    Sample s;
    while (chromium.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
        if (s.ms < 0 && QFileInfo(shot).size() > 0)
            s.ms = double(clock.nsecsElapsed()) / 1e6;
        chromium.waitForFinished(2);
    }
    if (s.ms < 0 && QFileInfo(shot).size() > 0)
        s.ms = double(clock.nsecsElapsed()) / 1e6;
    s.peakKiB = peak.stop();
    return s;
}

QString firstLine(const QByteArray &text) { return QString::fromUtf8(text).section(QLatin1Char('\n'), 0, 0).trimmed(); }

QString machine()
{
    QString cpu;
    for (const QByteArray &line : bench::readProc(QStringLiteral("/proc/cpuinfo")).split('\n')) {
        if (line.startsWith("model name")) {
            cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
            break;
        }
    }
    qint64 memKiB = 0;
    for (const QByteArray &line : bench::readProc(QStringLiteral("/proc/meminfo")).split('\n')) {
        if (line.startsWith("MemTotal:"))
            memKiB = line.mid(9).trimmed().split(' ').value(0).toLongLong();
    }
    return QStringLiteral("%1, %2 cores, %3 GiB RAM")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(double(memKiB) / 1024 / 1024, 0, 'f', 1);
}

struct Pair {
    QList<double> readerMs, chromiumMs, readerMiB, chromiumMiB;
    int missed = 0;
};

void report(const char *what, const char *memory, const Pair &p, double timeTarget, double memoryTarget)
{
    const double rt = median(p.readerMs), ct = median(p.chromiumMs);
    const double rm = median(p.readerMiB), cm = median(p.chromiumMiB);
    std::printf("%-14s papelo %7.1f ms   chromium %7.1f ms   ratio %.2f (target <= %.1f) %s\n", what, rt, ct, rt / ct,
                timeTarget, rt / ct <= timeTarget ? "met" : "NOT MET");
    std::printf("%-14s papelo %7.1f MiB  chromium %7.1f MiB  ratio %.2f (target <= %.1f) %s\n", memory, rm, cm,
                rm / cm, memoryTarget, rm / cm <= memoryTarget ? "met" : "NOT MET");
    if (p.missed > 0)
        std::printf("%-14s %d reader runs never showed the event\n", "", p.missed);
}

void printRuns(const char *label, const QList<double> &values)
{
    std::printf("  %-22s", label);
    for (double v : values)
        std::printf(" %7.1f", v);
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = std::max(5, args.contains(QStringLiteral("--runs"))
                                     ? args.value(args.indexOf(QStringLiteral("--runs")) + 1).toInt()
                                     : 7);
    QProcess version;
    version.start(QStringLiteral("chromium"), {QStringLiteral("--version")});
    if (!version.waitForFinished(30000) || version.exitCode() != 0) {
        std::printf("chromium is missing: apt-get install -y chromium (or scripts/deps.sh --bench)\n");
        return 1;
    }

    ServerProcess server;
    if (!server.start()) {
        std::printf("server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    auto client = APIClient::create(server.baseUrl());
    const auto list = QCoro::waitFor(client->fetchArticles(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    if (!list || list->items.size() < 12) {
        std::printf("list failed\n");
        return 1;
    }
    // The newest article with a picture in its body: text, a figure and a table.
    qint64 articleId = 0;
    QString body;
    for (const Article &a : list->items) {
        const auto detail = QCoro::waitFor(client->fetchArticleDetail(a.id));
        if (detail && detail->body.contains(QStringLiteral("<img")) && detail->body.contains(QStringLiteral("<table"))) {
            articleId = a.id;
            body = detail->body;
            break;
        }
    }
    QTemporaryDir pages;
    const QString cards = pages.filePath(QStringLiteral("cards.html"));
    const QString document = pages.filePath(QStringLiteral("article.html"));
    if (articleId == 0 || !writeFile(cards, cardsPage(list->items.mid(0, 12), server.baseUrl()))
        || !writeFile(document, styledHTML(body))) {
        std::printf("could not prepare the pages\n");
        return 1;
    }

    std::printf("machine   %s\n", qPrintable(machine()));
    std::printf("chromium  %s\n", qPrintable(firstLine(version.readAllStandardOutput())));
    std::printf("runs      %d each, alternating; medians; article %lld\n\n", runs, articleId);
    std::fflush(stdout);

    Pair home, article;
    for (int i = 0; i < runs; ++i) {
        const Sample r = runReader(server.baseUrl(), {}, QStringLiteral("first-cards"));
        const Sample c = runChromium(cards);
        if (r.ms < 0)
            ++home.missed;
        else
            home.readerMs << r.ms;
        home.chromiumMs << c.ms;
        home.readerMiB << bench::mib(r.peakKiB);
        home.chromiumMiB << bench::mib(c.peakKiB);
    }
    for (int i = 0; i < runs; ++i) {
        const Sample r = runReader(server.baseUrl(), {QStringLiteral("--article"), QString::number(articleId)},
                                   QStringLiteral("article-text-shown"));
        const Sample c = runChromium(document);
        if (r.ms < 0)
            ++article.missed;
        else
            article.readerMs << r.ms;
        article.chromiumMs << c.ms;
        article.readerMiB << bench::mib(r.peakKiB);
        article.chromiumMiB << bench::mib(c.peakKiB);
    }

    report("first cards", "home memory", home, 0.3, 0.4);
    report("article text", "article memory", article, 0.5, 0.6);
    std::printf("\nruns\n");
    printRuns("first cards papelo ms", home.readerMs);
    printRuns("cards chromium ms", home.chromiumMs);
    printRuns("home papelo MiB", home.readerMiB);
    printRuns("cards chromium MiB", home.chromiumMiB);
    printRuns("article papelo ms", article.readerMs);
    printRuns("article chromium ms", article.chromiumMs);
    printRuns("article papelo MiB", article.readerMiB);
    printRuns("article chromium MiB", article.chromiumMiB);
    server.stop();
    return 0;
}

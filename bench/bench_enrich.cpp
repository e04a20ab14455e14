// Count enrichment of a list of 100 articles that carry no counts (the server
// runs with --bare-lists), against the real papelo-server answering every
// request after 20 ms. Five workers with 20 requests each bound the time from
// below by ceil(100 / 5) × 20 ms.
//
//   scripts/locked-build.sh bench_enrich && build/bench/bench_enrich
#include "core/APIClient.h"
#include "core/ArticleCountsStore.h"
#include "ServerProcess.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>

#include <cstdio>

using namespace papelo;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kArticles = 100;
    constexpr int kLatencyMs = 20;

    ServerProcess::Options options;
    options.demo = false;
    options.articles = kArticles;
    options.latencyMs = kLatencyMs;
    options.extraArguments = {QStringLiteral("--bare-lists")};  // lists without counts, as older servers answer
    ServerProcess server(options);
    if (!server.start()) {
        std::printf("server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }

    auto client = APIClient::create(server.baseUrl());
    const auto list = QCoro::waitFor(client->fetchArticles(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    if (!list || list->items.size() != kArticles) {
        std::printf("list failed: %s\n", list ? "wrong size" : qPrintable(list.error().description()));
        return 1;
    }
    int candidates = 0;
    for (const Article &a : list->items)
        candidates += (!a.likes || !a.comments) ? 1 : 0;

    QElapsedTimer t;
    t.start();
    QCoro::waitFor(client->enrichCounts(list->items));
    const qint64 ms = t.elapsed();

    int stored = 0;
    for (const Article &a : list->items)
        stored += ArticleCountsStore::shared().lookup(a.id) ? 1 : 0;
    const int bound = ((candidates + 4) / 5) * kLatencyMs;
    std::printf("candidates      %d\n", candidates);
    std::printf("stored counts   %d\n", stored);
    std::printf("enrichment      %lld ms\n", ms);
    std::printf("bound           %d ms (ceil(%d / 5) x %d ms)\n", bound, candidates, kLatencyMs);
    std::printf("ratio           %.2f\n", double(ms) / bound);
    server.stop();
    return stored == candidates ? 0 : 1;
}

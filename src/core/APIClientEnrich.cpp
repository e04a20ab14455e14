#include "core/APIClient.h"
#include "core/ArticleCountsStore.h"

#include <vector>

namespace papelo {

QCoro::Task<> APIClient::enrichCounts(QList<Article> articles)
{
    auto self = shared_from_this();
    QList<Article> candidates;
    for (const Article &a : std::as_const(articles)) {
        if (!a.likes || !a.comments)
            candidates.append(a);
    }
    const qsizetype n = candidates.size();
    if (n == 0)
        co_return;
    const qsizetype workers = std::min<qsizetype>(5, n);
    const qsizetype chunk = (n + workers - 1) / workers;

    std::vector<QCoro::Task<>> running;
    for (qsizetype i = 0; i < workers; ++i) {
        const qsizetype start = i * chunk;
        const qsizetype end = std::min(start + chunk, n);
        if (start >= end)
            continue;
        running.push_back(enrichSlice(candidates.mid(start, end - start)));  // starts at once
    }
    for (auto &task : running)
        co_await task;
}

QCoro::Task<> APIClient::enrichSlice(QList<Article> slice)
{
    auto self = shared_from_this();
    ArticleCountsStore &store = ArticleCountsStore::shared();
    const quint64 generation = store.generation();
    for (const Article &article : std::as_const(slice)) {
        // Re-checked before every request: another enrichment may have filled it meanwhile.
        if (store.lookup(article.id))
            continue;
        const auto detail = co_await fetchArticleDetail(article.id);
        // The store was emptied for another server: these counts are not its.
        if (store.generation() != generation)
            co_return;
        if (!detail)
            continue;
        store.set(detail->likes, detail->comments, article.id);
    }
}

} // namespace papelo

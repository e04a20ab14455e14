#include "core/ArticleCountsStore.h"

namespace papelo {

ArticleCountsStore &ArticleCountsStore::shared()
{
    // Never released: enrichments may still write after every screen is gone.
    static ArticleCountsStore *instance = new ArticleCountsStore;
    return *instance;
}

std::optional<ArticleCountsStore::Counts> ArticleCountsStore::lookup(qint64 id) const
{
    const auto it = m_counts.constFind(id);
    if (it == m_counts.constEnd())
        return std::nullopt;
    return *it;
}

void ArticleCountsStore::set(qint64 likes, qint64 comments, qint64 id)
{
    emit aboutToChange(id);
    m_counts.insert(id, Counts{likes, comments});
    emit changed(id);
}

void ArticleCountsStore::clear()
{
    ++m_generation;
    m_counts.clear();
    emit cleared();
}

} // namespace papelo

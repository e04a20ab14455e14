#include "http/AnswerCache.h"

std::optional<QByteArray> AnswerCache::find(const QString &key)
{
    const Entry *entry = m_entries.object(key);
    if (!entry || !current(*entry))
        return std::nullopt;
    return entry->body;
}

void AnswerCache::insert(const QString &key, const QByteArray &body, Follows follows, Stamp builtAt)
{
    Entry entry{body, follows, builtAt};
    if (!current(entry) || body.size() > m_entries.maxCost() / 4)
        return;
    m_entries.insert(key, new Entry(std::move(entry)), qMax<qsizetype>(1, body.size()));
}

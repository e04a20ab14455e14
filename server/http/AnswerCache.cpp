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
    // The key counts too: a flood of distinct searches with empty answers must not grow without bound.
    m_entries.insert(key, new Entry(std::move(entry)), body.size() + key.size() * qsizetype(sizeof(QChar)) + 256);
}

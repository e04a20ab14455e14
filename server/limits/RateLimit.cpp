#include "limits/RateLimit.h"

#include <algorithm>

qint64 RateLimit::retryAfterMs(const ClientKeys &client, qint64 nowMs) const
{
    qint64 wait = 0;
    for (const ClientKey &key : client) {
        const Entry *entry = m_table.find(key.key);
        if (entry && entry->events.size() >= allowance(key.share))
            wait = std::max(wait, entry->events.first() + windowMs - nowMs);
    }
    return wait;
}

void RateLimit::record(const ClientKeys &client, qint64 nowMs)
{
    for (const ClientKey &key : client) {
        Entry *entry = m_table.touch(key.key, [&](const Entry &e) { return quiet(e, nowMs); });
        if (!entry)
            continue;
        entry->share = key.share;
        entry->events.append(nowMs);
        while (entry->events.size() > allowance(key.share))
            entry->events.removeFirst();
    }
}

void RateLimit::prune(qint64 nowMs)
{
    m_table.eraseIf([nowMs](const Entry &e) { return e.events.isEmpty() || nowMs - e.events.last() >= windowMs; });
}

#include "limits/RateLimit.h"

#include <algorithm>

qint64 RateLimit::retryAfterMs(const QString &key, qint64 nowMs) const
{
    const auto it = m_events.constFind(key);
    if (it == m_events.cend() || it->size() < m_perMinute)
        return 0;
    return std::max<qint64>(0, it->first() + windowMs - nowMs);
}

void RateLimit::record(const QString &key, qint64 nowMs)
{
    if (m_events.size() >= maxKeys && !m_events.contains(key))
        prune(nowMs);
    QList<qint64> &events = m_events[key];
    events.append(nowMs);
    while (events.size() > m_perMinute)
        events.removeFirst();
}

void RateLimit::prune(qint64 nowMs)
{
    for (auto it = m_events.begin(); it != m_events.end();) {
        const bool old = it->isEmpty() || nowMs - it->last() >= windowMs;
        it = old ? m_events.erase(it) : std::next(it);
    }
}

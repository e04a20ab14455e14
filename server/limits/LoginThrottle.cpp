#include "limits/LoginThrottle.h"

#include <algorithm>

qint64 LoginThrottle::retryAfterMs(const QString &key, qint64 nowMs) const
{
    const auto it = m_entries.constFind(key);
    if (it == m_entries.cend())
        return 0;
    const qint64 wait = std::max<qint64>(0, it->lockedUntil - nowMs);
    // Past the free failures only one attempt at a time is let through.
    if (wait == 0 && it->pending > 0 && it->failures + it->pending >= m_policy.freeFailures)
        return m_policy.baseMs;
    return wait;
}

void LoginThrottle::begin(const QString &key)
{
    // A full table stops tracking new keys rather than growing without bound;
    // the address key still limits whoever floods it with fresh names.
    if (m_entries.size() >= maxKeys && !m_entries.contains(key))
        return;
    ++m_entries[key].pending;
}

void LoginThrottle::end(const QString &key, bool success, bool clearOnSuccess, qint64 nowMs)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    it->pending = std::max(0, it->pending - 1);
    if (success) {
        if (clearOnSuccess)
            m_entries.erase(it);
        return;
    }
    ++it->failures;
    it->lastFailure = nowMs;
    const int over = it->failures - m_policy.freeFailures;
    if (over >= 0) {
        const qint64 lock = over >= 40 ? m_policy.maxMs : std::min(m_policy.maxMs, m_policy.baseMs << over);
        it->lockedUntil = nowMs + lock;
    }
}

void LoginThrottle::prune(qint64 nowMs)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool idle = it->pending == 0 && nowMs >= it->lockedUntil && nowMs - it->lastFailure >= m_policy.maxMs;
        it = idle ? m_entries.erase(it) : std::next(it);
    }
}

#include "limits/LoginThrottle.h"

#include <algorithm>

qint64 LoginThrottle::wait(const Entry &entry, qint64 nowMs) const
{
    const qint64 locked = std::max<qint64>(0, entry.lockedUntil - nowMs);
    // Past the free failures only one attempt at a time is let through.
    if (locked == 0 && entry.pending > 0 && entry.failures + entry.pending >= m_policy.freeFailures * entry.share)
        return m_policy.baseMs;
    return locked;
}

void LoginThrottle::fail(Entry &entry, qint64 nowMs) const
{
    ++entry.failures;
    entry.lastFailure = nowMs;
    const int over = entry.failures - m_policy.freeFailures * entry.share;
    if (over >= 0) {
        const qint64 lock = over >= 40 ? m_policy.maxMs : std::min(m_policy.maxMs, m_policy.baseMs << over);
        entry.lockedUntil = nowMs + lock;
    }
}

// An entry that holds no one back (still within its free failures, or
// forgotten anyway) may make room; one that has earned a back-off may not.
bool LoginThrottle::quiet(const Entry &entry, qint64 nowMs) const
{
    return entry.pending == 0
        && (entry.failures < m_policy.freeFailures * entry.share || nowMs - entry.lastFailure >= m_policy.maxMs);
}

qint64 LoginThrottle::retryAfterMs(const ClientKeys &client, const QString &name, qint64 nowMs) const
{
    qint64 longest = 0;
    for (const ClientKey &key : client) {
        if (const Entry *entry = m_addresses.find(key.key))
            longest = std::max(longest, wait(*entry, nowMs));
    }
    if (const Entry *entry = m_names.find(nameKey(name))) {
        const qint64 held = wait(*entry, nowMs);
        const bool involved = int(entry->failers.size()) >= m_policy.spread || entry->failers.contains(client.first().key);
        const qint64 grace = std::max<qint64>(0, entry->lastFailure + m_policy.baseMs - nowMs);
        longest = std::max(longest, involved ? held : std::min(held, grace));
    }
    return longest;
}

void LoginThrottle::begin(const ClientKeys &client, const QString &name, qint64 nowMs)
{
    const auto isQuiet = [&](const Entry &e) { return quiet(e, nowMs); };
    for (const ClientKey &key : client) {
        if (Entry *entry = m_addresses.touch(key.key, isQuiet)) {
            entry->share = key.share;
            ++entry->pending;
        }
    }
    if (Entry *entry = m_names.touch(nameKey(name), isQuiet))
        ++entry->pending;
}

void LoginThrottle::end(const ClientKeys &client, const QString &name, bool success, qint64 nowMs)
{
    const auto isQuiet = [&](const Entry &e) { return quiet(e, nowMs); };
    for (const ClientKey &key : client) {
        if (Entry *entry = m_addresses.touch(key.key, isQuiet)) {
            entry->share = key.share;
            entry->pending = std::max(0, entry->pending - 1);
            if (!success)
                fail(*entry, nowMs);
        }
    }
    if (success) {
        m_names.erase(nameKey(name));
        return;
    }
    if (Entry *entry = m_names.touch(nameKey(name), isQuiet)) {
        entry->pending = std::max(0, entry->pending - 1);
        fail(*entry, nowMs);
        if (int(entry->failers.size()) < m_policy.spread)
            entry->failers.insert(client.first().key);
    }
}

void LoginThrottle::prune(qint64 nowMs)
{
    const auto idle = [&](const Entry &e) {
        return e.pending == 0 && nowMs >= e.lockedUntil && nowMs - e.lastFailure >= m_policy.maxMs;
    };
    m_addresses.eraseIf(idle);
    m_names.eraseIf(idle);
}

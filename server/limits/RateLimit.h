#pragma once

#include "limits/ClientKey.h"
#include "limits/KeyTable.h"

#include <QList>

// At most `perMinute` × share events per bucket in any sliding minute; an
// action counts against every bucket of its client. Times are monotonic
// milliseconds supplied by the caller.
class RateLimit {
public:
    static constexpr qint64 windowMs = 60 * 1000;
    static constexpr int defaultMaxKeys = 100000;

    explicit RateLimit(int perMinute, int maxKeys = defaultMaxKeys) : m_perMinute(perMinute), m_table(maxKeys) {}

    // Milliseconds until every bucket may act again; 0 when it may act now.
    qint64 retryAfterMs(const ClientKeys &client, qint64 nowMs) const;
    void record(const ClientKeys &client, qint64 nowMs);
    void prune(qint64 nowMs);
    int size() const { return m_table.size(); }

private:
    struct Entry {
        QList<qint64> events;  // oldest first, at most the bucket's allowance
        int share = 1;
    };
    int allowance(int share) const { return m_perMinute * share; }
    // Below its allowance within the window, a bucket holds no one back.
    bool quiet(const Entry &entry, qint64 nowMs) const
    {
        return entry.events.size() < allowance(entry.share) || nowMs - entry.events.last() >= windowMs;
    }

    int m_perMinute;
    KeyTable<Entry> m_table;
};

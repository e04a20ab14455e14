#pragma once

#include "limits/ClientKey.h"
#include "limits/KeyTable.h"

#include <QSet>

// Failed sign-ins, per client bucket and per user name. Each key's first
// failures are free (freeFailures × the bucket's share); each one after
// locks the key for base·2^k, capped at max. Attempts still being checked
// count as failures until they end, so a burst of parallel attempts cannot
// outrun the count. A key with no failure for max is forgotten.
//
// A name's lock holds in full the addresses that have failed for it, and
// everyone once `spread` distinct addresses have; any other address waits
// at most `base` after the name's latest failure, so guessing from elsewhere
// cannot keep the owner out. A success clears the name, never the address.
// Times are monotonic milliseconds supplied by the caller.
class LoginThrottle {
public:
    struct Policy {
        int freeFailures = 5;
        qint64 baseMs = 1000;
        qint64 maxMs = 15 * 60 * 1000;
        int spread = 8;
    };
    static constexpr int defaultMaxKeys = 100000;
    // Names longer than any account's share the entry of their prefix.
    static QString nameKey(const QString &name) { return name.left(64); }

    explicit LoginThrottle(Policy policy, int maxKeys = defaultMaxKeys)
        : m_policy(policy), m_addresses(maxKeys), m_names(maxKeys)
    {
    }

    // Milliseconds until the client may try the name; 0 when it may try now.
    qint64 retryAfterMs(const ClientKeys &client, const QString &name, qint64 nowMs) const;
    void begin(const ClientKeys &client, const QString &name, qint64 nowMs);
    void end(const ClientKeys &client, const QString &name, bool success, qint64 nowMs);
    void prune(qint64 nowMs);
    int size() const { return m_addresses.size() + m_names.size(); }

private:
    struct Entry {
        int failures = 0;
        int pending = 0;
        int share = 1;
        qint64 lockedUntil = 0;
        qint64 lastFailure = 0;
        QSet<QString> failers;  // names only: the addresses that failed, up to `spread`
    };
    qint64 wait(const Entry &entry, qint64 nowMs) const;
    void fail(Entry &entry, qint64 nowMs) const;
    bool quiet(const Entry &entry, qint64 nowMs) const;

    Policy m_policy;
    KeyTable<Entry> m_addresses;
    KeyTable<Entry> m_names;
};

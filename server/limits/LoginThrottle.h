#pragma once

#include <QHash>
#include <QString>

// Failed sign-ins per key (a client address or a user name). The first
// `freeFailures` failures cost nothing; each one after locks the key for
// base·2^k (capped at max). Attempts still being checked count as failures
// until they end, so a burst of parallel attempts cannot outrun the count.
// A key is forgotten once it has had no failure for `max`. Times are
// monotonic milliseconds supplied by the caller.
class LoginThrottle {
public:
    struct Policy {
        int freeFailures = 5;
        qint64 baseMs = 1000;
        qint64 maxMs = 15 * 60 * 1000;
    };
    static constexpr int maxKeys = 100000;

    explicit LoginThrottle(Policy policy) : m_policy(policy) {}

    // Milliseconds until the key may try again; 0 when it may try now.
    qint64 retryAfterMs(const QString &key, qint64 nowMs) const;
    void begin(const QString &key);
    // Ends an attempt begun with begin(). A success clears the key when
    // clearOnSuccess is set (user names); addresses keep their failures.
    void end(const QString &key, bool success, bool clearOnSuccess, qint64 nowMs);
    void prune(qint64 nowMs);
    int size() const { return int(m_entries.size()); }

private:
    struct Entry {
        int failures = 0;
        int pending = 0;
        qint64 lockedUntil = 0;
        qint64 lastFailure = 0;
    };
    Policy m_policy;
    QHash<QString, Entry> m_entries;
};

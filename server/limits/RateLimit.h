#pragma once

#include <QHash>
#include <QList>
#include <QString>

// At most `perMinute` events per key in any sliding minute. Times are
// monotonic milliseconds supplied by the caller.
class RateLimit {
public:
    static constexpr qint64 windowMs = 60 * 1000;
    static constexpr int maxKeys = 100000;

    explicit RateLimit(int perMinute) : m_perMinute(perMinute) {}

    // Milliseconds until the key may act again; 0 when it may act now.
    qint64 retryAfterMs(const QString &key, qint64 nowMs) const;
    void record(const QString &key, qint64 nowMs);
    void prune(qint64 nowMs);

private:
    int m_perMinute;
    QHash<QString, QList<qint64>> m_events;  // per key, oldest first, at most m_perMinute
};

#pragma once

#include "limits/LoginThrottle.h"
#include "limits/RateLimit.h"

#include <chrono>
#include <functional>

// The limits the routes apply per client and per account. Main thread only;
// switched off as a whole with --no-throttle.
struct Throttles {
    bool enabled = true;
    LoginThrottle signIns;
    RateLimit guestComments;    // per client bucket
    RateLimit accountComments;  // per signed-in account
    RateLimit registrations;    // per client bucket, every attempt
    // Monotonic milliseconds; a test may set its own (--clock-file).
    std::function<qint64()> clock = &Throttles::steadyMs;

    static qint64 steadyMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    qint64 nowMs() const { return clock(); }
    // Drops what no longer limits anyone, so the tables stay small.
    void prune()
    {
        const qint64 now = nowMs();
        signIns.prune(now);
        guestComments.prune(now);
        accountComments.prune(now);
        registrations.prune(now);
    }
};

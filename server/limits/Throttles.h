#pragma once

#include "limits/LoginThrottle.h"
#include "limits/RateLimit.h"

#include <chrono>

// The limits the routes apply per client address and per user name. Main
// thread only; switched off as a whole with --no-throttle.
struct Throttles {
    bool enabled = true;
    LoginThrottle signInsByAddress;
    LoginThrottle signInsByName;
    RateLimit anonymousComments;
    RateLimit registrations;

    static qint64 nowMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    // Drops what no longer limits anyone, so the tables stay small.
    void prune()
    {
        const qint64 now = nowMs();
        signInsByAddress.prune(now);
        signInsByName.prune(now);
        anonymousComments.prune(now);
        registrations.prune(now);
    }
};

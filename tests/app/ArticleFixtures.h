#pragma once

// What the home and discover tests add to the shared record fixtures: the
// stats, tags and error answers of a fake site, and a site with its screen.

#include "ConsoleCapture.h"
#include "Fixtures.h"
#include "core/Activity.h"
#include "core/Envelopes.h"

#include <memory>

namespace fixtures {

inline FakeServer::Response stats(qint64 total, int delayMs = 0)
{
    papelo::StatsResponse s;
    s.totalArticles = total;
    s.dbArticles = total;
    return FakeServer::delayed(reply(s), delayMs);
}

inline FakeServer::Response tags(const QList<papelo::Tag> &list) { return replyList(list); }

inline FakeServer::Response detail(qint64 id, qint64 likes, qint64 comments, int delayMs)
{
    return FakeServer::delayed(reply(detail(id, likes, comments)), delayMs);
}

inline FakeServer::Response serverError(const QString &message, int status = 500)
{
    papelo::APIError error;
    error.error = message;
    return reply(error, status);
}

// A fake site and screens of type S aimed at it. Their limits are a minute,
// so only cancellation, never a timeout, ends a stalled request.
template <class S> struct ScreenSite {
    FakeServer server;
    ScreenSite() { server.listen(); }
    std::unique_ptr<S> screen()
    {
        auto s = std::make_unique<S>();
        s->setBaseUrl(server.baseUrl());
        s->setClientLimits({std::chrono::minutes(1), std::chrono::minutes(1)});
        return s;
    }
    // Loaded or failed, with every request of the load ended.
    static bool settled(const S &s) { return !s.isLoading() && papelo::Activity::shared().count() == 0; }
};

} // namespace fixtures

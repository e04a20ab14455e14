#pragma once

// What the home and discover tests add to the shared record fixtures: the
// stats, tags and error answers of a fake site.

#include "ConsoleCapture.h"
#include "Fixtures.h"
#include "core/Envelopes.h"

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

} // namespace fixtures

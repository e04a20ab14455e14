#pragma once

#include "store/ArticleStore.h"
#include "store/Auth.h"
#include "store/CommentAnswers.h"
#include "store/Database.h"
#include "http/AnswerCache.h"
#include "demo/ImageFactory.h"
#include "http/Router.h"
#include "limits/Throttles.h"

// What the routes share. Everything lives in main() for the whole run and is
// used on the main thread only.
struct Services {
    Database &db;
    ArticleStore &articles;
    Auth &auth;
    ImageFactory &images;
    Throttles &throttles;
    AnswerCache &cache;  // told of every write that changes what answers show
    CommentAnswers &commentAnswers;
};

void addReadingRoutes(Router &router, Services &services);
void addInteractionRoutes(Router &router, Services &services);
void addAccountRoutes(Router &router, Services &services);
void addImageRoutes(Router &router, Services &services);

// Query helpers shared by the route files: a missing item gives fallback, a
// value that is not a whole number in [min, max] gives nullopt (400).
std::optional<qint64> queryNumber(const HttpRequest &request, const QString &key, qint64 fallback, qint64 min,
                                  qint64 max);
QString queryText(const HttpRequest &request, const QString &key);
// A 200 answer of JSON text as it is.
HttpReply jsonBytes(const QByteArray &body);
// The answer kept under key while current, or built now and kept.
HttpReply cached(Services &s, const QString &key, AnswerCache::Follows follows, const std::function<HttpReply()> &build);
QString nowText();
// The user behind "Authorization: Bearer <token>", if the token is valid.
std::optional<qint64> bearerUser(const HttpRequest &request, Services &services);

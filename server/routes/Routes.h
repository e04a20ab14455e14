#pragma once

#include "store/ArticleStore.h"
#include "store/Auth.h"
#include "store/Database.h"
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
QString nowText();
// The user behind "Authorization: Bearer <token>", if the token is valid.
std::optional<qint64> bearerUser(const HttpRequest &request, Services &services);

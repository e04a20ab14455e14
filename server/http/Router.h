#pragma once

#include "http/HttpTypes.h"

#include <QRegularExpression>

#include <functional>
#include <vector>

// Maps method + path to a handler. A path that some route knows but not
// with this method answers 405; a path nobody knows answers 404.
class Router {
public:
    // captures: the pattern's capture groups, in order
    using Handler = std::function<HttpAnswer(const HttpRequest &, const QStringList &captures)>;

    // pattern is anchored: "/api/article/(-?\\d+)" matches that whole path only
    void add(const QByteArray &method, const QString &pattern, Handler handler);
    HttpAnswer dispatch(const HttpRequest &request) const;

private:
    struct Route {
        QByteArray method;
        QString prefix;  // the pattern's literal start: most paths are told apart by it alone
        QRegularExpression pattern;
        Handler handler;
    };
    std::vector<Route> m_routes;
};

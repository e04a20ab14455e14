#pragma once

#include <QString>
#include <QStringList>

class QQuickWebEngineProfile;

namespace papelo {

class ArticleDocumentServer;

// The one web engine profile of every article body, created on first use
// and parented to the application. It is off the record: a bounded HTTP
// cache in memory and nothing on disk, so no validator or cookie a body's
// pictures set can follow the reader into a later run. Every cookie is
// refused, downloads are cancelled, and emptying the image cache empties its
// HTTP cache too. The reader's documents come from its ArticleDocumentServer,
// every request passes an ArticleRequestFilter, and every document gets the
// reader's BodyScript. UI thread only.
class ArticleProfile {
public:
    static QQuickWebEngineProfile *profile();
    static ArticleDocumentServer *documents();
    static QString userAgent();
    // Where earlier versions kept the profile on disk (data, cache); they are
    // deleted when the profile is first created.
    static QStringList formerDirectories();

    static constexpr int kCacheBytes = 32 * 1024 * 1024;
};

} // namespace papelo

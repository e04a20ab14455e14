#pragma once

#include <QString>

class QQuickWebEngineProfile;

namespace papelo {

class ArticleDocumentServer;

// The one web engine profile of every article body, created on first use
// and parented to the application. It keeps a bounded HTTP cache on disk
// and nothing else: every cookie is refused, downloads are cancelled, and
// emptying the image cache empties its HTTP cache too. The reader's
// documents come from its ArticleDocumentServer and every request passes an
// ArticleRequestFilter. UI thread only.
class ArticleProfile {
public:
    static QQuickWebEngineProfile *profile();
    static ArticleDocumentServer *documents();
    static QString userAgent();

    static constexpr int kCacheBytes = 100 * 1024 * 1024;
};

} // namespace papelo

#pragma once

#include <QWebEngineUrlRequestInterceptor>

namespace papelo {

// Every request an article body makes passes here. Only what a document
// shows may load: pictures, style sheets, fonts and media, from any http(s)
// host, and the reader's own documents. Frames, plugins, scripts, workers,
// prefetches, pings and favicons are blocked, and no Referer leaves for
// another origin than the web origin. UI thread only.
class ArticleRequestFilter : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit ArticleRequestFilter(QObject *parent = nullptr);

    // The decision for one request, without the request object.
    static bool allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &url);
    static bool keepsReferer(const QUrl &url, const QString &webOrigin);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};

} // namespace papelo

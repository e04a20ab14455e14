#pragma once

#include <QWebEngineUrlRequestInterceptor>

namespace papelo {

// Every request an article body makes passes here. Only what a document
// shows may load: pictures, style sheets, fonts and media, from any public
// http(s) host or the configured server, and the reader's own documents.
// An address naming the reader's machine or a private network as written
// (loopback, private and link-local addresses in any spelling, localhost) is
// refused unless it is the configured server's origin; a public name that
// resolves to such an address cannot be told here (the engine resolves it
// later). Frames, plugins, scripts, workers, prefetches, pings and favicons
// are blocked, and no Referer leaves for another origin than the web origin.
// UI thread only.
class ArticleRequestFilter : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit ArticleRequestFilter(QObject *parent = nullptr);

    // The decision for one request, without the request object.
    static bool allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &url,
                       const QString &serverBaseUrl);
    static bool keepsReferer(const QUrl &url, const QString &webOrigin);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
};

} // namespace papelo

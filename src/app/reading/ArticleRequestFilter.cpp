#include "reading/ArticleRequestFilter.h"

#include "core/AddressRule.h"
#include "core/ServerConfig.h"
#include "reading/ArticleDocumentServer.h"

namespace papelo {

ArticleRequestFilter::ArticleRequestFilter(QObject *parent) : QWebEngineUrlRequestInterceptor(parent) {}

bool ArticleRequestFilter::allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &url,
                                  const QString &serverBaseUrl)
{
    if (refusesPrivateTarget(url, serverBaseUrl))
        return false;
    const QString scheme = url.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
        return ArticleDocumentServer::isDocumentUrl(url);
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
    case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        // Relative to the document's own address they arrive on the scheme and are redirected.
        return web || ArticleDocumentServer::isDocumentUrl(url);
    default:
        return false;
    }
}

bool ArticleRequestFilter::keepsReferer(const QUrl &url, const QString &webOrigin)
{
    return !webOrigin.isEmpty() && url.host().compare(webOrigin, Qt::CaseInsensitive) == 0;
}

void ArticleRequestFilter::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (!allows(info.resourceType(), info.requestUrl(), ServerConfig::baseUrl())) {
        info.block(true);
        return;
    }
    // An empty Referer is how the engine is told to send none.
    if (!keepsReferer(info.requestUrl(), ServerConfig::webOrigin()))
        info.setHttpHeader(QByteArrayLiteral("Referer"), QByteArray());
}

} // namespace papelo

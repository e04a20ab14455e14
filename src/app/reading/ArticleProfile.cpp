#include "reading/ArticleProfile.h"

#include "images/ImageCache.h"
#include "reading/ArticleDocumentServer.h"
#include "reading/ArticleRequestFilter.h"
#include "reading/BodyScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QPointer>
#include <QQuickWebEngineProfile>
#include <QWebEngineCookieStore>

namespace papelo {

namespace {
QPointer<QQuickWebEngineProfile> g_profile;
QPointer<ArticleDocumentServer> g_documents;
} // namespace

QString ArticleProfile::userAgent()
{
    return QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
                          "(KHTML, like Gecko) Version/16.0 Safari/605.1.15");
}

QStringList ArticleProfile::formerDirectories()
{
    const QString below = QStringLiteral("/QtWebEngine/papelo-articles");
    return {QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + below,
            QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + below};
}

QQuickWebEngineProfile *ArticleProfile::profile()
{
    if (g_profile)
        return g_profile;
    // What a profile on disk remembered (validators, the cache) goes with it.
    for (const QString &path : formerDirectories()) {
        QDir former(path);
        if (former.exists() && former.removeRecursively())
            QDir().rmdir(QFileInfo(path).absolutePath()); // "QtWebEngine", when nothing else is in it
    }
    // Parented to the application: it must outlive every page that uses it.
    auto *profile = new QQuickWebEngineProfile(QCoreApplication::instance());
    profile->setOffTheRecord(true);
    profile->setHttpUserAgent(userAgent());
    profile->setHttpCacheType(QQuickWebEngineProfile::MemoryHttpCache);
    profile->setHttpCacheMaximumSize(kCacheBytes);
    profile->setPersistentCookiesPolicy(QQuickWebEngineProfile::NoPersistentCookies);
    // Neither pictures nor style sheets get to remember the reader.
    profile->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest &) { return false; });
    profile->cookieStore()->deleteAllCookies();
    g_documents = new ArticleDocumentServer(profile);
    profile->installUrlSchemeHandler(ArticleDocumentServer::scheme(), g_documents);
    profile->setUrlRequestInterceptor(new ArticleRequestFilter(profile));
    BodyScript::install(profile);
    // Downloads need an explicit accept, which nothing here gives: they are cancelled.
    QObject::connect(ImageCache::shared(), &ImageCache::cleared, profile, &QQuickWebEngineProfile::clearHttpCache);
    g_profile = profile;
    return profile;
}

ArticleDocumentServer *ArticleProfile::documents()
{
    profile();
    return g_documents;
}

} // namespace papelo

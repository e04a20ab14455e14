#include "images/ImageCache.h"

#include "core/ServerConfig.h"
#include "core/TransferWatch.h"
#include "images/ImageAddressCheck.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QtConcurrent>

#include <memory>

namespace papelo {

namespace {
QPointer<ImageCache> g_shared;
QSet<QString> &directoriesInUse()
{
    static QSet<QString> dirs;
    return dirs;
}

// A stored response, read on a worker thread through a disk cache object of
// its own: entries are written whole and renamed into place, so reading
// beside the UI thread's cache object is safe. Not ok when absent or too large.
ImageCache::Fetch readStored(const QString &directory, const QUrl &url, qint64 maxBytes)
{
    QNetworkDiskCache disk;
    disk.setCacheDirectory(directory);
    ImageCache::Fetch fetched;
    const QNetworkCacheMetaData meta = disk.metaData(url);
    if (!meta.isValid())
        return fetched;
    const std::unique_ptr<QIODevice> stored(disk.data(url));
    if (!stored || stored->size() > maxBytes)
        return fetched;
    fetched.ok = true;
    fetched.status = meta.attributes().value(QNetworkRequest::HttpStatusCodeAttribute, 200).toInt();
    fetched.bytes = stored->readAll();
    return fetched;
}

// Pictures must not remember the reader: no cookie is kept or sent.
class NoCookies : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

// Every redirect is judged like the address itself, and never from https
// down to http; until then the reply waits.
QCoro::Task<> judgeRedirect(QPointer<QNetworkReply> reply, QUrl from, QUrl to, QString serverBaseUrl)
{
    const bool downgrade = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
                           && to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    const bool allowed = !downgrade && co_await mayFetchImage(to, serverBaseUrl);
    if (!reply)
        co_return;
    if (allowed)
        emit reply->redirectAllowed();
    else
        reply->abort();
}

} // namespace

ImageCache::ImageCache(const QString &diskDirectory, Limits limits, QObject *parent)
    : QObject(parent), m_limits(limits), m_nam(new QNetworkAccessManager(this))
{
    m_memory.setMaxCost(qsizetype(limits.memoryBytes));
    m_nam->setCookieJar(new NoCookies(m_nam));
    const QString dir = diskDirectory.isEmpty() ? QString() : QDir::cleanPath(QDir(diskDirectory).absolutePath());
    if (!dir.isEmpty() && !directoriesInUse().contains(dir)) {
        directoriesInUse().insert(dir);
        m_directory = dir;
        m_disk = new QNetworkDiskCache(this);
        m_disk->setCacheDirectory(dir);
        m_disk->setMaximumCacheSize(limits.diskBytes);
        m_nam->setCache(m_disk); // the manager does not take ownership away from us: same parent
    }
}

ImageCache::~ImageCache()
{
    // Finish every running fetch (as a failure) before the manager goes.
    const auto replies = m_inFlight;
    for (QNetworkReply *reply : replies)
        reply->abort();
    if (!m_directory.isEmpty())
        directoriesInUse().remove(m_directory);
}

QString ImageCache::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/papelo-image-cache");
}

ImageCache *ImageCache::shared()
{
    if (!g_shared)
        g_shared = new ImageCache(defaultDirectory(), Limits(), QCoreApplication::instance());
    return g_shared;
}

QCoro::Task<ImageCache::Fetch> ImageCache::fetch(QUrl url)
{
    const QString key = url.toString(QUrl::FullyEncoded);
    if (const QByteArray *hit = m_memory.object(key)) {
        Fetch fetched;
        fetched.ok = true;
        fetched.status = 200;
        fetched.fromMemory = true;
        fetched.bytes = *hit;
        co_return fetched;
    }

    QPointer<ImageCache> guard(this);
    // Any stored response wins whatever its age. Qt's own PreferCache still
    // refuses entries it judges stale, so the disk layer is read directly,
    // off the UI thread.
    if (m_disk) {
        const quint64 clears = m_clears;
        Fetch stored = co_await QtConcurrent::run(&readStored, m_directory, url, m_limits.maxBodyBytes);
        if (!guard)
            co_return Fetch();
        if (stored.ok) {
            // Read before a clear that came meanwhile: not kept past it.
            if (clears == m_clears)
                rememberInMemory(key, stored);
            co_return stored;
        }
    }

    // Only misses go out, and only to an address that is not private (or is
    // the configured server's).
    const QString server = ServerConfig::baseUrl();
    const bool allowed = co_await mayFetchImage(url, server);
    if (!guard || !allowed)
        co_return Fetch();
    QNetworkRequest request(url);
    // The response is stored for next time.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply *reply = m_nam->get(request);
    m_inFlight.insert(reply);
    connect(reply, &QNetworkReply::redirected, reply, [reply, server](const QUrl &to) {
        judgeRedirect(reply, reply->url(), to, server);
    });
    bool exceeded = false;
    {
        const TransferWatch watch(reply, ClientLimits{m_limits.idle, m_limits.whole, m_limits.maxBodyBytes});
        if (!reply->isFinished())
            co_await qCoro(reply).waitForFinished();
        exceeded = watch.timedOut || watch.tooLarge;
    }
    Fetch fetched;
    if (!guard) // the cache went away; its destructor aborted us
        co_return fetched;
    m_inFlight.remove(reply);
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // A non-HTTP failure (refused, timed out, aborted, too large) has no body to try.
    if (exceeded || !status.isValid() || reply->error() == QNetworkReply::OperationCanceledError
        || reply->error() == QNetworkReply::TimeoutError)
        co_return fetched;
    // The body may have arrived in one piece before the progress check could stop it.
    if (reply->bytesAvailable() > m_limits.maxBodyBytes)
        co_return fetched;
    fetched.ok = true;
    fetched.status = status.toInt();
    fetched.bytes = reply->readAll();
    rememberInMemory(key, fetched);
    co_return fetched;
}

void ImageCache::rememberInMemory(const QString &key, const Fetch &fetched)
{
    if (fetched.status >= 200 && fetched.status < 300 && fetched.bytes.size() <= m_memory.maxCost())
        m_memory.insert(key, new QByteArray(fetched.bytes), fetched.bytes.size());
}

void ImageCache::clear()
{
    ++m_clears;
    m_memory.clear();
    if (m_disk)
        m_disk->clear();
    emit cleared();
}

qint64 ImageCache::diskSize() const { return m_disk ? m_disk->cacheSize() : 0; }
qint64 ImageCache::diskCapacity() const { return m_disk ? m_disk->maximumCacheSize() : 0; }

} // namespace papelo

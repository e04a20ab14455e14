#include "images/RemoteImageLoader.h"

#include "images/ImageCache.h"
#include "images/ImageDecoder.h"

#include <QCoroFuture>
#include <QtConcurrent>
#include <QtMath>

namespace papelo {

namespace {
QUrl toUrl(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (value.userType() == QMetaType::QUrl)
        return value.toUrl();
    const QString text = value.toString().trimmed();
    return text.isEmpty() ? QUrl() : QUrl(text);
}
} // namespace

RemoteImageLoader::RemoteImageLoader(QObject *parent) : QObject(parent)
{
    m_skeletonDelay.setSingleShot(true);
    m_skeletonDelay.setInterval(250);
    connect(&m_skeletonDelay, &QTimer::timeout, this, &RemoteImageLoader::showSlow);
}

RemoteImageLoader::~RemoteImageLoader() = default;

void RemoteImageLoader::setUrl(const QVariant &url)
{
    const QUrl resolved = toUrl(url);
    m_urlValue = url;
    const bool changed = resolved != m_url;
    m_url = resolved;
    emit urlChanged();
    if (changed || m_generation == 0)
        restart();
}

void RemoteImageLoader::setSourceSize(const QSize &size)
{
    if (size == m_sourceSize)
        return;
    m_sourceSize = size;
    emit sourceSizeChanged();
    sharpenIfGrown();
}

void RemoteImageLoader::setDevicePixelRatio(qreal ratio)
{
    if (ratio <= 0 || qFuzzyCompare(ratio, m_devicePixelRatio))
        return;
    m_devicePixelRatio = ratio;
    emit sourceSizeChanged();
    sharpenIfGrown();
}

QSize RemoteImageLoader::decodeSize() const
{
    if (m_sourceSize.isEmpty())
        return {};
    return QSize(qCeil(m_sourceSize.width() * m_devicePixelRatio), qCeil(m_sourceSize.height() * m_devicePixelRatio));
}

void RemoteImageLoader::componentComplete()
{
    m_complete = true;
    restart();
}

void RemoteImageLoader::restart()
{
    if (!m_complete)
        return;
    ++m_generation;
    m_skeletonDelay.stop();
    m_busy.reset();
    m_image = QImage();
    if (m_url.isEmpty()) {
        m_status = Failed;
        emit statusChanged();
        return;
    }
    m_status = Pending;
    emit statusChanged();
    m_busy.emplace();
    m_skeletonDelay.start();
    m_decodedFor = decodeSize();
    run(m_generation, m_url, m_decodedFor);
}

void RemoteImageLoader::sharpenIfGrown()
{
    const QSize wanted = decodeSize();
    if (m_status != Loaded || m_decodedFor.isEmpty() || wanted.isEmpty())
        return;
    if (wanted.width() <= m_decodedFor.width() && wanted.height() <= m_decodedFor.height())
        return;
    m_decodedFor = wanted;
    // Decoded whole (it was no larger than asked): nothing sharper to get.
    if (m_image.text(QString::fromLatin1(kScaledKey)).isEmpty())
        return;
    sharpen(m_generation, m_url, wanted);
}

QCoro::Task<> RemoteImageLoader::sharpen(quint64 generation, QUrl url, QSize size)
{
    QPointer<RemoteImageLoader> guard(this);
    const quint64 attempt = ++m_sharpening;
    QPointer<ImageCache> cache = m_cache ? m_cache.data() : ImageCache::shared();
    if (!cache)
        co_return;
    const ImageCache::Fetch fetched = co_await cache->fetch(url);
    if (!guard || !fetched.ok)
        co_return;
    const QImage image = co_await QtConcurrent::run(&decodeImage, fetched.bytes, size);
    // A newer address or a newer size wins; a failed decode keeps the old picture.
    if (!guard || generation != m_generation || attempt != m_sharpening || m_status != Loaded || image.isNull())
        co_return;
    m_image = image;
    emit statusChanged();
}

void RemoteImageLoader::showSlow()
{
    if (m_status != Pending)
        return;
    m_status = Slow;
    emit statusChanged();
}

void RemoteImageLoader::cacheGone()
{
    if (m_status == Pending || m_status == Slow)
        finish(m_generation, {});
}

void RemoteImageLoader::finish(quint64 generation, const QImage &image)
{
    if (generation != m_generation)
        return;
    m_skeletonDelay.stop();
    m_image = image;
    m_status = image.isNull() ? Failed : Loaded;
    m_busy.reset();
    emit statusChanged();
}

QCoro::Task<> RemoteImageLoader::run(quint64 generation, QUrl url, QSize size)
{
    QPointer<RemoteImageLoader> guard(this);
    QPointer<ImageCache> cache = m_cache ? m_cache.data() : ImageCache::shared();
    if (!cache) {
        finish(generation, {});
        co_return;
    }
    // A cache destroyed mid-fetch takes its replies with it and the fetch
    // never resumes; fail the view instead of leaving it pending.
    connect(cache, &QObject::destroyed, this, &RemoteImageLoader::cacheGone, Qt::UniqueConnection);
    const ImageCache::Fetch fetched = co_await cache->fetch(url);
    if (!guard || guard->m_generation != generation)
        co_return;
    if (!fetched.ok) {
        finish(generation, {});
        co_return;
    }
    const QImage image = co_await QtConcurrent::run(&decodeImage, fetched.bytes, size);
    if (!guard)
        co_return;
    finish(generation, image);
}

} // namespace papelo

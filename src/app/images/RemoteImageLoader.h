#pragma once

#include "core/Activity.h"
#include "images/ImageCache.h"

#include <QCoroTask>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QSize>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace papelo {

// State of one remote image view: pending (placeholder) -> slow (shimmer,
// after skeletonDelay) -> loaded (image) or failed (failure view). An absent
// URL fails at once without a request. Any URL change starts again; a result
// for an older URL, or for a destroyed loader, is dropped. Fetch through
// ImageCache, decode on the thread pool. A picture shown larger than it was
// decoded for is decoded again for the new size (the old one stays on screen
// meanwhile). UI thread only.
class RemoteImageLoader : public QObject, public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    // QUrl, string, null or undefined; empty or null means "no address".
    Q_PROPERTY(QVariant url READ url WRITE setUrl NOTIFY urlChanged)
    Q_PROPERTY(QSize sourceSize READ sourceSize WRITE setSourceSize NOTIFY sourceSizeChanged)
    // Pixels per point of the screen shown on; the decode size is sourceSize times this.
    Q_PROPERTY(qreal devicePixelRatio READ devicePixelRatio WRITE setDevicePixelRatio NOTIFY sourceSizeChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool hasUrl READ hasUrl NOTIFY urlChanged)
    Q_PROPERTY(bool showSkeleton READ showSkeleton NOTIFY statusChanged)
    Q_PROPERTY(bool failed READ failed NOTIFY statusChanged)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY statusChanged)
    Q_PROPERTY(QImage image READ image NOTIFY statusChanged)
public:
    enum Status { Pending, Slow, Loaded, Failed };
    Q_ENUM(Status)

    explicit RemoteImageLoader(QObject *parent = nullptr);
    ~RemoteImageLoader() override;

    QVariant url() const { return m_urlValue; }
    void setUrl(const QVariant &url);
    QUrl resolvedUrl() const { return m_url; }
    bool hasUrl() const { return !m_url.isEmpty(); }
    QSize sourceSize() const { return m_sourceSize; }
    void setSourceSize(const QSize &size);
    qreal devicePixelRatio() const { return m_devicePixelRatio; }
    void setDevicePixelRatio(qreal ratio);
    QSize decodeSize() const;

    Status status() const { return m_status; }
    bool showSkeleton() const { return m_status == Slow; }
    bool failed() const { return m_status == Failed; }
    bool hasImage() const { return m_status == Loaded; }
    QImage image() const { return m_image; }

    // Tests: another cache than the shared one, another shimmer delay.
    void setCache(ImageCache *cache) { m_cache = cache; }
    void setSkeletonDelay(int ms) { m_skeletonDelay.setInterval(ms); }

    void classBegin() override { m_complete = false; }
    void componentComplete() override;

signals:
    void urlChanged();
    void sourceSizeChanged();
    void statusChanged();

private:
    void restart();
    void sharpenIfGrown();
    QCoro::Task<> sharpen(quint64 generation, QUrl url, QSize size);
    void showSlow();
    void cacheGone();
    void finish(quint64 generation, const QImage &image);
    QCoro::Task<> run(quint64 generation, QUrl url, QSize size);

    QVariant m_urlValue;
    QUrl m_url;
    QSize m_sourceSize;
    qreal m_devicePixelRatio = 1.0;
    Status m_status = Pending;
    QImage m_image;
    QTimer m_skeletonDelay;
    QPointer<ImageCache> m_cache;
    quint64 m_generation = 0;
    QSize m_decodedFor;  // the size the shown picture was decoded for; empty: full size
    quint64 m_sharpening = 0;
    bool m_complete = true;
    std::optional<Activity::Scope> m_busy;
};

} // namespace papelo

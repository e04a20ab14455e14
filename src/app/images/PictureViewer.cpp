#include "images/PictureViewer.h"

#include "images/ImageDecoder.h"

#include <QCoroFuture>
#include <QRegularExpression>
#include <QtConcurrent>

namespace papelo {

namespace {
constexpr int kSharpenDelayMs = 150;
constexpr int kMaxDescription = 500;

QString reasonFor(ImageCache::Failure failure)
{
    switch (failure) {
    case ImageCache::Failure::Refused:
        return QStringLiteral("图片地址无法解析或指向本机、内网");
    case ImageCache::Failure::TooLarge:
        return QStringLiteral("图片大于 40 MB");
    case ImageCache::Failure::None:
    case ImageCache::Failure::Transfer:
        break;
    }
    return QStringLiteral("无法下载图片");
}

QUrl pictureUrl(const QVariant &value)
{
    const QUrl url = value.typeId() == QMetaType::QUrl    ? value.toUrl()
                     : value.typeId() == QMetaType::QString ? QUrl(value.toString())
                                                            : QUrl();
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || ((scheme == QLatin1String("http") || scheme == QLatin1String("https"))
                                            && !url.host().isEmpty()))
        return url;
    return {};
}
} // namespace

PictureViewer::PictureViewer(QObject *parent) : QObject(parent)
{
    m_sharpenDelay.setSingleShot(true);
    m_sharpenDelay.setInterval(kSharpenDelayMs);
    connect(&m_sharpenDelay, &QTimer::timeout, this, [this] {
        const QSize wanted = m_zoom.textureSize(m_devicePixelRatio);
        if (m_status == Shown && (wanted.width() > m_image.width() || wanted.height() > m_image.height()))
            sharpen(m_generation, wanted);
        else
            m_sharpenBusy.reset();
    });
}

PictureViewer::~PictureViewer() = default;

QString PictureViewer::position() const
{
    return active() ? QStringLiteral("%1 / %2").arg(m_index + 1).arg(count()) : QString();
}

QString PictureViewer::description() const
{
    return active() ? m_pictures.at(m_index).alt : QString();
}

bool PictureViewer::open(const QVariantList &pictures, int index)
{
    if (index < 0 || index >= std::min(int(pictures.size()), kMaxPictures))
        return false;
    static const QRegularExpression unsafe(QStringLiteral("[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}\\x{61c}\\x{200e}\\x{200f}"
                                                          "\\x{202a}-\\x{202e}\\x{2066}-\\x{2069}]"));
    QList<Picture> accepted;
    for (const QVariant &entry : pictures.mid(0, kMaxPictures)) {
        const QVariantMap fields = entry.toMap();
        accepted.append({pictureUrl(fields.value(QStringLiteral("url"))),
                         fields.value(QStringLiteral("alt")).toString().left(kMaxDescription).remove(unsafe).trimmed()});
    }
    const bool wasActive = active();
    m_pictures = accepted;
    m_openedIndex = index;
    m_index = -1;
    show(index);
    if (!wasActive)
        emit activeChanged();
    return true;
}

void PictureViewer::close()
{
    if (!active())
        return;
    ++m_generation;
    ++m_sharpening;
    m_sharpenDelay.stop();
    m_busy.reset();
    m_sharpenBusy.reset();
    m_status = Closed;
    m_errorText.clear();
    m_image = QImage();
    m_bytes.clear();
    m_zoom.setPicture({});
    emit statusChanged();
    emit imageChanged();
    emit pictureChanged();
    emit viewChanged();
    emit activeChanged();
    emit closed(m_openedIndex);
}

void PictureViewer::show(int index)
{
    if (index < 0 || index >= count() || index == m_index)
        return;
    m_index = index;
    ++m_generation;
    ++m_sharpening;
    m_sharpenDelay.stop();
    m_sharpenBusy.reset();
    m_status = Loading;
    m_errorText.clear();
    m_image = QImage();
    m_bytes.clear();
    m_zoom.setPicture({});
    m_busy.emplace();
    emit pictureChanged();
    emit statusChanged();
    emit imageChanged();
    emit viewChanged();
    load(m_generation, m_pictures.at(index));
}

void PictureViewer::reload()
{
    const int index = m_index;
    if (m_status != Failed)
        return;
    m_index = -1;
    show(index);
}

void PictureViewer::fail(quint64 generation, const QString &reason)
{
    if (generation != m_generation)
        return;
    m_status = Failed;
    m_errorText = QStringLiteral("图片加载失败：") + reason;
    m_busy.reset();
    emit statusChanged();
    emit viewChanged();
}

QCoro::Task<> PictureViewer::load(quint64 generation, Picture picture)
{
    QPointer<PictureViewer> guard(this);
    if (picture.url.isEmpty()) {
        fail(generation, QStringLiteral("图片地址无效"));
        co_return;
    }
    const qint64 maxBytes = ImageCacheLimits().maxBodyBytes;
    QByteArray bytes;
    if (picture.url.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0) {
        const auto read = [](QUrl url, qint64 limit) {
            bool tooLarge = false;
            const std::optional<QByteArray> data = dataUrlBytes(url, limit, &tooLarge);
            return std::make_pair(data, tooLarge);
        };
        const auto [data, tooLarge] = co_await QtConcurrent::run(read, picture.url, maxBytes);
        if (!guard || generation != m_generation)
            co_return;
        if (!data) {
            fail(generation, tooLarge ? reasonFor(ImageCache::Failure::TooLarge) : QStringLiteral("图片地址无效"));
            co_return;
        }
        bytes = *data;
    } else {
        ImageCache *cache = m_cache ? m_cache.data() : ImageCache::shared();
        const ImageCache::Fetch fetched = co_await cache->fetch(picture.url);
        if (!guard || generation != m_generation)
            co_return;
        if (!fetched.ok) {
            fail(generation, reasonFor(fetched.failure));
            co_return;
        }
        if (fetched.status < 200 || fetched.status > 299) {
            fail(generation, QStringLiteral("服务器返回 %1").arg(fetched.status));
            co_return;
        }
        bytes = fetched.bytes;
    }
    // At first the picture is shown fitted: never more pixels than the viewport has.
    const QSizeF screen = m_zoom.viewport() * m_devicePixelRatio;
    const QSize box = screen.isEmpty() ? QSize(PictureZoom::kMaxTextureEdge, PictureZoom::kMaxTextureEdge)
                                       : screen.toSize().boundedTo(QSize(PictureZoom::kMaxTextureEdge,
                                                                         PictureZoom::kMaxTextureEdge));
    const DecodedPicture decoded = co_await QtConcurrent::run(&decodePicture, bytes, box);
    if (!guard || generation != m_generation)
        co_return;
    if (decoded.error != DecodedPicture::Error::None) {
        fail(generation, decoded.error == DecodedPicture::Error::TooManyPixels ? QStringLiteral("图片超过 4000 万像素")
                                                                               : QStringLiteral("无法识别的图片"));
        co_return;
    }
    m_bytes = bytes;
    m_image = decoded.image;
    m_zoom.setPicture(decoded.fullSize);
    m_status = Shown;
    m_busy.reset();
    emit statusChanged();
    emit imageChanged();
    viewMoved();
}

void PictureViewer::sharpenSoon()
{
    if (m_status != Shown)
        return;
    const QSize wanted = m_zoom.textureSize(m_devicePixelRatio);
    if (wanted.width() > m_image.width() || wanted.height() > m_image.height()) {
        if (!m_sharpenBusy)
            m_sharpenBusy.emplace();
        m_sharpenDelay.start();
    }
}

QCoro::Task<> PictureViewer::sharpen(quint64 generation, QSize size)
{
    QPointer<PictureViewer> guard(this);
    const quint64 attempt = ++m_sharpening;
    const DecodedPicture decoded = co_await QtConcurrent::run(&decodePicture, m_bytes, size);
    if (!guard || attempt != m_sharpening)
        co_return;
    m_sharpenBusy.reset();
    // A failed decode keeps what is shown.
    if (generation != m_generation || m_status != Shown || decoded.image.isNull())
        co_return;
    m_image = decoded.image;
    emit imageChanged();
}

void PictureViewer::viewMoved()
{
    emit viewChanged();
    sharpenSoon();
}

void PictureViewer::setViewportSize(QSizeF size)
{
    if (size == m_zoom.viewport())
        return;
    m_zoom.setViewport(size);
    viewMoved();
}

void PictureViewer::setDevicePixelRatio(qreal ratio)
{
    if (!(ratio > 0) || qFuzzyCompare(ratio, m_devicePixelRatio))
        return;
    m_devicePixelRatio = ratio;
    viewMoved();
}

void PictureViewer::zoomIn()
{
    if (m_status != Shown)
        return;
    m_zoom.stepIn();
    viewMoved();
}

void PictureViewer::zoomOut()
{
    if (m_status != Shown)
        return;
    m_zoom.stepOut();
    viewMoved();
}

void PictureViewer::zoomAt(qreal factor, qreal x, qreal y)
{
    if (m_status != Shown || !(factor > 0))
        return;
    m_zoom.zoomBy(factor, QPointF(x, y));
    viewMoved();
}

void PictureViewer::toggleFit(qreal x, qreal y)
{
    if (m_status != Shown)
        return;
    m_zoom.toggleFit(QPointF(x, y));
    viewMoved();
}

void PictureViewer::fit()
{
    if (m_status != Shown)
        return;
    m_zoom.fit();
    viewMoved();
}

void PictureViewer::panBy(qreal dx, qreal dy)
{
    if (m_status != Shown)
        return;
    m_zoom.panBy(QPointF(dx, dy));
    emit viewChanged();
}

bool PictureViewer::onPicture(qreal x, qreal y) const
{
    return m_status == Shown && shownRect().contains(QPointF(x, y));
}

} // namespace papelo

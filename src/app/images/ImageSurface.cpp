#include "images/ImageSurface.h"

#include <QQuickWindow>
#include <QSGImageNode>

namespace papelo {

ImageSurface::ImageSurface(QQuickItem *parent) : QQuickItem(parent) { setFlag(ItemHasContents, true); }

void ImageSurface::setImage(const QImage &image)
{
    if (image.cacheKey() == m_image.cacheKey())
        return;
    m_image = image;
    m_imageDirty = true;
    emit imageChanged();
    update();
}

QRectF ImageSurface::cropRect(QSizeF imageSize, QSizeF frame)
{
    if (imageSize.isEmpty() || frame.isEmpty())
        return {QPointF(0, 0), imageSize};
    const qreal scale = qMax(frame.width() / imageSize.width(), frame.height() / imageSize.height());
    const QSizeF shown(frame.width() / scale, frame.height() / scale);
    return {QPointF((imageSize.width() - shown.width()) / 2, (imageSize.height() - shown.height()) / 2), shown};
}

void ImageSurface::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    update();
}

QSGNode *ImageSurface::updatePaintNode(QSGNode *old, UpdatePaintNodeData *)
{
    auto *node = static_cast<QSGImageNode *>(old);
    if (m_image.isNull() || width() <= 0 || height() <= 0 || !window()) {
        delete node;
        m_imageDirty = true;
        return nullptr;
    }
    if (!node) {
        node = window()->createImageNode();
        node->setOwnsTexture(true);
        m_imageDirty = true;
    }
    if (m_imageDirty) {
        node->setTexture(window()->createTextureFromImage(m_image));
        m_imageDirty = false;
    }
    node->setFiltering(QSGTexture::Linear);
    node->setMipmapFiltering(QSGTexture::None);
    node->setRect(boundingRect());
    node->setSourceRect(cropRect(m_image.size(), size()));
    return node;
}

} // namespace papelo

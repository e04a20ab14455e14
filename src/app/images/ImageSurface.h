#pragma once

#include <QImage>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// Draws a decoded image filling the item, aspect kept, overflow cropped.
// The texture is rebuilt only when the image changes.
class ImageSurface : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
public:
    explicit ImageSurface(QQuickItem *parent = nullptr);

    QImage image() const { return m_image; }
    void setImage(const QImage &image);

    // Part of `imageSize` shown when cropping it to fill `frame`.
    static QRectF cropRect(QSizeF imageSize, QSizeF frame);

signals:
    void imageChanged();

protected:
    QSGNode *updatePaintNode(QSGNode *old, UpdatePaintNodeData *) override;
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    QImage m_image;
    bool m_imageDirty = false;
};

} // namespace papelo

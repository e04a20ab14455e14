#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace papelo {

// Zoom and pan of one picture in the viewer's viewport, in the viewport's
// logical pixels; a zoom of 1 shows one picture pixel per logical pixel.
// Fitted shows the whole picture, never enlarged; zoom goes from there up
// to 400 % of the picture's own size. A picture smaller than the viewport
// along an axis is centred on it; a larger one can be panned only as far as
// its edges. The texture stays within safe bounds whatever the zoom: past
// them the scene graph magnifies. Pure value, any thread.
class PictureZoom {
public:
    static constexpr qreal kMaxZoom = 4.0;
    static constexpr int kMaxTextureEdge = 8192;
    static constexpr qint64 kMaxTexturePixels = 16 * 1024 * 1024;

    // A new viewport keeps a fitted picture fitted; otherwise the zoom stays
    // (at least the fit) and the pan is kept within bounds.
    void setViewport(QSizeF viewport);
    // A new picture (its full size; empty while unknown) starts fitted.
    void setPicture(QSizeF pictureSize);

    QSizeF viewport() const { return m_viewport; }
    QSizeF pictureSize() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isEmpty() && !m_viewport.isEmpty(); }
    qreal fitZoom() const;
    qreal zoom() const { return m_zoom; }
    bool fitted() const { return m_fitted; }
    // Where the picture is drawn in the viewport.
    QRectF shownRect() const { return {m_offset, m_picture * m_zoom}; }
    bool canZoomIn() const { return hasPicture() && m_zoom < kMaxZoom - kEpsilon; }
    bool canZoomOut() const { return hasPicture() && m_zoom > fitZoom() + kEpsilon; }

    void fit();
    // Zoom to `zoom` (held within fit .. 400 %), keeping the picture point
    // under `anchor` (a viewport point) where it is.
    void zoomTo(qreal zoom, QPointF anchor);
    void zoomBy(qreal factor, QPointF anchor) { zoomTo(m_zoom * factor, anchor); }
    // The next larger or smaller of the fixed steps, around the viewport's centre.
    void stepIn();
    void stepOut();
    // Fitted -> 100 % around `anchor`; anything else -> fitted.
    void toggleFit(QPointF anchor);
    void panBy(QPointF delta);

    // The size to decode the picture at for a screen of `devicePixelRatio`:
    // as many pixels as are shown, never more than the picture has, within
    // the texture bounds; aspect kept. Empty while the picture is unknown.
    QSize textureSize(qreal devicePixelRatio) const;

private:
    static constexpr qreal kEpsilon = 1e-6;
    void clampOffset();

    QSizeF m_viewport;
    QSizeF m_picture;
    qreal m_zoom = 1;
    bool m_fitted = true;
    QPointF m_offset;
};

} // namespace papelo

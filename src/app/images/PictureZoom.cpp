#include "images/PictureZoom.h"

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>

namespace papelo {

namespace {
constexpr std::array<qreal, 10> kSteps = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 2.5, 3.0, 4.0};
} // namespace

qreal PictureZoom::fitZoom() const
{
    if (!hasPicture())
        return 1;
    return std::min({1.0, m_viewport.width() / m_picture.width(), m_viewport.height() / m_picture.height()});
}

void PictureZoom::setViewport(QSizeF viewport)
{
    m_viewport = viewport;
    if (m_fitted || m_zoom < fitZoom())
        fit();
    else
        clampOffset();
}

void PictureZoom::setPicture(QSizeF pictureSize)
{
    m_picture = pictureSize;
    fit();
}

void PictureZoom::fit()
{
    m_zoom = fitZoom();
    m_fitted = true;
    clampOffset();
}

void PictureZoom::zoomTo(qreal zoom, QPointF anchor)
{
    if (!hasPicture() || !std::isfinite(zoom))
        return;
    const qreal fitted = fitZoom();
    const qreal next = std::clamp(zoom, fitted, kMaxZoom);
    // The picture point under the anchor stays under it.
    m_offset = anchor - (anchor - m_offset) * (next / m_zoom);
    m_zoom = next;
    m_fitted = qAbs(next - fitted) < kEpsilon;
    clampOffset();
}

void PictureZoom::stepIn()
{
    const auto step = std::find_if(kSteps.begin(), kSteps.end(), [&](qreal s) { return s > m_zoom + kEpsilon; });
    zoomTo(step == kSteps.end() ? kMaxZoom : *step, QPointF(m_viewport.width() / 2, m_viewport.height() / 2));
}

void PictureZoom::stepOut()
{
    const auto step = std::find_if(kSteps.rbegin(), kSteps.rend(), [&](qreal s) { return s < m_zoom - kEpsilon; });
    zoomTo(step == kSteps.rend() ? fitZoom() : *step, QPointF(m_viewport.width() / 2, m_viewport.height() / 2));
}

void PictureZoom::toggleFit(QPointF anchor)
{
    if (m_fitted)
        zoomTo(1.0, anchor);
    else
        fit();
}

void PictureZoom::panBy(QPointF delta)
{
    m_offset += delta;
    clampOffset();
}

void PictureZoom::clampOffset()
{
    const QSizeF shown = m_picture * m_zoom;
    const auto axis = [](qreal offset, qreal shownLength, qreal viewLength) {
        if (shownLength <= viewLength)
            return (viewLength - shownLength) / 2;
        return std::clamp(offset, viewLength - shownLength, 0.0);
    };
    m_offset = QPointF(axis(m_offset.x(), shown.width(), m_viewport.width()),
                       axis(m_offset.y(), shown.height(), m_viewport.height()));
}

QSize PictureZoom::textureSize(qreal devicePixelRatio) const
{
    if (!hasPicture() || !(devicePixelRatio > 0))
        return {};
    qreal scale = std::min(1.0, m_zoom * devicePixelRatio);
    const qreal longest = std::max(m_picture.width(), m_picture.height());
    scale = std::min(scale, kMaxTextureEdge / longest);
    scale = std::min(scale, std::sqrt(qreal(kMaxTexturePixels) / (m_picture.width() * m_picture.height())));
    // Never a pixel past the bounds, whatever the rounding of the scale.
    return QSize(std::max(1, int(std::floor(m_picture.width() * scale + 1e-6))),
                 std::max(1, int(std::floor(m_picture.height() * scale + 1e-6))));
}

} // namespace papelo

#include "reading/PageScroll.h"

#include <algorithm>

namespace papelo {

namespace {
constexpr qreal kArrowStep = 40;
constexpr qreal kPageFraction = 0.875;  // a page key keeps a line or two in view
} // namespace

QVariant PageScroll::keyScrolledContentY(qreal contentY, int key, int modifiers, qreal contentHeight,
                                         qreal viewportHeight, qreal originY)
{
    const auto mods = Qt::KeyboardModifiers(modifiers) & ~Qt::KeypadModifier;
    const bool plain = mods == Qt::NoModifier;
    const qreal page = viewportHeight * kPageFraction;
    qreal y = 0;
    if (plain && key == Qt::Key_Up)
        y = contentY - kArrowStep;
    else if (plain && key == Qt::Key_Down)
        y = contentY + kArrowStep;
    else if ((plain && key == Qt::Key_PageUp) || (mods == Qt::ShiftModifier && key == Qt::Key_Space))
        y = contentY - page;
    else if (plain && (key == Qt::Key_PageDown || key == Qt::Key_Space))
        y = contentY + page;
    else if ((plain || mods == Qt::ControlModifier) && key == Qt::Key_Home)
        y = originY;
    else if ((plain || mods == Qt::ControlModifier) && key == Qt::Key_End)
        y = originY + contentHeight;
    else
        return {};
    return std::clamp(y, originY, std::max(originY, originY + contentHeight - viewportHeight));
}

bool PageScroll::isScrollKey(int key, int modifiers)
{
    return keyScrolledContentY(0, key, modifiers, 2, 1, 0).isValid();
}

} // namespace papelo

#include "common/FocusReveal.h"

#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>

namespace papelo {

FocusReveal::FocusReveal(QObject *parent) : QObject(parent) {}

void FocusReveal::setFlickable(QQuickItem *flickable)
{
    if (flickable == m_flickable)
        return;
    if (m_flickable)
        disconnect(m_flickable, nullptr, this, nullptr);
    m_flickable = flickable;
    if (m_flickable)
        connect(m_flickable, &QQuickItem::windowChanged, this, &FocusReveal::watchWindow);
    watchWindow();
    emit flickableChanged();
}

void FocusReveal::setMargin(qreal margin)
{
    if (qFuzzyCompare(margin, m_margin))
        return;
    m_margin = margin;
    emit marginChanged();
}

void FocusReveal::watchWindow()
{
    QQuickWindow *window = m_flickable ? m_flickable->window() : nullptr;
    if (window == m_window)
        return;
    if (m_window)
        disconnect(m_window, nullptr, this, nullptr);
    m_window = window;
    if (m_window)
        connect(m_window, &QQuickWindow::activeFocusItemChanged, this, &FocusReveal::reveal);
}

qreal FocusReveal::revealedContentY(qreal contentY, qreal viewHeight, qreal minY, qreal maxY, qreal itemTop,
                                    qreal itemBottom, qreal margin)
{
    if (itemBottom - itemTop > viewHeight - 2 * margin)
        return contentY;
    qreal delta = 0;
    if (itemTop < margin)
        delta = itemTop - margin;
    else if (itemBottom > viewHeight - margin)
        delta = itemBottom - (viewHeight - margin);
    if (delta == 0)
        return contentY;
    return std::clamp(contentY + delta, minY, std::max(minY, maxY));
}

void FocusReveal::reveal()
{
    QQuickItem *item = m_window ? m_window->activeFocusItem() : nullptr;
    QQuickItem *content = m_flickable ? m_flickable->property("contentItem").value<QQuickItem *>() : nullptr;
    if (!item || !content || !content->isAncestorOf(item) || !m_flickable->isVisible())
        return;
    const qreal top = item->mapToItem(m_flickable, QPointF(0, 0)).y();
    const qreal viewHeight = m_flickable->height();
    const qreal contentY = m_flickable->property("contentY").toReal();
    const qreal originY = m_flickable->property("originY").toReal();
    const qreal maxY = originY + m_flickable->property("contentHeight").toReal() - viewHeight;
    const qreal y = revealedContentY(contentY, viewHeight, originY, maxY, top, top + item->height(), m_margin);
    if (!qFuzzyCompare(y, contentY))
        m_flickable->setProperty("contentY", y);
}

} // namespace papelo

#include "shell/FrameWatcher.h"

#include "core/Activity.h"
#include "core/Trace.h"

#include <QQuickItem>
#include <QQuickWindow>

namespace papelo {

FrameWatcher::FrameWatcher(QQuickWindow *window, QObject *parent) : QObject(parent), m_window(window)
{
    connect(window, &QQuickWindow::afterAnimating, this, &FrameWatcher::inspect, Qt::DirectConnection);
    connect(window, &QQuickWindow::frameSwapped, this, &FrameWatcher::swapped, Qt::DirectConnection);
    // The last image or request may end without anything left to redraw.
    connect(&Activity::shared(), &Activity::countChanged, this, [this](int count) {
        if (count == 0 && m_cards && !m_settled && m_window)
            m_window->update();
    });
}

void FrameWatcher::inspect()
{
    std::vector<const char *> names = trace::takeNextFrameInstants();
    if (!m_shown) {
        m_shown = true;
        names.push_back("window-shown");
    }
    if (!m_cards && m_window && showsCard(m_window->contentItem(), 1)) {
        m_cards = true;
        names.push_back("first-cards");
    }
    if (m_cards && !m_settled && Activity::shared().count() == 0) {
        m_settled = true;
        names.push_back("home-settled");
    }
    if (names.empty())
        return;
    const QMutexLocker lock(&m_mutex);
    m_armed.insert(m_armed.end(), names.begin(), names.end());
}

void FrameWatcher::swapped()
{
    std::vector<const char *> names;
    {
        const QMutexLocker lock(&m_mutex);
        names.swap(m_armed);
    }
    for (const char *name : names)
        trace::instant(name);
}

// A card counts once it is visible, not faded out (the entrance animation
// starts at opacity 0), carries a title and lies at least partly in the window.
bool FrameWatcher::showsCard(QQuickItem *item, qreal opacity) const
{
    if (!item->isVisible())
        return false;
    opacity *= item->opacity();
    if (opacity <= 0)
        return false;
    if (QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String("ArticleCard_"))) {
        const QRectF onWindow = item->mapRectToScene(item->boundingRect());
        return !item->property("title").toString().isEmpty()
               && onWindow.intersects(QRectF(0, 0, m_window->width(), m_window->height()));
    }
    const QList<QQuickItem *> children = item->childItems();
    for (QQuickItem *child : children) {
        if (showsCard(child, opacity))
            return true;
    }
    return false;
}

} // namespace papelo

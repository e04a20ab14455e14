#pragma once

#include <QMutex>
#include <QObject>
#include <QPointer>

#include <vector>

class QQuickItem;
class QQuickWindow;

namespace papelo {

// Exists only while tracing: turns what the window shows into trace
// instants, each recorded once the frame showing it has been swapped:
// window-shown (the first frame), first-cards (the first frame with a card
// whose title is on screen), home-settled (the first frame after that with
// no request or image load in flight) and whatever instantAtNextFrame()
// asked for (article-text-shown).
class FrameWatcher : public QObject {
    Q_OBJECT
public:
    explicit FrameWatcher(QQuickWindow *window, QObject *parent = nullptr);

private:
    void inspect();  // GUI thread, before the frame is synchronised
    void swapped();  // after the frame is on screen; any thread
    bool showsCard(QQuickItem *item, qreal opacity) const;

    QPointer<QQuickWindow> m_window;
    bool m_shown = false;
    bool m_cards = false;
    bool m_settled = false;
    QMutex m_mutex;
    std::vector<const char *> m_armed;  // shown by the frame being rendered
};

} // namespace papelo

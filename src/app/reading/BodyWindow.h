#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace papelo {

// Keeps the web view of an article body small however long the document is.
// The body's place in the page is as tall as the document; the view inside
// it is at most a few viewports tall and shows the part of the document
// around the page's viewport. The view sits where the document's own scroll
// position says (so document and page coordinates always agree): the page
// scrolls freely over it, and only when the viewport nears the view's edge
// is the document scrolled by a chunk. One such scroll at a time: the next
// waits until the engine has confirmed the last one and two more frames
// have been shown, so the view never moves to a position whose frame has not
// arrived (scrolls asked for back to back showed the old frame at the new
// place).
// It also turns the scroll keys pressed inside the view (PageScroll) into
// page scrolls.
// UI thread only.
class BodyWindow : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal documentHeight READ documentHeight WRITE setDocumentHeight NOTIFY geometryChanged)
    // The page's viewport in body coordinates.
    Q_PROPERTY(qreal visibleTop READ visibleTop WRITE setVisibleTop NOTIFY geometryChanged)
    Q_PROPERTY(qreal visibleHeight READ visibleHeight WRITE setVisibleHeight NOTIFY geometryChanged)
    // The document's scroll position as the engine last confirmed it.
    Q_PROPERTY(qreal scrollPosition READ scrollPosition WRITE setScrollPosition NOTIFY geometryChanged)
    Q_PROPERTY(qreal viewHeight READ viewHeight NOTIFY geometryChanged)
    Q_PROPERTY(qreal viewY READ viewY NOTIFY geometryChanged)
    // The web view whose scroll keys move the page instead.
    Q_PROPERTY(QQuickItem *keySource READ keySource WRITE setKeySource NOTIFY keySourceChanged)
public:
    explicit BodyWindow(QObject *parent = nullptr);

    // Height of the view for a viewport of `visibleHeight`: one viewport of
    // margin above and below, never more than the document.
    static qreal viewHeightFor(qreal documentHeight, qreal visibleHeight);
    // Where the document should be scrolled for the viewport [top, top +
    // height), or nothing while the view, scrolled to `current`, still
    // covers it with half a margin to spare.
    static std::optional<qreal> scrollTarget(qreal documentHeight, qreal viewHeight, qreal visibleTop,
                                             qreal visibleHeight, qreal current);
    // The script that scrolls the document to `y` and the one that finds the
    // document position of the element a fragment names (a number, or null).
    Q_INVOKABLE static QString scrollScript(qreal y);
    Q_INVOKABLE static QString fragmentScript(const QString &fragment);

    qreal documentHeight() const { return m_documentHeight; }
    void setDocumentHeight(qreal height);
    qreal visibleTop() const { return m_visibleTop; }
    void setVisibleTop(qreal top);
    qreal visibleHeight() const { return m_visibleHeight; }
    void setVisibleHeight(qreal height);
    qreal scrollPosition() const { return m_scrollPosition; }
    void setScrollPosition(qreal y);
    qreal viewHeight() const { return viewHeightFor(m_documentHeight, m_visibleHeight); }
    qreal viewY() const;
    QQuickItem *keySource() const { return m_keySource; }
    void setKeySource(QQuickItem *item);

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void geometryChanged();
    void keySourceChanged();
    // Run scrollScript(y) in the document.
    void scrollRequested(qreal y);
    void scrollKeyPressed(int key, int modifiers);

private:
    enum class Step { Idle, Scrolling, Settling };

    void follow();
    void release();
    void frameShown();
    void watchWindow();

    qreal m_documentHeight = 0;
    qreal m_visibleTop = 0;
    qreal m_visibleHeight = 0;
    qreal m_scrollPosition = 0;
    Step m_step = Step::Idle;
    qreal m_requested = 0;
    std::optional<qreal> m_unreachable;  // not asked again until the geometry changes
    int m_framesToSettle = 0;
    QTimer m_giveUp;  // an engine that never answers does not stop the view for good
    QPointer<QQuickItem> m_keySource;
    QPointer<QQuickWindow> m_window;
};

} // namespace papelo

#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

class QQuickWindow;

namespace papelo {

// Keeps the focused control of a page in view: when the focus moves to an
// item inside `flickable`, the page scrolls the least that shows the item
// whole, `margin` clear of the edges. An item taller than the viewport (the
// article body's view) is left where it is. UI thread only.
class FocusReveal : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem *flickable READ flickable WRITE setFlickable NOTIFY flickableChanged)
    Q_PROPERTY(qreal margin READ margin WRITE setMargin NOTIFY marginChanged)
public:
    explicit FocusReveal(QObject *parent = nullptr);

    QQuickItem *flickable() const { return m_flickable; }
    void setFlickable(QQuickItem *flickable);
    qreal margin() const { return m_margin; }
    void setMargin(qreal margin);

    // contentY that shows [itemTop, itemBottom] (viewport coordinates) in a
    // viewport of viewHeight, kept within [minY, maxY]; contentY itself when
    // it already shows it or when the item cannot fit.
    static qreal revealedContentY(qreal contentY, qreal viewHeight, qreal minY, qreal maxY, qreal itemTop,
                                  qreal itemBottom, qreal margin);

signals:
    void flickableChanged();
    void marginChanged();

private:
    void watchWindow();
    void reveal();

    QPointer<QQuickItem> m_flickable;
    QPointer<QQuickWindow> m_window;
    qreal m_margin = 16;
};

} // namespace papelo

#pragma once

#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// How the reading page answers its scroll keys, wherever the focus is in
// it (the article body's view included, see BodyWindow). Stateless.
class PageScroll : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit PageScroll(QObject *parent = nullptr) : QObject(parent) {}

    // contentY of the page after `key`: arrows a line, Page Up/Down, Space
    // and Shift+Space most of a viewport, Home/End the ends; an invalid
    // value for any other key or modifier.
    Q_INVOKABLE static QVariant keyScrolledContentY(qreal contentY, int key, int modifiers, qreal contentHeight,
                                                    qreal viewportHeight, qreal originY);
    static bool isScrollKey(int key, int modifiers);
};

} // namespace papelo

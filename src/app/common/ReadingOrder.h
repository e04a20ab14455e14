#pragma once

#include <QObject>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// The list an article was opened from, as the opener passes it on
// ([{id, title}] in the order shown), and the articles before and after one
// of them in it. An article opened from no list has neither.
class ReadingOrder : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    // {previous, next}: each {id, title}, or null at the list's ends, for an
    // id not in the list, or for entries without a usable id.
    Q_INVOKABLE static QVariantMap neighbours(const QVariantList &list, double id);
};

} // namespace papelo

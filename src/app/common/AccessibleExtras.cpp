#include "common/AccessibleExtras.h"

#include <QAccessible>
#include <QMetaProperty>
#include <QQuickItem>
#include <QtQml/qqml.h>

namespace papelo {

AccessibleExtras::AccessibleExtras(QObject *item) : QObject(item) {}

AccessibleExtras *AccessibleExtras::qmlAttachedProperties(QObject *item) { return new AccessibleExtras(item); }

namespace {
const AccessibleExtras *extrasOf(const QObject *item)
{
    return qobject_cast<AccessibleExtras *>(qmlAttachedPropertiesObject<AccessibleExtras>(item, false));
}
} // namespace

bool AccessibleExtras::isBusy(const QObject *item) { return extrasOf(item) && extrasOf(item)->busy(); }

int AccessibleExtras::roleOf(const QObject *item) { return extrasOf(item) ? extrasOf(item)->role() : 0; }

void AccessibleExtras::setRole(int role)
{
    if (role == m_role)
        return;
    m_role = role;
    disconnect(m_textWatch);
    disconnect(m_visibleWatch);
    const QMetaProperty text = parent()->metaObject()->property(parent()->metaObject()->indexOfProperty("text"));
    auto *item = qobject_cast<QQuickItem *>(parent());
    if (role == QAccessible::Notification && item && text.hasNotifySignal()) {
        m_textWatch = connect(item, text.notifySignal(), this, metaObject()->method(metaObject()->indexOfMethod("announceAgain()")));
        // Qt Quick announces a text that shows with its item.
        m_visibleWatch = connect(item, &QQuickItem::visibleChanged, this, [this, item] {
            m_announced = item->isVisible() ? item->property("text").toString() : QString();
        });
    }
    emit roleChanged();
}

void AccessibleExtras::announceAgain()
{
    // Screen readers read a notification as it shows: one whose text changed
    // while shown is shown again for them.
    const auto *item = qobject_cast<QQuickItem *>(parent());
    const QString text = item ? item->property("text").toString() : QString();
    if (!item || !item->isVisible() || text.isEmpty() || text == m_announced)
        return;
    m_announced = text;
    QAccessibleEvent event(parent(), QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

void AccessibleExtras::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged();
    QAccessible::State changed;
    changed.busy = true;
    QAccessibleStateChangeEvent event(parent(), changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace papelo

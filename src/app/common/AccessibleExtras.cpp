#include "common/AccessibleExtras.h"

#include <QAccessible>
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
    emit roleChanged();
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

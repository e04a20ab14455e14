#include "common/AccessibleExtras.h"

#include <QAccessible>
#include <QtQml/qqml.h>

namespace papelo {

AccessibleExtras::AccessibleExtras(QObject *item) : QObject(item) {}

AccessibleExtras *AccessibleExtras::qmlAttachedProperties(QObject *item) { return new AccessibleExtras(item); }

bool AccessibleExtras::isBusy(const QObject *item)
{
    const auto *extras = qobject_cast<AccessibleExtras *>(qmlAttachedPropertiesObject<AccessibleExtras>(item, false));
    return extras && extras->busy();
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

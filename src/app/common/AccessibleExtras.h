#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// What an item tells a screen reader beyond Qt Quick's Accessible (which
// has no busy state in 6.4), attached from QML:
//     AccessibleExtras.busy: screen.isLoading
// AccessibleItem reports it; a change is announced as a state change.
// UI thread only.
class AccessibleExtras : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Attached only")
    QML_ATTACHED(AccessibleExtras)
    Q_PROPERTY(bool busy READ busy WRITE setBusy NOTIFY busyChanged)
public:
    explicit AccessibleExtras(QObject *item);
    static AccessibleExtras *qmlAttachedProperties(QObject *item);
    // Whether `item` is marked busy; false without the attached object.
    static bool isBusy(const QObject *item);

    bool busy() const { return m_busy; }
    void setBusy(bool busy);

signals:
    void busyChanged();

private:
    bool m_busy = false;
};

} // namespace papelo

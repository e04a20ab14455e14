#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// What an item tells a screen reader beyond Qt Quick's Accessible, attached
// from QML (AccessibleItem reports it):
//     AccessibleExtras.busy: screen.isLoading      (6.4 has no busy state)
//     AccessibleExtras.role: Accessible.Heading    (on a text item or a button,
//                                                   whose Accessible.role 6.4 overwrites)
// A change of busy is announced as a state change. A notification is
// announced when it shows and again whenever its text changes while shown
// (a status line that goes from "checking" to its outcome). UI thread only.
class AccessibleExtras : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Attached only")
    QML_ATTACHED(AccessibleExtras)
    Q_PROPERTY(bool busy READ busy WRITE setBusy NOTIFY busyChanged)
    Q_PROPERTY(int role READ role WRITE setRole NOTIFY roleChanged)
public:
    explicit AccessibleExtras(QObject *item);
    static AccessibleExtras *qmlAttachedProperties(QObject *item);
    // What `item` is marked with; not busy and no role without the attached object.
    static bool isBusy(const QObject *item);
    static int roleOf(const QObject *item);

    bool busy() const { return m_busy; }
    void setBusy(bool busy);
    int role() const { return m_role; }
    void setRole(int role);

signals:
    void busyChanged();
    void roleChanged();

private:
    Q_SLOT void announceAgain();

    bool m_busy = false;
    QMetaObject::Connection m_textWatch;
    QMetaObject::Connection m_visibleWatch;
    QString m_announced;  // the notification's text a screen reader was last told
    int m_role = 0;  // QAccessible::NoRole
};

} // namespace papelo

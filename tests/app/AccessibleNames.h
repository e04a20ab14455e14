#pragma once

// Every control a keyboard user can Tab to must tell assistive technology
// what it is: lists the visible, focusable items under `root` that have no
// accessible name.
#include <QAccessible>
#include <QQuickItem>
#include <QStringList>

inline QStringList unnamedControls(QQuickItem *root)
{
    QStringList unnamed;
    if (!root->isVisible())
        return unnamed;
    // A web view's accessible tree is the engine's, built from the document.
    if (QString::fromLatin1(root->metaObject()->className()).contains(QLatin1String("WebEngine")))
        return unnamed;
    if (root->activeFocusOnTab() && root->isEnabled()) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(root);
        if (!iface || iface->text(QAccessible::Name).trimmed().isEmpty()) {
            const QString placeholder = root->property("placeholderText").toString();
            unnamed << QString::fromLatin1(root->metaObject()->className())
                           + (placeholder.isEmpty() ? QString() : QLatin1Char(' ') + placeholder);
        }
    }
    for (QQuickItem *child : root->childItems())
        unnamed << unnamedControls(child);
    return unnamed;
}

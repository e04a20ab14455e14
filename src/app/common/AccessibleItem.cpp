#include "common/AccessibleItem.h"

#include "common/AccessibleExtras.h"

#include <QQuickItem>
#include <QRegularExpression>

namespace papelo {

namespace {
bool g_querying = false;  // inside create(): Qt Quick's factory answers
} // namespace

void AccessibleItem::install()
{
    // Factories are asked newest first: ours goes in front of Qt Quick's.
    QAccessible::removeFactory(&AccessibleItem::create);
    QAccessible::installFactory(&AccessibleItem::create);
}

QAccessibleInterface *AccessibleItem::create(const QString &className, QObject *object)
{
    auto *item = qobject_cast<QQuickItem *>(object);
    // Once per object (the most derived class name); the web view's tree is
    // the engine's own and stays as it is.
    if (g_querying || !item || className != QLatin1String(object->metaObject()->className())
        || className.contains(QLatin1String("WebEngine")))
        return nullptr;
    g_querying = true;
    QAccessibleInterface *inner = QAccessible::queryAccessibleInterface(object);
    g_querying = false;
    return inner ? new AccessibleItem(item, inner) : nullptr;
}

AccessibleItem::AccessibleItem(QQuickItem *item, QAccessibleInterface *inner)
    : m_item(item), m_inner(inner), m_innerId(QAccessible::uniqueId(inner))
{
}

AccessibleItem::~AccessibleItem()
{
    // Our object's entry in the cache now names this wrapper; the wrapped
    // interface is only reachable through its id.
    QAccessible::deleteAccessibleInterface(m_innerId);
}

bool AccessibleItem::isValid() const { return m_item && m_inner->isValid(); }
QObject *AccessibleItem::object() const { return m_item; }
QWindow *AccessibleItem::window() const { return m_inner->window(); }
QList<QPair<QAccessibleInterface *, QAccessible::Relation>> AccessibleItem::relations(QAccessible::Relation match) const
{
    return m_inner->relations(match);
}
QAccessibleInterface *AccessibleItem::focusChild() const { return m_inner->focusChild(); }
QAccessibleInterface *AccessibleItem::childAt(int x, int y) const { return m_inner->childAt(x, y); }
QAccessibleInterface *AccessibleItem::parent() const { return m_inner->parent(); }
QAccessibleInterface *AccessibleItem::child(int index) const { return m_inner->child(index); }
int AccessibleItem::childCount() const { return m_inner->childCount(); }
int AccessibleItem::indexOfChild(const QAccessibleInterface *child) const { return m_inner->indexOfChild(child); }
void AccessibleItem::setText(QAccessible::Text t, const QString &text) { m_inner->setText(t, text); }
QRect AccessibleItem::rect() const { return m_inner->rect(); }
QColor AccessibleItem::foregroundColor() const { return m_inner->foregroundColor(); }
QColor AccessibleItem::backgroundColor() const { return m_inner->backgroundColor(); }
void *AccessibleItem::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface && isPassword() && innerText())
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::ActionInterface && m_inner->role() == QAccessible::PageTab && m_inner->actionInterface())
        return static_cast<QAccessibleActionInterface *>(this);
    return m_inner->interface_cast(type);
}

namespace {
QString bullets(const QString &text) { return QString(text.size(), QChar(0x2022)); }
} // namespace

QString AccessibleItem::text(QAccessible::Text t) const
{
    const QString text = m_inner->text(t);
    if (isPassword() && t == QAccessible::Value)
        return bullets(text);
    // A menu's popup is named by the menu, as its title reads without "&".
    if (t == QAccessible::Name && text.isEmpty() && m_inner->role() == QAccessible::PopupMenu && m_item)
        if (const QObject *menu = m_item->parent(); menu && menu->inherits("QQuickMenu")) {
            static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&"));
            return menu->property("title").toString().remove(mnemonic);
        }
    if (!isPassword())
        return text;
    // The prompt names the field.
    if (t == QAccessible::Name && text.isEmpty() && m_item)
        return m_item->property("placeholderText").toString();
    return text;
}

void AccessibleItem::selection(int i, int *start, int *end) const { innerText()->selection(i, start, end); }
int AccessibleItem::selectionCount() const { return innerText()->selectionCount(); }
void AccessibleItem::addSelection(int start, int end) { innerText()->addSelection(start, end); }
void AccessibleItem::removeSelection(int i) { innerText()->removeSelection(i); }
void AccessibleItem::setSelection(int i, int start, int end) { innerText()->setSelection(i, start, end); }
int AccessibleItem::cursorPosition() const { return innerText()->cursorPosition(); }
void AccessibleItem::setCursorPosition(int position) { innerText()->setCursorPosition(position); }
QString AccessibleItem::text(int start, int end) const { return bullets(innerText()->text(start, end)); }
QString AccessibleItem::textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
{
    return bullets(innerText()->textBeforeOffset(offset, type, start, end));
}
QString AccessibleItem::textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
{
    return bullets(innerText()->textAfterOffset(offset, type, start, end));
}
QString AccessibleItem::textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
{
    return bullets(innerText()->textAtOffset(offset, type, start, end));
}
int AccessibleItem::characterCount() const { return innerText()->characterCount(); }
QRect AccessibleItem::characterRect(int offset) const { return innerText()->characterRect(offset); }
int AccessibleItem::offsetAtPoint(const QPoint &point) const { return innerText()->offsetAtPoint(point); }
void AccessibleItem::scrollToSubstring(int start, int end) { innerText()->scrollToSubstring(start, end); }
QString AccessibleItem::attributes(int offset, int *start, int *end) const { return innerText()->attributes(offset, start, end); }

QStringList AccessibleItem::actionNames() const
{
    QStringList names = m_inner->actionInterface()->actionNames();
    if (!names.contains(pressAction()))
        names.prepend(pressAction());
    return names;
}

void AccessibleItem::doAction(const QString &actionName)
{
    if (actionName != pressAction()) {
        m_inner->actionInterface()->doAction(actionName);
        return;
    }
    // What a click does: the tab is checked, then its handlers hear of it.
    if (!m_item || !m_item->isEnabled())
        return;
    if (!m_item->property("checked").toBool())
        QMetaObject::invokeMethod(m_item, "toggle");
    QMetaObject::invokeMethod(m_item, "clicked");
}

QStringList AccessibleItem::keyBindingsForAction(const QString &actionName) const
{
    return m_inner->actionInterface()->keyBindingsForAction(actionName);
}

QAccessible::Role AccessibleItem::role() const
{
    const QAccessible::Role role = m_inner->role();
    const int wanted = m_item ? AccessibleExtras::roleOf(m_item) : QAccessible::NoRole;
    return wanted == QAccessible::NoRole ? role : QAccessible::Role(wanted);
}

QAccessible::State AccessibleItem::state() const
{
    QAccessible::State state = m_inner->state();
    if (m_item) {
        state.disabled = state.disabled || !m_item->isEnabled();
        state.busy = state.busy || AccessibleExtras::isBusy(m_item);
    }
    return state;
}

} // namespace papelo

#pragma once

#include <QAccessible>
#include <QPointer>

class QQuickItem;

namespace papelo {

// Qt Quick's own accessible interface of an item, with what Qt 6.4 gets
// wrong put right before a screen reader sees it:
// - a disabled item is exposed as disabled (6.4 never says so);
// - a text item takes the role given as AccessibleExtras.role (Heading,
//   Notification), where 6.4 makes every text a label;
// - a password field is named by its prompt (6.4 drops the name of every
//   password field), and its text reads as bullets (6.4 hands out the
//   password itself, which a screen reader would speak);
// - an item marked AccessibleExtras.busy is busy;
// - a page tab can be pressed (6.4 offers only "set focus" on it);
// - a popup menu is named by its menu's title, without the mnemonic mark.
// Everything else is Qt's: the wrapped interface answers it. install() puts
// the factory in front of Qt Quick's; the wrapped interface stays
// registered in Qt's cache under an id of its own and goes with the
// wrapper. UI thread only.
class AccessibleItem : public QAccessibleInterface, public QAccessibleTextInterface, public QAccessibleActionInterface {
public:
    // Once per process, after Qt Quick's factories (they install themselves
    // when the library loads, so any time from main() on).
    static void install();

    ~AccessibleItem() override;

    bool isValid() const override;
    QObject *object() const override;
    QWindow *window() const override;
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation match) const override;
    QAccessibleInterface *focusChild() const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString &text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QColor foregroundColor() const override;
    QColor backgroundColor() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    // The text of a password field, each character a bullet; the rest is its own.
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // A page tab's actions: press first, then the item's own.
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    AccessibleItem(QQuickItem *item, QAccessibleInterface *inner);
    static QAccessibleInterface *create(const QString &className, QObject *object);
    bool isPassword() const { return m_inner->state().passwordEdit; }
    QAccessibleTextInterface *innerText() const { return m_inner->textInterface(); }

    QPointer<QQuickItem> m_item;
    QAccessibleInterface *m_inner;
    QAccessible::Id m_innerId;
};

} // namespace papelo

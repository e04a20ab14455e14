import QtQuick
import QtQuick.Controls
import Papelo

// The rows of a long list inside a page that scrolls as one piece: only the
// rows near the page's viewport are built, each placed at the offset its
// RowWindow knows for it, so the list is as tall as all its rows from the
// start. Delegates read `row`, `rowY` and `rowHeight` (plus the model's
// roles), place themselves, expose the item that takes the keyboard focus
// as `focusTarget`, and pass its Tab, Backtab and arrow keys to step():
// the focus then reaches every row, built or not.
Item {
    id: list
    property var model
    property Component delegate
    property alias rowHeight: rows.rowHeight
    property alias spacing: rows.spacing
    // Accessible name of the two focus stops that lead into the list.
    property string accessibleName
    readonly property alias window: rows
    readonly property alias repeater: repeater
    // The page around the list: the nearest Flickable up the parents.
    property Flickable page: null

    implicitHeight: rows.contentHeight
    Component.onCompleted: findPage()
    onParentChanged: findPage()

    function findPage() {
        for (let item = list.parent; item; item = item.parent) {
            if (item instanceof Flickable) {
                page = item
                return
            }
        }
        page = null
    }

    // The page's viewport in list coordinates, again on every scroll and
    // whenever something above the list changes the page's height.
    readonly property real viewTop: {
        if (!page)
            return 0
        page.contentHeight  // a dependency: the list moves when something above it grows
        return page.contentY - list.mapToItem(page.contentItem, 0, 0).y
    }

    function itemOf(row) {
        const index = rows.indexOfRow(row)
        return index < 0 ? null : repeater.itemAt(index)
    }

    // Builds the row if need be, scrolls the page to show it and focuses it.
    function focusRow(row, reason) {
        rows.pinnedRow = row
        const item = itemOf(row)
        if (!item)
            return
        if (page) {
            const top = rows.revealedTop(row, viewTop, page.height)
            page.contentY = Math.max(0, Math.min(page.contentY + top - viewTop,
                                                 page.contentHeight - page.height))
        }
        item.focusTarget.forceActiveFocus(reason)
    }

    function step(row, event) {
        const next = rows.stepRow(row, event.key, event.modifiers)
        if (next < 0) {
            event.accepted = false
            return
        }
        const back = event.key === Qt.Key_Backtab || event.key === Qt.Key_Up
                     || (event.modifiers & Qt.ShiftModifier)
        focusRow(next, back ? Qt.BacktabFocusReason : Qt.TabFocusReason)
    }

    // The row holding the focus stays built while the page scrolls away.
    Connections {
        target: list.Window.window
        function onActiveFocusItemChanged() {
            let item = list.Window.window ? list.Window.window.activeFocusItem : null
            while (item && item.parent !== list)
                item = item.parent
            rows.pinnedRow = item && item.row !== undefined ? item.row : -1
        }
    }

    RowWindow {
        id: rows
        model: list.model
        viewTop: list.viewTop
        viewHeight: list.page ? list.page.height : 0
        overscan: list.page ? list.page.height / 2 : 0
    }

    // Tab into the list lands on its first row, Backtab on its last, built or
    // not. The focus reason is only set after activeFocus changes (Qt 6.4):
    // the stops route the focus once it has arrived.
    Control {
        id: entry
        objectName: "rowsEntry"
        focusPolicy: Qt.TabFocus
        Accessible.name: list.accessibleName
        onActiveFocusChanged: if (activeFocus) Qt.callLater(route)
        function route() {
            if (!activeFocus)
                return
            if (focusReason === Qt.BacktabFocusReason)
                nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)
            else if (rows.rows === 0)
                nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)  // on past an empty list
            else
                list.focusRow(0, Qt.TabFocusReason)
        }
    }

    Repeater {
        id: repeater
        model: rows
        delegate: list.delegate
    }

    Control {
        objectName: "rowsExit"
        y: list.height
        focusPolicy: Qt.TabFocus
        Accessible.name: list.accessibleName
        onActiveFocusChanged: if (activeFocus) Qt.callLater(route)
        function route() {
            if (!activeFocus)
                return
            if (focusReason !== Qt.BacktabFocusReason)
                nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
            else if (rows.rows > 0)
                list.focusRow(rows.rows - 1, Qt.BacktabFocusReason)
            else
                nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)  // back past an empty list
        }
    }
}

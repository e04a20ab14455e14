import QtQuick
import QtQuick.Controls
import Papelo

// One tab's navigation stack: a bar with the current page's title and a back
// button, Escape / Alt+Left to go back. A page opened here puts the focus on
// the bar's title (a heading, so a screen reader reads where it is); going
// back returns it to where it was before the page opened.
FocusScope {
    id: root
    property bool current
    // The page at the bottom of the stack.
    property url initialPage
    // Whether its pages show the server's content: then another server
    // closes them all and the tab starts afresh.
    property bool serverBound: true
    readonly property alias stack: stack
    readonly property int depth: stack.depth

    // Where the focus was when each page above the first was opened.
    property var returnFocus: []

    function push(page, properties) {
        return open(page, properties || {})
    }

    function open(page, properties, operation) {
        build()
        const from = Window.activeFocusItem
        const pushed = operation === undefined ? stack.push(page, properties) : stack.push(page, properties, operation)
        if (stack.depth > 1) {
            returnFocus.push(from)
            if (root.current)
                focusAfterTransition(title)
        }
        return pushed
    }

    // The stack hands the focus around while a transition ends: the item
    // meant to have it takes it back once the stack is done.
    property Item pendingFocus: null
    function focusAfterTransition(item) {
        pendingFocus = item
        item.forceActiveFocus()
        if (!stack.busy)
            Qt.callLater(takePendingFocus)
    }
    function takePendingFocus() {
        if (pendingFocus && !stack.busy)
            pendingFocus.forceActiveFocus()
        pendingFocus = null
    }
    Connections {
        target: stack
        function onBusyChanged() { if (!stack.busy) Qt.callLater(root.takePendingFocus) }
    }

    // The first page is built when the tab is first shown (or something is
    // pushed onto it): start-up creates only the tab on screen.
    function build() {
        if (stack.depth === 0 && root.initialPage.toString() !== "")
            stack.push(root.initialPage, {}, StackView.Immediate)
    }
    onCurrentChanged: if (current) build()

    Connections {
        target: App
        enabled: root.serverBound
        function onServerChanged() {
            stack.clear(StackView.Immediate)
            if (root.current)
                root.build()
        }
    }

    function back() {
        if (stack.depth <= 1)
            return
        stack.pop()
        const previous = returnFocus.pop()
        focusAfterTransition(previous && previous.Window.window === Window.window ? previous : title)
    }

    Rectangle {
        id: bar
        anchors { left: parent.left; right: parent.right; top: parent.top }
        objectName: "navigationBar"
        height: 44
        // The bar continues the shown page's own background (the settings list
        // is grey, not paper), so no seam runs under the title.
        color: {
            const page = stack.currentItem
            return page && page.background && page.background.color !== undefined ? page.background.color
                                                                                 : Theme.appBackground
        }

        ToolButton {
            id: backButton
            anchors { left: parent.left; leftMargin: 8; verticalCenter: parent.verticalCenter }
            visible: stack.depth > 1
            focusPolicy: Qt.StrongFocus
            Accessible.name: "返回"
            contentItem: Row {
                spacing: 2
                Icon { name: "chevron_left"; size: 22; color: Theme.accent; anchors.verticalCenter: parent.verticalCenter }
                Label {
                    text: "返回"
                    color: Theme.accent
                    font.pixelSize: Theme.bodySize
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
            background: Rectangle {
                color: "transparent"
                radius: 6
                border.width: backButton.visualFocus ? 2 : 0
                border.color: Theme.accent
            }
            onClicked: root.back()
        }

        Label {
            id: title
            anchors.centerIn: parent
            width: Math.min(implicitWidth, parent.width - 2 * 96)
            elide: Text.ElideRight
            text: stack.currentItem && stack.currentItem.title !== undefined ? stack.currentItem.title : ""
            font.pixelSize: Theme.headlineSize
            font.bold: true
            color: Theme.primaryText
            AccessibleExtras.role: Accessible.Heading
            // Not a stop of its own: Tab and Backtab go on from where it sits
            // (Qt Quick would restart from the window's first stop). A page
            // scrolled away from its top (a restored reading position) names
            // where Tab resumes, so the first Tab does not pull it back up.
            Keys.onTabPressed: {
                const page = stack.currentItem
                const resume = page && page.resumeStop && page.resumeStop.visible ? page.resumeStop : null
                const next = resume || nextItemInFocusChain(true)
                next.forceActiveFocus(Qt.TabFocusReason)
            }
            Keys.onBacktabPressed: nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)
        }
    }

    StackView {
        id: stack
        // Pages read StackView.view.current to know they are on screen.
        property bool current: root.current
        anchors { left: parent.left; right: parent.right; top: bar.bottom; bottom: parent.bottom }
        focus: true
        clip: true

        // Pages open one another through these, so no feature names another's views.
        // `immediate` skips the slide: a page opened at start-up loads at once.
        // `list`: the [{id, title}] it was opened from, for next and previous.
        function openArticle(id, immediate, list) {
            return root.open(Qt.resolvedUrl("ArticleDetailView.qml"), { articleId: id, readingList: list || [] },
                             immediate ? StackView.Immediate : StackView.PushTransition)
        }
        // Next or previous in the same list: in place of the article shown, back still goes to the list.
        function replaceArticle(id, list) {
            const page = stack.replace(stack.currentItem, Qt.resolvedUrl("ArticleDetailView.qml"),
                                       { articleId: id, readingList: list }, StackView.Immediate)
            if (root.current)
                root.focusAfterTransition(title)
            return page
        }
        function openAuthor(id, immediate) {
            return root.open(Qt.resolvedUrl("AuthorDetailView.qml"), { authorId: id },
                             immediate ? StackView.Immediate : StackView.PushTransition)
        }
    }

    Component.onCompleted: if (current) build()

    Shortcut {
        // StandardKey.Back is Alt+Left here too; listing both would make the key ambiguous.
        sequences: ["Escape", "Alt+Left"]
        // A page that takes Esc for itself (a find bar open) keeps it.
        enabled: root.current && stack.depth > 1 && !(stack.currentItem && stack.currentItem.takesEscape === true)
        onActivated: root.back()
    }
}

import QtQuick
import QtQuick.Controls
import Papelo

// One tab's navigation stack: a bar with the current page's title and a back
// button, Escape / Alt+Left to go back.
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

    function push(page, properties) {
        build()
        return stack.push(page, properties || {})
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
        if (stack.depth > 1)
            stack.pop()
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
            background: Item {}
            onClicked: root.back()
        }

        Label {
            anchors.centerIn: parent
            width: Math.min(implicitWidth, parent.width - 2 * 96)
            elide: Text.ElideRight
            text: stack.currentItem && stack.currentItem.title !== undefined ? stack.currentItem.title : ""
            font.pixelSize: Theme.headlineSize
            font.bold: true
            color: Theme.primaryText
            Accessible.role: Accessible.Heading
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
        function openArticle(id, immediate) {
            root.build()
            return push(Qt.resolvedUrl("ArticleDetailView.qml"), { articleId: id },
                        immediate ? StackView.Immediate : StackView.PushTransition)
        }
        function openAuthor(id, immediate) {
            root.build()
            return push(Qt.resolvedUrl("AuthorDetailView.qml"), { authorId: id },
                        immediate ? StackView.Immediate : StackView.PushTransition)
        }
    }

    Component.onCompleted: if (current) build()

    Shortcut {
        // StandardKey.Back is Alt+Left here too; listing both would make the key ambiguous.
        sequences: ["Escape", "Alt+Left"]
        enabled: root.current && stack.depth > 1
        onActivated: root.back()
    }
}

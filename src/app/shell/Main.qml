import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Papelo

ApplicationWindow {
    id: window
    width: 1200
    height: 800
    minimumWidth: 480
    minimumHeight: 560
    visible: true
    title: "Papelo"
    color: Theme.appBackground

    palette.window: Theme.appBackground
    palette.windowText: Theme.primaryText
    palette.base: Theme.surface
    palette.alternateBase: Theme.surfaceFill
    palette.text: Theme.primaryText
    palette.button: Theme.surfaceFill
    palette.buttonText: Theme.primaryText
    palette.brightText: Theme.primaryText
    palette.highlight: Theme.accent
    palette.highlightedText: "#ffffff"
    palette.placeholderText: Theme.muted
    palette.toolTipBase: Theme.surface
    palette.toolTipText: Theme.primaryText
    palette.light: Theme.surface
    palette.midlight: Theme.surfaceFill
    palette.mid: Theme.border
    palette.dark: Theme.muted
    palette.shadow: "#000000"

    Binding { target: App; property: "windowWidth"; value: window.width }

    // Alt+P, Alt+R and Alt+H open the menus (the titles' mnemonics), F10 the first one.
    menuBar: MenuBar {
        id: menus
        // A screen reader reads the titles without their mnemonic marks.
        delegate: MenuBarItem { Accessible.name: text.replace(/\(&.\)|&/g, "") }
        background: Rectangle {
            color: Theme.appBackground
            Rectangle { anchors { left: parent.left; right: parent.right; bottom: parent.bottom } height: 1; color: Theme.border }
        }
        Menu {
            title: "&Papelo"
            Action {
                text: "刷新文章"
                shortcut: "Ctrl+R"
                onTriggered: App.commands.postRefreshArticles()
            }
            Action {
                text: "清除图片缓存"
                onTriggered: App.commands.postClearImageCache()
            }
        }
        Menu {
            title: "阅读(&R)"
            Action {
                text: "放大文字"
                shortcut: "Ctrl+="
                enabled: window.readingKeys
                onTriggered: App.settings.stepTextSize(1)
            }
            Action {
                text: "缩小文字"
                shortcut: "Ctrl+-"
                enabled: window.readingKeys
                onTriggered: App.settings.stepTextSize(-1)
            }
            Action {
                text: "默认文字大小"
                shortcut: "Ctrl+0"
                enabled: window.readingKeys
                onTriggered: App.settings.stepTextSize(0)
            }
            MenuSeparator {}
            Action {
                text: "在文章中查找"
                shortcut: StandardKey.Find
                enabled: window.readingKeys
                onTriggered: window.readingPage.openFind()
            }
            MenuSeparator {}
            Action {
                text: "下一篇"
                shortcut: "]"
                enabled: window.readingKeys && window.readingPage.hasNext
                onTriggered: window.readingPage.openNext()
            }
            Action {
                text: "上一篇"
                shortcut: "["
                enabled: window.readingKeys && window.readingPage.hasPrevious
                onTriggered: window.readingPage.openPrevious()
            }
        }
        Menu {
            title: "帮助(&H)"
            Action {
                text: "快捷键"
                shortcut: "F1"
                onTriggered: shortcutSheet.open()
            }
            Action {
                text: "关于PapeloInkleaf"
                onTriggered: App.commands.postShowAbout()
            }
        }
    }

    // The page on screen when it answers the reading commands (an article);
    // its readingCommands is false while something over it has the keys.
    readonly property Item readingPage: {
        const stacks = [homeStack, discoverStack, profileStack, settingsStack]
        const stack = stacks[App.selectedTab]
        const page = stack ? stack.stack.currentItem : null
        return page && page.readingCommands !== undefined ? page : null
    }
    readonly property bool readingKeys: readingPage !== null && readingPage.readingCommands

    Shortcut {
        sequence: "F10"
        onActivated: menus.itemAt(0).triggered()
    }

    header: TabBar {
        id: tabBar
        // A Binding survives the bar's own writes on click; applied once the tabs exist.
        Binding on currentIndex {
            when: tabBar.count === 4
            value: App.selectedTab
        }
        background: Rectangle {
            color: Theme.appBackground
            Rectangle { anchors { left: parent.left; right: parent.right; bottom: parent.bottom } height: 1; color: Theme.border }
        }

        Repeater {
            model: [
                { title: "Papelo", icon: "newspaper" },
                { title: "发现", icon: "explore" },
                { title: "我的", icon: "person" },
                { title: "设置", icon: "settings" }
            ]
            TabButton {
                id: tab
                required property var modelData
                required property int index
                text: modelData.title
                Accessible.name: modelData.title
                focusPolicy: Qt.StrongFocus
                onClicked: App.selectedTab = index
                background: Rectangle {
                    color: "transparent"
                    radius: 6
                    border.width: tab.visualFocus ? 2 : 0
                    border.color: Theme.accent
                    Rectangle {
                        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
                        height: 2
                        color: Theme.accent
                        visible: tab.checked
                    }
                }
                contentItem: Row {
                    spacing: 6
                    Item { width: Math.max(0, (tab.availableWidth - tabIcon.width - tabLabel.implicitWidth - 6) / 2); height: 1 }
                    Icon {
                        id: tabIcon
                        name: tab.modelData.icon
                        size: 18
                        color: tab.checked ? Theme.accent : Theme.muted
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Label {
                        id: tabLabel
                        text: tab.text
                        color: tab.checked ? Theme.accent : Theme.muted
                        font.pixelSize: Theme.bodySize
                        font.bold: tab.checked
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }
        }
    }

    StackLayout {
        id: tabContent
        anchors.fill: parent
        currentIndex: App.selectedTab

        TabStack {
            id: homeStack
            current: App.selectedTab === 0
            initialPage: Qt.resolvedUrl("HomeView.qml")
        }
        TabStack {
            id: discoverStack
            current: App.selectedTab === 1
            initialPage: Qt.resolvedUrl("DiscoverView.qml")
        }
        TabStack {
            id: profileStack
            current: App.selectedTab === 2
            initialPage: Qt.resolvedUrl("ProfileView.qml")
        }
        TabStack {
            id: settingsStack
            current: App.selectedTab === 3
            initialPage: Qt.resolvedUrl("SettingsView.qml")
            serverBound: false
        }
    }

    AboutDialog {}
    ShortcutSheet { id: shortcutSheet }

    // After every tab stack has pushed its own first page, whatever order the
    // completion handlers run in. Something has the focus from the start: the
    // selected tab (a page opened at start-up then takes it for its title).
    function openStartPages() {
        // The keyboard comes to the window (also without a window manager to give it).
        window.requestActivate()
        if (tabBar.currentItem)
            tabBar.currentItem.forceActiveFocus()
        if (App.startArticleId > 0)
            homeStack.stack.openArticle(App.startArticleId, true)
        if (App.startAuthorId > 0)
            homeStack.stack.openAuthor(App.startAuthorId, true)
        if (App.startShortcuts)
            shortcutSheet.open()
    }
    Component.onCompleted: Qt.callLater(openStartPages)
}

import QtQuick
import QtQuick.Controls
import Papelo

// The home tab: count line, search field, tag chips, then the skeleton, the
// error view or the card grid. Everything scrolls as one: the top rows are the
// grid's header, so only visible cards are ever built.
Page {
    id: page
    title: "Papelo"
    background: Rectangle { color: Theme.appBackground }
    AccessibleExtras.busy: home.isLoading

    readonly property bool appeared: StackView.status === StackView.Active && StackView.view !== null
                                     && StackView.view.current
    readonly property alias screen: home
    readonly property alias grid: grid

    onAppearedChanged: if (appeared) home.appear()

    HomeScreen { id: home }

    Connections {
        target: App.commands
        function onRefreshArticles() { home.refresh() }
    }

    Shortcut {
        sequence: StandardKey.Find
        enabled: page.appeared
        onActivated: {
            grid.positionViewAtBeginning()
            grid.headerItem.focusSearch()
        }
    }

    function openArticle(id) {
        page.StackView.view.openArticle(id, false, home.articles.readingList())
    }

    // Header controls reached from the keyboard come into view (the grid follows its cards itself).
    FocusReveal { flickable: grid }

    ArticleGrid {
        id: grid
        anchors.fill: parent
        model: home.articles
        animateCards: home.animateCards
        onArticleActivated: id => page.openArticle(id)

        header: Column {
            id: top
            width: grid.width
            bottomPadding: home.showGrid ? 12 : 0

            function focusSearch() { searchField.forceActiveFocus() }

            // Count line.
            Item {
                width: parent.width
                height: countRow.implicitHeight + 8
                Row {
                    id: countRow
                    x: grid.laneX
                    y: 8
                    spacing: 4
                    Icon {
                        name: "description"
                        size: Theme.captionSize + 1
                        color: Theme.secondaryText
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Label {
                        text: home.countText
                        font.pixelSize: Theme.captionSize
                        color: Theme.secondaryText
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }

            // Search field.
            Item {
                width: parent.width
                height: searchBox.height + 16
                Rectangle {
                    id: searchBox
                    x: grid.laneX
                    y: 8
                    width: grid.laneWidth
                    height: Math.max(searchField.implicitHeight, 20) + 16
                    radius: 10
                    color: Theme.surfaceFill

                    Row {
                        x: 10
                        width: parent.width - 20
                        height: parent.height
                        spacing: 6
                        Icon {
                            id: magnifier
                            name: "search"
                            size: 18
                            color: Theme.muted
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        TextField {
                            id: searchField
                            width: parent.width - magnifier.width - 6 - (clearButton.visible ? clearButton.width + 6 : 0)
                            anchors.verticalCenter: parent.verticalCenter
                            padding: 0
                            background: null
                            placeholderText: "搜索文章..."
                            placeholderTextColor: Theme.muted
                            color: Theme.primaryText
                            font.pixelSize: Theme.bodySize
                            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                            selectByMouse: true
                            text: home.searchText
                            onTextEdited: home.searchText = text
                            onAccepted: home.submitSearch()
                            Accessible.name: "搜索文章"
                        }
                        AbstractButton {
                            id: clearButton
                            objectName: "clearSearchButton"
                            visible: home.showClearButton
                            width: 18
                            height: 18
                            anchors.verticalCenter: parent.verticalCenter
                            focusPolicy: Qt.TabFocus
                            Accessible.name: "清除"
                            contentItem: Icon { name: "cancel"; size: 18; color: Theme.muted }
                            background: null
                            onClicked: {
                                // The button goes away with the text; typing goes on in the field.
                                if (activeFocus)
                                    searchField.forceActiveFocus(Qt.TabFocusReason)
                                home.clearSearch()
                            }
                        }
                    }
                }
            }

            // Tag chips.
            ListView {
                id: chips
                visible: home.showTags
                x: LayoutRules.sideInset(grid.width)
                width: LayoutRules.contentWidth(grid.width)
                height: visible ? 32 + 12 : 0
                orientation: ListView.Horizontal
                leftMargin: 16
                rightMargin: 16
                topMargin: 6
                spacing: 8
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: home.tagChips
                Accessible.role: Accessible.Grouping
                Accessible.name: "标签"

                function focusChip(i, reason) {
                    positionViewAtIndex(i, ListView.Contain)
                    const chip = itemAtIndex(i)
                    if (chip)
                        chip.forceActiveFocus(reason === undefined ? Qt.TabFocusReason : reason)
                }
                // One choice of several: radio buttons to a screen reader.
                delegate: RadioButton {
                    id: chip
                    required property var modelData
                    required property int index
                    readonly property bool selected: index === home.selectedChip
                    height: 32
                    leftPadding: 12
                    rightPadding: 12
                    topPadding: 6
                    bottomPadding: 6
                    focusPolicy: Qt.TabFocus
                    checkable: false
                    checked: selected
                    indicator: null
                    Accessible.name: modelData.title
                    contentItem: Label {
                        text: chip.modelData.title
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.subheadlineSize
                        color: chip.selected ? "white" : Theme.primaryText
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        radius: height / 2
                        color: chip.selected ? Theme.accent : Theme.surfaceFill
                        border.width: chip.visualFocus ? 2 : 0
                        border.color: Theme.accentHover
                    }
                    onClicked: home.activateChip(index)
                    Keys.onReturnPressed: home.activateChip(index)
                    Keys.onEnterPressed: home.activateChip(index)
                    // Neighbours scrolled out of the strip are not built: build them on the way.
                    Keys.onTabPressed: event => index + 1 < chips.count ? chips.focusChip(index + 1) : event.accepted = false
                    Keys.onBacktabPressed: event => index > 0 ? chips.focusChip(index - 1, Qt.BacktabFocusReason) : event.accepted = false
                }
            }

            SkeletonGrid {
                visible: home.showSkeleton
                width: parent.width
                height: visible ? implicitHeight : 0
                columns: grid.columns
            }

            // Error view.
            Column {
                visible: home.showError
                width: parent.width
                height: visible ? implicitHeight : 0
                topPadding: 60
                spacing: 16
                Icon {
                    name: "warning_amber"  // the outlined triangle
                    size: Theme.largeTitleSize
                    color: "#8e8e93" // the platform's plain grey, the same in both appearances
                    anchors.horizontalCenter: parent.horizontalCenter
                }
                Label {
                    x: grid.laneX
                    width: grid.laneWidth
                    // Read out as it appears.
                    AccessibleExtras.role: Accessible.Notification
                    text: home.errorMessage
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                    color: Theme.secondaryText
                    font.pixelSize: Theme.bodySize
                }
                Button {
                    id: retryButton
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "重试"
                    Accessible.name: text
                    onClicked: home.retry()
                    Keys.onReturnPressed: home.retry()
                    Keys.onEnterPressed: home.retry()
                    contentItem: Label {
                        text: retryButton.text
                        color: "white"
                        font.pixelSize: Theme.bodySize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        implicitWidth: 72
                        implicitHeight: 32
                        radius: 8
                        color: retryButton.down ? Theme.accentHover : Theme.accent
                        border.width: retryButton.visualFocus ? 2 : 0
                        border.color: Theme.accentHover
                    }
                }
            }
        }
    }
}

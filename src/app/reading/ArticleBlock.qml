import QtQuick
import QtQuick.Controls
import Papelo

// The article on the reading screen: title, author, tags, body, the way on
// along the list it was opened from, and its stats.
Column {
    id: block
    // The reading screen this block shows the article of.
    required property Item reading
    readonly property ArticleDetailScreen screen: reading.screen

    Label {
        x: 16
        width: parent.width - 32
        topPadding: 12
        text: screen.title
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        AccessibleExtras.role: Accessible.Heading
        font.pixelSize: Math.round(Theme.title2Size * reading.textScale)
        font.bold: true
        color: Theme.primaryText
    }

    // Author link.
    Item {
        width: parent.width
        height: authorLink.height + 4
        AbstractButton {
            id: authorLink
            x: 16
            y: 4
            padding: 0
            onClicked: reading.openAuthor(screen.authorId)
            Keys.onReturnPressed: reading.openAuthor(screen.authorId)
            Keys.onEnterPressed: reading.openAuthor(screen.authorId)
            Accessible.name: screen.authorName
            background: FocusRing { control: authorLink }
            contentItem: Row {
                spacing: 6
                Rectangle {
                    width: 22
                    height: 22
                    radius: 11
                    color: Theme.accentSoft
                    Label {
                        anchors.centerIn: parent
                        text: screen.authorInitial
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.caption2Size
                        font.weight: Font.DemiBold
                        color: Theme.accent
                    }
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    text: screen.authorName
                    textFormat: Text.PlainText
                    font.pixelSize: Math.round(Theme.captionSize * reading.textScale)
                    color: Theme.secondaryText
                }
            }
            HoverHandler { cursorShape: Qt.PointingHandCursor }
        }
    }

    // Tag chips, scrolling sideways without indicators.
    Item {
        visible: screen.tagLabels.length > 0
        width: parent.width
        height: visible ? tagList.height + 8 : 0
        ListView {
            id: tagList
            x: 16
            y: 8
            width: parent.width - 32
            height: contentItem.childrenRect.height
            orientation: ListView.Horizontal
            spacing: 6
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: screen.tagLabels
            delegate: Rectangle {
                required property string modelData
                width: chipLabel.implicitWidth + 16
                height: chipLabel.implicitHeight + 4
                radius: height / 2
                color: Theme.accentSoft
                Label {
                    id: chipLabel
                    anchors.centerIn: parent
                    text: modelData
                    textFormat: Text.PlainText
                    font.pixelSize: Math.round(Theme.captionSize * reading.textScale)
                    color: Theme.accent
                }
            }
        }
    }

    // Body: the web view fades in over its placeholder.
    Item {
        width: parent.width
        height: Math.max(screen.webViewHeight, screen.webViewLoading ? 300 : 0) + 8

        ArticleBody {
            id: body
            y: 8
            width: parent.width
            height: screen.webViewHeight
            html: screen.body
            textSize: App.settings.textSizePercent
            title: screen.title
            flickable: reading.flickable
            opacity: screen.webViewLoading ? 0 : 1
            Behavior on opacity {
                enabled: !App.reduceMotion
                NumberAnimation { duration: 300; easing.type: Easing.InQuad }
            }
            onHeightMeasured: height => screen.webViewHeight = height
            onLoaded: reading.bodyLoaded()
            onScrollKeyPressed: (key, modifiers) => reading.scrollByKey(key, modifiers)
            Component.onCompleted: reading.articleBody = body
            Binding { target: reading; property: "bodyViewerOpen"; value: body.viewerOpen }
        }

        Column {
            visible: screen.webViewLoading
            Accessible.role: Accessible.ProgressBar
            Accessible.name: "正文加载中..."
            AccessibleExtras.busy: visible
            y: 8 + (Math.max(screen.webViewHeight, 300) - 300) / 2
            width: parent.width
            height: 300
            spacing: 8
            topPadding: (300 - placeholderSpinner.height - placeholderText.height - 8) / 2
            BusyIndicator {
                id: placeholderSpinner
                Accessible.ignored: true
                running: parent.visible
                anchors.horizontalCenter: parent.horizontalCenter
            }
            Label {
                id: placeholderText
                Accessible.ignored: true
                text: "正文加载中..."
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
                anchors.horizontalCenter: parent.horizontalCenter
            }
        }
    }

    // On along the list it was opened from.
    Flow {
        x: 16
        width: parent.width - 32
        topPadding: 8
        spacing: 12
        visible: reading.hasPrevious || reading.hasNext
        NeighbourLink { objectName: "previousArticle"; label: "上一篇"; entry: reading.neighbours.previous; textScale: reading.textScale; onClicked: reading.openPrevious() }
        NeighbourLink { objectName: "nextArticle"; label: "下一篇"; entry: reading.neighbours.next; textScale: reading.textScale; onClicked: reading.openNext() }
    }

    // Stats row.
    Row {
        x: 16
        topPadding: 12
        bottomPadding: 12
        spacing: 24

        AbstractButton {
            id: likeButton
            padding: 0
            anchors.verticalCenter: parent.verticalCenter
            // A toggle to a screen reader, but only the server's answer turns it.
            checkable: true
            checked: screen.isLiked
            onToggled: checked = Qt.binding(() => screen.isLiked)
            onClicked: screen.like()
            Keys.onReturnPressed: screen.like()
            Keys.onEnterPressed: screen.like()
            Accessible.name: "赞，" + screen.likes
            background: FocusRing { control: likeButton }
            contentItem: Row {
                spacing: 4
                scale: screen.isLiked ? 1.15 : 1.0
                Behavior on scale {
                    enabled: !App.reduceMotion
                    SpringAnimation { spring: 6; damping: 0.35; epsilon: 0.002 }
                }
                Icon {
                    name: screen.isLiked ? "favorite" : "favorite_border"
                    size: Theme.bodySize
                    color: likeLabel.color
                    anchors.verticalCenter: parent.verticalCenter
                }
                Label {
                    id: likeLabel
                    text: screen.likes
                    font.pixelSize: Theme.bodySize
                    color: screen.isLiked ? Theme.accent : Theme.secondaryText
                    Behavior on color {
                        enabled: !App.reduceMotion
                        ColorAnimation { duration: 250 }
                    }
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
            HoverHandler { cursorShape: Qt.PointingHandCursor }
        }
        StatLabel { icon: "visibility"; value: screen.views; unit: " 次阅读"; anchors.verticalCenter: parent.verticalCenter }
        StatLabel { icon: "chat_bubble_outline"; value: screen.commentsCount; unit: " 条评论"; anchors.verticalCenter: parent.verticalCenter }
    }

component NeighbourLink: AbstractButton {
    id: link
    property string label
    property var entry
    property real textScale: 1
    visible: entry !== null && entry !== undefined
    width: Math.min(implicitWidth, parent.width)
    padding: 6
    focusPolicy: Qt.StrongFocus
    AccessibleExtras.role: Accessible.Link
    Accessible.name: visible ? label + "：" + entry.title : ""
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    background: FocusRing { control: link }
    contentItem: Label {
        text: link.visible ? link.label + "：" + link.entry.title : ""
        textFormat: Text.PlainText
        elide: Text.ElideRight
        font.pixelSize: Math.round(Theme.subheadlineSize * link.textScale)
        color: Theme.accent
    }
    HoverHandler { cursorShape: Qt.PointingHandCursor }
}

component StatLabel: Row {
    property string icon
    property var value
    // Read with the number: a bare number says nothing.
    property string unit
    spacing: 4
    Accessible.role: Accessible.StaticText
    Accessible.name: value + unit
    Icon {
        name: parent.icon
        size: Theme.subheadlineSize
        color: Theme.secondaryText
        anchors.verticalCenter: parent.verticalCenter
    }
    Label {
        text: parent.value
        Accessible.ignored: true
        font.pixelSize: Theme.subheadlineSize
        color: Theme.secondaryText
        anchors.verticalCenter: parent.verticalCenter
    }
}
}

import QtQuick
import QtQuick.Controls
import Papelo

// The reading screen. All of it scrolls as one page, at most 1100 wide and
// centred: main block (spinner, article or error), divider, comments.
Page {
    id: page
    property var articleId
    title: "文章详情"
    background: Rectangle { color: Theme.appBackground }
    AccessibleExtras.busy: screen.mainBlock === "loading"

    readonly property bool appeared: StackView.status === StackView.Active && StackView.view !== null
                                     && StackView.view.current
    readonly property alias screen: screen
    readonly property alias flickable: flick

    onAppearedChanged: appeared ? screen.appear() : screen.disappear()
    Component.onCompleted: if (appeared) screen.appear()

    ArticleDetailScreen {
        id: screen
        articleId: page.articleId
        auth: App.auth
    }

    function openAuthor(id) {
        page.StackView.view.openAuthor(id)
    }

    // Scroll keys move the whole page, also while the article body has the focus.
    function scrollByKey(key, modifiers) {
        const from = keyScroll.running ? keyScroll.to : flick.contentY
        const to = PageScroll.keyScrolledContentY(from, key, modifiers, flick.contentHeight, flick.height, flick.originY)
        if (to === undefined)
            return false
        keyScroll.stop()
        keyScroll.to = to
        keyScroll.duration = App.reduceMotion ? 0 : 120
        keyScroll.start()
        return true
    }

    NumberAnimation {
        id: keyScroll
        target: flick
        property: "contentY"
        easing.type: Easing.OutCubic
    }

    FocusReveal { flickable: flick }

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: column.height
        boundsBehavior: Flickable.StopAtBounds
        // Whole pixels: the body's text stays as sharp as the engine drew it.
        pixelAligned: true
        focus: true
        Keys.onPressed: event => event.accepted = page.scrollByKey(event.key, event.modifiers)
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: column
            width: LayoutRules.contentWidth(flick.width)
            x: (flick.width - width) / 2

            LoadingBlock {
                visible: screen.mainBlock === "loading"
                width: parent.width
                height: visible ? implicitHeight : 0
            }

            Loader {
                width: parent.width
                active: screen.mainBlock === "article"
                visible: active
                sourceComponent: articleBlock
            }

            LoadErrorView {
                visible: screen.mainBlock === "error"
                width: parent.width
                height: visible ? implicitHeight : 0
                message: screen.errorMessage
                onRetry: screen.retry()
            }

            // Divider, 16 in from both sides, 12 above and below.
            Item {
                width: parent.width
                height: 25
                Rectangle { x: 16; y: 12; width: parent.width - 32; height: 1; color: Theme.separator }
            }

            CommentSection {
                width: parent.width
                screen: page.screen
            }

            Item { width: 1; height: 20 }
        }
    }

    Component {
        id: articleBlock

        Column {
            width: column.width

            Label {
                x: 16
                width: parent.width - 32
                topPadding: 12
                text: screen.title
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                AccessibleExtras.role: Accessible.Heading
                font.pixelSize: Theme.title2Size
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
                    onClicked: page.openAuthor(screen.authorId)
                    Keys.onReturnPressed: page.openAuthor(screen.authorId)
                    Keys.onEnterPressed: page.openAuthor(screen.authorId)
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
                            font.pixelSize: Theme.captionSize
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
                            font.pixelSize: Theme.captionSize
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
                    title: screen.title
                    flickable: flick
                    opacity: screen.webViewLoading ? 0 : 1
                    Behavior on opacity {
                        enabled: !App.reduceMotion
                        NumberAnimation { duration: 300; easing.type: Easing.InQuad }
                    }
                    onHeightMeasured: height => screen.webViewHeight = height
                    onLoaded: {
                        screen.markWebViewLoaded()
                        const picture = App.takeStartPicture(page.articleId)
                        if (picture > 0)
                            openPicture(picture - 1)
                    }
                    onScrollKeyPressed: (key, modifiers) => page.scrollByKey(key, modifiers)
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
        }
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

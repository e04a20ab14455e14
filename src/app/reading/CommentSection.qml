import QtQuick
import QtQuick.Controls
import Papelo

// Heading, comment form and the rows of the article screen.
Column {
    id: section
    property ArticleDetailScreen screen
    // The row holding the current find match, marked; -1 for none.
    property int findRow: -1

    // Scrolls the page to show `row`, built or not, a third down the page.
    function revealRow(row) {
        const page = rows.page
        if (!page || row < 0)
            return
        const y = rows.mapToItem(page.contentItem, 0, rows.window.rowY(row)).y
        page.contentY = Math.max(page.originY, Math.min(y - page.height / 3, page.originY + page.contentHeight - page.height))
    }
    spacing: 12

    Row {
        x: 16
        spacing: 6
        Icon {
            name: "chat_bubble_outline"
            size: Theme.headlineSize
            color: Theme.primaryText
            anchors.verticalCenter: parent.verticalCenter
        }
        Label {
            text: section.screen.commentHeading
            AccessibleExtras.role: Accessible.Heading
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
            color: Theme.primaryText
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    Row {
        x: 16
        width: parent.width - 32
        spacing: 8
        RoundedField {
            id: commentField
            width: parent.width - sendButton.width - parent.spacing
            placeholderText: "说点什么..."
            text: section.screen.newComment
            onTextEdited: section.screen.newComment = text
            onAccepted: section.screen.send()
            // A failed post is read with the field it failed for.
            Accessible.description: section.screen.postError
        }
        AbstractButton {
            id: sendButton
            width: 36
            height: commentField.height
            enabled: section.screen.canSend
            onClicked: section.screen.send()
            Keys.onReturnPressed: section.screen.send()
            Keys.onEnterPressed: section.screen.send()
            Accessible.name: "发送"
            AccessibleExtras.busy: section.screen.isPosting
            background: FocusRing { control: sendButton }
            contentItem: Item {
                BusyIndicator {
                    anchors.centerIn: parent
                    Accessible.ignored: true
                    width: 20
                    height: 20
                    visible: section.screen.isPosting
                    running: visible
                }
                Icon {
                    anchors.centerIn: parent
                    visible: !section.screen.isPosting
                    name: "send"
                    size: 20
                    color: sendButton.enabled ? Theme.accent : Theme.systemGray(2)
                }
            }
        }
    }

    RoundedField {
        x: 16
        width: parent.width - 32
        visible: section.screen.showGuestField
        height: visible ? implicitHeight : 0
        placeholderText: "游客昵称（可选）"
        text: section.screen.guestName
        onTextEdited: section.screen.guestName = text
    }

    Label {
        x: 16
        width: parent.width - 32
        visible: section.screen.hasPostError
        height: visible ? implicitHeight : 0
        AccessibleExtras.role: Accessible.Notification
        text: section.screen.postError
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pixelSize: Theme.captionSize
        color: Theme.danger
    }

    // The comment list failed on its own; the article above stays.
    Row {
        objectName: "commentsError"
        x: 16
        width: parent.width - 32
        spacing: 8
        visible: section.screen.hasCommentsError
        height: visible ? Math.max(commentsErrorLabel.implicitHeight, commentsRetry.implicitHeight) : 0
        Item {
            width: parent.width - commentsRetry.width - parent.spacing
            height: commentsErrorLabel.implicitHeight
            anchors.verticalCenter: parent.verticalCenter
            Label {
                id: commentsErrorLabel
                width: parent.width
                // Away while the list is asked for again: a second failure is read out too.
                visible: !section.screen.isLoadingComments
                AccessibleExtras.role: Accessible.Notification
                text: section.screen.commentsError
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: Theme.captionSize
                color: Theme.danger
            }
        }
        // Stays enabled while retrying, so it keeps the keyboard focus.
        AccentButton {
            id: commentsRetry
            objectName: "commentsRetry"
            anchors.verticalCenter: parent.verticalCenter
            text: "重试"
            Accessible.name: "重试加载评论"
            onClicked: {
                section.retryHadFocus = activeFocus
                section.screen.retryComments()
            }
        }
    }

    // A retry that worked takes its button away: the focus goes on into the list.
    property bool retryHadFocus: false
    readonly property bool commentsFailed: section.screen.hasCommentsError
    onCommentsFailedChanged: {
        if (!commentsFailed && retryHadFocus)
            Qt.callLater(() => section.screen.comments.count > 0 ? rows.focusRow(0, Qt.TabFocusReason)
                                                                 : commentField.forceActiveFocus(Qt.TabFocusReason))
        retryHadFocus = false
    }

    Label {
        x: 16
        visible: section.screen.comments.count === 0 && !section.screen.hasCommentsError
        height: visible ? implicitHeight + 8 : 0
        text: "还没有评论"
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }

    // A failed post sends the focus back to the field, whose description carries the message.
    readonly property bool postFailed: section.screen.hasPostError
    onPostFailedChanged: if (postFailed) commentField.forceActiveFocus()

    // Rows are measured before they are built: the model lays out each
    // row's header and text as this hidden row does, and adds the rest.
    CommentRow {
        id: measuringRow
        visible: false
        width: section.width
        height: 0
        row: -1
        name: ""
        memberMark: ""
        time: ""
        content: ""
        likeCount: 0
        isLiked: false
    }
    Binding { target: section.screen.comments; property: "nameFont"; value: measuringRow.nameFont }
    Binding { target: section.screen.comments; property: "timeFont"; value: measuringRow.timeFont }
    Binding { target: section.screen.comments; property: "textFont"; value: measuringRow.textFont }
    Binding { target: section.screen.comments; property: "textWidth"; value: measuringRow.textWidth }
    Binding { target: section.screen.comments; property: "fixedHeight"; value: measuringRow.fixedHeight }

    WindowedRows {
        id: rows
        width: parent.width
        height: implicitHeight
        // How many there are, for a screen reader entering the list.
        accessibleName: "评论列表，共 " + section.screen.comments.count + " 条"
        model: measuringRow.fixedHeight > 0 ? section.screen.comments : null
        delegate: CommentRow {
            required property real rowY
            required property real rowHeight
            readonly property Item focusTarget: likeButton
            y: rowY
            width: rows.width
            height: rowHeight
            onLikeClicked: section.screen.comments.like(row)
            Rectangle {
                anchors.fill: parent
                z: -1
                visible: row === section.findRow
                color: Theme.accentSoft
            }
            onStepPressed: event => rows.step(row, event)
        }
    }
}

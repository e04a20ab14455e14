import QtQuick
import QtQuick.Controls
import Papelo

// One comment: name (with a member mark for an account's comment) and date,
// the text, a like button; state comes from
// CommentListModel so it survives reloads of the list. The list places the
// row and knows its height before building it: the model lays out the header
// line and the text as the labels here do, and adds the rest (fixedHeight).
Item {
    id: commentRow
    // Filled from CommentListModel roles through the section's RowWindow.
    required property int row
    required property string name
    // The account's role for a member's comment; empty for a guest's.
    required property string memberMark
    required property string time
    required property string content
    required property var likeCount
    required property bool isLiked
    readonly property alias likeButton: likeButton
    readonly property font nameFont: nameLabel.font
    readonly property font timeFont: timeLabel.font
    readonly property font textFont: contentLabel.font
    readonly property real textWidth: contentLabel.width
    readonly property real fixedHeight: implicitHeight - header.height
                                        - (contentLabel.implicitHeight - contentLabel.topPadding - contentLabel.bottomPadding)
    signal likeClicked()
    // Tab, Backtab and the arrow keys on the like button, for the list to
    // move the focus on, also to rows it has not built yet.
    signal stepPressed(var event)

    implicitHeight: column.implicitHeight + divider.height

    Column {
        id: column
        x: 16
        width: commentRow.width - 32
        topPadding: 8
        bottomPadding: 8
        spacing: 4

        Item {
            id: header
            width: parent.width
            height: Math.max(nameLabel.implicitHeight, timeLabel.implicitHeight)
            Row {
                id: nameRow
                width: parent.width - timeLabel.implicitWidth - 8
                spacing: 6
                Label {
                    id: nameLabel
                    width: Math.min(implicitWidth, nameRow.width - (memberBadge.visible ? memberBadge.width + nameRow.spacing : 0))
                    text: commentRow.name
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pixelSize: Math.round(Theme.subheadlineSize * App.settings.textSizePercent / 100)
                    font.weight: Font.Medium
                    color: Theme.primaryText
                }
                // Drawn, not written: a guest's name cannot imitate a filled badge.
                Rectangle {
                    id: memberBadge
                    objectName: "memberMark"
                    visible: commentRow.memberMark !== ""
                    y: (nameLabel.height - height) / 2
                    width: Math.min(badgeRow.implicitWidth + 10, nameRow.width / 2)
                    height: Math.min(badgeLabel.implicitHeight + 2, header.height)
                    radius: height / 2
                    color: Theme.accentSoft
                    clip: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: "注册用户：" + commentRow.memberMark
                    Row {
                        id: badgeRow
                        x: 5
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2
                        Icon {
                            name: "verified_user"
                            size: Theme.caption2Size
                            color: Theme.accent
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        Label {
                            id: badgeLabel
                            width: Math.min(implicitWidth, nameRow.width / 2 - 10 - Theme.caption2Size - 2)
                            text: commentRow.memberMark
                            textFormat: Text.PlainText
                            elide: Text.ElideRight
                            font.pixelSize: Math.round(Theme.caption2Size * App.settings.textSizePercent / 100)
                            font.weight: Font.DemiBold
                            color: Theme.accent
                            anchors.verticalCenter: parent.verticalCenter
                        }
                    }
                }
            }
            Label {
                id: timeLabel
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: commentRow.time
                textFormat: Text.PlainText
                font.pixelSize: Math.round(Theme.captionSize * App.settings.textSizePercent / 100)
                color: Theme.secondaryText
            }
        }
        Label {
            id: contentLabel
            width: parent.width
            topPadding: 4
            bottomPadding: 4
            text: commentRow.content
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: Math.round(Theme.bodySize * App.settings.textSizePercent / 100)
            color: Theme.primaryText
        }
        AbstractButton {
            id: likeButton
            padding: 0
            // A toggle to a screen reader, but only the server's answer turns it.
            checkable: true
            checked: commentRow.isLiked
            onToggled: checked = Qt.binding(() => commentRow.isLiked)
            onClicked: commentRow.likeClicked()
            Keys.onReturnPressed: commentRow.likeClicked()
            Keys.onEnterPressed: commentRow.likeClicked()
            Accessible.name: "赞 " + commentRow.name + "的评论，" + commentRow.likeCount
            background: FocusRing { control: likeButton }
            Keys.onTabPressed: event => commentRow.stepPressed(event)
            Keys.onBacktabPressed: event => commentRow.stepPressed(event)
            Keys.onUpPressed: event => commentRow.stepPressed(event)
            Keys.onDownPressed: event => commentRow.stepPressed(event)
            contentItem: Row {
                spacing: 4
                Icon {
                    name: commentRow.isLiked ? "favorite" : "favorite_border"
                    size: Theme.captionSize
                    color: commentRow.isLiked ? Theme.accent : Theme.secondaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
                Label {
                    text: commentRow.likeCount
                    font.pixelSize: Math.round(Theme.captionSize * App.settings.textSizePercent / 100)
                    color: commentRow.isLiked ? Theme.accent : Theme.secondaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
            HoverHandler { cursorShape: Qt.PointingHandCursor }
        }
    }
    Rectangle {
        id: divider
        anchors.top: column.bottom
        x: 16
        width: commentRow.width - 16
        height: 1
        color: Theme.separator
    }
}

import QtQuick
import QtQuick.Controls
import Papelo

// One comment: name and date, the text, a like button; state comes from
// CommentListModel so it survives reloads of the list.
Item {
    id: row
    // Filled from CommentListModel roles.
    required property int index
    required property string name
    required property string time
    required property string content
    required property var likeCount
    required property bool isLiked
    signal likeClicked()

    implicitHeight: column.implicitHeight + divider.height

    Column {
        id: column
        x: 16
        width: row.width - 32
        topPadding: 8
        bottomPadding: 8
        spacing: 4

        Item {
            width: parent.width
            height: Math.max(nameLabel.implicitHeight, timeLabel.implicitHeight)
            Label {
                id: nameLabel
                width: parent.width - timeLabel.implicitWidth - 8
                text: row.name
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: Theme.subheadlineSize
                font.weight: Font.Medium
                color: Theme.primaryText
            }
            Label {
                id: timeLabel
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: row.time
                textFormat: Text.PlainText
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
            }
        }
        Label {
            width: parent.width
            topPadding: 4
            bottomPadding: 4
            text: row.content
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: Theme.bodySize
            color: Theme.primaryText
        }
        AbstractButton {
            id: likeButton
            padding: 0
            onClicked: row.likeClicked()
            Accessible.name: "赞 " + row.likeCount
            contentItem: Row {
                spacing: 4
                Icon {
                    name: row.isLiked ? "favorite" : "favorite_border"
                    size: Theme.captionSize
                    color: row.isLiked ? Theme.accent : Theme.secondaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
                Label {
                    text: row.likeCount
                    font.pixelSize: Theme.captionSize
                    color: row.isLiked ? Theme.accent : Theme.secondaryText
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
        width: row.width - 16
        height: 1
        color: Theme.separator
    }
}

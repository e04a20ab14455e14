import QtQuick
import QtQuick.Controls
import Papelo

// One article tile: image or letter tile, title, counts, author and day.
// Every value comes from an ArticleListModel row; the card decides nothing.
Item {
    id: card
    property string title
    property string letter
    property bool hasImage
    property url imageUrl
    property var views: 0
    property bool hasCommentCount
    property var commentCount: 0
    property bool hasLikeCount
    property var likeCount: 0
    property bool hasAuthor
    property string author
    property string day
    // How far the reader got through the article: a line along the card's foot while partly read.
    property real progress: 0

    implicitHeight: 232

    // Cheap shadow: black at 4 % one pixel below, no blur pass. Follows the content height.
    Rectangle {
        x: 0
        y: frame.y + 1
        width: frame.width
        height: frame.height
        radius: 8
        color: Qt.rgba(0, 0, 0, 0.04)
    }

    Rectangle {
        id: frame
        width: parent.width
        height: stack.implicitHeight + 16
        anchors.verticalCenter: parent.verticalCenter
        radius: 8
        color: Theme.surface
        border.width: 0.5
        border.color: Theme.border

        Rectangle {
            objectName: "cardProgress"
            x: 8
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 3
            width: (parent.width - 16) * card.progress
            height: 3
            radius: 1.5
            visible: card.progress > 0
            color: Theme.accent
        }

        Column {
            id: stack
            x: 8
            y: 8
            width: parent.width - 16
            spacing: 4

            Item {
                width: parent.width
                height: 130
                clip: false

                Loader {
                    anchors.fill: parent
                    sourceComponent: card.hasImage ? remoteImage : letterTile
                }
                // Rounded corners without a shader pass: a ring in the card colour whose
                // inner edge is the 8-px rounded rectangle covers the image's corners.
                Rectangle {
                    anchors.fill: parent
                    anchors.margins: -4
                    radius: 8 + 4
                    color: "transparent"
                    border.width: 4
                    border.color: Theme.surface
                }
            }

            Label {
                x: 4
                width: parent.width - 8
                text: card.title
                textFormat: Text.PlainText
                elide: Text.ElideRight
                maximumLineCount: 1
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.primaryText
            }

            Row {
                x: 4
                spacing: 10
                StatItem { icon: "visibility"; value: card.views }
                StatItem { icon: "chat_bubble_outline"; value: card.commentCount; visible: card.hasCommentCount }
                StatItem { icon: "favorite_border"; value: card.likeCount; visible: card.hasLikeCount }
            }

            Item {
                x: 4
                width: parent.width - 8
                height: Math.max(authorLabel.implicitHeight, dayLabel.implicitHeight) + 4
                Label {
                    id: authorLabel
                    anchors.verticalCenter: dayLabel.verticalCenter
                    visible: card.hasAuthor
                    text: card.author
                    textFormat: Text.PlainText
                    width: Math.min(implicitWidth, parent.width - dayLabel.implicitWidth - 6)
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    font.pixelSize: Theme.caption2Size
                    color: Theme.secondaryText
                }
                Label {
                    id: dayLabel
                    anchors.right: parent.right
                    y: 0
                    text: card.day
                    textFormat: Text.PlainText
                    maximumLineCount: 1
                    font.pixelSize: Theme.caption2Size
                    color: Theme.secondaryText
                }
            }
        }
    }

    component StatItem: Row {
        property string icon
        property var value
        spacing: 3
        Icon {
            name: parent.icon
            size: Theme.caption2Size + 1
            color: Theme.muted
            anchors.verticalCenter: parent.verticalCenter
        }
        Label {
            text: parent.value
            font.pixelSize: Theme.caption2Size
            color: Theme.muted
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    Component {
        id: letterTile
        Rectangle {
            color: Theme.accent
            Label {
                anchors.centerIn: parent
                text: card.letter
                font.pixelSize: 35
                font.bold: true
                color: "white"
                opacity: 0.85
            }
        }
    }

    Component {
        id: remoteImage
        RemoteImage {
            url: card.imageUrl
            placeholder: Theme.systemGray(6)
            failure: letterTile
            sourceSize: Qt.size(Math.ceil(card.width), 130)
        }
    }
}

import QtQuick
import QtQuick.Controls
import Papelo

// The failed-load block of the reading screens: grey warning, the message,
// a filled "重试" button. 60 from the top, items 16 apart.
Column {
    id: root
    property string message
    signal retry()

    topPadding: 60
    spacing: 16

    Icon {
        name: "warning_amber"  // the outlined triangle
        size: Theme.largeTitleSize
        // The platform's plain grey, as on the home tab: the same in both
        // appearances, so it reads on the dark background too.
        color: "#8e8e93"
        anchors.horizontalCenter: parent.horizontalCenter
    }
    Label {
        x: 16
        width: root.width - 32
        // Read out as it appears.
        AccessibleExtras.role: Accessible.Notification
        text: root.message
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
        onClicked: root.retry()
        Keys.onReturnPressed: root.retry()
        Keys.onEnterPressed: root.retry()
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

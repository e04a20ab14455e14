import QtQuick
import QtQuick.Controls
import Papelo

// A small filled button in the accent colour, grey while disabled.
Button {
    id: button
    focusPolicy: Qt.StrongFocus
    Accessible.name: text
    contentItem: Label {
        text: button.text
        color: button.enabled ? "white" : Theme.secondaryText
        font.pixelSize: Theme.subheadlineSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        implicitWidth: 64
        implicitHeight: 32
        radius: 8
        color: !button.enabled ? Theme.systemGray(5) : button.down ? Theme.accentHover : Theme.accent
        border.width: button.visualFocus ? 2 : 0
        border.color: Theme.accentHover
    }
}

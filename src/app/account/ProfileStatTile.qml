import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// One statistics tile: number over its label; tiles in a row share the width.
Rectangle {
    id: tile
    property string value
    property string label

    Layout.fillWidth: true
    Layout.preferredWidth: 1
    implicitHeight: column.implicitHeight + 20
    radius: 8
    color: Theme.surfaceFill
    clip: true
    Accessible.role: Accessible.StaticText
    Accessible.name: tile.value + " " + tile.label

    Column {
        id: column
        anchors.centerIn: parent
        spacing: 2
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: tile.value
            Accessible.ignored: true
            font.pixelSize: Theme.title3Size
            font.bold: true
            color: Theme.primaryText
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: tile.label
            Accessible.ignored: true
            font.pixelSize: Theme.caption2Size
            color: Theme.secondaryText
        }
    }
}

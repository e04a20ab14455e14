import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// Two-segment switch between signing in and registering: a group of two
// radio buttons to a screen reader.
Rectangle {
    id: control
    property string label
    property var segments: []
    property int currentIndex: 0
    signal activated(int index)

    implicitHeight: 32
    radius: 8
    color: Theme.surfaceFill
    Accessible.role: Accessible.Grouping
    Accessible.name: label

    RowLayout {
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: control.segments
            delegate: RadioButton {
                id: segment
                required property int index
                required property string modelData
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.preferredWidth: 1
                // The choice follows the state; a press only asks for it.
                checkable: false
                checked: index === control.currentIndex
                indicator: null
                padding: 0
                text: modelData
                Accessible.name: modelData
                onClicked: control.activated(index)

                background: Rectangle {
                    radius: 6
                    // In the dark the surface colour is too close to the track.
                    color: !segment.checked ? "transparent" : Theme.isDark ? Theme.systemGray(4) : Theme.surface
                    border.width: segment.visualFocus ? 2 : segment.checked ? 1 : 0
                    border.color: segment.visualFocus ? Theme.accent : Theme.border
                }
                contentItem: Label {
                    text: segment.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: Theme.subheadlineSize
                    font.weight: segment.checked ? Font.DemiBold : Font.Normal
                    color: Theme.primaryText
                }
            }
        }
    }
}

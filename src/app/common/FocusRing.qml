import QtQuick
import Papelo

// The keyboard focus ring of a control drawn without chrome (a like button,
// a link): an accent outline 3 px around it while it has the focus from the
// keyboard. Used as the control's background.
Item {
    property Item control

    Rectangle {
        anchors.fill: parent
        anchors.margins: -3
        radius: 6
        color: "transparent"
        border.width: 2
        border.color: Theme.accent
        visible: control !== null && control.visualFocus
    }
}

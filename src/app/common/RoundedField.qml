import QtQuick
import QtQuick.Controls
import Papelo

// A text field with a rounded border, in the palette's colours.
TextField {
    id: field
    color: Theme.primaryText
    placeholderTextColor: Theme.secondaryText
    font.pixelSize: Theme.bodySize
    // Without a label of their own, the prompt is what names these fields.
    Accessible.name: placeholderText
    leftPadding: 8
    rightPadding: 8
    topPadding: 6
    bottomPadding: 6
    background: Rectangle {
        implicitHeight: 32
        radius: 6
        color: Theme.surface
        border.width: 1
        border.color: field.activeFocus ? Theme.accent : Theme.border
    }
}

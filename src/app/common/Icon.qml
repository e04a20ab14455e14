import QtQuick
import Papelo

// A Material Icons glyph; `name` is the ligature ("visibility", "favorite_border").
Text {
    property string name
    property int size: 16

    text: name
    color: Theme.ink
    font.family: Theme.iconFont
    font.pixelSize: size
    width: size
    height: size
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    renderType: Text.QtRendering
    Accessible.ignored: true
}

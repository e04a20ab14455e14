import QtQuick
import Papelo

// Grey surface with a light band sweeping every 1.1 s; still under reduce motion.
Rectangle {
    id: root
    property real phase: 0
    // Colour behind a rounded shimmer. The band is clipped to the square
    // frame; painting the corners outside the rounding in this colour keeps
    // it inside the shape without an offscreen mask pass.
    property color cornerColor: "transparent"
    readonly property bool moving: !App.reduceMotion && visible && width > 0

    color: Theme.systemGray(5)
    clip: true

    Rectangle {
        objectName: "shimmerBand"
        visible: root.moving
        width: root.width / 2
        height: root.height
        // Centred band shifted from -1 to +1.5 frame widths.
        x: root.width / 4 + (-1 + 2.5 * root.phase) * root.width
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0.0; color: "#00ffffff" }
            GradientStop { position: 0.5; color: "#80ffffff" }
            GradientStop { position: 1.0; color: "#00ffffff" }
        }
    }

    Rectangle {
        visible: root.moving && root.radius > 0 && root.cornerColor.a > 0
        anchors.fill: parent
        anchors.margins: -root.radius
        radius: 2 * root.radius
        color: "transparent"
        border.width: root.radius
        border.color: root.cornerColor
    }

    NumberAnimation on phase {
        from: 0
        to: 1
        duration: 1100
        loops: Animation.Infinite
        running: root.moving
    }
}

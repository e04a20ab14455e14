import QtQuick
import Papelo

// Grey surface with a light band sweeping every 1.1 s; still under reduce motion.
Rectangle {
    id: root
    property real phase: 0
    readonly property bool moving: !App.reduceMotion && visible && width > 0

    color: Theme.systemGray(5)
    clip: true

    Rectangle {
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

    NumberAnimation on phase {
        from: 0
        to: 1
        duration: 1100
        loops: Animation.Infinite
        running: root.moving
    }
}

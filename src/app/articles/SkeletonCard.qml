import QtQuick
import Papelo

// Outline of an article card while articles load; 232 high at any width.
Item {
    id: root
    implicitHeight: 232
    height: 232

    // Cheap shadow: a translucent rounded rect 1 px below, no blur pass.
    Rectangle {
        anchors.fill: parent
        anchors.topMargin: 1
        anchors.bottomMargin: -1
        radius: 8
        color: Qt.rgba(0, 0, 0, 0.04)
    }

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: Theme.surface
        clip: true

        // The outline's rows sit centred in the fixed 232-pt frame.
        Column {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.margins: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4

            ShimmerView {
                width: parent.width
                height: 130
                radius: 8
                cornerColor: Theme.surface
            }
            ShimmerView {
                x: 4
                width: parent.width - 8
                height: 13
                radius: height / 2
                cornerColor: Theme.surface
            }
            Row {
                x: 4
                spacing: 10
                Repeater {
                    model: 3
                    ShimmerView { width: 36; height: 10; radius: 5; cornerColor: Theme.surface }
                }
            }
            Item {
                x: 4
                width: parent.width - 8
                height: 10 + 4
                ShimmerView { width: 60; height: 10; radius: 5; cornerColor: Theme.surface }
                ShimmerView { anchors.right: parent.right; width: 50; height: 10; radius: 5; cornerColor: Theme.surface }
            }
        }
    }
}

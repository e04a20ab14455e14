import QtQuick

// Entrance of one card: fades in, grows from 0.98 and rises 16 px, delayed by
// index × 50 ms. Going hidden is a jump; a card created while `animate` is
// already true (built lazily on scroll) is shown at once.
Item {
    id: root
    property int index: 0
    property bool animate: true
    default property alias content: holder.data

    // 0 = hidden, 1 = visible; driven only by the animation below.
    property real progress: 1

    Item {
        id: holder
        anchors.fill: parent
        opacity: root.progress
        scale: 0.98 + 0.02 * root.progress
        transform: Translate { y: 16 * (1 - root.progress) }
    }

    // A spring of response 0.35 s and damping 0.82 barely overshoots (about 1 %);
    // a quartic ease-out over the same time is visually the same curve.
    SequentialAnimation {
        id: entrance
        PauseAnimation { duration: Math.max(0, root.index) * 50 }
        NumberAnimation { target: root; property: "progress"; to: 1; duration: 350; easing.type: Easing.OutQuart }
    }

    onAnimateChanged: {
        entrance.stop()
        if (animate)
            entrance.start()
        else
            progress = 0
    }

    Component.onCompleted: progress = animate ? 1 : 0
}

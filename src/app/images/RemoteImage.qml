import QtQuick
import Papelo

// Cached remote image: placeholder -> shimmer after 0.25 s -> image fading in,
// or the failure component. An absent url shows the failure at once.
Item {
    id: root
    property var url
    property color placeholder: Theme.systemGray(6)
    property Component failure
    property size sourceSize
    readonly property int status: loader.status

    clip: true

    RemoteImageLoader {
        id: loader
        url: root.url
        sourceSize: root.sourceSize
        devicePixelRatio: Screen.devicePixelRatio
    }

    // Gone once the picture covers it: a transparent picture shows what is behind.
    Rectangle {
        anchors.fill: parent
        color: root.placeholder
        visible: loader.hasUrl && !loader.failed && surface.opacity < 1
    }

    Loader {
        anchors.fill: parent
        active: loader.showSkeleton
        sourceComponent: ShimmerView {}
    }

    Loader {
        anchors.fill: parent
        active: loader.failed && root.failure !== null
        sourceComponent: root.failure
        opacity: loader.failed ? 1 : 0
        Behavior on opacity {
            enabled: loader.hasUrl
            NumberAnimation { duration: 250; easing.type: Easing.InOutQuad }
        }
    }

    ImageSurface {
        id: surface
        anchors.fill: parent
        Accessible.ignored: true
        image: loader.image
        opacity: loader.hasImage ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 250; easing.type: Easing.InOutQuad } }
    }
}

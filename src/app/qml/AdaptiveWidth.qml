import QtQuick
import Papelo

// Holds its children at most 1100 wide, centred in the full width it is given.
Item {
    id: root
    default property alias content: inner.data
    readonly property real contentWidth: inner.width

    implicitHeight: inner.childrenRect.height

    Item {
        id: inner
        width: LayoutRules.contentWidth(root.width)
        height: root.height
        anchors.horizontalCenter: parent.horizontalCenter
    }
}

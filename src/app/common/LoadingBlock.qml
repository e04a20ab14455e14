import QtQuick
import QtQuick.Controls
import Papelo

// "加载中..." with a spinner, 60 from the top, centred.
Column {
    topPadding: 60
    spacing: 8
    BusyIndicator {
        running: visible
        anchors.horizontalCenter: parent.horizontalCenter
    }
    Label {
        text: "加载中..."
        color: Theme.secondaryText
        font.pixelSize: Theme.subheadlineSize
        anchors.horizontalCenter: parent.horizontalCenter
    }
}

import QtQuick
import QtQuick.Controls
import Papelo

// "加载中..." with a spinner, 60 from the top, centred; busy to a screen reader.
Column {
    topPadding: 60
    spacing: 8
    Accessible.role: Accessible.ProgressBar
    Accessible.name: "加载中..."
    AccessibleExtras.busy: visible
    BusyIndicator {
        running: visible
        anchors.horizontalCenter: parent.horizontalCenter
        Accessible.ignored: true
    }
    Label {
        text: "加载中..."
        color: Theme.secondaryText
        font.pixelSize: Theme.subheadlineSize
        anchors.horizontalCenter: parent.horizontalCenter
        Accessible.ignored: true
    }
}

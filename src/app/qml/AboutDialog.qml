import QtQuick
import QtQuick.Controls
import Papelo

// The about alert; shown while App.aboutVisible is true.
Dialog {
    id: dialog
    title: "关于PapeloInkleaf"
    modal: true
    anchors.centerIn: parent
    width: Math.min(360, parent ? parent.width - 48 : 360)
    closePolicy: Popup.CloseOnEscape

    palette.window: Theme.surface
    palette.windowText: Theme.primaryText
    palette.text: Theme.primaryText
    palette.base: Theme.surface

    Label {
        width: parent.width
        text: App.aboutMessage
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        lineHeight: 1.3
        color: Theme.primaryText
        font.pixelSize: Theme.bodySize
    }

    footer: DialogButtonBox {
        alignment: Qt.AlignHCenter
        Button {
            text: "好"
            Accessible.name: "好"
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
    }

    onClosed: App.aboutVisible = false

    Connections {
        target: App
        function onAboutVisibleChanged() {
            if (App.aboutVisible)
                dialog.open()
            else
                dialog.close()
        }
    }
}

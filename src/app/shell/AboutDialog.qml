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

    padding: 20
    topPadding: 4
    background: Rectangle {
        radius: 12
        color: Theme.surface
        border.color: Theme.border
    }
    header: Label {
        text: dialog.title
        horizontalAlignment: Text.AlignHCenter
        topPadding: 20
        bottomPadding: 8
        font.pixelSize: Theme.headlineSize
        font.bold: true
        color: Theme.primaryText
    }

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
        bottomPadding: 16
        background: Item {}
        Button {
            id: okButton
            text: "好"
            Accessible.name: "好"
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            implicitWidth: 120
            contentItem: Label {
                text: okButton.text
                horizontalAlignment: Text.AlignHCenter
                color: "#ffffff"
                font.pixelSize: Theme.bodySize
                font.bold: true
            }
            background: Rectangle {
                radius: 8
                color: okButton.down ? Theme.accentHover : Theme.accent
                border.color: okButton.visualFocus ? Theme.primaryText : "transparent"
            }
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

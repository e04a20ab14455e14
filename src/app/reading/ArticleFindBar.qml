import QtQuick
import QtQuick.Controls
import Papelo

// The article page's find bar: a field, where the current match is among
// all, previous and next, close. Enter and F3 go on, with Shift back; Esc
// closes it (the page takes Esc from its stack while the bar is open).
Rectangle {
    id: bar
    property ArticleFind find
    readonly property alias field: field
    signal closeRequested()

    height: 48
    color: Theme.appBackground
    Accessible.role: Accessible.ToolBar
    Accessible.name: "在文章中查找"

    Rectangle { anchors { left: parent.left; right: parent.right; bottom: parent.bottom } height: 1; color: Theme.border }

    function stepKey(event) {
        if (event.modifiers & Qt.ShiftModifier)
            bar.find.previous()
        else
            bar.find.next()
        event.accepted = true
    }

    Row {
        anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter; leftMargin: 16; rightMargin: 8 }
        spacing: 8

        RoundedField {
            id: field
            objectName: "findField"
            width: parent.width - status.width - previousButton.width - nextButton.width - closeButton.width - 4 * parent.spacing
            placeholderText: "在文章中查找"
            Accessible.description: status.text
            onTextEdited: bar.find.query = text
            Keys.onReturnPressed: event => bar.stepKey(event)
            Keys.onEnterPressed: event => bar.stepKey(event)
            Keys.onEscapePressed: bar.closeRequested()
        }
        Label {
            id: status
            objectName: "findStatus"
            width: Math.max(implicitWidth, 72)
            anchors.verticalCenter: parent.verticalCenter
            text: bar.find ? bar.find.status : ""
            AccessibleExtras.role: Accessible.Notification
            font.pixelSize: Theme.captionSize
            color: bar.find && bar.find.total === 0 ? Theme.danger : Theme.secondaryText
        }
        BarButton { id: previousButton; glyph: "keyboard_arrow_up"; name: "上一处"; enabled: bar.find && bar.find.total > 0; onClicked: bar.find.previous() }
        BarButton { id: nextButton; glyph: "keyboard_arrow_down"; name: "下一处"; enabled: bar.find && bar.find.total > 0; onClicked: bar.find.next() }
        BarButton { id: closeButton; glyph: "close"; name: "关闭查找"; onClicked: bar.closeRequested() }
    }

    component BarButton: AbstractButton {
        id: button
        property string glyph
        property string name
        width: 32
        height: 32
        anchors.verticalCenter: parent.verticalCenter
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Button
        Accessible.name: name
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        background: FocusRing { control: button }
        contentItem: Icon {
            name: button.glyph
            size: 20
            color: button.enabled ? Theme.primaryText : Theme.systemGray(2)
        }
    }
}

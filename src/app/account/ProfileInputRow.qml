import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// One form line of the account tab: icon in a 24-wide box, then the input.
Rectangle {
    id: row
    property string icon
    property string placeholder
    property string text
    property bool masked: false
    // Read with the field when it has the focus (a failed sign-in's message).
    property string message
    signal edited(string value)
    signal accepted()

    function focusInput() { input.forceActiveFocus() }

    Layout.fillWidth: true
    implicitHeight: line.implicitHeight + 24
    radius: 8
    color: Theme.surfaceFill
    clip: true

    RowLayout {
        id: line
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        Item {
            Layout.preferredWidth: 24
            Layout.preferredHeight: 24
            Icon {
                anchors.centerIn: parent
                name: row.icon
                size: 20
                color: Theme.secondaryText
            }
        }

        TextField {
            id: input
            Layout.fillWidth: true
            placeholderText: row.placeholder
            placeholderTextColor: Theme.secondaryText
            color: Theme.primaryText
            font.pixelSize: Theme.bodySize
            text: row.text
            echoMode: row.masked ? TextInput.Password : TextInput.Normal
            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                              | (row.masked ? Qt.ImhSensitiveData | Qt.ImhHiddenText : Qt.ImhNone)
            background: null
            padding: 0
            selectByMouse: true
            Accessible.name: row.placeholder
            Accessible.description: row.message
            onTextEdited: row.edited(text)
            onAccepted: row.accepted()
        }
    }
}

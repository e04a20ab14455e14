import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// Signed-out face of the account tab: mode switch, inputs, submit.
ColumnLayout {
    id: form
    // Loaded on its own (previews, load checks) it shows an empty state.
    property ProfileScreen state: ProfileScreen {}

    spacing: 20

    Item { Layout.preferredHeight: 32 - form.spacing }

    Rectangle {
        Layout.alignment: Qt.AlignHCenter
        implicitWidth: 60
        implicitHeight: 60
        radius: 30
        color: Theme.accent
        Icon {
            anchors.centerIn: parent
            name: "newspaper"
            size: 34
            color: Theme.appBackground
        }
    }

    Label {
        Layout.alignment: Qt.AlignHCenter
        text: "Papelo"
        AccessibleExtras.role: Accessible.Heading
        font.pixelSize: Theme.largeTitleSize
        font.bold: true
        color: Theme.primaryText
    }

    ProfileModeControl {
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        label: "模式"
        segments: ["登录", "注册"]
        currentIndex: form.state.isLoginMode ? 0 : 1
        onActivated: index => form.state.isLoginMode = (index === 0)
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        spacing: 16

        ProfileInputRow {
            id: usernameRow
            objectName: "usernameRow"
            message: form.state.failedField === "username" ? form.state.errorMessage : ""
            icon: "person_outline"
            placeholder: "用户名"
            text: form.state.username
            onEdited: value => form.state.username = value
        }
        ProfileInputRow {
            objectName: "emailRow"
            visible: !form.state.isLoginMode
            icon: "mail_outline"
            placeholder: "邮箱"
            text: form.state.email
            onEdited: value => form.state.email = value
        }
        ProfileInputRow {
            id: passwordRow
            objectName: "passwordRow"
            // The warning below is read with the field the password goes into.
            message: form.state.failedField === "password" ? form.state.errorMessage
                     : form.state.showsCleartextWarning ? cleartextWarning.text : ""
            icon: "lock_outline"
            placeholder: "密码"
            masked: true
            text: form.state.password
            onEdited: value => form.state.password = value
            onAccepted: form.state.submitFromKeyboard()
        }
    }

    Label {
        id: cleartextWarning
        objectName: "cleartextWarning"
        visible: form.state.showsCleartextWarning
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: "此服务器未加密，密码和登录状态可能被他人看到"
        font.pixelSize: Theme.captionSize
        color: Theme.warning
    }

    Label {
        objectName: "errorText"
        visible: form.state.hasErrorMessage
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: form.state.errorMessage
        textFormat: Text.PlainText
        // Read out as it appears; the focus also goes to the field that failed.
        AccessibleExtras.role: Accessible.Notification
        font.pixelSize: Theme.captionSize
        color: Theme.danger
    }

    readonly property string failedField: form.state.failedField
    onFailedFieldChanged: {
        if (failedField === "password")
            passwordRow.focusInput()
        else if (failedField === "username")
            usernameRow.focusInput()
    }

    Label {
        objectName: "successText"
        visible: form.state.showSuccess
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        horizontalAlignment: Text.AlignHCenter
        text: "操作成功！"
        AccessibleExtras.role: Accessible.Notification
        font.pixelSize: Theme.captionSize
        color: Theme.success
    }

    Button {
        id: submit
        objectName: "submitButton"
        Layout.fillWidth: true
        Layout.leftMargin: 32
        Layout.rightMargin: 32
        implicitHeight: 40
        enabled: form.state.canSubmit
        text: form.state.submitLabel
        onClicked: form.state.handleAuth()
        Keys.onReturnPressed: form.state.submitFromKeyboard()
        Keys.onEnterPressed: form.state.submitFromKeyboard()
        Accessible.name: form.state.submitLabel
        AccessibleExtras.busy: form.state.isLoading

        background: Rectangle {
            radius: 8
            color: submit.down ? Theme.accentHover : Theme.accent
            opacity: submit.enabled ? 1 : 0.4
            border.width: submit.visualFocus ? 2 : 0
            border.color: Theme.primaryText
        }
        contentItem: Item {
            implicitHeight: 24
            BusyIndicator {
                anchors.centerIn: parent
                Accessible.ignored: true
                width: 24
                height: 24
                running: form.state.isLoading
                visible: running
                palette.dark: "white"
            }
            Label {
                anchors.centerIn: parent
                visible: !form.state.isLoading
                text: submit.text
                font.pixelSize: Theme.bodySize
                font.weight: Font.DemiBold
                color: "white"
            }
        }
    }

    Label {
        visible: form.state.isLoginMode
        Layout.alignment: Qt.AlignHCenter
        text: "首次使用请切换到注册"
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }

    Item { Layout.preferredHeight: 32 - form.spacing }
}

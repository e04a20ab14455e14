import QtQuick
import QtQuick.Controls
import Papelo
import QtQuick.Layouts

// Signed-in face of the account tab: header, statistics, own articles,
// signature editor and sign-out with its confirmation.
ColumnLayout {
    id: account
    // Loaded on its own (previews, load checks) it shows an empty state.
    property ProfileScreen state: ProfileScreen {}
    signal articleActivated(var id)

    spacing: 16

    // Header
    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        Layout.topMargin: 12
        spacing: 10

        Rectangle {
            implicitWidth: 60
            implicitHeight: 60
            radius: 30
            color: Theme.accentSoft
            Label {
                anchors.centerIn: parent
                text: account.state.initial
                textFormat: Text.PlainText
                font.pixelSize: Theme.title2Size
                font.bold: true
                color: Theme.accent
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            Label {
                objectName: "displayName"
                Layout.fillWidth: true
                elide: Text.ElideRight
                text: account.state.displayName
                textFormat: Text.PlainText
                font.pixelSize: Theme.title3Size
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            Label {
                Layout.fillWidth: true
                elide: Text.ElideRight
                text: account.state.displayRole
                textFormat: Text.PlainText
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
            }
            Label {
                objectName: "headerBio"
                visible: account.state.showBio
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                text: account.state.displayBio
                textFormat: Text.PlainText
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
            }
        }
    }

    // Statistics
    RowLayout {
        objectName: "statsRow"
        visible: account.state.hasUserStats
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        spacing: 12

        ProfileStatTile { value: account.state.statsPublished; label: "已发布" }
        ProfileStatTile { value: account.state.statsPending; label: "待审核" }
        ProfileStatTile { value: account.state.statsTotal; label: "全部" }
    }

    // Own articles
    ColumnLayout {
        visible: account.state.myArticleCount > 0
        Layout.fillWidth: true
        spacing: 8

        ProfileSectionLabel {
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            icon: "description"
            text: account.state.articlesHeading
        }

        // Every row is one line high: this hidden one tells how high.
        OwnArticleRow {
            id: measuringRow
            objectName: ""
            visible: false
            row: -1
            modelData: ({ title: "文A", views: 0 })  // CJK and Latin: the taller of their line heights
        }

        // However many articles there are, only the rows near the viewport exist.
        WindowedRows {
            id: ownArticles
            Layout.fillWidth: true
            Layout.preferredHeight: implicitHeight
            accessibleName: "我的文章列表，共 " + account.state.myArticleCount + " 篇"
            rowHeight: measuringRow.implicitHeight
            spacing: 8
            model: rowHeight > 0 ? account.state.myArticles : []
            delegate: OwnArticleRow {
                required property real rowY
                required property real rowHeight
                y: rowY
                width: ownArticles.width
                height: rowHeight
                onClicked: account.articleActivated(modelData.id)
                onStepPressed: event => ownArticles.step(row, event)
            }
        }
    }

    Label {
        objectName: "noArticles"
        visible: account.state.myArticleCount === 0
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        Layout.topMargin: 8
        text: "暂无文章"
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }

    // Signature editor
    ColumnLayout {
        Layout.fillWidth: true
        Layout.topMargin: 8
        spacing: 8

        ProfileSectionLabel {
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            icon: "edit_note"
            text: "个性签名"
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            spacing: 8

            TextField {
                id: bioField
                objectName: "bioField"
                Layout.fillWidth: true
                placeholderText: "写点什么..."
                Accessible.name: "个性签名"
                // A failed save is read with the field it failed for.
                Accessible.description: account.state.bioError
                placeholderTextColor: Theme.secondaryText
                color: Theme.primaryText
                font.pixelSize: Theme.bodySize
                selectByMouse: true
                text: account.state.bioText
                onTextEdited: account.state.bioText = text
                background: Rectangle {
                    radius: 6
                    color: Theme.surface
                    border.width: 1
                    border.color: Theme.border
                }
            }
            Button {
                id: saveButton
                objectName: "saveBioButton"
                text: "保存"
                enabled: account.state.canSaveBio
                onClicked: account.state.saveBio()
                implicitHeight: bioField.implicitHeight
                leftPadding: 14
                rightPadding: 14
                background: Rectangle {
                    radius: 6
                    color: saveButton.down ? Theme.accentSoft : Theme.surfaceFill
                    border.width: saveButton.visualFocus ? 2 : 0
                    border.color: Theme.accent
                }
                contentItem: Label {
                    text: saveButton.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: Theme.bodySize
                    color: saveButton.enabled ? Theme.accent : Theme.secondaryText
                    opacity: saveButton.enabled ? 1 : 0.6
                }
            }
        }

        Label {
            objectName: "bioError"
            visible: account.state.hasBioError
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            wrapMode: Text.Wrap
            text: account.state.bioError
            textFormat: Text.PlainText
            AccessibleExtras.role: Accessible.Notification
            font.pixelSize: Theme.captionSize
            color: Theme.danger
        }
    }

    // A failed save sends the focus to the field, whose description carries the message.
    readonly property bool bioFailed: account.state.hasBioError
    onBioFailedChanged: if (bioFailed) bioField.forceActiveFocus()

    // Sign-out
    Button {
        id: logoutButton
        objectName: "logoutButton"
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        Layout.bottomMargin: 12
        implicitHeight: 36
        onClicked: account.state.requestLogout()
        Accessible.name: "退出登录"

        background: Rectangle {
            radius: 8
            color: logoutButton.down ? Qt.rgba(Theme.danger.r, Theme.danger.g, Theme.danger.b, 0.2)
                                     : Qt.rgba(Theme.danger.r, Theme.danger.g, Theme.danger.b, 0.1)
            border.width: logoutButton.visualFocus ? 2 : 1
            border.color: Theme.danger
        }
        contentItem: Item {
            implicitHeight: 20
            Row {
                anchors.centerIn: parent
                spacing: 6
                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "logout"
                    size: 16
                    color: Theme.danger
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "退出登录"
                    font.pixelSize: Theme.bodySize
                    color: Theme.danger
                }
            }
        }
    }

    Dialog {
        id: logoutDialog
        objectName: "logoutDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: 300
        modal: true
        padding: 0
        visible: account.state.showLogoutConfirm
        // Escape or a click outside counts as cancelling.
        onClosed: account.state.cancelLogout()

        background: Rectangle {
            radius: 12
            color: Theme.surface
            border.width: 1
            border.color: Theme.border
        }
        header: Label {
            text: "确定要退出登录吗？"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            topPadding: 20
            bottomPadding: 12
            leftPadding: 16
            rightPadding: 16
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        footer: ColumnLayout {
            spacing: 8
            DialogAction {
                objectName: "confirmLogout"
                text: "退出登录"
                textColor: Theme.danger
                Layout.topMargin: 4
                onClicked: account.state.confirmLogout()
            }
            DialogAction {
                objectName: "cancelLogout"
                text: "取消"
                textColor: Theme.accent
                bold: true
                Layout.bottomMargin: 16
                onClicked: account.state.cancelLogout()
            }
        }
    }

    component OwnArticleRow: AbstractButton {
        id: articleRow
        objectName: "articleRow"
        required property var modelData
        required property int row
        readonly property Item focusTarget: articleRow
        // Tab, Backtab and the arrow keys, for the list to move the focus on.
        signal stepPressed(var event)
        leftPadding: 16
        rightPadding: 16
        topPadding: 6
        bottomPadding: 6
        hoverEnabled: true
        Accessible.name: modelData.title + "，" + modelData.views + " 次阅读"
        Keys.onTabPressed: event => stepPressed(event)
        Keys.onBacktabPressed: event => stepPressed(event)
        Keys.onUpPressed: event => stepPressed(event)
        Keys.onDownPressed: event => stepPressed(event)

        background: Rectangle {
            color: articleRow.hovered ? Theme.surfaceFill : "transparent"
            border.width: articleRow.visualFocus ? 2 : 0
            border.color: Theme.accent
        }
        contentItem: RowLayout {
            spacing: 8
            Label {
                Layout.fillWidth: true
                elide: Text.ElideRight
                maximumLineCount: 1
                text: articleRow.modelData.title
                textFormat: Text.PlainText
                font.pixelSize: Theme.subheadlineSize
                color: Theme.primaryText
            }
            Icon {
                name: "visibility"
                size: Theme.caption2Size + 2
                color: Theme.secondaryText
            }
            Label {
                text: articleRow.modelData.views
                font.pixelSize: Theme.caption2Size
                color: Theme.secondaryText
            }
        }
    }

    component DialogAction: Button {
        id: action
        property color textColor
        property bool bold: false
        Layout.fillWidth: true
        Layout.leftMargin: 16
        Layout.rightMargin: 16
        implicitHeight: 36
        background: Rectangle {
            radius: 8
            color: action.down ? Theme.systemGray(5) : Theme.surfaceFill
        }
        contentItem: Label {
            text: action.text
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            font.pixelSize: Theme.bodySize
            font.weight: action.bold ? Font.DemiBold : Font.Normal
            color: action.textColor
        }
    }
}

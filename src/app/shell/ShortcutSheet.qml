import QtQuick
import QtQuick.Controls
import Papelo

// Every keyboard shortcut of the reader, in Chinese (F1, 帮助 → 快捷键).
Dialog {
    id: sheet
    title: "快捷键"
    modal: true
    anchors.centerIn: parent
    width: Math.min(440, parent ? parent.width - 48 : 440)
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    padding: 20
    topPadding: 4
    background: Rectangle { radius: 12; color: Theme.surface; border.color: Theme.border }
    header: Label {
        text: sheet.title
        AccessibleExtras.role: Accessible.Heading
        horizontalAlignment: Text.AlignHCenter
        topPadding: 20
        bottomPadding: 8
        font.pixelSize: Theme.headlineSize
        font.bold: true
        color: Theme.primaryText
    }

    readonly property var keys: [
        ["Ctrl+R", "刷新文章"],
        ["Ctrl+F", "在首页搜索文章；在文章中查找"],
        ["Enter / F3", "下一处匹配"],
        ["Shift+Enter / Shift+F3", "上一处匹配"],
        ["Ctrl+= / Ctrl+- / Ctrl+0", "放大、缩小文字，恢复默认大小"],
        ["] / [", "下一篇、上一篇"],
        ["空格 / Shift+空格", "向下、向上翻一页"],
        ["↑ / ↓ / Page Up / Page Down / Home / End", "滚动文章"],
        ["Esc / Alt+←", "返回（查找栏打开时先关闭查找栏）"],
        ["Tab / Shift+Tab", "在控件之间移动"],
        ["Alt+P / Alt+R / Alt+H / F10", "打开菜单"],
        ["F1", "显示快捷键"]
    ]

    Column {
        width: parent.width
        spacing: 6
        Repeater {
            model: sheet.keys
            Row {
                required property var modelData
                width: parent.width
                spacing: 12
                Accessible.role: Accessible.StaticText
                Accessible.name: modelData[0] + "：" + modelData[1]
                Label {
                    width: parent.width * 0.45
                    text: parent.modelData[0]
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.subheadlineSize
                    font.family: "monospace"
                    color: Theme.accent
                    Accessible.ignored: true
                }
                Label {
                    width: parent.width * 0.55 - 12
                    text: parent.modelData[1]
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.subheadlineSize
                    color: Theme.primaryText
                    Accessible.ignored: true
                }
            }
        }
    }

    footer: DialogButtonBox {
        alignment: Qt.AlignHCenter
        bottomPadding: 16
        background: Item {}
        Button {
            id: okButton
            text: "好"
            Accessible.name: "好"
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
    // On its button, so Enter closes it and a screen reader reads the sheet's name first.
    onOpened: okButton.forceActiveFocus()
}

import QtQuick
import QtQuick.Controls
import Papelo

// The settings tab: appearance, image cache, server, product information. A
// grouped list on the list's own background.
Page {
    id: page
    title: "设置"
    readonly property alias state: screen

    background: Rectangle { color: Theme.groupedBackground }

    SettingsScreen {
        id: screen
        settings: App.settings
        app: App
    }

    component SectionHeader: Label {
        AccessibleExtras.role: Accessible.Heading
        leftPadding: 16
        topPadding: 20
        bottomPadding: 6
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }
    component SectionFooter: Label {
        leftPadding: 16
        rightPadding: 16
        topPadding: 6
        wrapMode: Text.Wrap
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }
    component Group: Rectangle {
        default property alias rows: rowColumn.data
        width: parent.width
        height: rowColumn.height
        radius: 10
        color: Theme.groupedRow
        Column { id: rowColumn; width: parent.width }
    }

    FocusReveal { flickable: flick }

    Flickable {
        id: flick
        anchors.fill: parent
        contentHeight: content.height + 32
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: content
            x: 16 + LayoutRules.sideInset(flick.width - 32)
            width: LayoutRules.contentWidth(flick.width - 32)

            SectionHeader { text: "外观"; width: parent.width }
            Group {
                Column {
                    width: parent.width
                    padding: 16
                    topPadding: 12
                    bottomPadding: 12
                    spacing: 8

                    Label {
                        text: "深色模式"
                        AccessibleExtras.role: Accessible.Heading
                        font.pixelSize: Theme.headlineSize
                        font.bold: true
                        color: Theme.primaryText
                    }

                    Rectangle {
                        id: picker
                        width: parent.width - 32
                        height: 32
                        radius: 8
                        color: Theme.systemGray(6)
                        border.color: Theme.separator
                        border.width: Theme.isDark ? 1 : 0
                        // Three radio buttons in a group: one choice of three.
                        Accessible.role: Accessible.Grouping
                        Accessible.name: "外观"

                        Row {
                            anchors.fill: parent
                            anchors.margins: 2
                            Repeater {
                                model: screen.themeModes
                                RadioButton {
                                    id: segment
                                    objectName: "themeSegment" + index
                                    required property var modelData
                                    required property int index
                                    width: (picker.width - 4) / 3
                                    height: parent.height
                                    // The choice follows the stored setting; a press only asks for it.
                                    checkable: false
                                    checked: screen.themeModeIndex === index
                                    indicator: null
                                    padding: 0
                                    focusPolicy: Qt.StrongFocus
                                    Accessible.name: modelData.label
                                    onClicked: screen.themeModeIndex = index
                                    background: Rectangle {
                                        radius: 6
                                        color: segment.checked ? (Theme.isDark ? Theme.systemGray(3) : "#ffffff") : "transparent"
                                        border.color: segment.visualFocus ? Theme.accent : "transparent"
                                        border.width: segment.visualFocus ? 2 : 0
                                    }
                                    contentItem: Item {
                                        Row {
                                            anchors.centerIn: parent
                                            spacing: 6
                                            Icon {
                                                name: segment.modelData.icon
                                                size: 16
                                                color: Theme.primaryText
                                                anchors.verticalCenter: parent.verticalCenter
                                            }
                                            Label {
                                                text: segment.modelData.label
                                                font.pixelSize: Theme.subheadlineSize
                                                color: Theme.primaryText
                                                anchors.verticalCenter: parent.verticalCenter
                                            }
                                        }
                                    }
                                }
                            }
                        }
                    }

                    Label {
                        width: parent.width - 32
                        text: "可选择跟随系统，或手动切换浅色 / 深色外观。"
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.captionSize
                        color: Theme.secondaryText
                    }
                }
            }
            Item { width: 1; height: 12 }
            Group {
                Item {
                    width: parent.width
                    height: 52
                    Label {
                        x: 16
                        anchors.verticalCenter: parent.verticalCenter
                        text: "文字大小"
                        font.pixelSize: Theme.bodySize
                        color: Theme.primaryText
                    }
                    Label {
                        id: textSizeValue
                        anchors { right: parent.right; rightMargin: 16; verticalCenter: parent.verticalCenter }
                        text: App.settings.textSizePercent + "%"
                        font.pixelSize: Theme.bodySize
                        color: Theme.secondaryText
                    }
                    // The arrow keys step it; the article page follows at once.
                    Slider {
                        id: textSizeSlider
                        objectName: "textSizeSlider"
                        anchors { right: textSizeValue.left; rightMargin: 12; verticalCenter: parent.verticalCenter }
                        width: Math.min(240, parent.width / 2)
                        from: 80
                        to: 200
                        stepSize: 10
                        snapMode: Slider.SnapAlways
                        value: App.settings.textSizePercent
                        focusPolicy: Qt.StrongFocus
                        Accessible.name: "文字大小"
                        onMoved: App.settings.textSizePercent = value
                    }
                }
            }

            SectionHeader { text: "存储"; width: parent.width }
            Group {
                AbstractButton {
                    id: clearButton
                    objectName: "clearImageCacheButton"
                    width: parent.width
                    height: 44
                    focusPolicy: Qt.StrongFocus
                    Accessible.role: Accessible.Button
                    Accessible.name: "清除图片缓存"
                    onClicked: screen.clearImageCache()
                    background: Rectangle {
                        radius: 10
                        color: clearButton.pressed ? Theme.systemGray(5) : "transparent"
                        border.color: clearButton.visualFocus ? Theme.accent : "transparent"
                        border.width: clearButton.visualFocus ? 2 : 0
                    }
                    contentItem: Item {
                        Row {
                            x: 16
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 10
                            Icon { name: "delete_outline"; size: 18; color: Theme.primaryText; anchors.verticalCenter: parent.verticalCenter }
                            Label {
                                text: "清除图片缓存"
                                font.pixelSize: Theme.bodySize
                                color: Theme.primaryText
                                anchors.verticalCenter: parent.verticalCenter
                            }
                        }
                        Icon {
                            objectName: "cacheClearedMark"
                            // Read out as it appears.
                            Accessible.ignored: false
                            AccessibleExtras.role: Accessible.Notification
                            Accessible.name: "图片缓存已清除"
                            anchors.right: parent.right
                            anchors.rightMargin: 16
                            anchors.verticalCenter: parent.verticalCenter
                            name: "check"
                            size: 18
                            color: Theme.success
                            opacity: screen.showCacheCleared ? 1 : 0
                            visible: opacity > 0
                            Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutQuad } }
                        }
                    }
                }
            }
            SectionFooter {
                width: parent.width
                text: "封面与正文图片会缓存到内存（50MB）与磁盘（200MB），减少重复下载。"
            }

            SectionHeader { text: "服务器"; width: parent.width }
            Group {
                Row {
                    x: 16
                    width: parent.width - 32
                    height: 52
                    spacing: 8
                    RoundedField {
                        id: serverField
                        objectName: "serverField"
                        width: parent.width - (applyButton.visible ? applyButton.width + parent.spacing : 0)
                        anchors.verticalCenter: parent.verticalCenter
                        placeholderText: "服务器地址"
                        inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase
                        readOnly: screen.serverFixed
                        text: screen.serverField
                        onTextEdited: screen.serverField = text
                        onAccepted: screen.applyServer()
                        // Why the address was refused.
                        Accessible.description: screen.serverStatusIsError ? screen.serverStatus : ""
                    }
                    AccentButton {
                        id: applyButton
                        objectName: "applyServerButton"
                        anchors.verticalCenter: parent.verticalCenter
                        visible: !screen.serverFixed
                        text: screen.isCheckingServer ? "检查中…" : "应用"
                        enabled: screen.canApplyServer
                        Accessible.name: "应用服务器地址"
                        onClicked: screen.applyServer()
                    }
                }
            }
            SectionFooter {
                objectName: "serverStatus"
                width: parent.width
                visible: text !== ""
                text: screen.serverStatus
                textFormat: Text.PlainText
                color: screen.serverStatusIsError ? Theme.danger : Theme.secondaryText
                // The outcome of an address is read out; the note of a fixed one is not news.
                AccessibleExtras.role: screen.serverFixed ? Accessible.NoRole : Accessible.Notification
            }
            // A refused address sends the focus back to the field, which tells why.
            readonly property bool serverRefused: screen.serverStatusIsError
            onServerRefusedChanged: if (serverRefused) serverField.forceActiveFocus()

            Item { width: 1; height: 20 }
            Group {
                Repeater {
                    model: screen.productRows
                    Item {
                        id: productRow
                        required property var modelData
                        required property int index
                        width: parent.width
                        height: 44
                        Accessible.role: Accessible.StaticText
                        Accessible.name: modelData.label + " " + modelData.value
                        Row {
                            x: 16
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 10
                            Icon { name: productRow.modelData.icon; size: 18; color: Theme.accent; anchors.verticalCenter: parent.verticalCenter }
                            Label {
                                text: productRow.modelData.label
                                font.pixelSize: Theme.bodySize
                                color: Theme.primaryText
                                anchors.verticalCenter: parent.verticalCenter
                            }
                        }
                        Label {
                            anchors.right: parent.right
                            anchors.rightMargin: 16
                            anchors.verticalCenter: parent.verticalCenter
                            text: productRow.modelData.value
                            font.pixelSize: Theme.bodySize
                            color: Theme.secondaryText
                        }
                        Rectangle {
                            visible: productRow.index > 0
                            x: 44
                            width: parent.width - 44
                            height: 1
                            color: Theme.separator
                        }
                    }
                }
            }
        }
    }
}

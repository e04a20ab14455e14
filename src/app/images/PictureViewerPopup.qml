import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Papelo

// The picture viewer over the whole window (state: PictureViewer). The wheel,
// a pinch, Ctrl+= and Ctrl+- zoom, a drag pans, a double click switches
// between fitted and 100 %, Left and Right go through the pictures, Esc, the
// close button or a click beside the picture close it. Modal: while it is
// open the window's shortcuts (the page's Esc among them) stay quiet and its
// keys are its own. Up and Down, Shift+Left and Shift+Right pan by keyboard.
Popup {
    id: popup
    readonly property alias viewer: viewer
    // Closed; `index` is the picture it was opened on.
    signal finished(int index)

    function show(pictures, index) {
        if (viewer.open(pictures, index))
            popup.open()
    }

    parent: Overlay.overlay
    x: 0
    y: 0
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0
    padding: 0
    modal: true
    dim: false
    focus: true
    closePolicy: Popup.NoAutoClose
    onClosed: viewer.close()

    PictureViewer {
        id: viewer
        viewportSize: Qt.size(stage.width, stage.height)
        devicePixelRatio: Screen.devicePixelRatio
        onClosed: index => {
            popup.close()
            popup.finished(index)
        }
    }

    background: Rectangle { color: Theme.appBackground }

    contentItem: FocusScope {
        id: content
        focus: true
        Accessible.role: Accessible.Dialog
        Accessible.name: "图片查看器"
        Accessible.description: viewer.position + "，" + viewer.zoomPercent + "%"

        Keys.onPressed: event => {
            const ctrl = (event.modifiers & Qt.ControlModifier) !== 0
            const shift = (event.modifiers & Qt.ShiftModifier) !== 0
            const step = 48
            if (event.key === Qt.Key_Escape)
                viewer.close()
            else if ((event.key === Qt.Key_Equal || event.key === Qt.Key_Plus) && (ctrl || event.key === Qt.Key_Plus))
                viewer.zoomIn()
            else if (event.key === Qt.Key_Minus)
                viewer.zoomOut()
            else if (event.key === Qt.Key_0 && ctrl)
                viewer.fit()
            else if (event.key === Qt.Key_Left)
                shift ? viewer.panBy(step, 0) : viewer.previous()
            else if (event.key === Qt.Key_Right)
                shift ? viewer.panBy(-step, 0) : viewer.next()
            else if (event.key === Qt.Key_Up)
                viewer.panBy(0, step)
            else if (event.key === Qt.Key_Down)
                viewer.panBy(0, -step)
            else
                return
            event.accepted = true
        }

        Item {
            id: stage
            anchors { left: parent.left; right: parent.right; top: parent.top; bottom: toolbar.top }
            clip: true
            focus: true
            activeFocusOnTab: true
            Accessible.role: Accessible.Graphic
            Accessible.name: viewer.description !== "" ? viewer.description : "图片 " + viewer.position

            ImageSurface {
                x: viewer.shownRect.x
                y: viewer.shownRect.y
                width: viewer.shownRect.width
                height: viewer.shownRect.height
                image: viewer.image
                visible: viewer.status === PictureViewer.Shown
            }

            Column {
                anchors.centerIn: parent
                width: Math.min(parent.width - 32, 480)
                spacing: 16
                visible: viewer.status === PictureViewer.Loading
                BusyIndicator {
                    running: parent.visible
                    anchors.horizontalCenter: parent.horizontalCenter
                }
                Label {
                    text: "加载中..."
                    color: Theme.secondaryText
                    font.pixelSize: Theme.subheadlineSize
                    anchors.horizontalCenter: parent.horizontalCenter
                }
            }

            Column {
                anchors.centerIn: parent
                width: Math.min(parent.width - 32, 480)
                spacing: 16
                visible: viewer.status === PictureViewer.Failed
                Label {
                    width: parent.width
                    text: viewer.errorText
                    AccessibleExtras.role: Accessible.Notification
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                    color: Theme.secondaryText
                    font.pixelSize: Theme.bodySize
                }
                AccentButton {
                    text: "重试"
                    anchors.horizontalCenter: parent.horizontalCenter
                    onClicked: viewer.reload()
                }
            }

            MouseArea {
                id: pointer
                property point last
                property bool dragged
                anchors.fill: parent
                cursorShape: dragged ? Qt.ClosedHandCursor : viewer.fitted ? Qt.ArrowCursor : Qt.OpenHandCursor
                onPressed: mouse => {
                    last = Qt.point(mouse.x, mouse.y)
                    dragged = false
                }
                onPositionChanged: mouse => {
                    if (!dragged && Math.abs(mouse.x - last.x) + Math.abs(mouse.y - last.y) < 4)
                        return
                    dragged = true
                    viewer.panBy(mouse.x - last.x, mouse.y - last.y)
                    last = Qt.point(mouse.x, mouse.y)
                }
                onReleased: dragged = false
                onClicked: mouse => {
                    if (!viewer.onPicture(mouse.x, mouse.y))
                        viewer.close()
                }
                onDoubleClicked: mouse => {
                    if (viewer.onPicture(mouse.x, mouse.y))
                        viewer.toggleFit(mouse.x, mouse.y)
                }
                onWheel: wheel => {
                    const notches = wheel.angleDelta.y !== 0 ? wheel.angleDelta.y / 120 : wheel.pixelDelta.y / 40
                    viewer.zoomAt(Math.pow(1.25, notches), wheel.x, wheel.y)
                }
            }

            PinchHandler {
                property real last: 1
                target: null
                onActiveChanged: last = 1
                onActiveScaleChanged: {
                    viewer.zoomAt(activeScale / last, centroid.position.x, centroid.position.y)
                    last = activeScale
                }
            }
        }

        Rectangle {
            id: toolbar
            anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
            height: 56
            color: Theme.surface
            Rectangle { width: parent.width; height: 1; color: Theme.border }

            // The picture's own text, where the row leaves room for it.
            Label {
                anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
                width: Math.max(0, (parent.width - controls.width) / 2 - 32)
                text: viewer.description
                textFormat: Text.PlainText
                elide: Text.ElideRight
                color: Theme.secondaryText
                font.pixelSize: Theme.subheadlineSize
                Accessible.ignored: true
            }

            Row {
                id: controls
                anchors.centerIn: parent
                spacing: 4

                ViewerButton {
                    icon.name: "chevron_left"
                    text: "上一张"
                    enabled: viewer.canPrevious
                    onClicked: viewer.previous()
                }
                Label {
                    width: 64
                    anchors.verticalCenter: parent.verticalCenter
                    horizontalAlignment: Text.AlignHCenter
                    text: viewer.position
                    color: Theme.primaryText
                    font.pixelSize: Theme.subheadlineSize
                    Accessible.name: "第 " + viewer.position + " 张"
                }
                ViewerButton {
                    icon.name: "chevron_right"
                    text: "下一张"
                    enabled: viewer.canNext
                    onClicked: viewer.next()
                }
                Item { width: 16; height: 1 }
                ViewerButton {
                    icon.name: "zoom_out"
                    text: "缩小"
                    enabled: viewer.canZoomOut
                    onClicked: viewer.zoomOut()
                }
                Label {
                    width: 56
                    anchors.verticalCenter: parent.verticalCenter
                    horizontalAlignment: Text.AlignHCenter
                    text: viewer.status === PictureViewer.Shown ? viewer.zoomPercent + "%" : ""
                    color: Theme.secondaryText
                    font.pixelSize: Theme.subheadlineSize
                    Accessible.name: "缩放 " + text
                }
                ViewerButton {
                    icon.name: "zoom_in"
                    text: "放大"
                    enabled: viewer.canZoomIn
                    onClicked: viewer.zoomIn()
                }
                ViewerButton {
                    icon.name: viewer.fitted ? "crop_free" : "fit_screen"
                    text: viewer.fitted ? "原始大小" : "适应窗口"
                    // A picture that fits at 100 % has nothing to switch between.
                    enabled: viewer.status === PictureViewer.Shown && !(viewer.fitted && viewer.zoomPercent === 100)
                    onClicked: viewer.toggleFit(stage.width / 2, stage.height / 2)
                }
                Item { width: 16; height: 1 }
                ViewerButton {
                    icon.name: "close"
                    text: "关闭"
                    onClicked: viewer.close()
                }
            }
        }
    }

    component ViewerButton: ToolButton {
        id: button
        focusPolicy: Qt.StrongFocus
        display: AbstractButton.IconOnly
        Accessible.name: text
        ToolTip.visible: hovered
        ToolTip.text: text
        ToolTip.delay: 600
        contentItem: Icon {
            name: button.icon.name
            size: 24
            color: button.enabled ? Theme.accent : Theme.muted
        }
        background: Rectangle {
            implicitWidth: 40
            implicitHeight: 40
            radius: 8
            color: button.down ? Theme.accentSoft : "transparent"
            border.width: button.visualFocus ? 2 : 0
            border.color: Theme.accent
        }
    }
}

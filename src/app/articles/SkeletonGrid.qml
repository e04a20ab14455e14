import QtQuick
import Papelo

// Six skeleton cards in the article grid's columns, limited to 1100 and centred.
Item {
    id: root
    property int columns: LayoutRules.articleGridColumns(App.compact)
    readonly property real availableWidth: Math.max(0, width - 32)
    readonly property real contentWidth: LayoutRules.contentWidth(availableWidth)

    implicitHeight: 12 + grid.height
    Accessible.role: Accessible.ProgressBar
    Accessible.name: "正在加载"
    AccessibleExtras.busy: visible

    Grid {
        id: grid
        y: 12
        x: 16 + LayoutRules.sideInset(root.availableWidth)
        width: root.contentWidth
        columns: Math.max(1, root.columns)
        columnSpacing: LayoutRules.columnSpacing
        rowSpacing: 16

        Repeater {
            model: 6
            SkeletonCard { width: LayoutRules.columnWidth(root.contentWidth, grid.columns) }
        }
    }
}

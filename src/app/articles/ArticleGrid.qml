import QtQuick
import QtQuick.Controls
import Papelo

// Virtualised grid of ArticleCards over an ArticleListModel: 2 or 3 columns,
// rows 16 apart, the cards laid in a lane at most 1100 wide, centred, with
// 16 px side insets. Only the rows in view (plus a small cache) have
// delegates. The cards are one stop in the Tab order (the current card, or
// the first); arrow keys move the focus from card to card, Return, Enter and
// Space open the focused one.
GridView {
    id: grid
    property int columns: LayoutRules.articleGridColumns(App.compact)
    // Drives StaggerAppear; grids without an entrance leave it true.
    property bool animateCards: true
    // What a screen reader announces for the grid; sections pass their title.
    property string label: "文章"
    signal articleActivated(var id)
    Accessible.role: Accessible.List
    Accessible.name: label

    readonly property real availableWidth: Math.max(0, width - 32)
    readonly property real laneWidth: LayoutRules.contentWidth(availableWidth)
    readonly property real laneX: 16 + LayoutRules.sideInset(availableWidth)
    readonly property real cardWidth: LayoutRules.columnWidth(laneWidth, columns)
    readonly property real cardHeight: 232

    // Cells span the whole width so scrolling works everywhere; each card is
    // placed in the lane by its column.
    cellWidth: width / Math.max(1, columns)
    cellHeight: cardHeight + 16
    cacheBuffer: cellHeight
    boundsBehavior: Flickable.StopAtBounds
    keyNavigationEnabled: true
    // The focus stops on a card, not on the grid around them.
    activeFocusOnTab: false
    currentIndex: -1
    highlightFollowsCurrentItem: false
    ScrollBar.vertical: ScrollBar { policy: grid.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff }

    // The focused card only: Return in a control of the header (a chip, the
    // retry button) reaches the grid too and must open nothing.
    function activateFocused(event) {
        if (currentItem && currentItem.activeFocus)
            articleActivated(model.articleIdAt(currentIndex))
        else
            event.accepted = false
    }

    // A new list has no current card. Keeping the index would make the view
    // hand its new current cell the focus, taking it from a header control
    // (the chip just chosen).
    Connections {
        target: grid.model
        ignoreUnknownSignals: true
        function onModelAboutToBeReset() { grid.currentIndex = -1 }
    }

    Keys.onReturnPressed: event => activateFocused(event)
    Keys.onEnterPressed: event => activateFocused(event)
    Keys.onSpacePressed: event => activateFocused(event)

    delegate: FocusScope {
        id: cell
        required property int index
        required property var articleId
        required property string title
        required property string letter
        required property bool hasImage
        required property url imageUrl
        required property var views
        required property bool hasCommentCount
        required property var commentCount
        required property bool hasLikeCount
        required property var likeCount
        required property bool hasAuthor
        required property string author
        required property string day
        required property string accessibleName

        readonly property int column: index % grid.columns
        width: grid.cellWidth
        height: grid.cellHeight

        StaggerAppear {
            id: slot
            x: grid.laneX + cell.column * (grid.cardWidth + LayoutRules.columnSpacing) - cell.column * grid.cellWidth
            width: grid.cardWidth
            height: grid.cardHeight
            index: cell.index
            animate: grid.animateCards
            // The view hands its current cell the focus; within it, the card takes it.
            focus: true
            activeFocusOnTab: cell.index === Math.max(0, grid.currentIndex)
            onActiveFocusChanged: if (activeFocus) grid.currentIndex = cell.index
            Accessible.role: Accessible.Button
            Accessible.name: cell.accessibleName
            Accessible.onPressAction: grid.articleActivated(cell.articleId)

            ArticleCard {
                anchors.fill: parent
                title: cell.title
                letter: cell.letter
                hasImage: cell.hasImage
                imageUrl: cell.imageUrl
                views: cell.views
                hasCommentCount: cell.hasCommentCount
                commentCount: cell.commentCount
                hasLikeCount: cell.hasLikeCount
                likeCount: cell.likeCount
                hasAuthor: cell.hasAuthor
                author: cell.author
                day: cell.day
                progress: {
                    App.readingPositions.revision  // a dependency: the line follows the store
                    return App.readingPositions.progressOf(cell.articleId)
                }
            }

            Rectangle {
                anchors.fill: parent
                anchors.margins: -3
                radius: 11
                color: "transparent"
                border.width: 2
                border.color: Theme.accent
                visible: slot.activeFocus
            }

            TapHandler {
                onTapped: {
                    grid.currentIndex = cell.index
                    grid.articleActivated(cell.articleId)
                }
            }
            HoverHandler { cursorShape: Qt.PointingHandCursor }
        }
    }
}

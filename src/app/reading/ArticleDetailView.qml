import QtQuick
import QtQuick.Controls
import Papelo

// The reading screen. All of it scrolls as one page, at most 1100 wide and
// centred: main block (spinner, article or error), divider, comments.
Page {
    id: page
    property var articleId
    // The list the article was opened from ([{id, title}]); empty for none.
    property var readingList: []
    readonly property var neighbours: ReadingOrder.neighbours(readingList, articleId)
    readonly property bool hasNext: neighbours.next !== null && neighbours.next !== undefined
    readonly property bool hasPrevious: neighbours.previous !== null && neighbours.previous !== undefined
    function openNext() { if (hasNext) page.StackView.view.replaceArticle(neighbours.next.id, readingList) }
    function openPrevious() { if (hasPrevious) page.StackView.view.replaceArticle(neighbours.previous.id, readingList) }
    title: "文章详情"
    background: Rectangle { color: Theme.appBackground }
    AccessibleExtras.busy: screen.mainBlock === "loading"

    readonly property bool appeared: StackView.status === StackView.Active && StackView.view !== null
                                     && StackView.view.current
    readonly property alias screen: screen
    readonly property alias flickable: flick
    // The reader's text size: the body, the title, the meta line and the comments follow it.
    readonly property real textScale: App.settings.textSizePercent / 100

    // The shell's reading commands apply while nothing over the page has the keys.
    readonly property bool readingCommands: !bodyViewerOpen
    property bool bodyViewerOpen: false
    // The stack leaves Esc to the page while the find bar is open.
    readonly property bool takesEscape: findOpen
    property bool findOpen: false
    property ArticleBody articleBody: null

    ArticleFind {
        id: finder
        comments: screen.comments
        onQueryChanged: page.findInBody()
        onCurrentChanged: page.showMatch()
    }

    // Where the focus goes back to when the find bar closes.
    property Item findReturnFocus: null
    function openFind() {
        if (!findOpen)
            findReturnFocus = Window.activeFocusItem
        findOpen = true
        findBar.field.forceActiveFocus()
        findBar.field.selectAll()
    }
    function closeFind() {
        findOpen = false
        findBar.field.clear()
        finder.query = ""
        if (articleBody)
            articleBody.clearFind()
        // Back where it was (the page itself is nothing a screen reader can name).
        const back = findReturnFocus && findReturnFocus.visible && findReturnFocus.Window.window === Window.window
                     ? findReturnFocus : articleBody ? articleBody.view : flick
        findReturnFocus = null
        back.forceActiveFocus()
    }
    function findInBody() {
        const query = finder.query
        if (articleBody && query !== "")
            articleBody.find(query, count => finder.setBodyCount(query, count))
        else if (articleBody)
            articleBody.clearFind()
    }
    // The current match in view: a body match a third down the page, a comment's row.
    function showMatch() {
        if (articleBody && finder.query !== "")
            articleBody.showMatch(finder.bodyIndex, flick.height / 3)
        if (finder.commentRow >= 0)
            comments.revealRow(finder.commentRow)
    }

    Shortcut {
        sequence: "Escape"
        enabled: page.appeared && page.findOpen
        onActivated: page.closeFind()
    }
    Shortcut {
        sequence: "F3"
        enabled: page.appeared && page.findOpen
        onActivated: finder.next()
    }
    Shortcut {
        sequence: "Shift+F3"
        enabled: page.appeared && page.findOpen
        onActivated: finder.previous()
    }

    ArticleFindBar {
        id: findBar
        objectName: "findBar"
        visible: page.findOpen
        z: 1
        width: parent.width
        find: finder
        onCloseRequested: page.closeFind()
    }

    // Reading position: back to the place left, once the body is there;
    // kept in memory a second after each scroll, written when the page goes.
    property bool placeRestored: false
    // Tab from the page's title goes on in the body while the page shows it
    // past its top: the author and tags above are out of view, and revealing
    // them would throw the reader back to the top (and forget the place).
    readonly property Item resumeStop: articleBody && !screen.webViewLoading && articleBody.bodyWindow.visibleTop > 0
                                       ? articleBody.view : null
    readonly property real readProgress: {
        if (!articleBody || screen.webViewLoading)
            return 0
        const top = articleBody.bodyWindow.visibleTop
        return Math.max(0, Math.min(1, top / Math.max(1, screen.webViewHeight - flick.height)))
    }
    function restorePlace() {
        const place = App.readingPositions.placeOf(page.articleId)
        if (place && articleBody) {
            articleBody.positionOf(place.block, place.offset, y => {
                // The body's new height is not laid out in the page yet.
                if (articleLoader.item)
                    articleLoader.item.forceLayout()
                column.forceLayout()
                if (y >= 0 && page.articleBody)
                    page.articleBody.scrollPageTo(y)
                page.placeRestored = true
            })
        } else
            placeRestored = true
    }
    function keepPlace() {
        if (!articleBody || !placeRestored)
            return
        const top = articleBody.bodyWindow.visibleTop
        // The top and the end are nothing to come back to.
        if (top <= 0 || top + flick.height >= screen.webViewHeight) {
            App.readingPositions.forgetPlace(page.articleId)
            return
        }
        const progress = readProgress
        articleBody.placeAt(top, place => App.readingPositions.rememberPlace(page.articleId, place.block, place.offset, progress))
    }
    Timer {
        id: placeTimer
        interval: 1000
        onTriggered: page.keepPlace()
    }
    Connections {
        target: flick
        function onContentYChanged() { if (page.placeRestored) placeTimer.restart() }
    }
    Component.onDestruction: App.readingPositions.flush()

    onAppearedChanged: {
        if (!appeared)
            App.readingPositions.flush()
        appeared ? screen.appear() : screen.disappear()
    }
    Component.onCompleted: if (appeared) screen.appear()

    ArticleDetailScreen {
        id: screen
        articleId: page.articleId
        auth: App.auth
    }

    // The body is there: what the command line asked for, then the place left.
    function bodyLoaded() {
        screen.markWebViewLoaded()
        const picture = App.takeStartPicture(page.articleId)
        if (picture > 0)
            articleBody.openPicture(picture - 1)
        const query = App.takeStartFind(page.articleId)
        if (query !== "") {
            page.openFind()
            findBar.field.text = query
            finder.query = query
        }
        page.findInBody()
        page.restorePlace()
    }

    function openAuthor(id) {
        page.StackView.view.openAuthor(id)
    }

    // Scroll keys move the whole page, also while the article body has the focus.
    function scrollByKey(key, modifiers) {
        const from = keyScroll.running ? keyScroll.to : flick.contentY
        const to = PageScroll.keyScrolledContentY(from, key, modifiers, flick.contentHeight, flick.height, flick.originY)
        if (to === undefined)
            return false
        keyScroll.stop()
        keyScroll.to = to
        keyScroll.duration = App.reduceMotion ? 0 : 120
        keyScroll.start()
        return true
    }

    NumberAnimation {
        id: keyScroll
        target: flick
        property: "contentY"
        easing.type: Easing.OutCubic
    }

    FocusReveal { flickable: flick }

    // How far through the body the reader is, under the page's header.
    Rectangle {
        id: progressLine
        objectName: "readingProgress"
        z: 1
        anchors.top: flick.top
        width: page.width * page.readProgress
        height: 2
        visible: page.readProgress > 0
        color: Theme.accent
        Accessible.role: Accessible.ProgressBar
        Accessible.name: "阅读进度 " + Math.round(page.readProgress * 100) + "%"
    }

    Flickable {
        id: flick
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        anchors.top: page.findOpen ? findBar.bottom : parent.top
        contentWidth: width
        contentHeight: column.height
        boundsBehavior: Flickable.StopAtBounds
        // Whole pixels: the body's text stays as sharp as the engine drew it.
        pixelAligned: true
        focus: true
        Keys.onPressed: event => event.accepted = page.scrollByKey(event.key, event.modifiers)
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: column
            width: LayoutRules.contentWidth(flick.width)
            x: (flick.width - width) / 2

            LoadingBlock {
                visible: screen.mainBlock === "loading"
                width: parent.width
                height: visible ? implicitHeight : 0
            }

            Loader {
                id: articleLoader
                width: parent.width
                active: screen.mainBlock === "article"
                visible: active
                sourceComponent: Component { ArticleBlock { reading: page; width: column.width } }
            }

            LoadErrorView {
                visible: screen.mainBlock === "error"
                width: parent.width
                height: visible ? implicitHeight : 0
                message: screen.errorMessage
                onRetry: screen.retry()
            }

            // Divider, 16 in from both sides, 12 above and below.
            Item {
                width: parent.width
                height: 25
                Rectangle { x: 16; y: 12; width: parent.width - 32; height: 1; color: Theme.separator }
            }

            CommentSection {
                id: comments
                width: parent.width
                screen: page.screen
                findRow: page.findOpen ? finder.commentRow : -1
            }

            Item { width: 1; height: 20 }
        }
    }
}

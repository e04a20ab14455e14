import QtQuick
import QtQuick.Controls
import QtWebEngine
import Papelo

// An article body: a place in the page as tall as its document, holding a
// WebEngineView of at most a few viewports (BodyWindow) that moves with the
// page and has the document scrolled within it only when the page's viewport
// nears its edge. The view never scrolls by itself: wheel turns and scroll
// keys move the page, fragment links scroll the page to their target;
// clicks and selection reach the body. It shows the reader's own document
// and nothing else (WebViewHost, ArticleProfile). A picture the body script
// reports as clicked opens in the picture viewer, built on first use; when
// the viewer closes, the keyboard focus is back on that picture.
Item {
    id: root
    property string html
    // Names the body's document for a screen reader.
    property string title
    property Flickable flickable
    property bool dark: Theme.isDark
    // The text size in percent; a change rescales the shown document in place.
    property int textSize: 100
    readonly property alias host: host
    readonly property alias view: view
    readonly property alias bodyWindow: bodyWindow
    property PictureViewerPopup pictureViewer: null
    property real keptTop: 0
    readonly property bool viewerOpen: pictureViewer !== null && pictureViewer.opened
    signal heightMeasured(real height)
    signal loaded()
    // Pressed while the body has the keyboard focus: for the page to scroll.
    signal scrollKeyPressed(int key, int modifiers)

    // Scrolls the page so that `documentY` of the body is at its top.
    // `grown`: how much taller the body just became than the page has laid out yet.
    function scrollPageTo(documentY, grown) {
        const f = root.flickable
        if (!f)
            return
        const y = root.mapToItem(f.contentItem, 0, documentY).y
        f.contentY = Math.max(f.originY, Math.min(y, f.originY + f.contentHeight + (grown || 0) - f.height))
    }

    // Find: `done` gets the number of matches of `query` in the body.
    function find(query, done) {
        view.runJavaScript(BodyScript.findScript(query), WebEngineScript.ApplicationWorld, count => done(count))
    }
    // Match `index` (-1: none) marked as the current one and scrolled to,
    // `above` pixels below the page's top.
    function showMatch(index, above) {
        view.runJavaScript(BodyScript.findShowScript(index), WebEngineScript.ApplicationWorld, match => {
            if (index >= 0 && match && typeof match.top === "number" && isFinite(match.top))
                root.scrollPageTo(Math.max(0, match.top - above))
        })
    }
    // The place ({block, offset}) at body position `y`, and back.
    function placeAt(y, done) {
        view.runJavaScript(BodyScript.placeScript(y), WebEngineScript.ApplicationWorld, place => {
            if (place && typeof place.block === "number" && typeof place.offset === "number")
                done(place)
        })
    }
    function positionOf(block, offset, done) {
        view.runJavaScript(BodyScript.positionScript(block, offset), WebEngineScript.ApplicationWorld,
                           y => done(typeof y === "number" && isFinite(y) ? y : -1))
    }
    function clearFind() {
        view.runJavaScript(BodyScript.findClearScript(), WebEngineScript.ApplicationWorld)
    }

    // What an item of the body's context menu does (BodyMenu lists them).
    function menuAction(action, link, picture) {
        if (action === "copy")
            view.triggerWebAction(WebEngineView.Copy)
        else if (action === "selectAll")
            view.triggerWebAction(WebEngineView.SelectAll)
        else if (action === "copyLink")
            BodyMenu.copyAddress(link, false)
        else if (action === "openLink")
            host.openLink(link)
        else if (action === "copyPicture")
            BodyMenu.copyAddress(picture, true)
        else if (action === "viewPicture")
            view.runJavaScript(host.picturesScript(), WebEngineScript.ApplicationWorld, list => {
                if (!host)
                    return
                const pictures = host.bodyPictures(list)
                const index = BodyMenu.pictureIndexOf(pictures, picture)
                if (index < 0)
                    return
                if (!root.pictureViewer)
                    root.pictureViewer = viewerComponent.createObject(root)
                root.pictureViewer.show(pictures, index)
            })
    }

    // The engine's own menu never shows: this one, in Chinese, with what fits the place clicked.
    Menu {
        id: bodyMenu
        objectName: "bodyMenu"
        // Its name for a screen reader; a context menu shows no title.
        title: "正文"
        property var entries: []
        property url link
        property url picture
        Instantiator {
            model: bodyMenu.entries
            delegate: MenuItem {
                required property var modelData
                text: modelData.text
                Accessible.name: modelData.text
                onTriggered: root.menuAction(modelData.action, bodyMenu.link, bodyMenu.picture)
            }
            onObjectAdded: (index, object) => bodyMenu.insertItem(index, object)
            onObjectRemoved: (index, object) => bodyMenu.removeItem(object)
        }
    }

    // Opens picture `index` of those the body script lists as viewable.
    function openPicture(index) {
        view.runJavaScript(host.picturesScript(), WebEngineScript.ApplicationWorld, list => {
            if (!host)
                return
            if (!root.pictureViewer)
                root.pictureViewer = viewerComponent.createObject(root)
            root.pictureViewer.show(host.bodyPictures(list), index)
        })
    }

    Component {
        id: viewerComponent
        PictureViewerPopup {
            onFinished: index => {
                view.forceActiveFocus()
                view.runJavaScript(host.focusPictureScript(index), WebEngineScript.ApplicationWorld)
            }
        }
    }

    WebViewHost {
        id: host
        htmlContent: root.html
        title: root.title
        dark: root.dark
        viewWidth: root.width
        textSize: root.textSize
        onLoadRequested: url => view.url = url
        onMeasureRequested: script => view.runJavaScript(script, WebEngineScript.ApplicationWorld,
                                                         result => { if (host) host.applyMeasurement(result) })
        onHeightMeasured: height => root.heightMeasured(height)
        onLoadFinished: root.loaded()
        onPictureRequested: index => root.openPicture(index)
        // The place at the page's top stays there: the body script tells
        // where it went, the page follows in the same frame as the height.
        onTextScaleRequested: percent => {
            const y = bodyWindow.visibleTop, oldHeight = root.height
            view.runJavaScript(BodyScript.textScaleScript(percent, y), WebEngineScript.ApplicationWorld, result => {
                if (!host)
                    return
                host.applyTextScale(y, result)
                root.scrollPageTo(host.keptViewTop(y, oldHeight, root.keptTop, root.height),
                                  Math.max(0, root.height - oldHeight))
            })
        }
        onPlaceKept: (from, to) => root.keptTop = to
        onFragmentRequested: fragment => view.runJavaScript(bodyWindow.fragmentScript(fragment),
                                                            WebEngineScript.ApplicationWorld, y => {
            if (typeof y === "number" && isFinite(y))
                root.scrollPageTo(y)
        })
    }

    BodyWindow {
        id: bodyWindow
        documentHeight: root.height
        visibleHeight: root.flickable ? root.flickable.height : root.height
        visibleTop: {
            const f = root.flickable
            if (!f)
                return 0
            f.contentHeight  // a dependency: the body moves when something above it grows
            return f.contentY - root.mapToItem(f.contentItem, 0, 0).y
        }
        scrollPosition: view.scrollPosition.y
        keySource: view
        onScrollRequested: y => view.runJavaScript(scrollScript(y), WebEngineScript.ApplicationWorld)
        onScrollKeyPressed: (key, modifiers) => root.scrollKeyPressed(key, modifiers)
    }

    WebEngineView {
        id: view
        width: root.width
        y: bodyWindow.viewY
        height: bodyWindow.viewHeight
        profile: host.profile
        backgroundColor: Theme.appBackground
        settings.javascriptEnabled: false
        settings.javascriptCanOpenWindows: false
        settings.showScrollBars: false
        settings.focusOnNavigationEnabled: false
        settings.localStorageEnabled: false
        settings.pluginsEnabled: false
        settings.pdfViewerEnabled: false
        settings.localContentCanAccessFileUrls: false
        settings.localContentCanAccessRemoteUrls: false
        settings.autoLoadIconsForPage: false
        settings.touchIconsEnabled: false
        settings.hyperlinkAuditingEnabled: false
        settings.dnsPrefetchEnabled: false
        // A video's full-screen button is hidden (the body script), and
        // nothing else may take the screen.
        settings.fullScreenSupportEnabled: false
        onFullScreenRequested: request => request.reject()
        onContextMenuRequested: request => {
            request.accepted = true
            const isPicture = request.mediaType === ContextMenuRequest.MediaTypeImage
            bodyMenu.link = request.linkUrl
            bodyMenu.picture = isPicture ? request.mediaUrl : ""
            bodyMenu.entries = BodyMenu.items(request.linkUrl, isPicture, request.mediaUrl)
            bodyMenu.popup(view, request.position.x, request.position.y)
        }
        onLoadingChanged: loadingInfo => host.handleLoadStatus(loadingInfo.status)
        onNavigationRequested: request => {
            if (!host.acceptNavigation(request.url,
                                       request.navigationType === WebEngineNavigationRequest.LinkClickedNavigation,
                                       request.isMainFrame))
                request.reject()
        }
        // No window opens: a link with a target opens in the system browser.
        onNewWindowRequested: request => {
            const url = request.requestedUrl
            view.runJavaScript(host.linkCheckScript(url), WebEngineScript.ApplicationWorld,
                               linked => { if (host) host.openIfLinked(url, linked) })
        }
        onFeaturePermissionRequested: (origin, feature) => view.grantFeaturePermission(origin, feature, false)
        onFileDialogRequested: request => { request.accepted = true; request.dialogReject() }
        onColorDialogRequested: request => { request.accepted = true; request.dialogReject() }
        onAuthenticationDialogRequested: request => { request.accepted = true; request.dialogReject() }
        onJavaScriptDialogRequested: request => { request.accepted = true; request.dialogReject() }
        onRegisterProtocolHandlerRequested: request => request.reject()
    }

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        onWheel: wheel => {
            if (!root.flickable || wheel.angleDelta.y === 0 && wheel.pixelDelta.y === 0) {
                wheel.accepted = false
                return
            }
            const f = root.flickable
            f.contentY = host.scrolledContentY(f.contentY, wheel.angleDelta.y, wheel.pixelDelta.y,
                                               f.contentHeight, f.height, f.originY)
        }
    }
}

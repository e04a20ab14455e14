import QtQuick
import QtWebEngine
import Papelo

// An article body in a WebEngineView that never scrolls by itself: the host
// measures the document and the page gives the view that height. Wheel turns
// over the body move the enclosing page; clicks and selection reach the body.
Item {
    id: root
    property string html
    property Flickable flickable
    property bool dark: Theme.isDark
    readonly property alias host: host
    readonly property alias view: view
    signal heightMeasured(real height)
    signal loaded()

    WebViewHost {
        id: host
        htmlContent: root.html
        dark: root.dark
        viewWidth: root.width
        onLoadRequested: (document, baseUrl) => view.loadHtml(document, baseUrl)
        onMeasureRequested: script => view.runJavaScript(script, WebEngineScript.ApplicationWorld,
                                                         result => { if (host) host.applyMeasurement(result) })
        onHeightMeasured: height => root.heightMeasured(height)
        onLoadFinished: root.loaded()
    }

    WebEngineView {
        id: view
        anchors.fill: parent
        profile: host.profile
        backgroundColor: Theme.appBackground
        settings.javascriptEnabled: false
        settings.showScrollBars: false
        settings.focusOnNavigationEnabled: false
        onLoadingChanged: loadingInfo => host.handleLoadStatus(loadingInfo.status)
        onNavigationRequested: request => {
            if (!host.acceptNavigation(request.url,
                                       request.navigationType === WebEngineNavigationRequest.LinkClickedNavigation,
                                       request.isMainFrame))
                request.reject()
        }
        onNewWindowRequested: request => host.openExternally(request.requestedUrl)
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

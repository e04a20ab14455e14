import QtQuick
import QtQuick.Controls
import Papelo

// The discover tab: hot, latest and random sections, reloaded (skeleton
// first) every time the tab comes on screen and cancelled when it leaves.
Page {
    id: page
    title: "发现"
    background: Rectangle { color: Theme.appBackground }
    AccessibleExtras.busy: discover.showSkeleton

    readonly property bool appeared: StackView.status === StackView.Active && StackView.view !== null
                                     && StackView.view.current
    readonly property alias screen: discover

    onAppearedChanged: appeared ? discover.appear() : discover.disappear()

    DiscoverScreen { id: discover }

    function openArticle(id) {
        page.StackView.view.openArticle(id)
    }

    FocusReveal { flickable: scroller }

    Flickable {
        id: scroller
        anchors.fill: parent
        contentWidth: width
        contentHeight: content.height
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: content
            width: scroller.width
            bottomPadding: 16

            SkeletonGrid {
                visible: discover.showSkeleton
                width: parent.width
                height: visible ? implicitHeight : 0
            }

            Repeater {
                model: [
                    { title: "热门文章", icon: "local_fire_department", articles: discover.hotArticles },
                    { title: "最新发布", icon: "watch_later", articles: discover.latestArticles },
                    { title: "随机推荐", icon: "shuffle", articles: discover.randomArticles }
                ]
                SectionGrid {
                    required property var modelData
                    width: content.width
                    title: modelData.title
                    icon: modelData.icon
                    articles: modelData.articles
                    visible: !discover.showSkeleton && articles.hasArticles
                    onArticleActivated: id => page.StackView.view.openArticle(id, false, articles.readingList())
                }
            }
        }
    }
}

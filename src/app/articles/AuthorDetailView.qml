import QtQuick
import QtQuick.Controls
import Papelo

// An author's page: avatar, name, role and signature, then their articles as
// cards. The header rides on the grid so the whole page scrolls as one.
Page {
    id: page
    property var authorId
    title: "作者详情"
    background: Rectangle { color: Theme.appBackground }
    AccessibleExtras.busy: screen.mainBlock === "loading"

    readonly property bool appeared: StackView.status === StackView.Active && StackView.view !== null
                                     && StackView.view.current
    readonly property alias screen: screen

    onAppearedChanged: appeared ? screen.appear() : screen.disappear()
    Component.onCompleted: if (appeared) screen.appear()

    AuthorDetailScreen {
        id: screen
        authorId: page.authorId
    }

    function openArticle(id) {
        page.StackView.view.openArticle(id, false, screen.articles.readingList())
    }

    LoadingBlock {
        visible: screen.mainBlock === "loading"
        width: parent.width
    }

    LoadErrorView {
        visible: screen.mainBlock === "error"
        width: parent.width
        message: screen.errorMessage
        onRetry: screen.retry()
    }

    FocusReveal { flickable: grid }

    ArticleGrid {
        id: grid
        anchors.fill: parent
        visible: screen.mainBlock === "author"
        model: screen.articles
        onArticleActivated: id => page.openArticle(id)

        header: Column {
            width: grid.width
            spacing: 16
            bottomPadding: 8
            // The header grows when the author arrives; a grid still showing
            // its top must keep showing all of it.
            onHeightChanged: if (!grid.moving && grid.contentY < grid.originY + height) grid.positionViewAtBeginning()

            // Avatar, name, role, signature: 12 from the top, 16 in from the sides.
            Item {
                width: parent.width
                height: 12 + Math.max(60, details.implicitHeight)
                Rectangle {
                    id: avatar
                    x: 16
                    y: 12 + (parent.height - 12 - height) / 2
                    width: 60
                    height: 60
                    radius: 30
                    color: Theme.accentSoft
                    Label {
                        anchors.centerIn: parent
                        text: screen.initial
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.title2Size
                        font.bold: true
                        color: Theme.accent
                    }
                }
                Column {
                    id: details
                    x: avatar.x + avatar.width + 10
                    y: 12 + (parent.height - 12 - implicitHeight) / 2
                    width: parent.width - x - 16
                    spacing: 4
                    Label {
                        width: parent.width
                        text: screen.username
                        AccessibleExtras.role: Accessible.Heading
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
                        font.pixelSize: Theme.title3Size
                        font.weight: Font.DemiBold
                        color: Theme.primaryText
                    }
                    Label {
                        width: parent.width
                        text: screen.role
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.captionSize
                        color: Theme.secondaryText
                    }
                    Label {
                        visible: screen.showBio
                        width: parent.width
                        text: screen.bio
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.captionSize
                        color: Theme.secondaryText
                    }
                }
            }

            Row {
                visible: screen.articleCount > 0
                x: 16
                spacing: 6
                Icon {
                    name: "description"
                    size: Theme.headlineSize
                    color: Theme.primaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
                Label {
                    text: screen.articlesHeading
                    textFormat: Text.PlainText
                    AccessibleExtras.role: Accessible.Heading
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    color: Theme.primaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
            }

            Label {
                visible: screen.articleCount === 0
                x: 16
                text: "暂无文章"
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
            }
        }
    }
}

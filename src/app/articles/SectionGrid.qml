import QtQuick
import QtQuick.Controls
import Papelo

// One titled section of the discover tab. An empty section takes no space.
Column {
    id: section
    property string title
    property string icon
    property ArticleListModel articles
    property int columns: LayoutRules.articleGridColumns(App.compact)
    signal articleActivated(var id)

    visible: articles !== null && articles.hasArticles
    spacing: 12

    Row {
        x: 16
        topPadding: 12
        spacing: 6
        Icon {
            name: section.icon
            size: Theme.headlineSize + 2
            color: Theme.primaryText
            anchors.verticalCenter: label.verticalCenter
        }
        Label {
            id: label
            text: section.title
            font.pixelSize: Theme.headlineSize
            font.bold: true
            color: Theme.primaryText
            AccessibleExtras.role: Accessible.Heading
        }
    }

    // At most six cards: the grid is as tall as its rows and scrolls with the page.
    ArticleGrid {
        width: section.width
        height: contentHeight
        interactive: false
        model: section.articles
        columns: section.columns
        label: section.title
        onArticleActivated: id => section.articleActivated(id)
    }
}

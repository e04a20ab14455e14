import QtQuick
import QtQuick.Controls

// Placeholder until the reading screen lands.
Page {
    property var articleId
    title: "文章详情"
}
